#include "line/job_slots.h"

namespace {

constexpr uint64_t kMostUnits = 1000000000;
constexpr size_t kMostUnitDigits = 10;

}  // namespace

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

bool ParseJobUnits(std::string_view value, uint64_t* units, std::string* why) {
  uint64_t count = 0;
  bool digits = !value.empty() && value.size() <= kMostUnitDigits;
  for (char c : value) {
    digits = digits && c >= '0' && c <= '9';
    if (digits) count = count * 10 + static_cast<uint64_t>(c - '0');
  }
  if (!digits || count < 1 || count > kMostUnits) {
    *why = "a count of probes from 1 to 1000000000";
    return false;
  }
  *units = count;
  return true;
}
