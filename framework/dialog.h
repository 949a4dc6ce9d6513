// CDialog: a modal dialog built from a template, with the framework's own
// modal loop (so that a dialog can pre-filter its messages), message routing
// to one overridable handler, and the OK and Cancel commands.
#pragma once

#include <windows.h>

#include "data_exchange.h"
#include "window.h"

class CDialog : public CWnd {
 public:
  // No parent: the dialog is owned by the application's main window.
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;

  // Shows the dialog and runs its modal loop; returns the value given to
  // EndDialog, or -1 when the dialog could not be created.
  virtual INT_PTR DoModal();
  void EndDialog(INT_PTR result);

  // Pull (true) or push (false) through DoDataExchange. False when a check
  // stopped the exchange.
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

 protected:
  virtual void DoDataExchange(CDataExchange*) {}
  // Returns true when the message was consumed. The base lets the dialog
  // manager turn keys into navigation and commands.
  virtual BOOL PreTranslateMessage(MSG* msg);
  // Pushes the members; true puts the focus on the first control.
  virtual BOOL OnInitDialog();
  // Enter and the IDOK button: pull, then end the dialog with IDOK.
  virtual void OnOK();
  // Escape, IDCANCEL and the close button: end the dialog with IDCANCEL.
  virtual void OnCancel();

  // The dialog's message map: a derived dialog handles its messages here and
  // passes the rest on to the base. The return value is the dialog
  // procedure's (FALSE: default handling).
  virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  UINT m_templateId;
  CWnd* m_parent;
  bool m_modalEnded = false;
  INT_PTR m_modalResult = -1;
};
