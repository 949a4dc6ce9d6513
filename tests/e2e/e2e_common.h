// What the end-to-end test programs share: the window's fixed names, its
// operator controls, and where each test leaves its screenshots and logs.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/e2e/gui_driver.h"
#include "res/resource.h"

namespace e2e {

inline const std::wstring kProductName = L"Velkoro Firmware/Serial No. Writer";
inline constexpr int kOperatorControls[] = {IDC_FILE_NAME, IDC_SERIAL_NO, IDC_UPDATE,
                                            IDC_BROWSE,    IDC_WRITE,     IDC_READ,
                                            IDC_COUNT_UP,  IDC_DROP_HINT};

inline std::wstring OutDir() {
  return WindowsPath(Env(L"VELKORO_E2E_OUT"));
}

inline std::wstring OutFile(const std::wstring& name) {
  return OutDir() + L"\\" + name;
}

// The running test's name, fit for a file name.
inline std::wstring TestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return std::wstring(name.begin(), name.end());
}

// The whole content of a file (a transcript, a flash dump); empty when absent.
inline std::string ReadAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
        << "the operator window did not appear";
    w_ = app_.window();
  }

  void TearDown() override {
    app_.Stop();
    emulator_.Stop();
  }

  Emulator emulator_;
  App app_;
  HWND w_ = nullptr;
  std::wstring transcript_;
};

}  // namespace e2e
