// The firmware file on disk: whether the operator's name finds an entry, and
// the one read of the whole file into one buffer that both passes of the
// reader then scan. Nothing here throws; every outcome is a status.
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>

#include "firmware/firmware_image.h"

namespace {

// Windows paths stay UTF-16 all the way to the file system; elsewhere the
// path library converts them to the native multibyte form.
std::filesystem::path ToPath(const std::u16string& name) {
#ifdef _WIN32
  return std::filesystem::path(std::wstring(name.begin(), name.end()));
#else
  return std::filesystem::path(name);
#endif
}

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

FirmwareReadStatus ReadFirmwareFile(const std::u16string& path) {
  ResetFirmwareImage();
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
      return NoMemory();
    }
    stream.seekg(0, std::ios::beg);
    const size_t length = static_cast<size_t>(size);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[length == 0 ? 1 : length]());
    if (!buffer) {
      return NoMemory();
    }
    stream.read(reinterpret_cast<char*>(buffer.get()), static_cast<std::streamsize>(length));
    // A file that changed since its size was taken is not the file that was
    // checked: its bytes are not judged.
    if (stream.bad() || stream.gcount() != static_cast<std::streamsize>(length)) {
      return NotReadWhole();
    }
    stream.close();
    return ReadFirmwareBytes(buffer.get(), length);
  } catch (const std::bad_alloc&) {
    return NoMemory();
  } catch (...) {
    return OpenFailed();
  }
}
