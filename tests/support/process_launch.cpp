// The one launcher of the Windows tests: every program a test starts goes
// through StartProcess and ends through EndStarted.
#include "tests/support/process_launch.h"

#include <cstdio>

namespace test_process {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

SECURITY_ATTRIBUTES Inheritable() {
  return SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
}

bool StartProcess(const std::wstring& commandLine, const StdHandles& handles, bool onConsole,
                  PROCESS_INFORMATION& process, DWORD& error) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  const bool redirected = handles.in != nullptr || handles.out != nullptr || handles.err != nullptr;
  if (redirected) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = handles.in;
    startup.hStdOutput = handles.out;
    startup.hStdError = handles.err;
  }
  // Under Wine on a loaded machine a start has once failed at once while
  // the same program started a moment before and after; a start is tried
  // again before the test is failed for it.
  for (int attempt = 1;; ++attempt) {
    std::wstring line = commandLine;
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, redirected,
                         onConsole ? 0 : CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                         &process) != 0) {
      error = 0;
      return true;
    }
    error = ::GetLastError();
    if (attempt == kStartAttempts) return false;
    std::fprintf(stderr, "a program did not start (error %lu); trying again\n", error);
    ::Sleep(kStartRetryMs);
  }
}

DWORD EndStarted(PROCESS_INFORMATION& process, DWORD timeoutMs) {
  if (process.hProcess == nullptr) return kNoStatus;
  DWORD status = kNoStatus;
  if (::WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(process.hProcess, &status);
  } else {
    ::TerminateProcess(process.hProcess, kNoStatus);
    ::WaitForSingleObject(process.hProcess, kExitWaitMs);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  process = PROCESS_INFORMATION{};
  return status;
}

}  // namespace

std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  for (wchar_t c : arg) {
    if (c == L'"') quoted += L'\\';
    quoted += c;
  }
  return quoted + L"\"";
}

std::wstring CommandLine(const std::wstring& exe, const std::vector<std::wstring>& args) {
  std::wstring line = QuoteArgument(exe);
  for (const std::wstring& arg : args) line += L" " + QuoteArgument(arg);
  return line;
}

HANDLE OpenNul() {
  SECURITY_ATTRIBUTES inherit = Inheritable();
  return ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       OPEN_EXISTING, 0, nullptr);
}

HANDLE CreateOutputFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit = Inheritable();
  return ::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool CreateChildPipe(bool childReads, HANDLE& childEnd, HANDLE& testEnd) {
  SECURITY_ATTRIBUTES inherit = Inheritable();
  HANDLE read = nullptr, write = nullptr;
  if (!::CreatePipe(&read, &write, &inherit, 0)) return false;
  childEnd = childReads ? read : write;
  testEnd = childReads ? write : read;
  // The test's end stays out of the program, or the pipe would never close.
  ::SetHandleInformation(testEnd, HANDLE_FLAG_INHERIT, 0);
  return true;
}

bool Child::Start(const std::wstring& commandLine, const StdHandles& handles, bool onConsole) {
  End(0);
  startError_ = 0;
  return StartProcess(commandLine, handles, onConsole, info_, startError_);
}

bool Child::Wait(DWORD timeoutMs) const {
  return info_.hProcess == nullptr ||
         ::WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD Child::End(DWORD timeoutMs) {
  return EndStarted(info_, timeoutMs);
}

std::wstring WindowsPath(const std::wstring& path) {
  if (path.empty() || path[0] != L'/') return path;
  std::wstring result = L"Z:" + path;
  for (wchar_t& c : result) {
    if (c == L'/') c = L'\\';
  }
  return result;
}

std::wstring Env(const wchar_t* name) {
  wchar_t value[4096] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, 4096);
  return length > 0 && length < 4096 ? std::wstring(value, length) : std::wstring();
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path, n);
  return text.substr(0, text.find_last_of(L"\\/") + 1);
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  ::GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + L"velkoro-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
         name;
}

}  // namespace test_process
