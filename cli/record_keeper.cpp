// The console's side of the line's record: what the store refused is said
// on standard error and turns a success into a log failure.
#include "cli/record_keeper.h"

RecordKeeper::RecordKeeper(ConsoleIo& io, ProgressText& progress, const CliOptions& options,
                           Ledger* ledger, LogContext context, std::optional<std::string> jobTag)
    : io_(io), progress_(progress), options_(options), ledger_(ledger), jobTag_(jobTag) {
  if (ledger_ != nullptr) {
    line_ = std::make_unique<LineRecorder>(
        *ledger_, context, [this] { return io_.TimeUtc(); }, jobTag);
  }
}

std::optional<Settlement> RecordKeeper::lastSettlement() const {
  return line_ ? line_->lastSettlement() : std::nullopt;
}

void RecordKeeper::Emit(OperationRecord& record, bool requestSent) {
  progress_.End();
  if (jobTag_) record.job = jobTag_;
  if (line_) {
    std::string error;
    const std::optional<std::string> claimed = line_->claimed();
    const bool settles = claimed && record.command == CommandName(CliCommand::kWriteSerial) &&
                         record.serial == *claimed;
    if (!line_->Record(record, requestSent, &error)) {
      failed_ = true;
      if (settles && !requestSent) {
        io_.Err("The claim of " + *claimed + " could not be released: the number stays spent.\n");
      }
      io_.Err("ERROR: the record could not be written to the log " + ledger_->Where() + " (" +
              error + ")\n");
      // Whatever the operation's own result, the run ends on the log: the
      // exit status, this object and the station's line all say 74.
      record.result = kExitLogFailed;
      record.message += (record.message.empty() ? "" : " ") +
                        std::string("The log could not record it: ") + error + ".";
    }
  }
  EmitUnrecorded(record);
}

void RecordKeeper::EmitRecorded(const OperationRecord& record, bool stored) {
  if (!stored) failed_ = true;
  EmitUnrecorded(record);
}

void RecordKeeper::EmitUnrecorded(const OperationRecord& record) {
  progress_.End();
  if (options_.json) io_.Out(FormatJson(record) + "\n");
}

void RecordKeeper::EmitUnrecorded(int result, const std::string& message) {
  OperationRecord record;
  record.command = CommandName(options_.command);
  record.result = result;
  record.message = message;
  EmitUnrecorded(record);
}

Claim RecordKeeper::ClaimSerial(const std::string& from, bool countUp) {
  return line_->ClaimSerial(from, countUp);
}

bool RecordKeeper::ReleaseClaim(const std::string& command, const std::string& why, int status) {
  if (!line_ || !line_->claimed()) return true;
  const std::string claimed = *line_->claimed();
  std::string error;
  if (line_->ReleaseClaim(command, why, status, &error)) return true;
  failed_ = true;
  io_.Err("ERROR: the claim of " + claimed + " could not be given back in the log " +
          ledger_->Where() + " (" + error + "): the number stays spent.\n");
  return false;
}
