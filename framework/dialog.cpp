// CDialog: creation from the template, the modal loop and message routing.
#include "dialog.h"

#include "win_app.h"

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
  if (m_hWnd != nullptr) ::DestroyWindow(m_hWnd);
}

INT_PTR CDialog::DoModal() {
  HWND owner = m_parent != nullptr ? m_parent->m_hWnd : GetMainWindowHandle();
  if (owner == m_hWnd) owner = nullptr;
  CWinApp* app = GetTheApp();
  HINSTANCE instance = app != nullptr ? app->m_hInstance : ::GetModuleHandleW(nullptr);

  m_modalEnded = false;
  m_modalResult = -1;
  HWND hwnd = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(m_templateId), owner, DialogProc,
                                   reinterpret_cast<LPARAM>(this));
  if (hwnd == nullptr) return -1;

  // Modal to the owner: it takes no input until the dialog has ended.
  const bool reenableOwner = owner != nullptr && ::IsWindowEnabled(owner);
  if (reenableOwner) ::EnableWindow(owner, FALSE);
  if (!m_modalEnded) ::ShowWindow(hwnd, SW_SHOWNORMAL);

  MSG msg;
  while (!m_modalEnded) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // A quit request belongs to the outer loop; hand it on.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got == -1) break;
    if (!PreTranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }

  // The owner is enabled before the dialog goes, so that it is activated again.
  if (reenableOwner) ::EnableWindow(owner, TRUE);
  if (owner != nullptr && ::GetActiveWindow() == hwnd) ::SetActiveWindow(owner);
  ::DestroyWindow(hwnd);
  return m_modalResult;
}

void CDialog::EndDialog(INT_PTR result) {
  m_modalResult = result;
  m_modalEnded = true;
  // Wakes the modal loop when the end comes from outside a message.
  ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return !dx.m_bFailed;
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
  if (m_hWnd == nullptr) return FALSE;
  return ::IsDialogMessageW(m_hWnd, msg);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

INT_PTR CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      // Only commands from buttons, menus and the dialog manager's keys.
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wParam)) {
        case IDOK:
          OnOK();
          return TRUE;
        case IDCANCEL:
          OnCancel();
          return TRUE;
        default: {
          CWinApp* app = GetTheApp();
          return app != nullptr && app->OnCmdMsg(LOWORD(wParam));
        }
      }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
    self->m_hWnd = hwnd;
  } else {
    self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (self == nullptr) return FALSE;
  const INT_PTR result = self->OnMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
  }
  return result;
}
