// The one way the Windows tests start the emulator program.
#include "tests/support/emulator_process.h"

#include "tests/support/test_files.h"

namespace emulator_process {

bool Emulator::Start(const std::wstring& exe, const std::vector<std::wstring>& args,
                     const std::wstring& transcriptPath, const std::wstring& logPath) {
  std::wstring commandLine = test_process::CommandLine(exe, args);
  if (!transcriptPath.empty()) {
    commandLine += L" --transcript " + test_process::QuoteArgument(transcriptPath);
  }
  return StartCommandLine(commandLine, logPath);
}

bool Emulator::Start(const std::wstring& options) {
  std::wstring exe = test_process::WindowsPath(test_process::Env(L"VELKORO_EMULATOR"));
  if (exe.empty()) exe = test_process::ProgramFolder() + L"VelkoroEmulator.exe";
  return StartCommandLine(test_process::QuoteArgument(exe) + L" " + options, {});
}

bool Emulator::StartCommandLine(const std::wstring& commandLine, const std::wstring& logPath) {
  Stop();
  ownLog_ = logPath.empty();
  logPath_ = ownLog_ ? test_process::TempFile(L"emulator-output.txt") : logPath;
  HANDLE stdinRead = nullptr;
  if (!test_process::CreateChildPipe(true, stdinRead, input_)) return false;
  HANDLE log = test_process::CreateOutputFile(logPath_);
  const bool started =
      log != INVALID_HANDLE_VALUE && process_.Start(commandLine, {stdinRead, log, log});
  if (log != INVALID_HANDLE_VALUE) ::CloseHandle(log);
  ::CloseHandle(stdinRead);
  if (!started) {
    ::CloseHandle(input_);
    input_ = nullptr;
    return false;
  }
  return WaitForOutput("ready", kReadyWaitMs);
}

bool Emulator::Say(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  return input_ != nullptr &&
         ::WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

bool Emulator::Cable(const char* word, int index) {
  const std::string number = std::to_string(index);
  std::string line = word;
  line += ' ';
  line += number;
  std::string answer = "\n";
  answer += word;
  answer += "ged ";
  answer += number;
  answer += '\n';
  return Say(line) && WaitForOutput(answer, kCableWaitMs);
}

std::string Emulator::Output() const {
  return logPath_.empty() ? std::string() : test_files::ReadWholeFile(logPath_);
}

bool Emulator::WaitForOutput(const std::string& text, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (Output().find(text) != std::string::npos) return true;
    // An emulator that has ended prints nothing more.
    if (process_.Wait(0)) return Output().find(text) != std::string::npos;
    if (::GetTickCount() - start >= timeoutMs) return false;
    ::Sleep(kPollStepMs);
  }
}

bool Emulator::Ended(DWORD timeoutMs, DWORD* code) {
  return process_.started() && process_.Wait(timeoutMs) &&
         ::GetExitCodeProcess(process_.handle(), code) != 0;
}

bool Emulator::Suspend(bool hold) {
  using ProcessCall = LONG(NTAPI*)(HANDLE);
  const auto call = reinterpret_cast<ProcessCall>(reinterpret_cast<void*>(::GetProcAddress(
      ::GetModuleHandleW(L"ntdll.dll"), hold ? "NtSuspendProcess" : "NtResumeProcess")));
  return call != nullptr && call(process_.handle()) >= 0;
}

DWORD Emulator::Stop() {
  if (input_ != nullptr) ::CloseHandle(input_);
  input_ = nullptr;
  const DWORD code = process_.End(test_process::kExitWaitMs);
  if (ownLog_ && !logPath_.empty()) ::DeleteFileW(logPath_.c_str());
  logPath_.clear();
  ownLog_ = false;
  return code;
}

}  // namespace emulator_process
