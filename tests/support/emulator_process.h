// The emulator program as the Win32 transport tests run it: started from the
// folder of the test program with its own options and a transcript, told
// console lines, ended by closing its standard input; and the fixture that
// gives each test a clean probe link and its own emulator.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "probe/link_reset.h"

namespace emulator_process {

inline constexpr DWORD kReadyWaitMs = 30000;
inline constexpr DWORD kExitWaitMs = 15000;
inline constexpr DWORD kTranscriptWaitMs = 5000;
inline constexpr DWORD kPollStepMs = 20;
// A time-out ends just after kTransferTimeoutMs; a loaded machine may add a
// little to that, never a second time-out.
inline constexpr DWORD kTimeoutSlackMs = 1500;

inline std::wstring Folder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path, n);
  return text.substr(0, text.find_last_of(L"\\/") + 1);
}

inline std::wstring TempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + L"velkoro-probe-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         name;
}

inline std::string ReadWholeFile(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return {};
  std::string text;
  char chunk[4096];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  std::fclose(file);
  return text;
}

class Emulator {
 public:
  ~Emulator() { Stop(); }

  bool Start(const std::wstring& options) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childIn = nullptr;
    HANDLE childOut = nullptr;
    if (!CreatePipe(&childIn, &input_, &inherit, 0)) return false;
    if (!CreatePipe(&output_, &childOut, &inherit, 0)) return false;
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command = L"\"" + Folder() + L"VelkoroEmulator.exe\" " + options;
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process_);
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (!started) return false;
    seen_.clear();
    return WaitForOutput("ready", kReadyWaitMs);
  }

  // Sends one line to its standard input.
  bool Say(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    return input_ != nullptr &&
           WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
  }

  // Waits until its standard output has printed the text (since Start).
  bool WaitForOutput(const std::string& text, DWORD timeoutMs = kReadyWaitMs) {
    const DWORD start = GetTickCount();
    while (seen_.find(text) == std::string::npos) {
      if (GetTickCount() - start >= timeoutMs) return false;
      DWORD available = 0;
      if (!PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr)) return false;
      if (available > 0) {
        char chunk[256];
        DWORD got = 0;
        ReadFile(output_, chunk, sizeof chunk, &got, nullptr);
        seen_.append(chunk, got);
      } else {
        Sleep(kPollStepMs);
      }
    }
    return true;
  }

  // Whether it has ended within the wait, and its exit code then.
  bool Ended(DWORD timeoutMs, DWORD* code) {
    if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(process_.hProcess, code) != 0;
  }

  // Holds or lets go every thread of the emulator, so that a client can act
  // while the emulator cannot look.
  bool Suspend(bool hold) {
    using ProcessCall = LONG(NTAPI*)(HANDLE);
    const auto call = reinterpret_cast<ProcessCall>(reinterpret_cast<void*>(GetProcAddress(
        GetModuleHandleW(L"ntdll.dll"), hold ? "NtSuspendProcess" : "NtResumeProcess")));
    return call != nullptr && call(process_.hProcess) >= 0;
  }

  // Closes its standard input and waits for it to end; its exit code.
  DWORD Stop() {
    if (input_ != nullptr) CloseHandle(input_);
    input_ = nullptr;
    DWORD code = STILL_ACTIVE;
    if (process_.hProcess != nullptr) {
      if (WaitForSingleObject(process_.hProcess, kExitWaitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 99);
      }
      GetExitCodeProcess(process_.hProcess, &code);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
      process_ = PROCESS_INFORMATION{};
    }
    if (output_ != nullptr) CloseHandle(output_);
    output_ = nullptr;
    return code;
  }

 private:
  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
  PROCESS_INFORMATION process_{};
  std::string seen_;
};

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProbeLinkForTests();
    transcript_ = TempFile(L"transcript.txt");
    DeleteFileW(transcript_.c_str());
  }
  void TearDown() override {
    ResetProbeLinkForTests();
    emulator_.Stop();
    DeleteFileW(transcript_.c_str());
  }

  void StartEmulator(const std::wstring& options) {
    ASSERT_TRUE(emulator_.Start(options + L" --transcript \"" + transcript_ + L"\""));
  }

  // Waits until every piece of text is in the transcript.
  bool TranscriptHas(const std::vector<std::string>& pieces) {
    const DWORD start = GetTickCount();
    for (;;) {
      const std::string text = ReadWholeFile(transcript_);
      bool all = true;
      for (const auto& piece : pieces) all = all && text.find(piece) != std::string::npos;
      if (all) return true;
      if (GetTickCount() - start > kTranscriptWaitMs) return false;
      Sleep(kPollStepMs);
    }
  }

  Emulator emulator_;
  std::wstring transcript_;
};

}  // namespace emulator_process
