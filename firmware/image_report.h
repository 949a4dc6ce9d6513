// Figures of a firmware image read without error, as a report shows them: where it starts, how far
// the programmed bytes reach, its transfer units and used blocks, and the CRC-32 of the bytes an
// update programs.
#pragma once

#include <cstddef>
#include <cstdint>

class FirmwareImage;

struct ImageReport {
  uint32_t base = 0;   // lowest address of the file's data records
  uint32_t span = 0;   // from the base to the end of the last unit's last byte
  int units = 0;       // transfer units, as the update counts them
  int blocks = 0;      // used blocks of 256 bytes, the filler block included
  uint32_t crc32 = 0;  // of each unit's significant bytes, in unit order
};

// CRC-32 as IEEE 802.3 defines it (reflected, polynomial 0x04C11DB7, initial
// value and final XOR 0xFFFFFFFF). crc continues an earlier result; 0 starts.
uint32_t Crc32(const uint8_t* bytes, size_t length, uint32_t crc = 0);

// Walks the image's units once, with a cursor of its own.
ImageReport ReportFirmwareImage(const FirmwareImage& image);
