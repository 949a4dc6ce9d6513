// One tick at a time, each shown under its step's phase.
#include "cli/update_ticks.h"

namespace {

// The erase poll's period: the one timer period the console waits out.
constexpr unsigned kPacedPeriodMs = 500;
// Bounds the update's loop whatever the steps do: far more ticks than 240
// polls, two steps per unit of a full image and the run-out ever take.
constexpr long kMostTicks = 100000;

const char* PhaseOf(UpdateState state) {
  switch (state) {
    case UpdateState::Start:
    case UpdateState::EraseWait:
      return "erase";
    case UpdateState::Program:
      return "program";
    case UpdateState::Verify:
      return "verify";
    case UpdateState::Finish:
      return "execute";
    case UpdateState::Confirm:
      return "run-out";
  }
  return "";
}

}  // namespace

bool TickConsoleUpdate(ConsoleIo& io, ConsoleWindow& timer, OperatorWindow& ticked,
                       ProbeSession& session, std::optional<UpdateState> stopAt) {
  for (long tick = 0; tick < kMostTicks && IsUpdateRunning(session) && timer.timerRunning();
       ++tick) {
    if (stopAt && CurrentUpdateState(session) == *stopAt) return true;
    if (timer.timerPeriod() >= kPacedPeriodMs) io.Wait(timer.timerPeriod());
    if (io.Interrupted()) return false;
    timer.SetPhase(PhaseOf(CurrentUpdateState(session)));
    UpdateTimerTick(ticked, session, kUpdateTimerId);
  }
  return false;
}
