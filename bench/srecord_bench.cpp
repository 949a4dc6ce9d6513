// Times the firmware reader on the largest file it accepts: 640 KiB of data
// as S3 records of 32 bytes, read from disk through both passes, and times
// objcopy converting the same file to binary for comparison. Prints its
// figures; MB are 10^6 bytes of file text.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "firmware/firmware_image.h"
#include "tests/support/srecord_writer.h"

namespace {

constexpr uint32_t kBaseAddress = 0x08000000;
constexpr size_t kRecordDataBytes = 32;
constexpr double kReaderSeconds = 2.0;
constexpr int kObjcopyRuns = 20;

using Clock = std::chrono::steady_clock;

// The largest image the reader takes, in records of 32 data bytes.
std::string LargestImageText() {
  return srecord_writer::File(kBaseAddress, srecord_writer::Pattern(kImageBytes), kRecordDataBytes);
}

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const std::string text = LargestImageText();
  const fs::path dir = fs::temp_directory_path();
  const std::string stamp = std::to_string(Clock::now().time_since_epoch().count());
  const fs::path file = dir / ("velkoro-srecord-bench-" + stamp + ".saf");
  const fs::path binary = dir / ("velkoro-srecord-bench-" + stamp + ".bin");
  {
    std::ofstream out(file, std::ios::binary);
    out << text;
    if (!out) {
      std::printf("srecord read: cannot write %s\n", file.string().c_str());
      return 1;
    }
  }
  const std::u16string name = file.u16string();

  // The first reading warms the file cache and proves the file is accepted.
  FirmwareImage image;
  const FirmwareReadStatus status = ReadFirmwareFile(name, &image);
  if (status.sizeError || status.formatError || status.openFailed ||
      image.CountTransferUnits() != static_cast<int>(kImageBytes / kMaxUnitBytes)) {
    std::printf("srecord read: the benchmark file was not read as a full image\n");
    fs::remove(file);
    return 1;
  }

  int readings = 0;
  const Clock::time_point start = Clock::now();
  Clock::duration spent{};
  while (spent < std::chrono::duration<double>(kReaderSeconds)) {
    ReadFirmwareFile(name, &image);
    ++readings;
    spent = Clock::now() - start;
  }
  const double readerMs = Milliseconds(spent) / readings;
  const double megabytesPerSecond = static_cast<double>(text.size()) / 1e6 / (readerMs / 1e3);
  std::printf("file: %zu bytes of text, %u bytes of data, %d readings\n", text.size(), kImageBytes,
              readings);
  std::printf("srecord read: %.0f MB/s, %.3f ms per file\n", megabytesPerSecond, readerMs);

  const std::string command =
      "objcopy -I srec -O binary \"" + file.string() + "\" \"" + binary.string() + "\"";
  bool objcopyWorked = std::system(command.c_str()) == 0;  // warm-up
  const Clock::time_point objcopyStart = Clock::now();
  for (int i = 0; objcopyWorked && i < kObjcopyRuns; ++i) {
    objcopyWorked = std::system(command.c_str()) == 0;
  }
  const double objcopyMs = Milliseconds(Clock::now() - objcopyStart) / kObjcopyRuns;
  if (objcopyWorked) {
    std::printf("objcopy: %.3f ms per file, ratio %.1f\n", objcopyMs, objcopyMs / readerMs);
  } else {
    std::printf("objcopy: not available\n");
  }
  std::error_code ignored;
  fs::remove(file, ignored);
  fs::remove(binary, ignored);
  return 0;
}
