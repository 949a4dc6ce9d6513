#include "serial/count_up.h"

namespace {

// One rule for both texts: the window's UTF-16 and the pool's ASCII.
template <typename Text>
Text CountUp(Text serialNo) {
  // Work on a copy so that an all-nines run leaves the input as it was.
  Text next = serialNo;
  for (size_t i = next.size(); i > 0 && next[i - 1] >= '0' && next[i - 1] <= '9'; --i) {
    if (next[i - 1] != '9') {
      ++next[i - 1];
      return next;
    }
    next[i - 1] = '0';
  }
  return serialNo;
}

}  // namespace

std::u16string CountUpSerialNo(std::u16string serialNo) {
  return CountUp(std::move(serialNo));
}

std::string CountUpSerialNo(std::string serialNo) {
  return CountUp(std::move(serialNo));
}
