// CRC-32 (IEEE 802.3) computed bit by bit, independent of the program's
// table, for checking the checksums it reports.
#pragma once

#include <cstdint>
#include <vector>

namespace crc_test {

inline uint32_t BitwiseCrc32(const std::vector<uint8_t>& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

}  // namespace crc_test
