// The image's figures come from the same walker the update programs with, so
// the CRC-32 covers exactly the bytes an update sends, in the same order.
#include "firmware/image_report.h"

#include <array>

#include "firmware/firmware_image.h"

namespace {

constexpr uint32_t kCrcPolynomialReflected = 0xEDB88320u;

std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < table.size(); ++n) {
    uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? kCrcPolynomialReflected ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

}  // namespace

uint32_t Crc32(const uint8_t* bytes, size_t length, uint32_t crc) {
  static const std::array<uint32_t, 256> kTable = MakeCrcTable();
  crc = ~crc;
  for (size_t i = 0; i < length; ++i) crc = kTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

ImageReport ReportFirmwareImage(const FirmwareImage& image) {
  ImageReport report;
  report.base = image.Base();
  uint8_t unit[kMaxUnitBytes];
  uint32_t offset = 0;
  ImageCursor cursor;
  while (const uint32_t length = NextProgramUnit(image, cursor, unit, &offset)) {
    ++report.units;
    report.blocks += static_cast<int>((length - 1) / kBlockBytes + 1);
    report.span = offset + length;
    report.crc32 = Crc32(unit, length, report.crc32);
  }
  return report;
}
