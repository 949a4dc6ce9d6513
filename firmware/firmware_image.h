// The firmware image: a fixed table of 2560 blocks of 256 bytes filled from a
// Motorola S-record file, and the walkers that hand it out in transfer units
// of one to four consecutive used blocks.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Not a result code: the file exists but could not be opened or read.
inline constexpr int kFirmwareFileNotOpened = -1;
// The file checks every procedure makes before it touches a probe, in their
// order: the file exists (else 13), it is read into the image, the size error
// (14) and then the format error (15). 0 leaves the image loaded.
// kFirmwareFileNotOpened for a file that exists but cannot be read. status,
// when given, receives how the reading ended.
int CheckFirmwareFile(const std::u16string& path, FirmwareReadStatus* status = nullptr);

// Clears the image and reads the file into it (check pass, then load pass).
FirmwareReadStatus ReadFirmwareFile(const std::u16string& path);
// The same over bytes already in memory; the file reader calls it per pass.
FirmwareReadStatus ReadFirmwareBytes(const uint8_t* bytes, size_t length);

// Image base of the last reading; valid only when it ended without error.
uint32_t FirmwareImageBase();

// Forgets every reading: no block used, image base 0, cursor rewound. Each
// reading starts from here; tests use it to start clean.
void ResetFirmwareImage();

int CountTransferUnits();
void RewindTransferUnits();
// Copies the next unit (n * 256 bytes) into buffer, gives its image offset and
// returns its length; 0 when no unit is left.
uint32_t NextProgramUnit(uint8_t buffer[kMaxUnitBytes], uint32_t* offset);
// Gives the next unit's read address (kReadBackBase + offset) and returns its
// length, without moving past it; 0 when no unit is left.
uint32_t NextReadBackUnit(uint32_t* address);
// Compares the bytes read back for the unit at the cursor and moves past it;
// true when any significant byte differs, or when length is shorter than the
// unit. data holds at least min(length, unit length) bytes.
bool CompareReadBackUnit(uint32_t length, const uint8_t* data);
