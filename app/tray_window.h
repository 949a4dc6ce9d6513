// The tray window (Ostrelin.exe --job JOB --tray): a header with the job,
// its image and store, this window's counts and the numbers left; a tile a
// slot, its state in words and colour; PAUSE. The slots run on their own
// threads (TrayRunner); their events come to this window's thread through
// a queue, so no step ever runs here and the window always answers.
#pragma once

// windows.h must come first.
// clang-format off
#include <windows.h>
// clang-format on
#undef MessageBox

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "app/tray_runner.h"

// Whether the command line asks for the tray (--tray or /tray, any case).
bool FindTrayArgument(const std::vector<std::u16string>& args);

// Opens the job for a tray and shows the window until it is closed: false
// when the job cannot be used (its ERROR box shown, no window).
bool RunTrayWindow(HINSTANCE instance, const std::u16string& jobPath);
