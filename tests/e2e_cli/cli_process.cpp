// Starting ostrelin-cli.exe with redirected handles or on a console of its
// own, and typing into that console by attaching to it.
#include "tests/e2e_cli/cli_process.h"

#include "tests/support/process_launch.h"
#include "tests/support/test_files.h"

namespace cli_e2e {
namespace {

DWORD WaitAndEnd(PROCESS_INFORMATION& process) {
  DWORD status = 0xFFFFFFFF;
  if (::WaitForSingleObject(process.hProcess, kCliRunMs) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(process.hProcess, &status);
  } else {
    ::TerminateProcess(process.hProcess, 1);
    ::WaitForSingleObject(process.hProcess, kCliRunMs);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return status;
}

void TypeLine(HANDLE input, const std::wstring& line) {
  std::vector<INPUT_RECORD> records;
  for (wchar_t c : line + L"\r") {
    for (BOOL down : {TRUE, FALSE}) {
      INPUT_RECORD record{};
      record.EventType = KEY_EVENT;
      record.Event.KeyEvent.bKeyDown = down;
      record.Event.KeyEvent.wRepeatCount = 1;
      record.Event.KeyEvent.wVirtualKeyCode = c == L'\r' ? VK_RETURN : 0;
      record.Event.KeyEvent.uChar.UnicodeChar = c;
      records.push_back(record);
    }
  }
  DWORD written = 0;
  ::WriteConsoleInputW(input, records.data(), static_cast<DWORD>(records.size()), &written);
}

}  // namespace

std::wstring CommandLine(const std::wstring& exe, const std::vector<std::wstring>& args) {
  return test_process::CommandLine(exe, args);
}

CliResult RunCli(const std::wstring& exe, const std::vector<std::wstring>& args,
                 const std::wstring& workDir) {
  CliResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  // Each run has files of its own: a process Wine starts beside a console
  // program may hold the last run's handles for a moment.
  static int runs = 0;
  const std::wstring run = std::to_wstring(++runs);
  const std::wstring outPath = workDir + L"\\cli-" + run + L"-stdout.txt";
  const std::wstring errPath = workDir + L"\\cli-" + run + L"-stderr.txt";
  HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr);
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE out = ::CreateFileW(outPath.c_str(), GENERIC_WRITE, kShare, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE err = ::CreateFileW(errPath.c_str(), GENERIC_WRITE, kShare, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    std::wstring line = test_process::CommandLine(exe, args);
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                         nullptr, &startup, &process)) {
      result.status = WaitAndEnd(process);
    }
  }
  for (HANDLE handle : {in, out, err}) {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
  result.out = test_files::ReadWholeFile(outPath);
  result.err = test_files::ReadWholeFile(errPath);
  return result;
}

CliResult RunCliOnConsole(const std::wstring& exe, const std::vector<std::wstring>& args,
                          const std::vector<std::wstring>& typedLines) {
  CliResult result;
  // A console of the test's own, shared with the program: the typed lines
  // wait in its input buffer until the program reads them.
  ::FreeConsole();
  if (!::AllocConsole()) {
    result.console = false;
    return result;
  }
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE input =
      ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
  HANDLE output =
      ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  result.console = input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE &&
                   ::GetConsoleMode(input, &mode);
  if (result.console) {
    ::FlushConsoleInputBuffer(input);
    for (const std::wstring& typedLine : typedLines) TypeLine(input, typedLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    std::wstring line = test_process::CommandLine(exe, args);
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &startup, &process)) {
      result.status = WaitAndEnd(process);
    }
  }
  for (HANDLE handle : {input, output}) {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
  ::FreeConsole();
  return result;
}

}  // namespace cli_e2e
