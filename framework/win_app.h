// The application object: the one CWinApp of the program, its start-up
// (InitInstance) and the loop that runs when start-up asks for one.
#pragma once

#include <windows.h>

#include <string>

class CWnd;

// The standard Help command of the framework.
inline constexpr UINT kHelpCommand = 57670;

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Start-up; returning false ends the program without a message loop.
  virtual BOOL InitInstance() { return TRUE; }
  // The application's command map: commands no window handled reach it.
  // Returns whether the command was taken.
  virtual BOOL OnCmdMsg(UINT id);

  // Records the settings key; nothing is ever read from or written to it.
  void SetRegistryKey(const wchar_t* key) { m_registryKey = key; }
  // Embedded (OLE) controls are not hosted by this framework: no template
  // of the program uses one, so enabling their hosting changes nothing.
  void EnableControlContainer() {}

  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;
  std::wstring m_registryKey;

 protected:
  // The standard Help command's handler. The program ships no help file, so
  // there is nothing to open.
  void OnHelp() {}
};

// The program's one application object, or none before it is constructed.
CWinApp* GetTheApp();
// The main window's handle, or none.
HWND GetMainWindowHandle();

// Runs the application object from wWinMain: start-up, then the message loop
// when start-up returned true. Returns the program's exit code.
int RunTheApp(HINSTANCE instance);
