// What the runners share: turning what the console window saw into the
// record's result and message, and the texts the catalogue has no entry for.
#pragma once

#include <string>

#include "cli/console_window.h"
#include "cli/runners.h"

inline constexpr char kDeclinedText[] = "Cancelled: nothing was changed.";

// Result and message from the window: its first failure, a declined
// question, or success with the last message it showed.
void TakeOutcome(const ConsoleWindow& window, ConsoleIo& io, OperationRecord& record);
// A failure of the firmware file itself: no probe can help it.
bool IsFileFailure(int code);
// A version value as the probe's firmware is shown, such as 2.2.
std::string VersionText(uint8_t version);
