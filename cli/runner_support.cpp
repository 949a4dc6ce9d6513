// The outcome of one procedure run, as the exit status and the records give
// it, and the checks every probe command makes before it touches a probe.
#include "cli/runner_support.h"

#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "firmware/probe_session.h"
#include "firmware/srecord_shape.h"
#include "messages/message_catalogue.h"
#include "probe/operations.h"
#include "probe/probe_survey.h"
#include "serial/count_up.h"
#include "serial/serial_text.h"

namespace {

constexpr char16_t kCannotOpenText[] = u"The file could not be opened: ";
constexpr char16_t kTooLargeText[] = u"The file is larger than 64 MiB: ";
constexpr char kNoEndRecordWarning[] =
    "WARNING: the file has no end record (S7, S8 or S9): it may be cut short.\n";
constexpr char kOverlapWarning[] =
    "WARNING: records of the file overlap with different data: the last one read wins.\n";

std::u16string FromUtf8Ascii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace

void TakeOutcome(const ConsoleWindow& window, ConsoleIo& io, OperationRecord& record) {
  if (window.failure()) {
    record.result = *window.failure();
    record.message = window.failureText();
  } else if (window.declined()) {
    io.Err(std::string(kDeclinedText) + "\n");
    record.result = kExitDeclined;
    record.message = kDeclinedText;
  } else {
    record.result = kExitOk;
    record.message = window.lastMessage() ? OneLine(GetMessageText(*window.lastMessage())) : "";
  }
}

bool IsFileFailure(int code) {
  return code == kResultNoFile || code == kResultSpanTooLarge || code == kResultNotSRecord;
}

bool ResumeFromLog(ConsoleIo& io, Ledger& ledger, std::u16string* number, std::string* error) {
  std::optional<std::string> highest;
  const std::string like = Utf8(*number);
  if (!ledger.HighestInSeries(like, &highest, error)) return false;
  if (!highest) {
    io.Err("The log holds no number of " + like + "'s series: starting from " + like + ".\n");
    return true;
  }
  *number = CountUpSerialNo(FromUtf8Ascii(*highest));
  io.Err("The highest number of the series the log holds is " + *highest + ": starting from " +
         Utf8(*number) + ".\n");
  return true;
}

std::string NextLine(const std::string& from, const std::optional<std::string>& next) {
  if (next) return "next: " + *next + "\n";
  return "next: none: " + from + " cannot count up any further (its trailing digits are all 9, " +
         "or it ends in no digit)\n";
}

int ChooseProbe(ProbeLink& link, const CliOptions& options, ConsoleWindow& window) {
  if (!options.probeSerial) {
    window.ChooseProbe(options.probe);
    return kResultOk;
  }
  int index = kAnyProbeIndex, silent = -1;
  const int found = FindProbeBySerial(link, *options.probeSerial, &index, &silent);
  if (found == kResultOk) {
    window.ChooseProbe(index);
    return kResultOk;
  }
  const std::u16string quoted = u"'" + *options.probeSerial + u"'";
  if (silent >= 0) {
    window.ReportFailure(found, u"The probe at " + FromUtf8Ascii(DevicePathOf(silent)) +
                                    u" did not answer, so which probe holds the serial number " +
                                    quoted + u" cannot be proven.");
    return found;
  }
  window.ReportFailure(found, found == kResultNoProbe
                                  ? u"No probe holds the serial number " + quoted + u"."
                                  : u"Two or more probes hold the serial number " + quoted + u".");
  return found;
}

int CheckFileForConsole(RunContext& context, ConsoleWindow& window, OperationRecord& record,
                        bool warn) {
  const std::u16string& path = context.options.argument;
  FirmwareReadStatus read;
  auto image = std::make_shared<FirmwareImage>();
  const int code = CheckFirmwareFile(path, image.get(), &read);
  context.session->image = image;
  if (code == kFirmwareFileNotOpened) {
    window.ReportFailure(kResultNoFile, kCannotOpenText + path);
    return kResultNoFile;
  }
  if (code == kResultSpanTooLarge && read.tooLarge) {
    window.ReportFailure(kResultSpanTooLarge, kTooLargeText + path);
    return code;
  }
  if (code != kResultOk) {
    ShowMessage(window, code, CodeKind::kResult);
    return code;
  }
  const ImageReport report = ReportFirmwareImage(*image);
  record.imageCrc32 = report.crc32;
  record.units = report.units;
  const std::optional<uint32_t>& pin = context.options.expectCrc32;
  if (pin && *pin != report.crc32) {
    window.ReportFailure(kExitCrcMismatch, u"The image's CRC-32 is " +
                                               FromUtf8Ascii(Hex32(report.crc32)) + u", not " +
                                               FromUtf8Ascii(Hex32(*pin)) +
                                               u" (--expect-crc32): no probe was touched.");
    return kExitCrcMismatch;
  }
  SRecordShape shape;
  if (warn && ScanFirmwareFileShape(path, &shape)) {
    context.progress.End();
    if (!shape.endRecord) context.io.Err(kNoEndRecordWarning);
    if (shape.overlapDiffers) context.io.Err(kOverlapWarning);
  }
  return kResultOk;
}

RunnerFrame::RunnerFrame(RunContext& context, const char* answeredBy, bool countUp)
    : context_(context),
      started_(context.io.Seconds()),
      window_(context.io, context.progress, answeredBy, countUp) {
  record_.command = CommandName(context.options.command);
  if (context.options.probe >= 0) record_.probe = context.options.probe;
}

void RunnerFrame::TakeOutcome() {
  ::TakeOutcome(window_, context_.io, record_);
  context_.opened = window_.opened();
}

int RunnerFrame::Finish(bool finished) {
  FinishRecord(context_, record_, started_, finished);
  return record_.result;
}

bool InputPasses(const CliOptions& options, const std::u16string& number) {
  if (options.command == CliCommand::kRun) return true;
  if (options.command == CliCommand::kWriteSerial) return CheckSerialText(number) == 0;
  if (options.command != CliCommand::kUpdate && options.command != CliCommand::kVerify) {
    return true;
  }
  FirmwareImage image;
  if (CheckFirmwareFile(options.argument, &image) != kResultOk) return false;
  return !options.expectCrc32 || ReportFirmwareImage(image).crc32 == *options.expectCrc32;
}

void FinishRecord(RunContext& context, OperationRecord& record, double started, bool finished) {
  record.seconds = context.io.Seconds() - started;
  if (!record.probe && context.opened != kAnyProbeIndex) record.probe = context.opened;
  if (context.io.Interrupted() && record.result != kExitInterrupted && !finished) {
    context.progress.End();
    context.io.Err(std::string("ERROR: ") + kInterruptedText + "\n");
    record.message = record.message.empty()
                         ? std::string(kInterruptedText)
                         : std::string(kInterruptedText) + " So far: " + record.message;
    record.result = kExitInterrupted;
  }
  context.emit(record, context.writeRequestSent);
}
