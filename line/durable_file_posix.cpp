// The durable write over POSIX, for the native build.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "line/durable_file.h"

namespace {

bool Fail(const std::filesystem::path& temporary, int fd, const char* step, int code,
          std::string* error) {
  if (fd >= 0) close(fd);
  std::remove(temporary.c_str());
  *error = std::string(step) + ": " + std::strerror(code) + " (" + std::to_string(code) + ")";
  return false;
}

}  // namespace

bool WriteFileDurably(const std::filesystem::path& temporary, const std::filesystem::path& path,
                      std::string_view bytes, std::string* error) {
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Fail(temporary, -1, "create", errno, error);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return Fail(temporary, fd, "write", wrote < 0 ? errno : ENOSPC, error);
    done += static_cast<size_t>(wrote);
  }
  if (fsync(fd) != 0) return Fail(temporary, fd, "flush", errno, error);
  if (close(fd) != 0) return Fail(temporary, -1, "close", errno, error);
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    return Fail(temporary, -1, "rename", errno, error);
  }
  return true;
}
