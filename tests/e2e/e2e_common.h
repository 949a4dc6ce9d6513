// What the end-to-end test programs share: the fixture that starts the
// emulator and the program, and the running test's name for its files.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/gui_driver.h"
#include "tests/e2e/window_names.h"
#include "tests/support/emulator_process.h"

namespace e2e {

// The running test's name, fit for a file name.
inline std::wstring TestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return std::wstring(name.begin(), name.end());
}

// A text for a failure message or a comparison with program output; what is
// not ASCII shows as '?'.
inline std::string Narrow(const std::wstring& text) {
  std::string result;
  for (wchar_t c : text) result += c < 0x80 ? static_cast<char>(c) : '?';
  return result;
}

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A folder of the running test's own in the output folder, made if needed.
inline std::wstring TestFolder() {
  ::CreateDirectoryW(OutDir().c_str(), nullptr);
  const std::wstring folder = OutFile(TestName());
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

// A test of the real program: the emulator, then the operator window; both
// are ended after the test whatever happened.
class WindowTest : public ::testing::Test {
 protected:
  // Starts the emulator with the given arguments (withEmulator false: no
  // emulator, so no probe is attached), then the program. The emulator's
  // transcript goes to transcript_ unless withTranscript is false.
  void Start(const std::vector<std::wstring>& emulatorArgs, bool withEmulator = true,
             bool withTranscript = true) {
    ::CreateDirectoryW(OutDir().c_str(), nullptr);
    if (withEmulator) {
      transcript_ = withTranscript ? OutFile(TestName() + L".transcript.txt") : L"";
      ASSERT_TRUE(emulator_.Start(WindowsPath(Env(L"VELKORO_EMULATOR")), emulatorArgs, transcript_,
                                  OutFile(TestName() + L".emulator.log")))
          << "the emulator did not get ready";
    }
    ASSERT_TRUE(app_.Start(WindowsPath(Env(L"VELKORO_APP"))))
        << "the operator window did not appear: " << app_.failure();
    w_ = app_.window();
  }

  void TearDown() override {
    app_.Stop();
    emulator_.Stop();
  }

  emulator_process::Emulator emulator_;
  App app_;
  HWND w_ = nullptr;
  std::wstring transcript_;
};

}  // namespace e2e
