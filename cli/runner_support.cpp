// The outcome of one procedure run, as the exit status and the records give it.
#include "cli/runner_support.h"

#include "messages/message_catalogue.h"
#include "probe/operations.h"

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

std::string VersionText(uint8_t version) {
  const int minor = version & 0x0F;
  std::string text(1, static_cast<char>('0' + (version >> 4)));
  text += '.';
  text += static_cast<char>(minor < 10 ? '0' + minor : 'A' + minor - 10);
  return text;
}

void FinishRecord(RunContext& context, OperationRecord& record, double started, bool finished) {
  record.seconds = context.io.Seconds() - started;
  if (!record.probe && OpenedProbe() != kAnyProbeIndex) record.probe = OpenedProbe();
  if (context.io.Interrupted() && record.result != kExitInterrupted && !finished) {
    context.progress.End();
    context.io.Err(std::string("ERROR: ") + kInterruptedText + "\n");
    record.message = record.message.empty()
                         ? std::string(kInterruptedText)
                         : std::string(kInterruptedText) + " So far: " + record.message;
    record.result = kExitInterrupted;
  }
  context.emit(record);
}
