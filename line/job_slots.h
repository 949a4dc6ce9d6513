// The tray window's `slots` key: how many tiles it shows, device indices 0
// to N-1. Its own file so the job reader keeps to one concern a key.
#pragma once

#include <string>
#include <string_view>

inline constexpr int kDefaultTraySlots = 8;
inline constexpr int kMostTraySlots = 24;

// A whole number from 1 to kMostTraySlots; false with *why on anything else.
bool ParseJobSlots(std::string_view value, int* slots, std::string* why);
