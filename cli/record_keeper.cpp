// A write-serial settles its claim by whether its request left the program:
// never sent, the number is free again; sent and read back equal, written;
// sent and anything else, spent.
#include "cli/record_keeper.h"

#include "probe/operations.h"

namespace {

constexpr char kWriteSerialCommand[] = "write-serial";

}  // namespace

RecordKeeper::RecordKeeper(ConsoleIo& io, ProgressText& progress, const CliOptions& options,
                           Ledger* ledger, LogContext context)
    : io_(io), progress_(progress), options_(options), ledger_(ledger), context_(context) {}

LogContext RecordKeeper::Now() const {
  LogContext now = context_;
  now.timeUtc = io_.TimeUtc();
  return now;
}

void RecordKeeper::Emit(OperationRecord& record) {
  progress_.End();
  if (ledger_ != nullptr) {
    std::string error;
    bool recorded;
    if (claimed_ && record.command == kWriteSerialCommand && record.serial == *claimed_) {
      const Settlement settlement = !SerialWriteSent()         ? Settlement::kReleased
                                    : record.result == kExitOk ? Settlement::kWritten
                                                               : Settlement::kSpent;
      recorded = ledger_->Settle(*claimed_, settlement, record, Now(), &error);
      lastSettlement_ = recorded ? settlement : Settlement::kSpent;
      if (!recorded && settlement == Settlement::kReleased) {
        io_.Err("The claim of " + *claimed_ + " could not be released: the number stays spent.\n");
      }
      claimed_.reset();
    } else {
      recorded = ledger_->Record(record, Now(), &error);
    }
    if (!recorded) {
      failed_ = true;
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

void RecordKeeper::EmitUnrecorded(const OperationRecord& record) {
  progress_.End();
  if (options_.json) io_.Out(FormatJson(record) + "\n");
}

Claim RecordKeeper::ClaimSerial(const std::string& from, bool countUp) {
  Claim claim = ledger_->ClaimSerial(from, countUp, Now());
  if (claim.status == ClaimStatus::kClaimed) claimed_ = claim.serial;
  return claim;
}

bool RecordKeeper::ReleaseClaim(const std::string& command, const std::string& why, int status) {
  if (!claimed_) return true;
  OperationRecord record;
  record.command = command;
  record.serial = *claimed_;
  record.result = status;
  record.message = why;
  std::string error;
  const bool released = ledger_->Settle(*claimed_, Settlement::kReleased, record, Now(), &error);
  if (!released) {
    failed_ = true;
    io_.Err("ERROR: the claim of " + *claimed_ + " could not be given back in the log " +
            ledger_->Where() + " (" + error + "): the number stays spent.\n");
  }
  claimed_.reset();
  return released;
}
