// Only the erase poll's period is waited out: the other steps follow one
// another at once, so an update takes about as long as its exchanges.
#include "cli/job_host.h"

#include "firmware/update_procedure.h"

namespace {

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

ConsoleJobHost::ConsoleJobHost(ConsoleIo& io, ProgressText& progress, RecordKeeper& keeper,
                               const char* answeredBy, int index)
    : io_(io),
      progress_(progress),
      keeper_(keeper),
      window_(io, progress, answeredBy, true),
      clock_(io) {
  window_.ChooseProbe(index);
}

void ConsoleJobHost::DriveUpdate(OperatorWindow& window, ProbeSession& session) {
  for (long tick = 0; tick < kMostTicks && IsUpdateRunning(session) && window_.timerRunning();
       ++tick) {
    if (window_.timerPeriod() >= kPacedPeriodMs) io_.Wait(window_.timerPeriod());
    if (io_.Interrupted()) return;
    window_.SetPhase(PhaseOf(CurrentUpdateState(session)));
    UpdateTimerTick(window, session, kUpdateTimerId);
  }
}

void ConsoleJobHost::Say(const std::string& text) {
  progress_.End();
  io_.Err(text + "\n");
}

void ConsoleJobHost::ShowError(const std::string& text) {
  progress_.End();
  io_.Err("ERROR: " + text + "\n");
}

void ConsoleJobHost::Recorded(const OperationRecord& record, bool stored) {
  keeper_.EmitRecorded(record, stored);
}

void ConsoleJobHost::Progress(int done, int total) {
  window_.SetPhase("compare");
  progress_.Show("compare", done, total);
}
