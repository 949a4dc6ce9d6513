// Running ostrelin-cli.exe with redirected handles or on a console of its
// own, and typing into that console by attaching to it.
#include "tests/e2e_cli/cli_process.h"

#include "tests/support/process_launch.h"
#include "tests/support/test_files.h"

namespace cli_e2e {
namespace {

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

void CloseAll(std::initializer_list<HANDLE> handles) {
  for (HANDLE handle : handles) {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) ::CloseHandle(handle);
  }
}

}  // namespace

std::wstring CommandLine(const std::wstring& exe, const std::vector<std::wstring>& args) {
  return test_process::CommandLine(exe, args);
}

CliResult RunCli(const std::wstring& exe, const std::vector<std::wstring>& args,
                 const std::wstring& workDir) {
  CliResult result;
  // Each run has files of its own: a process Wine starts beside a console
  // program may hold the last run's handles for a moment.
  static int runs = 0;
  const std::wstring run = workDir + L"\\cli-" + std::to_wstring(++runs);
  const std::wstring outPath = run + L"-stdout.txt", errPath = run + L"-stderr.txt";
  HANDLE in = test_process::OpenNul();
  HANDLE out = test_process::CreateOutputFile(outPath);
  HANDLE err = test_process::CreateOutputFile(errPath);
  test_process::Child cli;
  if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
      cli.Start(CommandLine(exe, args), {in, out, err})) {
    result.status = cli.End(kCliRunMs);
  }
  CloseAll({in, out, err});
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
  constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE input = ::CreateFileW(L"CONIN$", kReadWrite, kShare, &inherit, OPEN_EXISTING, 0, nullptr);
  HANDLE output =
      ::CreateFileW(L"CONOUT$", kReadWrite, kShare, &inherit, OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  result.console = input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE &&
                   ::GetConsoleMode(input, &mode);
  if (result.console) {
    ::FlushConsoleInputBuffer(input);
    for (const std::wstring& typedLine : typedLines) TypeLine(input, typedLine);
    test_process::Child cli;
    if (cli.Start(CommandLine(exe, args), {input, output, output}, true)) {
      result.status = cli.End(kCliRunMs);
    }
  }
  CloseAll({input, output});
  ::FreeConsole();
  return result;
}

}  // namespace cli_e2e
