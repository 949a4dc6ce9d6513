// write-serial and update, once or as a station (--repeat): one probe after
// another, each waited for by its device path, run, recorded and waited off
// again. With a log, write-serial never writes a number the log records as
// written, and --resume starts after the last one.
#pragma once

#include "cli/console_io.h"
#include "cli/runners.h"

// log: the open --log, or nullptr; logFailed turns true once a line of it
// could not be written. Returns the exit status.
int RunProbeJob(RunContext& context, LogSink* log, const bool& logFailed);
