// The shape scan: one walk over the records as the reader frames them, then
// every data byte placed into a map of the span, to find bytes named twice.
#include "firmware/srecord_shape.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/srecord_record.h"

namespace {

struct DataRecord {
  uint32_t address = 0;
  size_t digits = 0;  // first digit of the data
  size_t bytes = 0;
};

bool IsEndRecord(uint8_t type) {
  return type == '7' || type == '8' || type == '9';
}

// Free places of the span's map; a stored byte is 0 to 255.
constexpr int16_t kUnnamed = -1;

}  // namespace

SRecordShape ScanSRecordShape(const uint8_t* bytes, size_t length) {
  SRecordShape shape;
  if (bytes == nullptr) return shape;
  std::vector<DataRecord> records;
  uint64_t lowest = UINT64_MAX, highest = 0;
  for (size_t at = 0; at < length;) {
    if (bytes[at] != srecord::kRecordMark) {
      ++at;
      continue;
    }
    srecord::Record record;
    if (srecord::FrameRecord(bytes, length, at, &record) != srecord::Framing::kRecord) break;
    if (IsEndRecord(record.type)) shape.endRecord = true;
    if (record.addressBytes > 0) {
      DataRecord data;
      data.address = srecord::HexAddress(bytes + record.body, record.addressBytes);
      data.digits = record.body + 2 * static_cast<size_t>(record.addressBytes);
      data.bytes = static_cast<size_t>(record.count - record.addressBytes - 1);
      lowest = std::min<uint64_t>(lowest, data.address);
      highest = std::max<uint64_t>(highest, uint64_t{data.address} + data.bytes);
      records.push_back(data);
    }
    at = record.end;
  }
  if (records.empty() || highest - lowest > kImageBytes) return shape;
  std::vector<int16_t> named(static_cast<size_t>(highest - lowest), kUnnamed);
  for (const DataRecord& record : records) {
    for (size_t i = 0; i < record.bytes; ++i) {
      const uint8_t value = srecord::HexByte(bytes + record.digits + 2 * i);
      int16_t& place = named[record.address - lowest + i];
      if (place != kUnnamed) {
        shape.overlap = true;
        if (place != value) shape.overlapDiffers = true;
      }
      place = value;
    }
  }
  return shape;
}
