// A line job on disk for the native tests of the windows: an image written
// beside it and pinned by its SHA-256 and CRC-32, the update and the write
// into line.csv, and the caller's lines (the range, the LED, ...).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/sha256.h"
#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "ledger/operation_record.h"
#include "tests/support/srecord_writer.h"

inline std::u16string WriteImageJob(const std::filesystem::path& dir, const std::string& lines) {
  std::filesystem::create_directories(dir);
  const std::string text = srecord_writer::File(0x1000, srecord_writer::Pattern(200, 5));
  std::ofstream(dir / "image.saf", std::ios::binary) << text;
  FirmwareImage image;
  EXPECT_EQ(CheckFirmwareFile((dir / "image.saf").u16string(), &image), 0);
  std::ofstream(dir / "line3.job", std::ios::binary)
      << "[job]\r\nname = line3\r\nimage = image.saf\r\nimage_sha256 = " << Sha256Hex(text)
      << "\r\nimage_crc32 = " << Hex32(ReportFirmwareImage(image).crc32)
      << "\r\nlog = line.csv\r\nsteps = update, write-serial\r\n"
      << lines;
  return (dir / "line3.job").u16string();
}
