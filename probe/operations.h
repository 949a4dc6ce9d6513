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

// Result codes of the probe link.
inline constexpr int kResultNoProbe = 1;
inline constexpr int kResultSeveralProbes = 2;
inline constexpr int kResultNotSent = 3;
inline constexpr int kResultNotReceived = 4;
inline constexpr int kResultCloseFailed = 5;
inline constexpr int kResultVersionReply = 6;
inline constexpr int kResultSerialTooLong = 7;
inline constexpr int kResultVersionTooOldForSerial = 8;
inline constexpr int kResultSerialNotAscii = 9;
inline constexpr int kResultSerialReply = 10;
inline constexpr int kResultSerialVerify = 11;
inline constexpr int kResultSerialWrite = 12;
inline constexpr int kResultErase = 16;
inline constexpr int kResultFlashWrite = 17;
inline constexpr int kResultFlashRead = 18;
inline constexpr int kResultFlashVerify = 19;
inline constexpr int kResultExecute = 20;
inline constexpr int kResultVersionTooOldForUpdate = 22;

// Sub-steps of the button operations, with the probe open; each returns 0 or
// a result code.
int CheckVersionForSerial();
int CheckVersionForUpdate(char16_t versionText[4]);
int FetchSerialNumber(char16_t serial[kSerialBufferUnits]);
int StoreSerialNumber(const char16_t* serial);  // zero-terminated
int CompareSerialNumber(const char16_t* readBack, const char16_t* written);
