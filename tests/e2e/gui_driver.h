// Drives the real Ostrelin.exe from another Windows process by window
// messages, and runs the emulator program beside it: finding windows,
// reading and setting control texts, clicking, answering message boxes,
// screenshots. Every wait is capped by a named constant.
#pragma once

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <string>
#include <vector>

#include "tests/support/process_launch.h"

namespace e2e {

// How long a window, a box or a state change may take to appear.
inline constexpr DWORD kWindowWaitMs = 15000;
// A program's first window: a cold start under Wine, on a two-core machine
// running four test programs beside a build, once took longer than
// kWindowWaitMs.
inline constexpr DWORD kProgramStartMs = 45000;
// The emulator's "ready" line.
inline constexpr DWORD kEmulatorReadyMs = 20000;
// A program asked to end (window closed, stdin closed) must be gone by then.
inline constexpr DWORD kExitWaitMs = 10000;
// Time given to the window to react to a message whose effect is "nothing
// happens" before the test looks again.
inline constexpr DWORD kSettleMs = 700;
// A window that has just appeared has painted itself by then (screenshots).
inline constexpr DWORD kPaintSettleMs = 500;
// Between two looks while waiting.
inline constexpr DWORD kPollMs = 20;

using test_process::Env;
using test_process::WindowsPath;

// The operator program.
class App {
 public:
  App() = default;
  ~App() { Stop(); }
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Starts Ostrelin.exe (with its arguments) and waits for its operator
  // window.
  bool Start(const std::wstring& exe, const std::vector<std::wstring>& args = {});
  // Closes its window if it is still there, then ends the process.
  void Stop();
  // Whether the process has ended within the wait.
  bool WaitForExit(DWORD timeoutMs);

  HWND window() const { return window_; }
  DWORD pid() const { return process_.id(); }
  // Why the last Start failed: the system's error, or no window in time.
  std::string failure() const { return failure_; }

 private:
  test_process::Child process_;
  HWND window_ = nullptr;
  std::string failure_;
};

// Visible top-level dialog windows (#32770) of a process.
std::vector<HWND> DialogsOf(DWORD pid);
// Waits for a visible top-level dialog of the process, other than `except`,
// whose title is `title` (any title when empty).
HWND WaitForDialog(DWORD pid, const std::wstring& title, HWND except, DWORD timeoutMs);

std::wstring Text(HWND hwnd);
std::wstring ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::wstring& text);
// Presses a button the way a click does (BM_CLICK, posted so the caller is
// not held while the handler runs).
void Click(HWND dialog, int id);
bool IsItemEnabled(HWND dialog, int id);
bool IsItemVisible(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);
// Posts one key-down (and its key-up) to a control, as a key press does.
void PressKey(HWND control, WPARAM key);
// Posts typed characters to a control.
void Type(HWND control, const std::wstring& text);
// Drops files on a window of the process as the shell does: a drop block
// placed in that process and a posted WM_DROPFILES. The block stays there
// (the window's DragFinish cannot free memory it did not allocate).
bool DropFiles(DWORD pid, HWND window, const std::vector<std::wstring>& paths);

// A message box shown by the program: its caption, text, buttons and icon.
struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::wstring caption;
  std::wstring text;
  std::vector<int> buttons;  // control ids of its push buttons, in z order
  bool hasIcon = false;
};
// Waits for a message box of the process (a dialog with the text control
// 0xFFFF), other than `except`.
bool WaitForMessageBox(DWORD pid, MessageBoxInfo& box, DWORD timeoutMs = kWindowWaitMs,
                       HWND except = nullptr);
// Presses one of its buttons and waits until it is gone.
bool Answer(const MessageBoxInfo& box, int buttonId);
// No message box of the process is open.
bool NoMessageBox(DWORD pid);

// Waits until the condition holds; false at the end of the wait.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs = kWindowWaitMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (::GetTickCount64() >= end) return false;
    ::Sleep(kPollMs);
  }
}

// Saves the screen as a 24-bit BMP file: the whole of it, or with a pid
// cropped to that process's windows (the operator window and the boxes over
// it).
bool SaveScreenshot(const std::wstring& path, DWORD pid = 0);

}  // namespace e2e
