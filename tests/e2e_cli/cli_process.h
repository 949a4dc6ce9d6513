// Runs ostrelin-cli.exe as a script would: standard input from NUL (no
// console) or a console that the test types into, standard
// output and standard error captured apart, and its exit status. Every wait
// is capped.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace cli_e2e {

// One run of the program must end within this.
inline constexpr DWORD kCliRunMs = 180000;
struct CliResult {
  DWORD status = 0xFFFFFFFF;  // 0xFFFFFFFF: did not start or did not end
  // RunCliOnConsole: false when no usable console could be made (Wine makes
  // one only with a display); the program was not started then.
  bool console = true;
  std::string out;
  std::string err;
};

// The command line that starts exe with args, each quoted where it must be.
std::wstring CommandLine(const std::wstring& exe, const std::vector<std::wstring>& args);

// stdin is NUL; out and err go to files in workDir.
CliResult RunCli(const std::wstring& exe, const std::vector<std::wstring>& args,
                 const std::wstring& workDir);

// The program on a console (standard input a console, as an operator's);
// the typed lines are in its input before it starts. Output stays on that
// console and is not captured.
CliResult RunCliOnConsole(const std::wstring& exe, const std::vector<std::wstring>& args,
                          const std::vector<std::wstring>& typedLines);

}  // namespace cli_e2e
