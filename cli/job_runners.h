// The line job's commands on the console: job new writes one, job check
// looks at one without touching a probe. run JOB itself goes through the
// station (cli/station.h) once cli_run has read the job.
#pragma once

#include <string>

#include "cli/runners.h"
#include "ledger/ledger.h"

int RunJobNew(RunContext& context);
int RunJobCheck(RunContext& context, LedgerOpener& ledgers, LedgerWaiter& waiter);
// A job's log as it may be shown: a connection string's password masked.
std::string ShownLog(const std::string& log);
// run JOB before its first probe: the job's image read once and pinned by
// its SHA-256 and CRC-32 (26 with both values, recorded; no probe touched).
int PinJobImage(RunContext& context, JobRun& run);
