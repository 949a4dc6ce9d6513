// One session per decision: open, lock, read the tail, append and flush,
// unlock, close. Closing between decisions lets a spreadsheet open the log
// between two probes and makes a file replaced meanwhile the one read next.
#include "ledger/log_file_win32.h"

#include <windows.h>

namespace {

// The lock every writer of the log takes: one byte far past any end a log
// reaches, so readers of the lines are never held up.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
// Another station holds the lock for one decision only; longer than this and
// it counts as held, and the store's own wait takes over.
constexpr DWORD kLockWaitMs = 2000;
constexpr DWORD kLockRetryMs = 5;

std::string WindowsError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "its folder cannot be found (Windows error " + std::to_string(code) + ")";
    case ERROR_ACCESS_DENIED:
      return "it cannot be read or written: access is denied (Windows error 5)";
    case ERROR_WRITE_PROTECT:
      return "it cannot be written: the disk is write-protected (Windows error 19)";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "the disk is full (Windows error " + std::to_string(code) + ")";
    default:
      return "Windows error " + std::to_string(code);
  }
}

// What opening the path says about it: a device name such as CON opens as
// no file at all (under Wine, with an invalid handle).
std::string OpenError(DWORD code) {
  if (code == ERROR_INVALID_HANDLE) return "it is a device, not a file";
  return WindowsError(code);
}

bool HeldByAnother(DWORD code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

class Win32LogFile : public LogFile {
 public:
  explicit Win32LogFile(const std::u16string& path) : path_(path.begin(), path.end()) {}
  ~Win32LogFile() override { End(); }
  Win32LogFile(const Win32LogFile&) = delete;
  Win32LogFile& operator=(const Win32LogFile&) = delete;

  LogAccess Begin(std::string* error) override {
    End();
    // Read access too: the lock needs it, and the tail is read back.
    file_ = CreateFileW(path_.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    readOnly_ = false;
    DWORD code = file_ == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (code == ERROR_ACCESS_DENIED) {
      // A read-only log can still be read (serials reports it); appending
      // to it is what fails, and says why.
      file_ = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file_ != INVALID_HANDLE_VALUE) {
        readOnly_ = true;
      } else if (GetLastError() == ERROR_ACCESS_DENIED) {
        *error = "it cannot be read: access is denied (Windows error 5)";
        return LogAccess::kFailed;
      } else {
        code = GetLastError();
      }
    }
    if (file_ == INVALID_HANDLE_VALUE) {
      *error = OpenError(code);
      return HeldByAnother(code) ? LogAccess::kHeld : LogAccess::kFailed;
    }
    if (GetFileType(file_) != FILE_TYPE_DISK) {
      *error = "it is a device, not a file";
      End();
      return LogAccess::kFailed;
    }
    for (DWORD waited = 0;; waited += kLockRetryMs) {
      OVERLAPPED at{};
      at.OffsetHigh = kLockOffsetHigh;
      if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        locked_ = true;
        return LogAccess::kReady;
      }
      const DWORD code = GetLastError();
      if (!HeldByAnother(code)) {
        *error = WindowsError(code);
        End();
        return LogAccess::kFailed;
      }
      if (waited >= kLockWaitMs) {
        *error = WindowsError(code);
        End();
        return LogAccess::kHeld;
      }
      Sleep(kLockRetryMs);
    }
  }

  void End() override {
    if (file_ == INVALID_HANDLE_VALUE) return;
    if (locked_) {
      OVERLAPPED at{};
      at.OffsetHigh = kLockOffsetHigh;
      UnlockFileEx(file_, 0, 1, 0, &at);
      locked_ = false;
    }
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }

  bool Size(uint64_t* size, std::string* error) override {
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(file_, &value)) {
      *error = WindowsError(GetLastError());
      return false;
    }
    *size = static_cast<uint64_t>(value.QuadPart);
    return true;
  }

  bool ReadAt(uint64_t offset, size_t count, std::string* bytes, std::string* error) override {
    bytes->assign(count, '\0');
    size_t got = 0;
    while (got < count) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>((offset + got) & 0xFFFFFFFFu);
      at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
      DWORD n = 0;
      if (!ReadFile(file_, bytes->data() + got, static_cast<DWORD>(count - got), &n, &at)) {
        const DWORD code = GetLastError();
        if (code == ERROR_HANDLE_EOF) break;
        *error = WindowsError(code);
        return false;
      }
      if (n == 0) break;
      got += n;
    }
    bytes->resize(got);
    return true;
  }

  bool Append(const std::string& bytes, std::string* error) override {
    if (readOnly_) {
      *error = "it cannot be appended to: it is read-only, or this user may only read it";
      return false;
    }
    // The handle appends: every write lands at the end, whole.
    DWORD written = 0;
    if (!WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      *error = WindowsError(GetLastError());
      return false;
    }
    if (written != bytes.size()) {
      *error = "the disk took " + std::to_string(written) + " of " + std::to_string(bytes.size()) +
               " bytes";
      return false;
    }
    if (!FlushFileBuffers(file_)) {
      *error = WindowsError(GetLastError());
      return false;
    }
    return true;
  }

 private:
  std::wstring path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool locked_ = false;
  bool readOnly_ = false;
};

}  // namespace

std::unique_ptr<LogFile> NewWin32LogFile(const std::u16string& path) {
  return std::make_unique<Win32LogFile>(path);
}
