// A device index's hold between programs on one PC: a named mutex per
// index (Local\VelkoroDeviceN), so a console station and a tray window never
// work one probe at once.
#pragma once

// windows.h must come first.
// clang-format off
#include <windows.h>
// clang-format on

// Takes the index's mutex without waiting; an abandoned one (its program was
// killed) is taken over. True with *held the owned mutex, for the caller to
// release and close; true with *held nullptr when no mutex could be made (then
// no other program can be kept out either); false when another program holds
// the index.
bool TakeDeviceHold(int index, HANDLE* held);
