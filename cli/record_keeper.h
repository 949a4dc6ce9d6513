// Where every operation's record goes: the JSON object on standard output
// and the line in the store, in that order of trust: the store first, so
// the JSON object and the exit status say when it could not be recorded.
// It also holds the one claim a write-serial has open, and settles it with
// that write's record.
#pragma once

#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/console_io.h"
#include "cli/progress_text.h"
#include "ledger/ledger.h"

class RecordKeeper {
 public:
  RecordKeeper(ConsoleIo& io, ProgressText& progress, const CliOptions& options, Ledger* ledger,
               LogContext context);

  Ledger* ledger() const { return ledger_; }
  // Records the operation (settling the open claim when it is that claim's
  // write) and prints its JSON object. A record the store refused turns a
  // success into kExitLogFailed, in the record too.
  void Emit(OperationRecord& record);
  // Prints the JSON object alone: the store is what failed, or the run
  // ended with no operation of its own to record.
  void EmitUnrecorded(const OperationRecord& record);
  // Claims a number before its write; on kClaimed the claim is open until
  // the write's record settles it.
  Claim ClaimSerial(const std::string& from, bool countUp);
  // Gives the open claim back unused (the run ended before its write): a
  // line of the log with the run's status, no JSON object. false when it
  // could not be recorded.
  bool ReleaseClaim(const std::string& command, const std::string& why, int status);
  // How the last settled claim ended; kSpent too when its outcome could not
  // be recorded (the claim on disk stands).
  std::optional<Settlement> lastSettlement() const { return lastSettlement_; }
  // A line of the store could not be written at some point.
  bool failed() const { return failed_; }

 private:
  LogContext Now() const;

  ConsoleIo& io_;
  ProgressText& progress_;
  const CliOptions& options_;
  Ledger* ledger_;
  LogContext context_;
  std::optional<std::string> claimed_;
  std::optional<Settlement> lastSettlement_;
  bool failed_ = false;
};
