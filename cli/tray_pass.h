// One tray: the command on every probe of it at once, one thread per probe,
// and the tray's report. The tray station (tray.cpp) runs one after another.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/record_keeper.h"
#include "cli/runners.h"
#include "cli/tray_result.h"
#include "ledger/locked_ledger.h"

struct TrayPass {
  std::vector<TrayOutcome> outcomes;
  // The tray's exit status, or the status that ended it before any probe
  // was touched (the question declined, the log failed).
  int status = 0;
  // No later tray could go differently: the station ends with status.
  bool stop = false;
  // write-serial: counting up found no number for some probe; run JOB: the
  // job's range or its units ran out.
  bool exhausted = false;
  // run JOB: what ran out, 27 the range or 28 the units.
  int usedUp = 0;
};

class TrayPassRunner {
 public:
  TrayPassRunner(RunContext& context, RecordKeeper& keeper, const LogContext& log);

  // Runs the command on the probes at these device indices, reports them and
  // the tray's summary. number: write-serial's first number, advanced past
  // the last one the tray took.
  TrayPass Run(const std::vector<int>& indices, std::u16string* number);
  // The store every probe's thread records through, one call at a time.
  Ledger* ledger() { return locked_ ? &*locked_ : nullptr; }
  // The write or update question was answered for the run.
  bool agreed() const { return answeredBy_ != nullptr; }

 private:
  struct ProbeRun;
  // How one probe's claim went; usedUp: no number is left for it (the text
  // and status its record gets).
  struct Numbered {
    ClaimStatus status = ClaimStatus::kFailed;
    std::string serial;
    std::string error;
    std::string usedUp;
    int usedUpStatus = kExitAlreadyWritten;
  };
  bool Ask(size_t count, const std::u16string& number, TrayPass* pass);
  Numbered ClaimOne(ProbeRun& run, const std::u16string& number);
  int RunStep(ProbeRun& run, CliCommand command);
  bool ClaimNumbers(std::vector<std::unique_ptr<ProbeRun>>& runs, std::u16string* number,
                    TrayPass* pass);
  bool ClaimUnits(std::vector<std::unique_ptr<ProbeRun>>& runs, TrayPass* pass);
  void RunProbe(ProbeRun& run);
  void Report(const std::vector<std::unique_ptr<ProbeRun>>& runs, TrayPass* pass);

  RunContext& context_;
  RecordKeeper& keeper_;
  LogContext log_;
  std::optional<LockedLedger> locked_;
  const char* answeredBy_;
};
