// What the end-to-end tests look at after a procedure: whether the operator
// window is idle, and how often a line occurs in the emulator's transcript.
#pragma once

#include <string>

#include "res/resource.h"
#include "tests/e2e/gui_driver.h"
#include "tests/e2e/window_names.h"

namespace e2e {

inline bool AllOperatorControls(HWND window, bool enabled) {
  for (int id : kOperatorControls) {
    if (IsItemEnabled(window, id) != enabled) return false;
  }
  return true;
}

// Every operator control enabled, the progress bar hidden, no message box.
inline bool IsIdle(HWND window, DWORD pid) {
  return AllOperatorControls(window, true) && !IsItemVisible(window, IDC_PROGRESS) &&
         NoMessageBox(pid);
}

inline size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The last event line ("opened", "closed", a fault) of a transcript.
inline std::string LastEvent(const std::string& transcript) {
  std::string last;
  size_t at = 0;
  while ((at = transcript.find("-- ", at)) != std::string::npos) {
    const size_t end = transcript.find_first_of("\r\n", at);
    last = transcript.substr(at + 3, end == std::string::npos ? end : end - at - 3);
    at += 3;
  }
  return last;
}

}  // namespace e2e
