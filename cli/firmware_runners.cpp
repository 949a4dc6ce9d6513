// update, verify and check. The update is the window's UPDATE and its timer
// steps, ticked back to back; only the erase poll keeps its period, so the
// probe is given the time it needs and the poll count keeps its meaning.
#include "cli/console_window.h"
#include "cli/runner_support.h"
#include "cli/runners.h"
#include "cli/update_ticks.h"
#include "cli/version_wait.h"
#include "common/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "firmware/probe_session.h"
#include "firmware/srecord_shape.h"
#include "firmware/update_procedure.h"
#include "firmware/verify_procedure.h"
#include "messages/message_catalogue.h"
#include "probe/operations.h"

namespace {

constexpr char kVerifiedText[] = "The flash of Velkoro matches the file.";

// Ticks timer 0 until the update ends, Ctrl+C, or (--led skip) the steps
// reach the run-out. True when it stopped at the run-out.
bool TickUpdate(RunContext& context, ConsoleWindow& window) {
  const bool skipLed = context.options.led == LedMode::kSkip;
  return TickConsoleUpdate(context.io, window, window, *context.session,
                           skipLed ? std::optional(UpdateState::Confirm) : std::nullopt);
}

// Reads the image back unit by unit as verify does, on the probe the window
// chose. 0 when every unit matched and the probe is closed again; the
// failure code otherwise (19: a unit differs), the probe closed.
int ReadBackOnConsole(RunContext& context, ConsoleWindow& window, VerifyRun* run,
                      const char* phase) {
  const int code = ReadBackWhole(
      *context.session, run, window.ChosenProbe(), [&] { return context.io.Interrupted(); },
      [&](int verified, int units) { context.progress.Show(phase, verified, units); });
  return code == kVerifyStopped ? kExitInterrupted : code;
}

// --if-different: true when the probe already holds the image (the record
// says so); false to go on, with the update (a unit differs) or with the
// failure the window now holds.
bool ImageAlreadyThere(RunContext& context, ConsoleWindow& window, OperationRecord& record) {
  VerifyRun run;
  const int code = ReadBackOnConsole(context, window, &run, "compare");
  context.progress.End();
  if (run.probeVersion != 0) record.firmwareBefore = ProbeVersionText(run.probeVersion);
  if (code == kResultOk) {
    record.alreadyThere = true;
    return true;
  }
  if (code == kResultFlashVerify) {
    context.io.Err(std::string(kJobDiffersText) + "\n");
  } else if (code != kExitInterrupted) {
    ShowMessage(window, code, CodeKind::kResult);
  }
  return false;
}

// The window's UPDATE and its timer steps, ticked back to back.
void RunUpdateSteps(RunContext& context, ConsoleWindow& window, OperationRecord& record) {
  ProbeSession& session = *context.session;
  const std::u16string before = StartUpdate(window, session);
  if (!before.empty()) record.firmwareBefore = Utf8(before);
  if (!IsUpdateRunning(session)) return;
  if (TickUpdate(context, window)) {
    // The probe is closed and has taken the new firmware; only the LED
    // question is left out, and the result says so.
    ResetUpdateState(session);
    ShowMessage(window, kMsgPushResetSwitch, CodeKind::kMessage);
    ShowMessage(window, kMsgUpdateSucceeded, CodeKind::kMessage);
    context.io.Err(std::string(kJobLedSkippedText) + "\n");
    record.led = "skipped";
  } else if (IsUpdateRunning(session)) {
    // Ctrl+C, or the tick bound: the step under way has ended; the update
    // is abandoned with the probe closed.
    ResetUpdateState(session);
    if (!context.io.Interrupted()) window.ReportFailure(kResultNotReceived, GetMessageText(10));
  }
}

}  // namespace

int RunUpdate(RunContext& context) {
  RunnerFrame frame(context, context.answeredBy);
  ConsoleWindow& window = frame.window();
  OperationRecord& record = frame.record();
  record.file = Utf8(context.options.argument);
  window.FileName() = context.options.argument;
  bool alreadyThere = false;
  if (!context.io.Interrupted() && CheckFileForConsole(context, window, record, true) == 0 &&
      ChooseProbe(context.session->link, context.options, window) == 0) {
    alreadyThere = context.options.ifDifferent && ImageAlreadyThere(context, window, record);
    if (!alreadyThere && !window.failure() && !context.io.Interrupted()) {
      RunUpdateSteps(context, window, record);
    }
  }
  context.progress.End();
  context.agreed = window.agreed();
  frame.TakeOutcome();
  if (alreadyThere) {
    record.message = kJobAlreadyThereText;
    context.io.Err(std::string(kJobAlreadyThereText) + "\n");
  }
  if (window.led()) record.led = window.led();
  if (record.result == kExitOk && context.options.expectVersion && !context.io.Interrupted()) {
    WaitForVersion(context, context.opened, record);
  }
  return frame.Finish();
}

int RunVerify(RunContext& context) {
  RunnerFrame frame(context);
  ConsoleWindow& window = frame.window();
  OperationRecord& record = frame.record();
  record.file = Utf8(context.options.argument);
  if (!context.io.Interrupted() && CheckFileForConsole(context, window, record, true) == 0 &&
      ChooseProbe(context.session->link, context.options, window) == 0) {
    VerifyRun run;
    const int code = ReadBackOnConsole(context, window, &run, "verify");
    if (run.probeVersion != 0) record.firmwareBefore = ProbeVersionText(run.probeVersion);
    if (code != 0 && code != kExitInterrupted) ShowMessage(window, code, CodeKind::kResult);
  }
  context.progress.End();
  frame.TakeOutcome();
  if (record.result == kExitOk && !context.io.Interrupted()) {
    record.message = kVerifiedText;
    context.io.Err(std::string(kVerifiedText) + "\n");
  }
  return frame.Finish();
}

int RunCheck(RunContext& context) {
  RunnerFrame frame(context);
  ConsoleWindow& window = frame.window();
  OperationRecord& record = frame.record();
  record.file = Utf8(context.options.argument);
  record.probe.reset();
  if (CheckFileForConsole(context, window, record, false) == 0) {
    const ImageReport report = ReportFirmwareImage(*context.session->image);
    record.base = report.base;
    record.span = report.span;
    record.blocks = report.blocks;
    SRecordShape shape;
    const bool scanned = ScanFirmwareFileShape(context.options.argument, &shape);
    if (!context.options.json) {
      const char* overlaps = !shape.overlap         ? "none"
                             : shape.overlapDiffers ? "different data (the last record read wins)"
                                                    : "same data";
      std::string text =
          "file: " + *record.file + "\nbase: 0x" + Hex32(report.base) +
          "\nspan: " + std::to_string(report.span) + "\nunits: " + std::to_string(report.units) +
          "\nblocks: " + std::to_string(report.blocks) + "\ncrc32: " + Hex32(report.crc32) + "\n";
      if (scanned) {
        text += std::string("end record: ") + (shape.endRecord ? "yes" : "no") +
                "\noverlapping records: " + overlaps + "\n";
      }
      context.io.Out(text);
    }
  }
  frame.TakeOutcome();
  return frame.Finish();
}
