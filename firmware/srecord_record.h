// Framing of one Motorola S-record in a file buffer: hex digit values, the
// record found at an 'S', its byte count, address and checksum. Pure
// functions over the buffer; every read is checked against its length first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace srecord {

inline constexpr uint8_t kRecordMark = 'S';
// The mark, the type character and the two digits of the byte count.
inline constexpr size_t kRecordHeadChars = 4;

// Any character that is not a hex digit counts as -1 (all bits set), so a
// stray character spoils the checksum instead of being refused by itself.
inline constexpr std::array<int8_t, 256> kHexValue = [] {
  std::array<int8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = -1;
  }
  for (int c = '0'; c <= '9'; ++c) {
    table[c] = static_cast<int8_t>(c - '0');
  }
  for (int c = 'A'; c <= 'F'; ++c) {
    table[c] = static_cast<int8_t>(c - 'A' + 10);
    table[c - 'A' + 'a'] = static_cast<int8_t>(c - 'A' + 10);
  }
  return table;
}();

inline int HexValue(uint8_t c) {
  return kHexValue[c];
}

// Two digits as a byte, modulo 256.
inline uint8_t HexByte(const uint8_t* digits) {
  return static_cast<uint8_t>(HexValue(digits[0]) * 16 + HexValue(digits[1]));
}

// Two digits as the signed byte count.
inline int HexCount(const uint8_t* digits) {
  return HexValue(digits[0]) * 16 + HexValue(digits[1]);
}

// 2 * bytes digits, most significant first, in 32-bit arithmetic.
inline uint32_t HexAddress(const uint8_t* digits, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < 2 * bytes; ++i) {
    value = value * 16u + static_cast<uint32_t>(HexValue(digits[i]));
  }
  return value;
}

// Address length in bytes of a data record type, 0 for every other type.
inline int AddressBytes(uint8_t type) {
  switch (type) {
    case '1':
      return 2;
    case '2':
      return 3;
    case '3':
      return 4;
    default:
      return 0;
  }
}

enum class Framing {
  kRecord,
  // The record (its count or its N bytes) reaches past the end.
  kTruncated,
  // A byte count below 1 leaves no room for the checksum.
  kNoChecksum,
  // A data record's byte count leaves no room for its address and checksum,
  // so its address would be read from whatever follows the record.
  kNoAddress,
};

struct Record {
  uint8_t type = 0;
  int count = 0;         // N: bytes after the count, checksum included
  int addressBytes = 0;  // 2, 3 or 4 for a data record, otherwise 0
  size_t body = 0;       // first digit after the count
  size_t end = 0;        // just after the checksum's second digit
};

// Frames the record whose mark stands at buffer[mark].
inline Framing FrameRecord(const uint8_t* buffer, size_t length, size_t mark, Record* record) {
  if (length - mark < kRecordHeadChars) {
    return Framing::kTruncated;
  }
  record->type = buffer[mark + 1];
  record->count = HexCount(buffer + mark + 2);
  record->addressBytes = AddressBytes(record->type);
  record->body = mark + kRecordHeadChars;
  if (record->count < 1) {
    return Framing::kNoChecksum;
  }
  if (record->count < record->addressBytes + 1) {
    return Framing::kNoAddress;
  }
  const size_t available = length - record->body;
  const size_t bodyChars = 2 * static_cast<size_t>(record->count);
  if (bodyChars > available) {
    return Framing::kTruncated;
  }
  record->end = record->body + bodyChars;
  return Framing::kRecord;
}

// The ones' complement of the low 8 bits of N and the N - 1 bytes after the
// count must equal the checksum byte that follows them.
inline bool ChecksumMatches(const uint8_t* buffer, const Record& record) {
  unsigned sum = static_cast<unsigned>(record.count);
  const uint8_t* digits = buffer + record.body;
  const int bytes = record.count - 1;
  for (int i = 0; i < bytes; ++i) {
    sum += HexByte(digits + 2 * i);
  }
  return static_cast<uint8_t>(0xFFu - (sum & 0xFFu)) == HexByte(digits + 2 * bytes);
}

}  // namespace srecord
