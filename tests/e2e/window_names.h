// The operator window as every program that drives it names it: the product
// name, the eight operator controls, and where a run leaves its screenshots
// and logs.
#pragma once

#include <string>

#include "res/resource.h"
#include "tests/e2e/gui_driver.h"

namespace e2e {

inline constexpr wchar_t kProductName[] = L"Velkoro Firmware/Serial No. Writer";
inline constexpr int kOperatorControls[] = {IDC_FILE_NAME, IDC_SERIAL_NO, IDC_UPDATE,
                                            IDC_BROWSE,    IDC_WRITE,     IDC_READ,
                                            IDC_COUNT_UP,  IDC_DROP_HINT};

inline std::wstring OutDir() {
  return WindowsPath(Env(L"VELKORO_E2E_OUT"));
}

inline std::wstring OutFile(const std::wstring& name) {
  return OutDir() + L"\\" + name;
}

}  // namespace e2e
