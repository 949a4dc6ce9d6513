// ostrelin-cli.exe: the Win32 edge of the console program. It finds out
// whether standard input and standard error are consoles, turns Ctrl+C into
// a flag the runners test between steps, writes UTF-8 (UTF-16 to a console),
// and appends the log with one locked write per line, flushed to disk, so
// several programs can share one log.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/console_io.h"
#include "messages/version_block_win32.h"

namespace {

// A typed answer longer than this is cut; no question needs more.
constexpr DWORD kAnswerChars = 256;
constexpr char kProgramName[] = "ostrelin-cli";
constexpr char kVersionMark[] = "Ver. ";

std::atomic<bool> g_interrupted{false};
HANDLE g_interruptEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  // The runners end the step under way, close the probe and write the log
  // line themselves; this thread only raises the flag.
  g_interrupted = true;
  if (g_interruptEvent != nullptr) SetEvent(g_interruptEvent);
  return TRUE;
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length,
                      nullptr, nullptr);
  return utf8;
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void WriteTo(HANDLE handle, const std::string& text) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
  if (IsConsole(handle)) {
    const std::wstring wide = Widen(text);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  DWORD written = 0;
  WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

class Win32Console : public ConsoleIo {
 public:
  Win32Console()
      : in_(GetStdHandle(STD_INPUT_HANDLE)),
        out_(GetStdHandle(STD_OUTPUT_HANDLE)),
        err_(GetStdHandle(STD_ERROR_HANDLE)) {
    QueryPerformanceFrequency(&frequency_);
  }
  void Out(const std::string& text) override { WriteTo(out_, text); }
  void Err(const std::string& text) override { WriteTo(err_, text); }
  bool InputIsConsole() override { return IsConsole(in_); }
  bool ErrorIsConsole() override { return IsConsole(err_); }

  std::optional<std::string> ReadLine() override {
    if (!IsConsole(in_)) return std::nullopt;
    wchar_t buffer[kAnswerChars];
    DWORD got = 0;
    if (!ReadConsoleW(in_, buffer, kAnswerChars, &got, nullptr) || got == 0 || g_interrupted)
      return std::nullopt;
    std::wstring line(buffer, got);
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    return Narrow(line);
  }

  bool Interrupted() override { return g_interrupted; }
  void Wait(unsigned ms) override {
    if (g_interruptEvent != nullptr) {
      WaitForSingleObject(g_interruptEvent, ms);
    } else {
      Sleep(ms);
    }
  }
  double Seconds() override {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency_.QuadPart);
  }
  std::string TimeUtc() override {
    SYSTEMTIME t;
    GetSystemTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
  }

 private:
  HANDLE in_, out_, err_;
  LARGE_INTEGER frequency_{};
};

// The lock that makes an append whole beside other programs: one byte far
// past any end a log reaches, so readers of the lines are never held up.
constexpr DWORD kAppendLockHigh = 0x7FFFFFFF;
// Another program holds the lock only for one line's write and flush.
constexpr DWORD kAppendLockWaitMs = 10000;
constexpr DWORD kAppendLockRetryMs = 5;
// A log larger than this is not read back (a station writes far less).
constexpr LONGLONG kMostLogBytes = 256LL * 1024 * 1024;
constexpr DWORD kReadChunkBytes = 65536;

std::string WindowsError(DWORD code) {
  return "Windows error " + std::to_string(code);
}

class Win32Log : public LogSink {
 public:
  explicit Win32Log(HANDLE file) : file_(file) {}
  ~Win32Log() override { CloseHandle(file_); }
  Win32Log(const Win32Log&) = delete;
  Win32Log& operator=(const Win32Log&) = delete;

  bool Append(const std::string& header, const std::string& line) override {
    // Under the lock, "is it empty, seek to the end, write, flush" is one
    // step for every program appending to the file: one header, whole lines.
    // Should another program keep the lock, the line is written all the
    // same: the handle appends, and a lost line is worse than a late one.
    const bool locked = Lock();
    LARGE_INTEGER size{};
    const bool empty = GetFileSizeEx(file_, &size) && size.QuadPart == 0;
    const std::string text = empty ? header + line : line;
    const LARGE_INTEGER zero{};
    DWORD written = 0;
    const bool wrote =
        SetFilePointerEx(file_, zero, nullptr, FILE_END) &&
        WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    const bool flushed = FlushFileBuffers(file_) != 0;
    if (locked) Unlock();
    return wrote && flushed;
  }

  bool ReadAll(std::string* text, std::string* error) override {
    text->clear();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size)) {
      *error = WindowsError(GetLastError());
      return false;
    }
    if (size.QuadPart > kMostLogBytes) {
      *error = "larger than " + std::to_string(kMostLogBytes / (1024 * 1024)) + " MiB";
      return false;
    }
    // Read by offset: the appends seek to the end themselves.
    std::string chunk(kReadChunkBytes, '\0');
    for (;;) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(text->size() & 0xFFFFFFFFu);
      at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(text->size()) >> 32);
      DWORD got = 0;
      if (!ReadFile(file_, chunk.data(), kReadChunkBytes, &got, &at)) {
        const DWORD code = GetLastError();
        if (code == ERROR_HANDLE_EOF) return true;
        *error = WindowsError(code);
        return false;
      }
      if (got == 0) return true;
      text->append(chunk.data(), got);
      if (static_cast<LONGLONG>(text->size()) > kMostLogBytes) {
        *error = "larger than " + std::to_string(kMostLogBytes / (1024 * 1024)) + " MiB";
        return false;
      }
    }
  }

 private:
  bool Lock() {
    for (DWORD waited = 0;; waited += kAppendLockRetryMs) {
      OVERLAPPED at{};
      at.OffsetHigh = kAppendLockHigh;
      if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return true;
      if (waited >= kAppendLockWaitMs) return false;
      Sleep(kAppendLockRetryMs);
    }
  }
  void Unlock() {
    OVERLAPPED at{};
    at.OffsetHigh = kAppendLockHigh;
    UnlockFileEx(file_, 0, 1, 0, &at);
  }

  HANDLE file_;
};

class Win32LogOpener : public LogOpener {
 public:
  std::unique_ptr<LogSink> Open(const std::u16string& path, std::string* error) override {
    const std::wstring name(path.begin(), path.end());
    // Read access too: the lock needs it, and the log is read back for the
    // numbers it records.
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      *error = WindowsError(GetLastError());
      return nullptr;
    }
    return std::make_unique<Win32Log>(file);
  }
};

std::string ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &length)) return "";
  return Narrow(std::wstring(name, length));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  g_interruptEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);

  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg(argv[i]);
    args.emplace_back(arg.begin(), arg.end());
  }
  const std::wstring title = [] {
    const std::u16string text = GetAppVersionText(VersionTextForm::kNameAndVersion);
    return std::wstring(text.begin(), text.end());
  }();
  const std::string titleUtf8 = Narrow(title);
  const size_t mark = titleUtf8.rfind(kVersionMark);
  const std::string toolVersion =
      mark == std::string::npos ? "" : titleUtf8.substr(mark + sizeof(kVersionMark) - 1);

  Win32Console console;
  Win32LogOpener logs;
  CliEnvironment environment{console, logs, ComputerName(), toolVersion,
                             std::string(kProgramName) + ": " + titleUtf8};
  const int status = RunCli(args, environment);

  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  if (g_interruptEvent != nullptr) CloseHandle(g_interruptEvent);
  return status;
}
