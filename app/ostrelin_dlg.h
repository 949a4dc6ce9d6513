// COstrelinDlg: the operator window (dialog 102). It holds the file name and
// the serial-number text, switches its controls between idle, busy and
// updating, and hands its buttons, drops and timer to the procedures through
// the OperatorWindow interface.
#pragma once

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
// The procedures call the window's MessageBox method; keep the Win32 macro
// from renaming it.
#undef MessageBox

#include <string>

#include "firmware/probe_session.h"
#include "framework/dialog.h"
#include "messages/operator_window.h"

class JobMode;

class COstrelinDlg : public CDialog, public OperatorWindow {
 public:
  // job: the line job the window runs (--job), or none.
  explicit COstrelinDlg(CWnd* parent = nullptr, JobMode* job = nullptr);
  ~COstrelinDlg() override;

  // OperatorWindow.
  void PullMembers() override { UpdateData(TRUE); }
  void PushMembers() override { UpdateData(FALSE); }
  std::u16string& FileName() override { return m_fileName; }
  std::u16string& SerialNo() override { return m_serialNo; }
  void SetControlState(ControlState mode) override;
  // In a job the next number comes from the line's pool once the write is
  // recorded, never from counting up the box.
  bool IsCountUpChecked() override { return !m_job && m_countUpCheck.GetCheck() != 0; }
  int MessageBox(const std::u16string& text, const std::u16string& caption,
                 unsigned style) override;
  int ShowConfirmDialog() override;
  int AfterResetInstruction() override;
  void NoteMessage(int code, CodeKind kind) override;
  void StartTimer0(unsigned periodMs) override;
  void StopTimer0() override;
  void SetProgressRange(int lower, int upper) override { m_progress.SetRange32(lower, upper); }
  void SetProgressPos(int position) override { m_progress.SetPos(position); }

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
  JobMode* m_job;
  // The one probe the window works on: its link, image and update.
  ProbeSession m_session;
};

// Escape never reaches a dialog of this program: the key-down is consumed.
bool IsEscapeKeyDown(const MSG& msg);
