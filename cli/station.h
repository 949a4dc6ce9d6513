// write-serial and update, once or as a station (--repeat): one probe after
// another, each waited for by its device path, run, recorded and waited off
// again. With a log, write-serial claims each number in the log's pool before
// its write, so no number reaches two probes, and --resume starts after the
// highest number of the series the log holds.
#pragma once

#include "cli/record_keeper.h"
#include "cli/runners.h"

// Returns the exit status.
int RunProbeJob(RunContext& context, RecordKeeper& keeper);
