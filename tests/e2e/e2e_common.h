// What the end-to-end test programs share: the window's fixed names, its
// operator controls, and where each test leaves its screenshots and logs.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "gui_driver.h"
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

}  // namespace e2e
