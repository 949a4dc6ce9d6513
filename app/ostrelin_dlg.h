// COstrelinDlg: the operator window (dialog 102). It holds the file name and
// the serial-number text, switches its controls between idle, busy and
// updating, and hands its buttons, drops, timer and close to its mode: the
// procedures as they always ran, or a line job's run (JobWindowEdge is its
// Win32 side, in job_window.cpp).
#pragma once

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
// The procedures call the window's MessageBox method; keep the Win32 macro
// from renaming it.
#undef MessageBox

#include <memory>
#include <string>

#include "app/job_window_mode.h"
#include "app/window_mode.h"
#include "framework/dialog.h"
#include "messages/operator_window.h"

class COstrelinDlg : public CDialog, public OperatorWindow, public JobWindowEdge {
 public:
  explicit COstrelinDlg(CWnd* parent = nullptr);
  ~COstrelinDlg() override;

  // Before DoModal: the mode the window runs in instead of its own.
  void UseMode(std::unique_ptr<WindowMode> mode) { m_mode = std::move(mode); }

  // OperatorWindow.
  void PullMembers() override { UpdateData(TRUE); }
  void PushMembers() override { UpdateData(FALSE); }
  std::u16string& FileName() override { return m_fileName; }
  std::u16string& SerialNo() override { return m_serialNo; }
  void SetControlState(ControlState mode) override;
  bool IsCountUpChecked() override { return m_mode->CountsUp() && m_countUpCheck.GetCheck() != 0; }
  int MessageBox(const std::u16string& text, const std::u16string& caption,
                 unsigned style) override;
  int ShowConfirmDialog() override;
  void StartTimer0(unsigned periodMs) override;
  void StopTimer0() override;
  void SetProgressRange(int lower, int upper) override { m_progress.SetRange32(lower, upper); }
  void SetProgressPos(int position) override { m_progress.SetPos(position); }

  // JobWindowEdge.
  void AppendToTitle(const std::u16string& text) override;
  void MakeBoxesReadOnly() override;
  void Enable(Control control, bool enabled) override;
  void Focus(Control control) override;
  void ShowError(const std::u16string& text) override;
  void ShowRefusal(const std::u16string& text) override;
  void ShowWaitCursor() override;
  void Pump(unsigned ms) override;
  double Seconds() override;
  void Close() override;
  void ShowMesLine(const std::u16string& text) override;
  void RefreshEvery(unsigned ms) override;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  BOOL PreTranslateMessage(MSG* msg) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnPaint();
  void OnBrowse();
  void OnDropFiles(HDROP drop);
  void OnDestroy();

  HICON m_hIcon;
  std::u16string m_fileName;
  std::u16string m_serialNo;
  CButton m_updateButton;
  CProgressCtrl m_progress;
  CButton m_countUpCheck;
  std::unique_ptr<WindowMode> m_mode;
};

// Escape never reaches a dialog of this program: the key-down is consumed.
bool IsEscapeKeyDown(const MSG& msg);
