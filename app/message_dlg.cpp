// The confirmation dialog: its title, question, picture and keys.
#include "app/message_dlg.h"

#include "app/ostrelin_dlg.h"
#include "messages/message_catalogue.h"
#include "messages/version_block_win32.h"
#include "framework/paint.h"
#include "res/resource.h"

namespace {
constexpr int kQuestionCode = 1;
}  // namespace

CMessageDlg::CMessageDlg(CWnd* parent)
    : CDialog(IDD_MESSAGE_DIALOG, parent),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

CMessageDlg::~CMessageDlg() = default;

void CMessageDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_MESSAGE_TEXT, m_text);
}

BOOL CMessageDlg::PreTranslateMessage(MSG* msg) {
  if (IsEscapeKeyDown(*msg)) return TRUE;
  return CDialog::PreTranslateMessage(msg);
}

BOOL CMessageDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  const std::u16string title = GetAppVersionText(VersionTextForm::kNameOnly);
  SetWindowText(reinterpret_cast<const wchar_t*>(title.c_str()));
  m_text = GetMessageText(kQuestionCode);
  UpdateData(FALSE);
  return TRUE;
}

void CMessageDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  DrawBitmapResource(dc, IDB_LED_DISPLAY, 0, 0);
  ::EndPaint(m_hWnd, &paint);
}

INT_PTR CMessageDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    OnPaint();
    return TRUE;
  }
  return CDialog::OnMessage(message, wParam, lParam);
}
