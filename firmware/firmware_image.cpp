// The firmware image: the check and load passes that turn S-record text into
// the fixed block table, and the walkers that hand the table out in transfer
// units and compare what the probe reads back.
#include "firmware/firmware_image.h"

#include <algorithm>
#include <cstring>

#include "firmware/srecord_record.h"

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

// Per thread, as all of this module's state: each probe of a tray runs on a
// thread of its own with its own image; the window program has one thread.
thread_local bool g_blockUsed[kImageBlocks];
thread_local int16_t g_lastPosition[kImageBlocks];
// One row per block, rows adjacent, so a unit's data are one contiguous run.
thread_local uint8_t g_blockData[kImageBlocks][kBlockBytes];
thread_local uint32_t g_imageBase = 0;
thread_local int g_cursorBlock = 0;
thread_local uint32_t g_cursorOffset = 0;

void UseBlock(int block) {
  if (!g_blockUsed[block]) {
    g_blockUsed[block] = true;
    g_lastPosition[block] = 0;
    std::memset(g_blockData[block], kErasedByte, kBlockBytes);
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
bool StoreRecord(uint32_t offset, const uint8_t* digits, int dataLength) {
  int block = static_cast<int>(offset / kBlockBytes);
  int position = static_cast<int>(offset % kBlockBytes);
  if (block >= kImageBlocks) {
    return false;
  }
  UseBlock(block);
  for (int stored = 0; stored < dataLength;) {
    if (position == kBlockBytes) {
      if (++block >= kImageBlocks) {
        return false;
      }
      UseBlock(block);
      position = 0;
    }
    const int run = std::min(dataLength - stored, kBlockBytes - position);
    uint8_t* out = g_blockData[block] + position;
    for (int i = 0; i < run; ++i) {
      out[i] = srecord::HexByte(digits + 2 * (stored + i));
    }
    stored += run;
    position += run;
    g_lastPosition[block] = std::max<int16_t>(g_lastPosition[block], position - 1);
  }
  return true;
}

// Fills the table from records already checked; checksums are not tested
// again.
bool LoadPass(const uint8_t* buffer, size_t length) {
  for (size_t mark = NextMark(buffer, length, 0); mark < length;) {
    srecord::Record record;
    if (srecord::FrameRecord(buffer, length, mark, &record) != srecord::Framing::kRecord) {
      return false;
    }
    if (record.addressBytes != 0) {
      const uint8_t* address = buffer + record.body;
      const uint32_t offset = srecord::HexAddress(address, record.addressBytes) - g_imageBase;
      if (!StoreRecord(offset, address + 2 * record.addressBytes, DataLength(record))) {
        return false;
      }
    }
    mark = NextMark(buffer, length, record.end);
  }
  if (std::none_of(g_blockUsed + kFillerBlock, g_blockUsed + kImageBlocks,
                   [](bool used) { return used; })) {
    UseBlock(kFillerBlock);
    g_lastPosition[kFillerBlock] = kFillerLastPosition;
  }
  return true;
}

int UnitBlocks(int first) {
  int blocks = 1;
  while (blocks < kMaxUnitBlocks && first + blocks < kImageBlocks && g_blockUsed[first + blocks]) {
    ++blocks;
  }
  return blocks;
}

uint32_t UnitLength(int first, int blocks) {
  return static_cast<uint32_t>((blocks - 1) * kBlockBytes + g_lastPosition[first + blocks - 1] + 1);
}

// Moves the cursor onto the next used block; false when none is left.
bool SkipEmptyBlocks() {
  while (g_cursorBlock < kImageBlocks && !g_blockUsed[g_cursorBlock]) {
    ++g_cursorBlock;
    g_cursorOffset += kBlockBytes;
  }
  return g_cursorBlock < kImageBlocks;
}

void PassUnit(int blocks) {
  g_cursorBlock += blocks;
  g_cursorOffset += static_cast<uint32_t>(blocks) * kBlockBytes;
}

}  // namespace

void ResetFirmwareImage() {
  std::fill(std::begin(g_blockUsed), std::end(g_blockUsed), false);
  g_imageBase = 0;
  RewindTransferUnits();
}

FirmwareReadStatus ReadFirmwareBytes(const uint8_t* bytes, size_t length) {
  ResetFirmwareImage();
  if (bytes == nullptr) {
    length = 0;
  }
  uint32_t lowest = 0;
  FirmwareReadStatus status = CheckPass(bytes, length, &lowest);
  if (status.sizeError || status.formatError) {
    return status;
  }
  g_imageBase = lowest;
  if (!LoadPass(bytes, length)) {
    ResetFirmwareImage();
    status.formatError = true;
  }
  return status;
}

uint32_t FirmwareImageBase() {
  return g_imageBase;
}

int CountTransferUnits() {
  int units = 0;
  for (int block = 0; block < kImageBlocks;) {
    if (!g_blockUsed[block]) {
      ++block;
      continue;
    }
    block += UnitBlocks(block);
    ++units;
  }
  return units;
}

void RewindTransferUnits() {
  g_cursorBlock = 0;
  g_cursorOffset = 0;
}

uint32_t NextProgramUnit(uint8_t buffer[kMaxUnitBytes], uint32_t* offset) {
  if (!SkipEmptyBlocks()) {
    return 0;
  }
  const int blocks = UnitBlocks(g_cursorBlock);
  const uint32_t length = UnitLength(g_cursorBlock, blocks);
  std::memcpy(buffer, g_blockData[g_cursorBlock], static_cast<size_t>(blocks) * kBlockBytes);
  *offset = g_cursorOffset;
  PassUnit(blocks);
  return length;
}

uint32_t NextReadBackUnit(uint32_t* address) {
  if (!SkipEmptyBlocks()) {
    return 0;
  }
  *address = kReadBackBase + g_cursorOffset;
  return UnitLength(g_cursorBlock, UnitBlocks(g_cursorBlock));
}

bool CompareReadBackUnit(uint32_t length, const uint8_t* data) {
  if (!SkipEmptyBlocks()) {
    return false;
  }
  const int blocks = UnitBlocks(g_cursorBlock);
  const uint32_t unitLength = UnitLength(g_cursorBlock, blocks);
  // Fewer bytes than the unit holds means some were not read back at all.
  const bool differs = length < unitLength || data == nullptr ||
                       std::memcmp(data, g_blockData[g_cursorBlock], unitLength) != 0;
  PassUnit(blocks);
  return differs;
}
