// CMessageDlg: the confirmation dialog (dialog 103) at the end of an update:
// the picture of the probe's LED display, the question of message code 1,
// YES (IDOK) and NO (IDCANCEL).
#pragma once

#include <windows.h>

#include <string>

#include "framework/dialog.h"

class CMessageDlg : public CDialog {
 public:
  // No parent: owned by the operator window, the application's main window.
  explicit CMessageDlg(CWnd* parent = nullptr);
  ~CMessageDlg() override;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  BOOL PreTranslateMessage(MSG* msg) override;
  BOOL OnInitDialog() override;
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnPaint();

  HICON m_hIcon;
  std::u16string m_text;
};
