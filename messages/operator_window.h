// What the serial-number and update procedures need from the operator window.
//
// COstrelinDlg implements this over Win32; the native tests implement it with
// a recording fake that scripts the operator's answers. The procedures reach
// the window only through it, so they never touch Win32 themselves.
#pragma once

#include <string>

#include "common/probe_choice.h"
#include "messages/message_codes.h"

enum ControlState { Idle = 0, Updating = 1, Busy = 2 };

class OperatorWindow {
 public:
  virtual ~OperatorWindow() = default;

  // Data exchange: pull copies the edit boxes into the members, push copies
  // the members back. Their success values are ignored by every caller.
  virtual void PullMembers() = 0;
  virtual void PushMembers() = 0;

  // The window's members m_fileName and m_serialNo.
  virtual std::u16string& FileName() = 0;
  virtual std::u16string& SerialNo() = 0;

  virtual void SetControlState(ControlState mode) = 0;
  virtual bool IsCountUpChecked() = 0;

  // ShowMessage tells the window which code it is about to show before it
  // opens the box, so a front-end can keep the outcome without reading the
  // text back. The window program has no use for it.
  virtual void NoteMessage(int /*code*/, CodeKind /*kind*/) {}

  // A modal message box owned by the window; returns the operator's answer
  // (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7).
  virtual int MessageBox(const std::u16string& text, const std::u16string& caption,
                         unsigned style) = 0;

  // The LED confirmation dialog; 1 for YES, 2 for NO.
  virtual int ShowConfirmDialog() = 0;

  // After the reset instruction of an update whose LED display was
  // confirmed, before its success is said: 0 lets it be said; any other
  // status ends the update there, the window having said why. A window
  // that pins the probe's version waits here for it; the rest go on.
  virtual int AfterResetInstruction() { return 0; }

  // Timer 0 of the window.
  virtual void StartTimer0(unsigned periodMs) = 0;
  virtual void StopTimer0() = 0;

  virtual void SetProgressRange(int lower, int upper) = 0;
  virtual void SetProgressPos(int position) = 0;

  // Which probe the procedures open. The window program's is the default:
  // exactly one attached probe.
  virtual ProbeChoice ChosenProbe() { return ProbeChoice{}; }
};
