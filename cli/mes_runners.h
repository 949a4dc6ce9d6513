// The console's side of the line's MES: the outbox and its sender for a
// run JOB whose job names an MES, and the two commands that look at the
// outbox (mes status) and empty it now (mes flush).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "line/mes_link.h"

bool IsMesCommand(CliCommand command);
// mes status and mes flush take only --job JOB and --json.
bool CheckMesOptionsFit(const CliOptions& options, const std::vector<std::string>& seen,
                        std::string* error);
// 0; 78 for a job that cannot be used or names no MES; mes flush: 75 when
// the MES does not take every event.
int RunMesCommand(ConsoleIo& io, const CliOptions& options, CliEnvironment& environment);
