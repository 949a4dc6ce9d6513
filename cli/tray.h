// --probe all: every probe attached when the command starts is handled at
// once, each on a thread of its own with its own device path, and one report
// follows for the whole tray. With --repeat N, the tray station: a tray is
// taken once no new probe has come for a second, and the next is waited for
// once every probe of the last one is removed.
#pragma once

#include <string>

#include "cli/record_keeper.h"
#include "cli/runners.h"
#include "ledger/ledger.h"

// Returns the exit status. log: the station and version every probe's
// record carries.
int RunTray(RunContext& context, RecordKeeper& keeper, const LogContext& log);
