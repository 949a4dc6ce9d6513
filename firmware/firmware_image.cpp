// The firmware image: the check and load passes that turn S-record text into
// the fixed block table, and the walkers that hand the table out in transfer
// units and compare what the probe reads back.
#include "firmware/firmware_image.h"

#include <algorithm>
#include <cstring>

#include "firmware/srecord_record.h"

struct ImageBlockTable {
  bool used[kImageBlocks];
  int16_t lastPosition[kImageBlocks];
  // One row per block, rows adjacent, so a unit's data are one contiguous run.
  uint8_t data[kImageBlocks][kBlockBytes];
};

namespace {

// The data of one file may span at most the whole table; exactly 640 KiB fits.
constexpr uint64_t kSpanLimit = kImageBytes;
// Every image whose data stay below 0x40000 gets two 0xFF bytes there, so the
// probe always finds its image reaching that far.
constexpr int kFillerBlock = 0x40000 / kBlockBytes;
constexpr int16_t kFillerLastPosition = 1;
// One past the highest address a record can name.
constexpr uint64_t kAddressSpaceEnd = 0x100000000ull;
constexpr uint8_t kErasedByte = 0xFF;

void UseBlock(ImageBlockTable& table, int block) {
  if (!table.used[block]) {
    table.used[block] = true;
    table.lastPosition[block] = 0;
    std::memset(table.data[block], kErasedByte, kBlockBytes);
  }
}

// Records usually follow one another after a line end, so the next mark is
// looked for among the first few bytes before the general search is called.
constexpr size_t kNearMarkBytes = 4;

size_t NextMark(const uint8_t* buffer, size_t length, size_t from) {
  const size_t near = std::min(length, from + kNearMarkBytes);
  for (size_t at = from; at < near; ++at) {
    if (buffer[at] == srecord::kRecordMark) {
      return at;
    }
  }
  if (near >= length) {
    return length;
  }
  const void* mark = std::memchr(buffer + near, srecord::kRecordMark, length - near);
  return mark ? static_cast<size_t>(static_cast<const uint8_t*>(mark) - buffer) : length;
}

int DataLength(const srecord::Record& record) {
  return record.count - record.addressBytes - 1;
}

// Checks every record; on success gives the lowest data address. A data
// record without data still occupies the block of its address, so its end
// counts as one byte past that address: the span test then keeps that block
// inside the table too. Ends are 64-bit so that no record can wrap round.
FirmwareReadStatus CheckPass(const uint8_t* buffer, size_t length, uint32_t* lowestAddress) {
  FirmwareReadStatus status;
  uint32_t lowest = 0xFFFFFFFFu;
  uint64_t highestEnd = 0;
  bool sawData = false;
  for (size_t mark = NextMark(buffer, length, 0); mark < length;) {
    srecord::Record record;
    if (srecord::FrameRecord(buffer, length, mark, &record) != srecord::Framing::kRecord ||
        !srecord::ChecksumMatches(buffer, record)) {
      status.formatError = true;
      return status;
    }
    if (record.addressBytes != 0) {
      const uint32_t address = srecord::HexAddress(buffer + record.body, record.addressBytes);
      const uint64_t end =
          uint64_t{address} + static_cast<uint64_t>(std::max(DataLength(record), 1));
      // Data beyond 0xFFFFFFFF have no address an S-record could give them.
      if (end > kAddressSpaceEnd) {
        status.formatError = true;
        return status;
      }
      lowest = std::min(lowest, address);
      highestEnd = std::max(highestEnd, end);
      sawData = true;
    }
    mark = NextMark(buffer, length, record.end);
  }
  if (!sawData) {
    status.formatError = true;
  } else if (highestEnd - lowest > kSpanLimit) {
    status.sizeError = true;
  } else {
    *lowestAddress = lowest;
  }
  return status;
}

// Stores the data of one record from image offset `offset` on. A block's last
// position is the highest position stored in it, so records out of order
// never hide bytes stored earlier from the units. False only if the record
// would leave the table, which a passed check pass rules out.
bool StoreRecord(ImageBlockTable& table, uint32_t offset, const uint8_t* digits, int dataLength) {
  int block = static_cast<int>(offset / kBlockBytes);
  int position = static_cast<int>(offset % kBlockBytes);
  if (block >= kImageBlocks) {
    return false;
  }
  UseBlock(table, block);
  for (int stored = 0; stored < dataLength;) {
    if (position == kBlockBytes) {
      if (++block >= kImageBlocks) {
        return false;
      }
      UseBlock(table, block);
      position = 0;
    }
    const int run = std::min(dataLength - stored, kBlockBytes - position);
    uint8_t* out = table.data[block] + position;
    for (int i = 0; i < run; ++i) {
      out[i] = srecord::HexByte(digits + 2 * (stored + i));
    }
    stored += run;
    position += run;
    table.lastPosition[block] = std::max<int16_t>(table.lastPosition[block], position - 1);
  }
  return true;
}

// Fills the table from records already checked; checksums are not tested
// again.
bool LoadPass(ImageBlockTable& table, uint32_t base, const uint8_t* buffer, size_t length) {
  for (size_t mark = NextMark(buffer, length, 0); mark < length;) {
    srecord::Record record;
    if (srecord::FrameRecord(buffer, length, mark, &record) != srecord::Framing::kRecord) {
      return false;
    }
    if (record.addressBytes != 0) {
      const uint8_t* address = buffer + record.body;
      const uint32_t offset = srecord::HexAddress(address, record.addressBytes) - base;
      if (!StoreRecord(table, offset, address + 2 * record.addressBytes, DataLength(record))) {
        return false;
      }
    }
    mark = NextMark(buffer, length, record.end);
  }
  if (std::none_of(table.used + kFillerBlock, table.used + kImageBlocks,
                   [](bool used) { return used; })) {
    UseBlock(table, kFillerBlock);
    table.lastPosition[kFillerBlock] = kFillerLastPosition;
  }
  return true;
}

int UnitBlocks(const FirmwareImage& image, int first) {
  int blocks = 1;
  while (blocks < kMaxUnitBlocks && first + blocks < kImageBlocks &&
         image.BlockUsed(first + blocks)) {
    ++blocks;
  }
  return blocks;
}

uint32_t UnitLength(const FirmwareImage& image, int first, int blocks) {
  return static_cast<uint32_t>((blocks - 1) * kBlockBytes + image.LastPosition(first + blocks - 1) +
                               1);
}

// Moves the cursor onto the next used block; false when none is left.
bool SkipEmptyBlocks(const FirmwareImage& image, ImageCursor& cursor) {
  while (cursor.block < kImageBlocks && !image.BlockUsed(cursor.block)) {
    ++cursor.block;
    cursor.offset += kBlockBytes;
  }
  return cursor.block < kImageBlocks;
}

void PassUnit(ImageCursor& cursor, int blocks) {
  cursor.block += blocks;
  cursor.offset += static_cast<uint32_t>(blocks) * kBlockBytes;
}

}  // namespace

