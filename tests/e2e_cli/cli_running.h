// ostrelin-cli.exe left running while a test acts beside it (plugs and
// unplugs probes, starts more of it): standard input is NUL, standard
// output goes to a file, standard error is read as it comes. Every wait is
// capped.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e_cli/cli_process.h"
#include "tests/support/process_launch.h"

namespace cli_e2e {

// Between two looks at standard error.
inline constexpr DWORD kErrPollMs = 20;

class RunningCli {
 public:
  RunningCli() = default;
  ~RunningCli();
  RunningCli(const RunningCli&) = delete;
  RunningCli& operator=(const RunningCli&) = delete;

  // out is written to outPath (in workDir); false when it did not start.
  // onConsole: it shares the test's console, so a Ctrl+C there reaches it.
  bool Start(const std::wstring& exe, const std::vector<std::wstring>& args,
             const std::wstring& outPath, bool onConsole = false);
  // Waits until standard error has shown text at least times times in all;
  // false when the wait ran out or the program ended first.
  bool WaitForErr(const std::string& text, int times, DWORD timeoutMs);
  // Waits for the end (killed after the wait) and gives status, out and err.
  CliResult Finish(DWORD timeoutMs = kCliRunMs);
  const std::string& err() const { return err_; }

 private:
  // Takes what standard error has ready; false once it is closed.
  bool Drain();

  test_process::Child process_;
  HANDLE errRead_ = nullptr;
  std::wstring outPath_;
  std::string err_;
};

}  // namespace cli_e2e
