// The process helpers of the Windows tests.
#include "tests/support/process_launch.h"

namespace test_process {

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

bool Launch(const std::wstring& commandLine, HANDLE stdinRead, HANDLE stdoutWrite,
            PROCESS_INFORMATION& process) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (stdinRead != nullptr) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = stdinRead;
    startup.hStdOutput = stdoutWrite;
    startup.hStdError = stdoutWrite;
  }
  std::wstring line = commandLine;
  return ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, stdinRead != nullptr,
                          CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process) != 0;
}

void EndProcess(PROCESS_INFORMATION& process, DWORD timeoutMs) {
  if (process.hProcess == nullptr) return;
  if (::WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.hProcess, 1);
    ::WaitForSingleObject(process.hProcess, kExitWaitMs);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  process = PROCESS_INFORMATION{};
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
