// The firmware update as the window runs it: UPDATE checks the file and the
// probe and asks the operator; then each tick of timer 0 runs one step.
#pragma once

#include <cstdint>
#include <string>

class OperatorWindow;

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

// The window's timer that drives the update.
inline constexpr uintptr_t kUpdateTimerId = 0;

// Returns the firmware version the probe answered for the question, as it
// is shown (such as 2.2); empty when none was read.
std::u16string StartUpdate(OperatorWindow& window);
// Runs one step for timer 0 and returns true; any other id is left to the
// window's default handling (returns false).
bool UpdateTimerTick(OperatorWindow& window, uintptr_t timerId);
// Forgets any update in progress (for the window's destruction and tests).
// An update still running is abandoned: the erase's reply watch is ended and
// the probe closed, so no read stays pending on a handle about to go.
void ResetUpdateState();

// Whether timer 0 is driving an update (from the confirmed question to the
// end of the update, successful or not).
bool IsUpdateRunning();
UpdateState CurrentUpdateState();