FirmwareImage::FirmwareImage() : table_(new ImageBlockTable) {
  std::fill(std::begin(table_->used), std::end(table_->used), false);
}

FirmwareImage::~FirmwareImage() = default;

bool FirmwareImage::BlockUsed(int block) const {
  return table_->used[block];
}

const uint8_t* FirmwareImage::BlockData(int block) const {
  return table_->data[block];
}

int FirmwareImage::LastPosition(int block) const {
  return table_->lastPosition[block];
}

FirmwareReadStatus FirmwareImage::Read(const uint8_t* bytes, size_t length) {
  std::fill(std::begin(table_->used), std::end(table_->used), false);
  base_ = 0;
  if (bytes == nullptr) {
    length = 0;
  }
  uint32_t lowest = 0;
  FirmwareReadStatus status = CheckPass(bytes, length, &lowest);
  if (status.sizeError || status.formatError) {
    return status;
  }
  base_ = lowest;
  if (!LoadPass(*table_, base_, bytes, length)) {
    std::fill(std::begin(table_->used), std::end(table_->used), false);
    base_ = 0;
    status.formatError = true;
  }
  return status;
}

int FirmwareImage::CountTransferUnits() const {
  int units = 0;
  for (int block = 0; block < kImageBlocks;) {
    if (!BlockUsed(block)) {
      ++block;
      continue;
    }
    block += UnitBlocks(*this, block);
    ++units;
  }
  return units;
}

void Rewind(ImageCursor& cursor) {
  cursor = ImageCursor{};
}

uint32_t NextProgramUnit(const FirmwareImage& image, ImageCursor& cursor,
                         uint8_t buffer[kMaxUnitBytes], uint32_t* offset) {
  if (!SkipEmptyBlocks(image, cursor)) {
    return 0;
  }
  const int blocks = UnitBlocks(image, cursor.block);
  const uint32_t length = UnitLength(image, cursor.block, blocks);
  std::memcpy(buffer, image.BlockData(cursor.block), static_cast<size_t>(blocks) * kBlockBytes);
  *offset = cursor.offset;
  PassUnit(cursor, blocks);
  return length;
}

uint32_t NextReadBackUnit(const FirmwareImage& image, ImageCursor& cursor, uint32_t* address) {
  if (!SkipEmptyBlocks(image, cursor)) {
    return 0;
  }
  *address = kReadBackBase + cursor.offset;
  return UnitLength(image, cursor.block, UnitBlocks(image, cursor.block));
}

bool CompareReadBackUnit(const FirmwareImage& image, ImageCursor& cursor, uint32_t length,
                         const uint8_t* data) {
  if (!SkipEmptyBlocks(image, cursor)) {
    return false;
  }
  const int blocks = UnitBlocks(image, cursor.block);
  const uint32_t unitLength = UnitLength(image, cursor.block, blocks);
  // Fewer bytes than the unit holds means some were not read back at all.
  const bool differs = length < unitLength || data == nullptr ||
                       std::memcmp(data, image.BlockData(cursor.block), unitLength) != 0;
  PassUnit(cursor, blocks);
  return differs;
}
