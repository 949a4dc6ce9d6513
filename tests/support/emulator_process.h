// The emulator program as every Windows test starts it: with its options
// (and a transcript), told console lines on its standard input, its output
// kept in a file (so nothing it prints can fill a pipe and stall it), ended by
// closing its standard input.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/process_launch.h"

namespace emulator_process {

inline constexpr DWORD kReadyWaitMs = 30000;
// The emulator answers a cable line at once; this bounds the wait for it.
inline constexpr DWORD kCableWaitMs = 10000;
inline constexpr DWORD kPollStepMs = 20;

class Emulator {
 public:
  Emulator() = default;
  ~Emulator() { Stop(); }
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // Starts exe with the arguments and waits for "ready". The transcript goes
  // to transcriptPath and the program's output to logPath when they are not
  // empty (the output then to a temporary file).
  bool Start(const std::wstring& exe, const std::vector<std::wstring>& args,
             const std::wstring& transcriptPath = {}, const std::wstring& logPath = {});
  // Starts the emulator the environment names (VELKORO_EMULATOR), else the
  // VelkoroEmulator.exe beside the test program, with options written as one
  // command-line string.
  bool Start(const std::wstring& options);

  // Sends one line to its standard input ("unplug 0", "plug 0", "quit").
  bool Say(const std::string& line);
  // Pulls or puts back probe index's cable ("unplug" or "plug") and waits
  // for the emulator's answer ("unplugged N" or "plugged N" on its own line).
  bool Cable(const char* word, int index);
  // Waits until its output holds the text (everything since Start).
  bool WaitForOutput(const std::string& text, DWORD timeoutMs = kReadyWaitMs);
  std::string Output() const;
  // Whether it has ended within the wait, and its exit code then.
  bool Ended(DWORD timeoutMs, DWORD* code);
  // Holds or lets go every thread of the emulator, so that a client can act
  // while the emulator cannot look.
  bool Suspend(bool hold);
  // Closes its standard input and waits for it to end (ended by force after
  // a bounded wait); its exit code, test_process::kNoStatus when it had to be
  // ended or was not running.
  DWORD Stop();

 private:
  bool StartCommandLine(const std::wstring& commandLine, const std::wstring& logPath);

  test_process::Child process_;
  HANDLE input_ = nullptr;
  std::wstring logPath_;
  bool ownLog_ = false;
};

}  // namespace emulator_process
