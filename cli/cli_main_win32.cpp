// ostrelin-cli.exe: the Win32 edge of the console program. It finds out
// whether standard input and standard error are consoles, turns Ctrl+C into
// a flag the runners test between steps, writes UTF-8 (UTF-16 to a console),
// and opens the --log store (ledger/).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/console_io.h"
#include "ledger/ledger_opener_win32.h"
#include "line/mes_http.h"
#include "line/system_trust.h"
#include "line/utc_time.h"
#include "messages/version_block_win32.h"
#include "probe/device_hold_win32.h"

namespace {

// A typed answer longer than this is cut; no question needs more.
constexpr DWORD kAnswerChars = 256;
constexpr char kProgramName[] = "ostrelin-cli";
constexpr char kVersionMark[] = "Ver. ";
constexpr DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING

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

// false when the text could not be written whole.
bool WriteTo(HANDLE handle, const std::string& text) {
  if (text.empty()) return true;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  if (IsConsole(handle)) {
    const std::wstring wide = Widen(text);
    DWORD written = 0;
    return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) &&
           written == wide.size();
  }
  DWORD written = 0;
  return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

class Win32Console : public ConsoleIo {
 public:
  Win32Console()
      : in_(GetStdHandle(STD_INPUT_HANDLE)),
        out_(GetStdHandle(STD_OUTPUT_HANDLE)),
        err_(GetStdHandle(STD_ERROR_HANDLE)) {
    QueryPerformanceFrequency(&frequency_);
    // A tray's block of progress lines is redrawn in place only where the
    // console takes the cursor sequences; elsewhere it is plain lines.
    if (IsConsole(err_) && GetConsoleMode(err_, &errMode_)) {
      redraws_ = (errMode_ & kVirtualTerminal) != 0 ||
                 SetConsoleMode(err_, errMode_ | kVirtualTerminal) != 0;
    }
  }
  Win32Console(const Win32Console&) = delete;
  Win32Console& operator=(const Win32Console&) = delete;
  bool ErrorRedraws() override { return redraws_; }
  void Out(const std::string& text) override {
    if (!WriteTo(out_, text)) outFailed_ = true;
  }
  void Err(const std::string& text) override { WriteTo(err_, text); }
  bool OutputFailed() override { return outFailed_; }
  ~Win32Console() override {
    if (redraws_) SetConsoleMode(err_, errMode_);
    for (HANDLE mutex : held_) {
      ReleaseMutex(mutex);
      CloseHandle(mutex);
    }
  }
  // One named mutex per device index, owned until the program ends; an
  // abandoned one (its program was killed) is taken over.
  bool HoldDevice(int index) override {
    HANDLE mutex = nullptr;
    if (!TakeDeviceHold(index, &mutex)) return false;
    if (mutex != nullptr) held_.push_back(mutex);
    return true;
  }
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
  std::string TimeUtc() override { return UtcTextNow(); }

 private:
  HANDLE in_, out_, err_;
  LARGE_INTEGER frequency_{};
  bool outFailed_ = false;
  DWORD errMode_ = 0;
  bool redraws_ = false;
  std::vector<HANDLE> held_;
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
  Win32LedgerOpener ledgers;
  CliEnvironment environment{console,
                             ledgers,
                             ComputerName(),
                             toolVersion,
                             std::string(kProgramName) + ": " + titleUtf8,
                             &SystemKeyCrypto(),
                             &ProgramKeyFolder()};
  environment.mesPoster = MakeWinHttpMesPoster;
  environment.programData = MesProgramDataFolder();
  const int status = RunCli(args, environment);

  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  if (g_interruptEvent != nullptr) CloseHandle(g_interruptEvent);
  return status;
}
