// The firmware file on disk: whether the operator's name finds an entry, the
// one read of the whole file into one buffer that both passes of the reader
// (or the console's shape scan) then take, and the file checks in their
// order. Nothing here throws; every outcome is a status.
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>

#include "common/file_path.h"
#include "common/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/srecord_shape.h"

namespace {

FirmwareReadStatus OpenFailed() {
  FirmwareReadStatus status;
  status.openFailed = true;
  return status;
}

FirmwareReadStatus NoMemory() {
  FirmwareReadStatus status;
  status.sizeError = true;
  status.formatError = true;
  return status;
}

FirmwareReadStatus TooLarge() {
  FirmwareReadStatus status = NoMemory();
  status.tooLarge = true;
  return status;
}

FirmwareReadStatus NotReadWhole() {
  FirmwareReadStatus status;
  status.formatError = true;
  return status;
}

}  // namespace

std::u16string FirmwareFileExists(const std::u16string& path) {
  if (path.empty()) {
    return {};
  }
  try {
    std::error_code error;
    // Any entry counts, as a directory search finds it: a folder or a link
    // that leads nowhere exists too, and the reading then reports it.
    if (std::filesystem::exists(std::filesystem::symlink_status(ToPath(path), error))) {
      return path;
    }
  } catch (...) {
    // A name the path library cannot convert names no entry.
  }
  return {};
}

namespace {

// The whole file in one zero-initialised buffer; a status with no flag set
// when *buffer and *length hold it.
FirmwareReadStatus ReadWholeFile(const std::u16string& path, std::unique_ptr<uint8_t[]>* buffer,
                                 size_t* length) {
  try {
    const std::filesystem::path file = ToPath(path);
    std::error_code error;
    // Some systems open a folder for reading and only fail the read.
    if (std::filesystem::is_directory(file, error)) {
      return OpenFailed();
    }
    std::ifstream stream(file, std::ios::in | std::ios::binary);
    if (!stream.is_open()) {
      return OpenFailed();
    }
    stream.seekg(0, std::ios::end);
    const std::streamoff size = stream.tellg();
    if (size < 0) {
      return OpenFailed();
    }
    if (static_cast<uint64_t>(size) > kLargestFirmwareFileBytes) {
      return TooLarge();
    }
    stream.seekg(0, std::ios::beg);
    *length = static_cast<size_t>(size);
    buffer->reset(new (std::nothrow) uint8_t[*length == 0 ? 1 : *length]());
    if (!*buffer) {
      return NoMemory();
    }
    stream.read(reinterpret_cast<char*>(buffer->get()), static_cast<std::streamsize>(*length));
    // A file that changed since its size was taken is not the file that was
    // checked: its bytes are not judged.
    if (stream.bad() || stream.gcount() != static_cast<std::streamsize>(*length)) {
      return NotReadWhole();
    }
    return FirmwareReadStatus{};
  } catch (const std::bad_alloc&) {
    return NoMemory();
  } catch (...) {
    return OpenFailed();
  }
}

}  // namespace

FirmwareReadStatus ReadFirmwareFile(const std::u16string& path, FirmwareImage* image) {
  std::unique_ptr<uint8_t[]> buffer;
  size_t length = 0;
  const FirmwareReadStatus status = ReadWholeFile(path, &buffer, &length);
  if (status.openFailed || status.sizeError || status.formatError) {
    // A file that could not be read leaves no earlier reading behind.
    image->Read(nullptr, 0);
    return status;
  }
  return image->Read(buffer.get(), length);
}

int CheckFirmwareFile(const std::u16string& path, FirmwareImage* image,
                      FirmwareReadStatus* status) {
  FirmwareReadStatus read;
  int code = kResultOk;
  if (FirmwareFileExists(path).empty()) {
    code = kResultNoFile;
  } else {
    read = ReadFirmwareFile(path, image);
    code = read.openFailed    ? kFirmwareFileNotOpened
           : read.sizeError   ? kResultSpanTooLarge
           : read.formatError ? kResultNotSRecord
                              : kResultOk;
  }
  if (status != nullptr) *status = read;
  return code;
}

bool ScanFirmwareFileShape(const std::u16string& path, SRecordShape* shape) {
  std::unique_ptr<uint8_t[]> buffer;
  size_t length = 0;
  const FirmwareReadStatus status = ReadWholeFile(path, &buffer, &length);
  if (status.openFailed || status.sizeError || status.formatError) return false;
  *shape = ScanSRecordShape(buffer.get(), length);
  return true;
}
