// The walk-throughs' line jobs: written beside their image, the image pinned
// by its SHA-256 and CRC-32, a range of numbers and the log beside it.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/sha256.h"
#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "ledger/operation_record.h"

namespace walk_job {

// The image is named by its file name only, so the job must sit beside it.
// `keys`: further key lines ("slots = 4\r\n"), as the job file writes them.
inline bool Write(const std::wstring& job, const std::wstring& image, const std::string& name,
                  const std::string& serials, const std::string& keys = "") {
  std::ifstream in(std::filesystem::path(image), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  FirmwareImage firmware;
  if (CheckFirmwareFile(std::u16string(image.begin(), image.end()), &firmware) != 0) return false;
  std::ofstream out(std::filesystem::path(job), std::ios::binary);
  out << "[job]\r\nname = " << name
      << "\r\nimage = " << std::filesystem::path(image).filename().string()
      << "\r\nimage_sha256 = " << Sha256Hex(bytes)
      << "\r\nimage_crc32 = " << Hex32(ReportFirmwareImage(firmware).crc32)
      << "\r\nserials = " << serials << "\r\nlog = " << name
      << ".csv\r\nsteps = update,write-serial\r\n"
      << keys;
  return static_cast<bool>(out);
}

}  // namespace walk_job
