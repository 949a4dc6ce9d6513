// CFileDialog: the common open-file dialog with a filter given as one
// "|"-separated string, the caller's flags and title, and a notification
// when the dialog has finished its initialisation.
#pragma once

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

#include <string>
#include <vector>

#include "window.h"

class CFileDialog : public CWnd {
 public:
  // No parent: the dialog is owned by the application's main window.
  CFileDialog(BOOL openFileDialog, const wchar_t* defaultExtension = nullptr,
              const wchar_t* fileName = nullptr, DWORD flags = 0, const wchar_t* filter = nullptr,
              CWnd* parent = nullptr);
  ~CFileDialog() override = default;

  // IDOK when the operator chose a file, IDCANCEL otherwise.
  virtual INT_PTR DoModal();
  std::wstring GetPathName() const;

  // The dialog's parameters; callers may set lpstrTitle before DoModal.
  OPENFILENAMEW m_ofn{};

  // "A|a|B|b|" becomes "A\0a\0B\0b\0\0".
  static std::wstring FilterFromBarString(const wchar_t* filter);

 protected:
  // The dialog has finished its initialisation; m_hWnd is the dialog. The
  // base centres it over its owner.
  virtual void OnInitDone();

 private:
  static UINT_PTR CALLBACK HookProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  BOOL m_openFileDialog;
  CWnd* m_parent;
  std::wstring m_filter;
  std::wstring m_defaultExtension;
  // Long enough for any path the shell can name.
  std::vector<wchar_t> m_fileBuffer;
};
