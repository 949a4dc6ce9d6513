// A job's unit cap: at most `units` probes across every station, window and
// tray sharing its store, killed runs included. Each probe holds one number
// of the job's reserved series in the pool (ledger/unit_series.h), claimed
// before any step touches it and counted from then on, given back only when
// no request of any step left for it.
#pragma once

#include <string>

#include "ledger/unit_series.h"
#include "line/job_file.h"

// The first unit of the job's series; empty for a job without a cap. The
// series is named by the hash of the job's content without its signature,
// so copies of the job share it, and signing a job keeps its count.
std::string JobUnitFirst(const LineJob& job);
// The job's units in the pool: made, held and left of its cap.
UnitCounts JobUnitCounts(const LineJob& job, const std::vector<SerialEntry>& entries);
// What the operator is told when every unit is held.
std::string UnitsUsedUpText(const LineJob& job);
