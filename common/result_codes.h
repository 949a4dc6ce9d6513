// The result codes every layer returns: 0 for success and one code for each
// failure, 1 to 22. The operator's message for each is in the message
// catalogue's result table; the values are what callers and scripts rely on,
// so they never change.
#pragma once

inline constexpr int kResultOk = 0;
// The probe link: opening, transfers and closing.
inline constexpr int kResultNoProbe = 1;
inline constexpr int kResultSeveralProbes = 2;
inline constexpr int kResultNotSent = 3;
inline constexpr int kResultNotReceived = 4;
inline constexpr int kResultCloseFailed = 5;
// The probe's answers to the serial-number work.
inline constexpr int kResultVersionReply = 6;
inline constexpr int kResultSerialTooLong = 7;
inline constexpr int kResultVersionTooOldForSerial = 8;
inline constexpr int kResultSerialNotAscii = 9;
inline constexpr int kResultSerialReply = 10;
inline constexpr int kResultSerialVerify = 11;
inline constexpr int kResultSerialWrite = 12;
// The firmware file.
inline constexpr int kResultNoFile = 13;
inline constexpr int kResultSpanTooLarge = 14;
inline constexpr int kResultNotSRecord = 15;
// The probe's answers during an update.
inline constexpr int kResultErase = 16;
inline constexpr int kResultFlashWrite = 17;
inline constexpr int kResultFlashRead = 18;
inline constexpr int kResultFlashVerify = 19;
inline constexpr int kResultExecute = 20;
// The operator saw another LED display than the good update's.
inline constexpr int kResultLedRejected = 21;
inline constexpr int kResultVersionTooOldForUpdate = 22;

inline constexpr int kLowestFailure = kResultNoProbe;
inline constexpr int kHighestFailure = kResultVersionTooOldForUpdate;
