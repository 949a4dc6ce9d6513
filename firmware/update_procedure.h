// The firmware update as the window runs it: UPDATE checks the file and the
// probe and asks the operator; then each tick of timer 0 runs one step.
#pragma once

#include <cstdint>

class OperatorWindow;

void StartUpdate(OperatorWindow& window);
// Runs one step for timer 0 and returns true; any other id is left to the
// window's default handling (returns false).
bool UpdateTimerTick(OperatorWindow& window, uintptr_t timerId);
// Forgets any update in progress (for the window's destruction and tests).
void ResetUpdateState();
