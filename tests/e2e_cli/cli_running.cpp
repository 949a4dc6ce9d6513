// A running ostrelin-cli.exe whose standard error is a pipe read by peeking,
// so the test never blocks on it.
#include "tests/e2e_cli/cli_running.h"

#include "tests/support/test_files.h"

namespace cli_e2e {

RunningCli::~RunningCli() {
  if (process_.started()) Finish(0);
}

bool RunningCli::Start(const std::wstring& exe, const std::vector<std::wstring>& args,
                       const std::wstring& outPath, bool onConsole) {
  outPath_ = outPath;
  HANDLE errWrite = nullptr;
  if (!test_process::CreateChildPipe(false, errWrite, errRead_)) return false;
  HANDLE in = test_process::OpenNul();
  HANDLE out = test_process::CreateOutputFile(outPath);
  const bool started = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE &&
                       process_.Start(CommandLine(exe, args), {in, out, errWrite}, onConsole);
  // Only the program holds the write end now: its end closes the pipe.
  for (HANDLE handle : {in, out, errWrite}) {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
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
  if (!process_.started()) return result;
  // Standard error is read while waiting, so a full pipe cannot hold the
  // program.
  const DWORD start = ::GetTickCount();
  while (!process_.Wait(kErrPollMs) && ::GetTickCount() - start < timeoutMs) Drain();
  result.status = process_.End(0);
  while (Drain()) {
    DWORD available = 0;
    if (!::PeekNamedPipe(errRead_, nullptr, 0, nullptr, &available, nullptr) || available == 0)
      break;
  }
  ::CloseHandle(errRead_);
  errRead_ = nullptr;
  result.out = test_files::ReadWholeFile(outPath_);
  result.err = err_;
  return result;
}

}  // namespace cli_e2e
