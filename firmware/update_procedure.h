// The firmware update as the window runs it: UPDATE checks the file and the
// probe and asks the operator; then each tick of timer 0 runs one step.
#pragma once

#include <cstdint>
#include <string>

class OperatorWindow;
struct ProbeSession;

// The step that the next tick of timer 0 runs. It keeps its last value after
// an update ends; only the next confirmed UPDATE sets it to Start.
enum class UpdateState : int16_t {
  Start = 0,
  Program = 1,
  Verify = 2,
  Finish = 3,
  Confirm = 4,
  EraseWait = 5,
};

// Progress steps reserved for the erase, and the most polls it is granted:
// 240 polls at 500 ms give a slow flash two minutes.
inline constexpr int16_t kEraseAllowance = 240;

// One update's step and counters, from the confirmed question to its end.
struct UpdateSteps {
  UpdateState state = UpdateState::Start;
  int16_t unitCounter = 0;
  int16_t tailCount = 0;
  int16_t eraseAllowance = kEraseAllowance;
  int16_t eraseCountdown = 0;
  int32_t progressPos = 0;
  // Ticks are honoured only while an update runs and no step is under way:
  // a tick already queued when the timer stopped, or one dispatched by the
  // own message loop of a box a step shows, finds nothing to do.
  bool running = false;
  bool stepRunning = false;
};

// The window's timer that drives the update.
inline constexpr uintptr_t kUpdateTimerId = 0;

// Reads the window's file into a fresh image for the session, unless the
// session's image is pinned (then no file is read), checks the probe and
// asks the operator. Returns the firmware version the probe answered for
// the question, as it is shown (such as 2.2); empty when none was read.
std::u16string StartUpdate(OperatorWindow& window, ProbeSession& session);
// Runs one step for timer 0 and returns true; any other id is left to the
// window's default handling (returns false).
bool UpdateTimerTick(OperatorWindow& window, ProbeSession& session, uintptr_t timerId);
// Forgets any update in progress (for the window's destruction and tests).
// An update still running is abandoned: the erase's reply watch is ended and
// the probe closed, so no read stays pending on a handle about to go.
void ResetUpdateState(ProbeSession& session);

// Whether timer 0 is driving an update (from the confirmed question to the
// end of the update, successful or not).
bool IsUpdateRunning(const ProbeSession& session);
UpdateState CurrentUpdateState(const ProbeSession& session);
