// Starting and ending the programs the Windows tests drive, in one place:
// command lines with quoted arguments, the standard handles a program gets
// (NUL, files, pipes, the test's console), a bounded end, and the test
// program's own folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test_process {

// How long a process is given to end before it is ended by force.
inline constexpr DWORD kExitWaitMs = 10000;
// The status of a program that did not start or had to be ended by force.
inline constexpr DWORD kNoStatus = 0xFFFFFFFF;
// A program that does not start is tried this often, this far apart.
inline constexpr int kStartAttempts = 3;
inline constexpr DWORD kStartRetryMs = 1000;

// An argument quoted as the C runtime splits command lines.
std::wstring QuoteArgument(const std::wstring& arg);
std::wstring CommandLine(const std::wstring& exe, const std::vector<std::wstring>& args);

// The standard handles a started program gets; all null: it inherits none.
struct StdHandles {
  HANDLE in = nullptr;
  HANDLE out = nullptr;
  HANDLE err = nullptr;
};

// Inheritable handles to give a program: NUL to read from, a file created
// for writing (shared, so the test may read it while the program runs).
// INVALID_HANDLE_VALUE when they cannot be opened.
HANDLE OpenNul();
HANDLE CreateOutputFile(const std::wstring& path);
// A pipe of which the program gets one end (inheritable) and the test keeps
// the other; childReads chooses which end the program gets.
bool CreateChildPipe(bool childReads, HANDLE& childEnd, HANDLE& testEnd);

// A started program. Its end is always bounded: a running one is ended by
// force when the object goes.
class Child {
 public:
  Child() = default;
  ~Child() { End(0); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Starts the command line with the given standard handles; onConsole
  // shares the test's console with it instead of giving it none.
  bool Start(const std::wstring& commandLine, const StdHandles& handles = {},
             bool onConsole = false);
  // Whether it has ended within the wait (true when it never started).
  bool Wait(DWORD timeoutMs) const;
  // Waits up to timeoutMs, ends it by force after that, and lets it go; its
  // exit status, kNoStatus when it had to be ended or never started.
  DWORD End(DWORD timeoutMs);

  bool started() const { return info_.hProcess != nullptr; }
  HANDLE handle() const { return info_.hProcess; }
  DWORD id() const { return info_.dwProcessId; }
  // The system's error of the last attempt when Start failed; 0 otherwise.
  DWORD startError() const { return startError_; }

 private:
  PROCESS_INFORMATION info_{};
  DWORD startError_ = 0;
};

// A path from the build (a Unix path under Wine) as Windows sees it.
std::wstring WindowsPath(const std::wstring& path);
// An environment variable, empty when unset.
std::wstring Env(const wchar_t* name);
// The folder of the running test program, with a trailing separator.
std::wstring ProgramFolder();
// A file name in the temporary folder that no other test process uses.
std::wstring TempFile(const wchar_t* name);

}  // namespace test_process
