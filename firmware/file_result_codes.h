// Result codes of the firmware file and of the update's LED question, beside
// those of the probe link in probe/operations.h.
#pragma once

inline constexpr int kResultNoFile = 13;
inline constexpr int kResultSpanTooLarge = 14;
inline constexpr int kResultNotSRecord = 15;
inline constexpr int kResultLedRejected = 21;
