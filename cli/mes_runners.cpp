// mes status, mes flush and the run's MES link.
#include "cli/mes_runners.h"

#include <algorithm>
#include <chrono>

#include "ledger/operation_record.h"
#include "line/job_load.h"

namespace {

constexpr int64_t kMsPerMinute = 60 * 1000;

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int Status(ConsoleIo& io, const CliOptions& options, MesOutbox& outbox) {
  const MesOutboxStatus status = outbox.Status();
  const int64_t now = UtcNowMs();
  const int64_t minutes = status.oldestMs ? (now - *status.oldestMs) / kMsPerMinute : 0;
  const std::string oldest = status.oldestMs ? UtcTextOf(*status.oldestMs) : "";
  std::string lastError = status.lastError;
  std::replace(lastError.begin(), lastError.end(), '\n', ' ');
  if (options.json) {
    io.Out("{\"outbox\":" + JsonString(outbox.folder().string()) +
           ",\"unsent\":" + std::to_string(status.unsent) +
           ",\"oldest_utc\":" + (oldest.empty() ? "null" : JsonString(oldest)) +
           ",\"oldest_minutes\":" + (oldest.empty() ? "null" : std::to_string(minutes)) +
           ",\"rejected\":" + std::to_string(status.rejected) +
           ",\"damaged\":" + std::to_string(status.damaged) +
           ",\"last_error\":" + (lastError.empty() ? "null" : JsonString(lastError)) + "}\n");
    return 0;
  }
  std::string text = "outbox: " + outbox.folder().string() + "\n";
  text += "unsent: " + std::to_string(status.unsent);
  if (status.oldestMs) text += ", oldest " + std::to_string(minutes) + " min (" + oldest + ")";
  text += "\nrejected: " + std::to_string(status.rejected) +
          (status.rejected ? " (kept in " + (outbox.folder() / kMesRejectedFolder).string() + ")"
                           : std::string()) +
          "\ndamaged: " + std::to_string(status.damaged) + "\n";
  if (!lastError.empty()) text += "last error: " + lastError + "\n";
  io.Out(text);
  return 0;
}

int Flush(ConsoleIo& io, const LineJob& job, CliEnvironment& environment, MesOutbox& outbox) {
  std::string why;
  const std::unique_ptr<MesPoster> poster = MakeMesPoster(job, environment.mesPoster, &why);
  if (!poster) {
    io.Err("ERROR: " + why + ".\n");
    return kExitJobUnusable;
  }
  MesSender sender(outbox, *poster);
  const bool emptied = sender.Flush(SteadySeconds());
  const MesTally& tally = sender.tally();
  std::string line = "MES: " + std::to_string(tally.delivered) + " delivered";
  if (tally.rejected) line += ", " + std::to_string(tally.rejected) + " rejected (set aside)";
  if (tally.damaged) line += ", " + std::to_string(tally.damaged) + " damaged (set aside)";
  if (emptied) {
    io.Out(line + "; nothing waits.\n");
    return 0;
  }
  const MesOutboxStatus status = outbox.Status();
  io.Out(line + "; " + std::to_string(status.unsent) + " still unsent.\n");
  io.Err("ERROR: the MES does not take the events: " + status.lastError + "\n");
  return kExitMesUnreachable;
}

}  // namespace

bool IsMesCommand(CliCommand command) {
  return command == CliCommand::kMesStatus || command == CliCommand::kMesFlush;
}

bool CheckMesOptionsFit(const CliOptions& options, const std::vector<std::string>& seen,
                        std::string* error) {
  for (const std::string& word : seen) {
    if (word != "--job" && word != "--json") {
      *error = word + " does not apply to " + CommandName(options.command) + ": give --job JOB";
      return false;
    }
  }
  if (!options.jobPath.empty()) return true;
  *error = CommandName(options.command) + " needs --job JOB: the job names the MES and its outbox";
  return false;
}

int RunMesCommand(ConsoleIo& io, const CliOptions& options, CliEnvironment& environment) {
  LineJob job;
  std::string message;
  if (LoadLineJob(options.jobPath, &job, &message) != 0) {
    io.Err("ERROR: " + message + "\n");
    return kExitJobUnusable;
  }
  if (job.mes.empty()) {
    io.Err("ERROR: " + job.path + ": the job names no mes: it has no outbox.\n");
    return kExitJobUnusable;
  }
  MesOutbox outbox(MesOutboxFolder(job, environment.programData));
  return options.command == CliCommand::kMesStatus ? Status(io, options, outbox)
                                                   : Flush(io, job, environment, outbox);
}
