// Feeds any bytes to the S-record reader as a file's contents, once as they
// are and once with every record's checksum made right, so that mutated
// counts and addresses reach the span test and the load. A refused file must
// leave no unit; an accepted one must walk out in well-formed units that stay
// inside the table, count as many as the walk finds, and read back equal to
// themselves.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/srecord_record.h"
#include "firmware/srecord_shape.h"

namespace {

struct Unit {
  uint32_t offset;
  uint32_t length;
};

// Room for one unit per block, the most an image can hold.
Unit g_units[kImageBlocks];
uint8_t g_unitData[kImageBlocks][kMaxUnitBytes];

void Check(bool holds) {
  if (!holds) {
    __builtin_trap();
  }
}

// Rewrites the checksum of each record in turn, up to the first record that
// cannot be framed.
void FixChecksums(uint8_t* text, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  size_t at = 0;
  while (at < size) {
    const uint8_t* mark = static_cast<const uint8_t*>(std::memchr(text + at, 'S', size - at));
    if (mark == nullptr) {
      return;
    }
    srecord::Record record;
    if (srecord::FrameRecord(text, size, static_cast<size_t>(mark - text), &record) !=
        srecord::Framing::kRecord) {
      return;
    }
    unsigned sum = static_cast<unsigned>(record.count);
    for (int i = 0; i < record.count - 1; ++i) {
      sum += srecord::HexByte(text + record.body + 2 * i);
    }
    const uint8_t checksum = static_cast<uint8_t>(~sum);
    uint8_t* digits = text + record.body + 2 * (record.count - 1);
    digits[0] = static_cast<uint8_t>(kDigits[checksum >> 4]);
    digits[1] = static_cast<uint8_t>(kDigits[checksum & 0x0F]);
    at = record.end;
  }
}

void ReadAndWalk(const uint8_t* data, size_t size) {
  // The console's shape scan runs over the same bytes; whatever they are, it
  // stays inside them and calls no overlap without one.
  const SRecordShape shape = ScanSRecordShape(data, size);
  Check(shape.overlap || !shape.overlapDiffers);
  // The table is made once: a fresh 640 KiB per input would cost more than
  // the reading.
  static FirmwareImage image;
  ImageCursor cursor;
  const FirmwareReadStatus status = image.Read(data, size);
  Check(!status.openFailed);
  if (status.sizeError || status.formatError) {
    Check(image.CountTransferUnits() == 0);
    return;
  }

  const int count = image.CountTransferUnits();
  Check(count >= 1 && count <= kImageBlocks);
  Rewind(cursor);
  int walked = 0;
  uint64_t previousEnd = 0;
  uint32_t offset = 0;
  while (uint32_t length =
             NextProgramUnit(image, cursor, g_unitData[walked % kImageBlocks], &offset)) {
    Check(walked < count);
    Check(length >= 1 && length <= kMaxUnitBytes);
    Check(offset % kBlockBytes == 0 && offset >= previousEnd);
    Check(uint64_t{offset} + length <= kImageBytes);
    g_units[walked] = {offset, length};
    previousEnd = uint64_t{offset} + length;
    ++walked;
  }
  Check(walked == count);

  Rewind(cursor);
  for (int i = 0; i < count; ++i) {
    uint32_t address = 0;
    Check(NextReadBackUnit(image, cursor, &address) == g_units[i].length);
    Check(address == kReadBackBase + g_units[i].offset);
    Check(!CompareReadBackUnit(image, cursor, g_units[i].length, g_unitData[i]));
  }
  uint32_t address = 0;
  Check(NextReadBackUnit(image, cursor, &address) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadAndWalk(data, size);
  std::vector<uint8_t> fixed(data, data + size);
  FixChecksums(fixed.data(), fixed.size());
  ReadAndWalk(fixed.data(), fixed.size());
  return 0;
}
