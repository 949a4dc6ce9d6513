// The probe's serial-number buffer holds 32 characters and a zero; the
// characters are printable ASCII.
#include "serial/serial_text.h"

#include "common/result_codes.h"
#include "probe/operations.h"

namespace {

constexpr size_t kMaxSerialChars = kSerialBufferUnits - 1;
constexpr char16_t kLowestSerialUnit = 0x20;
constexpr char16_t kHighestSerialUnit = 0x7E;

}  // namespace

int CheckSerialText(const std::u16string& text) {
  if (text.size() > kMaxSerialChars) return kResultSerialTooLong;
  for (char16_t unit : text) {
    if (unit < kLowestSerialUnit || unit > kHighestSerialUnit) return kResultSerialNotAscii;
  }
  return 0;
}
