// The native build: the path library asks the file system (device and
// inode).
#include "cli/file_identity.h"

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}
