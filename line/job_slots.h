// The job's two counts: the tray window's `slots` (how many tiles it shows,
// device indices 0 to N-1) and the unit cap's `units`. Their own file so
// the job reader keeps to one concern a key.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int kDefaultTraySlots = 8;
inline constexpr int kMostTraySlots = 24;

// A whole number from 1 to kMostTraySlots; false with *why on anything else.
bool ParseJobSlots(std::string_view value, int* slots, std::string* why);

// A whole number of probes from 1 to 1000000000; false with *why otherwise.
bool ParseJobUnits(std::string_view value, uint64_t* units, std::string* why);
