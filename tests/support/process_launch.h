// Starting and ending the programs the Windows tests drive: command lines
// with quoted arguments, a bounded end, and the test program's own folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test_process {

// How long a process is given to end before it is ended by force.
inline constexpr DWORD kExitWaitMs = 10000;

// An argument quoted as the C runtime splits command lines.
std::wstring QuoteArgument(const std::wstring& arg);
std::wstring CommandLine(const std::wstring& exe, const std::vector<std::wstring>& args);
// Starts the command line; with stdinRead its standard handles are the two
// given (standard error with standard output).
bool Launch(const std::wstring& commandLine, HANDLE stdinRead, HANDLE stdoutWrite,
            PROCESS_INFORMATION& process);
// Waits up to timeoutMs for the process to end, ends it by force after that,
// and closes its handles.
void EndProcess(PROCESS_INFORMATION& process, DWORD timeoutMs);
// The folder of the running test program, with a trailing separator.
std::wstring ProgramFolder();
// A file name in the temporary folder that no other test process uses.
std::wstring TempFile(const wchar_t* name);

}  // namespace test_process
