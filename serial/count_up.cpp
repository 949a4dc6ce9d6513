#include "serial/count_up.h"

namespace {
bool IsDigit(char16_t unit) {
  return unit >= u'0' && unit <= u'9';
}
}  // namespace

std::u16string CountUpSerialNo(std::u16string serialNo) {
  // Work on a copy so that an all-nines run leaves the input as it was.
  std::u16string next = serialNo;
  for (size_t i = next.size(); i > 0 && IsDigit(next[i - 1]); --i) {
    if (next[i - 1] != u'9') {
      ++next[i - 1];
      return next;
    }
    next[i - 1] = u'0';
  }
  return serialNo;
}
