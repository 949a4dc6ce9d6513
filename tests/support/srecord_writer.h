// Builds Motorola S-record text for tests: records with correct checksums,
// data laid out as runs of data records, and the few ways tests spoil them.
// Header-only and independent of the product code.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace srecord_writer {

inline void AppendHexByte(std::string& text, uint8_t byte) {
  static const char kDigits[] = "0123456789ABCDEF";
  text += kDigits[byte >> 4];
  text += kDigits[byte & 0x0F];
}

// One record: 'S', the type, the byte count (body + checksum), the body as
// hex, the checksum. No line end.
inline std::string Record(char type, const std::vector<uint8_t>& body) {
  std::string text = "S";
  text += type;
  const uint8_t count = static_cast<uint8_t>(body.size() + 1);
  unsigned sum = count;
  AppendHexByte(text, count);
  for (uint8_t byte : body) {
    AppendHexByte(text, byte);
    sum += byte;
  }
  AppendHexByte(text, static_cast<uint8_t>(~sum));
  return text;
}

// Address bytes of a data record type: S1 two, S2 three, S3 four.
inline int AddressBytesOf(char type) {
  return type == '1' ? 2 : type == '2' ? 3 : 4;
}

inline std::vector<uint8_t> AddressBody(char type, uint32_t address) {
  std::vector<uint8_t> body;
  for (int i = AddressBytesOf(type) - 1; i >= 0; --i) {
    body.push_back(static_cast<uint8_t>(address >> (8 * i)));
  }
  return body;
}

inline std::string DataRecord(uint32_t address, const std::vector<uint8_t>& data, char type = '3') {
  std::vector<uint8_t> body = AddressBody(type, address);
  body.insert(body.end(), data.begin(), data.end());
  return Record(type, body);
}

inline std::string Header(const std::string& name = "velkoro") {
  std::vector<uint8_t> body{0, 0};
  body.insert(body.end(), name.begin(), name.end());
  return Record('0', body) + "\r\n";
}

// The end record matching a data record type (S3 -> S7, S2 -> S8, S1 -> S9).
inline std::string End(char type = '3') {
  const char endType = static_cast<char>('0' + 10 - (type - '0'));
  return Record(endType, AddressBody(type, 0));
}

// Data starting at address, split into records of perRecord bytes, each
// followed by separator.
inline std::string DataRecords(uint32_t address, const std::vector<uint8_t>& data,
                               size_t perRecord = 32, char type = '3',
                               const std::string& separator = "\r\n") {
  std::string text;
  for (size_t at = 0; at < data.size(); at += perRecord) {
    const size_t n = data.size() - at < perRecord ? data.size() - at : perRecord;
    text += DataRecord(address + static_cast<uint32_t>(at),
                       std::vector<uint8_t>(data.begin() + at, data.begin() + at + n), type);
    text += separator;
  }
  return text;
}

// A whole file: header, data records, end record.
inline std::string File(uint32_t address, const std::vector<uint8_t>& data, size_t perRecord = 32,
                        char type = '3') {
  return Header() + DataRecords(address, data, perRecord, type) + End(type) + "\r\n";
}

// length bytes counting up from first, so every byte of an image is told
// apart from its neighbours and from 0xFF runs.
inline std::vector<uint8_t> Pattern(size_t length, uint8_t first = 0) {
  std::vector<uint8_t> data(length);
  for (size_t i = 0; i < length; ++i) {
    data[i] = static_cast<uint8_t>(first + i * 7 + i / 251);
  }
  return data;
}

// The same record with its checksum's low digit changed.
inline std::string SpoilChecksum(std::string record) {
  char& digit = record.back();
  digit = digit == '0' ? '1' : '0';
  return record;
}

inline std::string Lowercase(std::string text) {
  for (char& c : text) {
    // The record mark stays upper case: a lowercase s marks no record.
    if (c != 'S') {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return text;
}

inline std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace srecord_writer
