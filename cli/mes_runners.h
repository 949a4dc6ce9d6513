// The console's side of the line's MES: the outbox and its sender for a
// run JOB whose job names an MES, and the two commands that look at the
// outbox (mes status) and empty it now (mes flush).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "line/mes_probe_events.h"
#include "line/mes_sender.h"

// The outbox, its one sender thread and the probes' events, for as long as
// the program runs the job. Destroyed before the program ends: the sender
// is stopped and joined, the unsent events stay on disk for the next start.
struct MesLink {
  explicit MesLink(const std::string& folder) : outbox(folder) {}
  MesOutbox outbox;
  std::unique_ptr<MesProbeEvents> events;
  std::unique_ptr<MesSenderThread> sender;  // none without a poster (native tests)
};

// The job's MES link: nullptr when the job names no MES; with *message set
// when the token cannot be read.
std::unique_ptr<MesLink> OpenMesLink(const LineJob& job, CliEnvironment& environment,
                                     std::string* message);

bool IsMesCommand(CliCommand command);
// mes status and mes flush take only --job JOB and --json.
bool CheckMesOptionsFit(const CliOptions& options, const std::vector<std::string>& seen,
                        std::string* error);
// 0; 78 for a job that cannot be used or names no MES; mes flush: 75 when
// the MES does not take every event.
int RunMesCommand(ConsoleIo& io, const CliOptions& options, CliEnvironment& environment);
