#include "line/job_slots.h"

bool ParseJobSlots(std::string_view value, int* slots, std::string* why) {
  int count = 0;
  // Two digits at most: more cannot be a count the window has tiles for.
  bool digits = !value.empty() && value.size() <= 2;
  for (char c : value) {
    digits = digits && c >= '0' && c <= '9';
    if (digits) count = count * 10 + (c - '0');
  }
  if (!digits || count < 1 || count > kMostTraySlots) {
    *why = "a count of tray slots from 1 to " + std::to_string(kMostTraySlots);
    return false;
  }
  *slots = count;
  return true;
}
