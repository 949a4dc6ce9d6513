// Windows: the volume's serial number and the file's index, which stay the
// same however the file is named; the path library's own answer has been
// unreliable in MinGW's runtime.
#include <windows.h>

#include "cli/file_identity.h"

namespace {

bool IdentityOf(const std::filesystem::path& path, BY_HANDLE_FILE_INFORMATION* info) {
  // No access right is asked for, so a file another program holds open or
  // locked is still found; backup semantics open a folder too.
  const HANDLE file =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = ::GetFileInformationByHandle(file, info) != 0;
  ::CloseHandle(file);
  return known;
}

}  // namespace

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  BY_HANDLE_FILE_INFORMATION first{}, second{};
  return IdentityOf(a, &first) && IdentityOf(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}
