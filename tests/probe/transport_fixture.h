// The fixture of the Win32 transport tests: a probe link and an
// emulator program of each test's own, with its transcript.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "probe/operations.h"
#include "probe/probe_link.h"
#include "tests/support/emulator_process.h"
#include "tests/support/process_launch.h"
#include "tests/support/test_files.h"

namespace emulator_process {

inline constexpr DWORD kExitWaitMs = test_process::kExitWaitMs;
inline constexpr DWORD kTranscriptWaitMs = 5000;
// A time-out ends just after kTransferTimeoutMs; a loaded machine may add a
// little to that, never a second time-out.
inline constexpr DWORD kTimeoutSlackMs = 1500;

using test_files::ReadWholeFile;
using test_process::TempFile;

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    transcript_ = TempFile(L"transcript.txt");
    DeleteFileW(transcript_.c_str());
  }
  void TearDown() override {
    link_ = ProbeLink{};
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
  // Each test's own; let go (and so closed) before the emulator stops.
  ProbeLink link_;
};

}  // namespace emulator_process
