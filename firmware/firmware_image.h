// The firmware image: a fixed table of 2560 blocks of 256 bytes filled from a
// Motorola S-record file, and the walkers that hand it out in transfer units
// of one to four consecutive used blocks. An image once read is not changed
// again, so one image may be shared by many runs at once, each walking it
// with a cursor of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/probe_protocol.h"

inline constexpr int kImageBlocks = 2560;
inline constexpr int kBlockBytes = 256;
inline constexpr uint32_t kImageBytes = kImageBlocks * kBlockBytes;  // 640 KiB
inline constexpr int kMaxUnitBlocks = 4;
inline constexpr uint32_t kMaxUnitBytes = kMaxUnitBlocks * kBlockBytes;
// The largest firmware file the reader takes in. An S-record file of a whole
// image is under 2 MiB; a larger file is refused as one too large to hold,
// decided from its size before anything is allocated.
inline constexpr uint64_t kLargestFirmwareFileBytes = 64ull * 1024 * 1024;

// How a reading ended, as its caller tests it: size error first, then format
// error. A file over kLargestFirmwareFileBytes sets both, as a buffer that
// cannot be had does; a read that fails or comes back short is a format
// error. openFailed: the file exists but could not be opened or read (a
// folder, a file another program holds); the image is then unusable.
struct FirmwareReadStatus {
  bool sizeError = false;
  bool formatError = false;
  bool openFailed = false;
  // Beside both errors: the file is larger than kLargestFirmwareFileBytes,
  // for a front-end that words it apart from the span's 640 KiB.
  bool tooLarge = false;
};

// The path itself when a directory search finds it, otherwise empty.
std::u16string FirmwareFileExists(const std::u16string& path);

// The blocks' bytes and marks, defined where the image is read.
struct ImageBlockTable;

// The block table, on the heap (640 KiB do not belong on a thread's stack).
class FirmwareImage {
 public:
  FirmwareImage();
  ~FirmwareImage();
  FirmwareImage(const FirmwareImage&) = delete;
  FirmwareImage& operator=(const FirmwareImage&) = delete;

  // Forgets any earlier reading and reads the S-record bytes (check pass,
  // then load pass). After an error the image holds no block.
  FirmwareReadStatus Read(const uint8_t* bytes, size_t length);
  // Lowest address of the data records; valid only after a reading without
  // error.
  uint32_t Base() const { return base_; }
  int CountTransferUnits() const;

  bool BlockUsed(int block) const;
  // The block's 256 bytes; those past its last position are 0xFF.
  const uint8_t* BlockData(int block) const;
  // The highest position in the block that a record stored.
  int LastPosition(int block) const;

 private:
  std::unique_ptr<ImageBlockTable> table_;
  uint32_t base_ = 0;
};

// Where a walk over an image stands: the block it looks at next and that
// block's image offset.
struct ImageCursor {
  int block = 0;
  uint32_t offset = 0;
};

void Rewind(ImageCursor& cursor);
// Copies the next unit (n * 256 bytes) into buffer, gives its image offset and
// returns its length; 0 when no unit is left.
uint32_t NextProgramUnit(const FirmwareImage& image, ImageCursor& cursor,
                         uint8_t buffer[kMaxUnitBytes], uint32_t* offset);
// Gives the next unit's read address (kReadBackBase + offset) and returns its
// length, without moving past it; 0 when no unit is left.
uint32_t NextReadBackUnit(const FirmwareImage& image, ImageCursor& cursor, uint32_t* address);
// Compares the bytes read back for the unit at the cursor and moves past it;
// true when any significant byte differs, or when length is shorter than the
// unit. data holds at least min(length, unit length) bytes.
bool CompareReadBackUnit(const FirmwareImage& image, ImageCursor& cursor, uint32_t length,
                         const uint8_t* data);

// Reads the whole file, then the image from its bytes.
FirmwareReadStatus ReadFirmwareFile(const std::u16string& path, FirmwareImage* image);

// Not a result code: the file exists but could not be opened or read.
inline constexpr int kFirmwareFileNotOpened = -1;
// The file checks every procedure makes before it touches a probe, in their
// order: the file exists (else 13), it is read into the image, the size error
// (14) and then the format error (15). 0 leaves the image read.
// kFirmwareFileNotOpened for a file that exists but cannot be read. status,
// when given, receives how the reading ended.
int CheckFirmwareFile(const std::u16string& path, FirmwareImage* image,
                      FirmwareReadStatus* status = nullptr);
