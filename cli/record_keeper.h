// Where every operation's record goes: the line in the store and the JSON
// object on standard output, in that order of trust: the store first, so
// the JSON object and the exit status say when it could not be recorded.
// The claim and its settlement are the line's (line/line_recorder.h); this
// adds the console's side: JSON, and the failures said on standard error.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/console_io.h"
#include "cli/progress_text.h"
#include "ledger/ledger.h"
#include "line/line_recorder.h"

class RecordKeeper {
 public:
  RecordKeeper(ConsoleIo& io, ProgressText& progress, const CliOptions& options, Ledger* ledger,
               LogContext context, std::optional<std::string> jobTag = std::nullopt);

  Ledger* ledger() const { return ledger_; }
  LineRecorder* line() const { return line_.get(); }
  // Records the operation (settling the open claim when it is that claim's
  // write, by requestSent) and prints its JSON object. A record the store
  // refused turns a success into kExitLogFailed, in the record too.
  void Emit(OperationRecord& record, bool requestSent = false);
  // A record a job run stored itself (or the store refused: stored false):
  // its JSON object, and the run's failure noted.
  void EmitRecorded(const OperationRecord& record, bool stored);
  // Prints the JSON object alone: the store is what failed, or the run
  // ended with no operation of its own to record.
  void EmitUnrecorded(const OperationRecord& record);
  // The same for what ended before any probe: the command, status and message.
  void EmitUnrecorded(int result, const std::string& message);
  // Claims a number before its write; on kClaimed the claim is open until
  // the write's record settles it.
  Claim ClaimSerial(const std::string& from, bool countUp);
  // Gives the open claim back unused (the run ended before its write): a
  // line of the log with the run's status, no JSON object. false when it
  // could not be recorded.
  bool ReleaseClaim(const std::string& command, const std::string& why, int status);
  // How the last settled claim ended; kSpent too when its outcome could not
  // be recorded (the claim on disk stands).
  std::optional<Settlement> lastSettlement() const;
  // A line of the store could not be written at some point.
  bool failed() const { return failed_; }

 private:
  ConsoleIo& io_;
  ProgressText& progress_;
  const CliOptions& options_;
  Ledger* ledger_;
  std::optional<std::string> jobTag_;
  std::unique_ptr<LineRecorder> line_;
  bool failed_ = false;
};
