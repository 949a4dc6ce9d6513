#include "line/utc_time.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

int TwoDigits(std::string_view text, size_t at) {
  return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

}  // namespace

bool IsUtcTime(std::string_view text) {
  static constexpr char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
  if (text.size() != sizeof kShape - 1) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
  }
  const int month = TwoDigits(text, 5), day = TwoDigits(text, 8);
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 && TwoDigits(text, 11) <= 23 &&
         TwoDigits(text, 14) <= 59 && TwoDigits(text, 17) <= 59;
}

bool ParseUtcLimit(std::string_view value, std::string* limit) {
  const std::string full =
      value.size() == 10 ? std::string(value) + "T23:59:59Z" : std::string(value);
  if (!IsUtcTime(full)) return false;
  *limit = full;
  return true;
}

std::string FormatUtcTime(unsigned year, unsigned month, unsigned day, unsigned hour,
                          unsigned minute, unsigned second) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", year, month, day, hour, minute,
                second);
  return text;
}

int64_t UtcNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string UtcTextOf(int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  return FormatUtcTime(static_cast<unsigned>(utc.tm_year + 1900),
                       static_cast<unsigned>(utc.tm_mon + 1), static_cast<unsigned>(utc.tm_mday),
                       static_cast<unsigned>(utc.tm_hour), static_cast<unsigned>(utc.tm_min),
                       static_cast<unsigned>(utc.tm_sec));
}

std::string UtcTextNow() {
  return UtcTextOf(UtcNowMs());
}
