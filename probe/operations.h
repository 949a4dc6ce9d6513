// What the window's procedures ask of the probe. Each operation returns 0 on
// success, or 1 with its result code written into *result (left untouched on
// success); PollProbeErase has the further answers 3 (pending) and 4.
#pragma once

#include <cstdint>

// Firmware version remembered by the last successful update version check;
// 0 until then. Below 0x22 the flash is programmed in 128-byte requests.
extern uint8_t g_probeVersion;

inline constexpr int kSerialBufferUnits = 33;  // 32 characters and a zero

// Button operations: each opens the probe and closes it again.
int ReadProbeSerial(char16_t serial[kSerialBufferUnits], int* result);
int WriteProbeSerial(const char16_t* serial, int* result);  // zero-terminated
int CheckProbeForUpdate(char16_t versionText[4], int* result);

// Update steps, with the probe open; none of them closes it on failure.
inline constexpr int kErasePending = 3;
inline constexpr int kEraseReceiveFailed = 4;
int PollProbeErase(int* result);
int ProgramNextUnit(int* result);
int VerifyNextUnit(int* result);
int ExecuteProbeUpdate(int* result);
int CloseProbeAfterUpdate(int* result);
