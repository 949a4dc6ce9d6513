// update, verify and check. The update is the window's UPDATE and its timer
// steps, ticked back to back; only the erase poll keeps its period, so the
// probe is given the time it needs and the poll count keeps its meaning.
#include "cli/console_window.h"
#include "cli/runner_support.h"
#include "cli/runners.h"
#include "common/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "firmware/update_procedure.h"
#include "firmware/verify_procedure.h"
#include "messages/message_catalogue.h"
#include "probe/operations.h"

namespace {

// The erase poll's period: the one timer period the console waits out.
constexpr unsigned kPacedPeriodMs = 500;
// Bounds the update's loop whatever the steps do: far more ticks than 240
// polls, two steps per unit of a full image and the run-out ever take.
constexpr long kMostTicks = 100000;

constexpr char kVerifiedText[] = "The flash of Velkoro matches the file.";
constexpr char kLedSkippedText[] = "LED check skipped.";
constexpr char16_t kCannotOpenText[] = u"The file could not be opened: ";

OperationRecord NewRecord(const RunContext& context) {
  OperationRecord record;
  record.command = CommandName(context.options.command);
  if (context.options.probe >= 0) record.probe = context.options.probe;
  record.file = Utf8(context.options.argument);
  return record;
}

void AddImageFigures(OperationRecord& record) {
  const ImageReport report = ReportFirmwareImage();
  record.imageCrc32 = report.crc32;
  record.units = report.units;
}

const char* PhaseOf(UpdateState state) {
  switch (state) {
    case UpdateState::Start:
    case UpdateState::EraseWait:
      return "erase";
    case UpdateState::Program:
      return "program";
    case UpdateState::Verify:
      return "verify";
    case UpdateState::Finish:
      return "execute";
    case UpdateState::Confirm:
      return "run-out";
  }
  return "";
}

// Ticks timer 0 until the update ends, Ctrl+C, or (--led skip) the steps
// reach the run-out. True when it stopped at the run-out.
bool TickUpdate(RunContext& context, ConsoleWindow& window) {
  const bool skipLed = context.options.led == LedMode::kSkip;
  for (long tick = 0; tick < kMostTicks && IsUpdateRunning() && window.timerRunning(); ++tick) {
    if (skipLed && CurrentUpdateState() == UpdateState::Confirm) return true;
    if (window.timerPeriod() >= kPacedPeriodMs) context.io.Wait(window.timerPeriod());
    if (context.io.Interrupted()) return false;
    window.SetPhase(PhaseOf(CurrentUpdateState()));
    UpdateTimerTick(window, kUpdateTimerId);
  }
  return false;
}

}  // namespace

int RunUpdate(RunContext& context) {
  const double started = context.io.Seconds();
  ConsoleWindow window(context.io, context.progress, context.answeredBy, false);
  OperationRecord record = NewRecord(context);
  window.FileName() = context.options.argument;
  g_probeVersion = 0;
  if (!context.io.Interrupted()) StartUpdate(window);
  if (!window.failure() || !IsFileFailure(*window.failure())) AddImageFigures(record);
  if (g_probeVersion != 0) record.firmwareBefore = VersionText(g_probeVersion);

  if (IsUpdateRunning()) {
    if (TickUpdate(context, window)) {
      // The probe is closed and has taken the new firmware; only the LED
      // question is left out, and the result says so.
      ResetUpdateState();
      ShowMessage(window, kMsgPushResetSwitch, CodeKind::kMessage);
      ShowMessage(window, kMsgUpdateSucceeded, CodeKind::kMessage);
      context.io.Err(std::string(kLedSkippedText) + "\n");
      record.led = "skipped";
    } else if (IsUpdateRunning()) {
      // Ctrl+C, or the tick bound: the step under way has ended; the update
      // is abandoned with the probe closed.
      ResetUpdateState();
      if (!context.io.Interrupted()) window.ReportFailure(kResultNotReceived, GetMessageText(10));
    }
  }
  context.progress.End();
  context.agreed = window.agreed();
  TakeOutcome(window, context.io, record);
  if (window.led()) record.led = window.led();
  FinishRecord(context, record, started);
  return record.result;
}

int RunVerify(RunContext& context) {
  const double started = context.io.Seconds();
  ConsoleWindow window(context.io, context.progress, nullptr, false);
  OperationRecord record = NewRecord(context);
  VerifyRun run;
  int code = context.io.Interrupted() ? 0 : BeginVerify(context.options.argument, &run);
  if (code == kVerifyFileNotOpened) {
    window.ReportFailure(kResultNoFile, kCannotOpenText + context.options.argument);
  } else if (code != 0) {
    if (!IsFileFailure(code)) AddImageFigures(record);
    ShowMessage(window, code, CodeKind::kResult);
  } else if (!context.io.Interrupted()) {
    AddImageFigures(record);
    record.firmwareBefore = VersionText(run.probeVersion);
    while (code == 0 && !VerifyDone(run) && !context.io.Interrupted()) {
      code = VerifyNextStep(&run);
      context.progress.Show("verify", run.verified, run.units);
    }
    if (code == 0 && VerifyDone(run)) code = EndVerify();
    if (code != 0 || !VerifyDone(run)) AbandonVerify();
    if (code != 0) ShowMessage(window, code, CodeKind::kResult);
  }
  context.progress.End();
  TakeOutcome(window, context.io, record);
  if (record.result == kExitOk && !context.io.Interrupted()) {
    record.message = kVerifiedText;
    context.io.Err(std::string(kVerifiedText) + "\n");
  }
  FinishRecord(context, record, started);
  return record.result;
}

int RunCheck(RunContext& context) {
  const double started = context.io.Seconds();
  ConsoleWindow window(context.io, context.progress, nullptr, false);
  OperationRecord record = NewRecord(context);
  record.probe.reset();
  const std::u16string& path = context.options.argument;
  int code = 0;
  FirmwareReadStatus read;
  if (FirmwareFileExists(path).empty()) {
    code = kResultNoFile;
  } else {
    read = ReadFirmwareFile(path);
    code = read.sizeError ? kResultSpanTooLarge : read.formatError ? kResultNotSRecord : 0;
  }
  if (read.openFailed) {
    window.ReportFailure(kResultNoFile, kCannotOpenText + path);
  } else if (code != 0) {
    ShowMessage(window, code, CodeKind::kResult);
  } else {
    const ImageReport report = ReportFirmwareImage();
    record.base = report.base;
    record.span = report.span;
    record.units = report.units;
    record.blocks = report.blocks;
    record.imageCrc32 = report.crc32;
    if (!context.options.json) {
      context.io.Out(
          "file: " + *record.file + "\nbase: 0x" + Hex32(report.base) +
          "\nspan: " + std::to_string(report.span) + "\nunits: " + std::to_string(report.units) +
          "\nblocks: " + std::to_string(report.blocks) + "\ncrc32: " + Hex32(report.crc32) + "\n");
    }
  }
  TakeOutcome(window, context.io, record);
  FinishRecord(context, record, started);
  return record.result;
}
