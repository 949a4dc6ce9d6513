// Counting: a round's probes each count as a success or a failure; the
// closing line gives both, whatever ended the run.
#include "cli/station_loop.h"

#include <string>

#include "cli/cli_options.h"
#include "common/result_codes.h"

namespace {

std::string Plural(int count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// The run's status when a wait between rounds ended it.
int StoppedBetween(ConsoleIo& io, Waited waited, int wanted, const char* between) {
  if (waited == Waited::kIdle) {
    io.Err("No probe came or went for " + std::to_string(kLongestIdleMs / 3600000) +
           " hours: the run ends.\n");
    return kResultNoProbe;
  }
  io.Err(std::string("Stopped by Ctrl+C between ") + between + ".\n");
  // Until stopped is how a run without a count ends.
  return wanted == 0 ? kExitOk : kExitInterrupted;
}

}  // namespace

int RunStationLoop(ConsoleIo& io, int wanted, StationRound& round) {
  int successes = 0, failures = 0, status = kExitOk;
  while (wanted == 0 || successes < wanted) {
    if (!round.Prepare(&status)) break;
    const Waited attached = round.WaitForProbes(successes, wanted);
    if (attached != Waited::kReady) {
      status = StoppedBetween(io, attached, wanted, round.Between());
      round.GiveBack(attached, &status);
      break;
    }
    const RoundResult result = round.Run(wanted == 0 ? 0 : wanted - successes);
    successes += result.successes;
    failures += result.failures;
    if (result.stop) {
      status = result.status;
      break;
    }
    if (wanted != 0 && successes >= wanted) break;
    const Waited removed = round.WaitForRemoval();
    if (removed != Waited::kReady) {
      status = StoppedBetween(io, removed, wanted, round.Between());
      break;
    }
  }
  io.Err("Station: " + Plural(successes + failures, "probe") + ", " + std::to_string(successes) +
         " succeeded, " + std::to_string(failures) + " failed.\n");
  round.Finish();
  return status;
}
