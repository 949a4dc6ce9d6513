// The durable write over Win32: FlushFileBuffers before the rename, and the
// rename itself written through, so a power cut leaves the old state or the
// whole new file.
#include <windows.h>

#include "line/durable_file.h"

namespace {

bool Fail(const std::filesystem::path& temporary, HANDLE file, const char* step, DWORD code,
          std::string* error) {
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  DeleteFileW(temporary.c_str());
  *error = std::string(step) + " failed (Windows error " + std::to_string(code) + ")";
  return false;
}

}  // namespace

bool WriteFileDurably(const std::filesystem::path& temporary, const std::filesystem::path& path,
                      std::string_view bytes, std::string* error) {
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return Fail(temporary, file, "create", GetLastError(), error);
  }
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(bytes.size() - done);
    if (!WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
      const DWORD code = GetLastError();
      return Fail(temporary, file, "write", code == 0 ? ERROR_DISK_FULL : code, error);
    }
    done += wrote;
  }
  if (!FlushFileBuffers(file)) return Fail(temporary, file, "flush", GetLastError(), error);
  if (!CloseHandle(file))
    return Fail(temporary, INVALID_HANDLE_VALUE, "close", GetLastError(), error);
  if (!MoveFileExW(temporary.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Fail(temporary, INVALID_HANDLE_VALUE, "rename", GetLastError(), error);
  }
  return true;
}
