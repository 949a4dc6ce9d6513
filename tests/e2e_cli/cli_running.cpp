// A running ostrelin-cli.exe whose standard error is a pipe read by peeking,
// so the test never blocks on it.
#include "tests/e2e_cli/cli_running.h"

#include <fstream>
#include <iterator>

namespace cli_e2e {

RunningCli::~RunningCli() {
  if (process_.hProcess != nullptr) Finish(0);
}

bool RunningCli::Start(const std::wstring& exe, const std::vector<std::wstring>& args,
                       const std::wstring& outPath) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  outPath_ = outPath;
  HANDLE errWrite = nullptr;
  if (!::CreatePipe(&errRead_, &errWrite, &inherit, 0)) return false;
  ::SetHandleInformation(errRead_, HANDLE_FLAG_INHERIT, 0);
  HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr);
  HANDLE out = ::CreateFileW(outPath.c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool started = false;
  if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = errWrite;
    std::wstring line = CommandLine(exe, args);
    started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &process_) != 0;
  }
  // Only the program holds the write end now: its end closes the pipe.
  for (HANDLE handle : {in, out, errWrite}) {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) ::CloseHandle(handle);
  }
  if (!started) process_ = PROCESS_INFORMATION{};
  return started;
}

bool RunningCli::Drain() {
  for (;;) {
    DWORD available = 0;
    if (errRead_ == nullptr || !::PeekNamedPipe(errRead_, nullptr, 0, nullptr, &available, nullptr))
      return false;
    if (available == 0) return true;
    char chunk[4096];
    DWORD got = 0;
    if (!::ReadFile(errRead_, chunk, sizeof chunk, &got, nullptr)) return false;
    err_.append(chunk, got);
  }
}

bool RunningCli::WaitForErr(const std::string& text, int times, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const bool open = Drain();
    int seen = 0;
    for (size_t at = err_.find(text); at != std::string::npos; at = err_.find(text, at + 1)) {
      ++seen;
    }
    if (seen >= times) return true;
    if (!open || ::GetTickCount() - start >= timeoutMs) return false;
    ::Sleep(kErrPollMs);
  }
}

CliResult RunningCli::Finish(DWORD timeoutMs) {
  CliResult result;
  if (process_.hProcess == nullptr) return result;
  const DWORD start = ::GetTickCount();
  while (::WaitForSingleObject(process_.hProcess, kErrPollMs) == WAIT_TIMEOUT) {
    Drain();
    if (::GetTickCount() - start >= timeoutMs) {
      ::TerminateProcess(process_.hProcess, 1);
      ::WaitForSingleObject(process_.hProcess, kCliRunMs);
      break;
    }
  }
  ::GetExitCodeProcess(process_.hProcess, &result.status);
  while (Drain()) {
    DWORD available = 0;
    if (!::PeekNamedPipe(errRead_, nullptr, 0, nullptr, &available, nullptr) || available == 0)
      break;
  }
  ::CloseHandle(process_.hThread);
  ::CloseHandle(process_.hProcess);
  process_ = PROCESS_INFORMATION{};
  ::CloseHandle(errRead_);
  errRead_ = nullptr;
  std::ifstream in(outPath_.c_str(), std::ios::binary);
  result.out = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  result.err = err_;
  return result;
}

}  // namespace cli_e2e
