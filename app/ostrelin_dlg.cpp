// The operator window: start, data exchange, control states, painting,
// keys, drops, and the dispatch of its buttons, timer and close to its mode.
#include "app/ostrelin_dlg.h"

#include "app/file_choice.h"
#include "app/message_dlg.h"
#include "app/select_file_dlg.h"
#include "firmware/update_procedure.h"
#include "framework/paint.h"
#include "framework/win_app.h"
#include "messages/version_block_win32.h"
#include "probe/operations.h"
#include "res/resource.h"

namespace {

// SetControlState repaints, waits this long, and repaints again.
constexpr DWORD kRepaintPauseMs = 100;
// Where the pointing hand is drawn, in client pixels.
constexpr int kHandX = 225;
constexpr int kHandY = 125;

constexpr int kOperatorControls[] = {IDC_FILE_NAME, IDC_SERIAL_NO, IDC_UPDATE,   IDC_BROWSE,
                                     IDC_WRITE,     IDC_READ,      IDC_COUNT_UP, IDC_DROP_HINT};

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace

bool IsEscapeKeyDown(const MSG& msg) {
  return msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE;
}

COstrelinDlg::COstrelinDlg(CWnd* parent)
    : CDialog(IDD_OSTRELIN_DIALOG, parent),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_mode(std::make_unique<WindowMode>(*this)) {}

COstrelinDlg::~COstrelinDlg() = default;

void COstrelinDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_FILE_NAME, m_fileName);
  DDV_MaxChars(dx, m_fileName, static_cast<int>(kFileNameLimit));
  DDX_Text(dx, IDC_SERIAL_NO, m_serialNo);
  DDV_MaxChars(dx, m_serialNo, 32);
  DDX_Control(dx, IDC_UPDATE, m_updateButton);
  DDX_Control(dx, IDC_PROGRESS, m_progress);
  DDX_Control(dx, IDC_COUNT_UP, m_countUpCheck);
}

BOOL COstrelinDlg::PreTranslateMessage(MSG* msg) {
  if (IsEscapeKeyDown(*msg)) return TRUE;
  return CDialog::PreTranslateMessage(msg);
}

BOOL COstrelinDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  m_fileName.clear();
  m_serialNo.clear();
  SetWindowText(Wide(GetAppVersionText(VersionTextForm::kNameAndVersion)));
  SetControlState(Idle);
  m_countUpCheck.SetCheck(BST_CHECKED);
  UpdateData(FALSE);
  m_mode->Start();
  return TRUE;
}

// Enter must not close the operator window.
void COstrelinDlg::OnOK() {}

void COstrelinDlg::OnCancel() {
  CDialog::OnCancel();
}

void COstrelinDlg::SetControlState(ControlState mode) {
  g_acceptDrops = true;
  for (int id : kOperatorControls) ::EnableWindow(GetDlgItem(id), mode == Idle);
  m_mode->AdjustControls(mode);
  if (mode == Updating) {
    m_progress.ShowWindow(SW_SHOW);
    m_progress.SetRange32(0, 100);
    m_progress.SetPos(0);
    g_acceptDrops = false;
  } else {
    m_progress.ShowWindow(SW_HIDE);
    if (mode == Busy) g_acceptDrops = false;
  }
  constexpr UINT kRepaintNow = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN;
  ::RedrawWindow(m_hWnd, nullptr, nullptr, kRepaintNow);
  ::Sleep(kRepaintPauseMs);
  ::RedrawWindow(m_hWnd, nullptr, nullptr, kRepaintNow);
  UpdateData(FALSE);
}

int COstrelinDlg::MessageBox(const std::u16string& text, const std::u16string& caption,
                             unsigned style) {
  return ::MessageBoxW(m_hWnd, Wide(text), Wide(caption), style);
}

int COstrelinDlg::ShowConfirmDialog() {
  CMessageDlg dialog;
  return static_cast<int>(dialog.DoModal());
}

void COstrelinDlg::StartTimer0(unsigned periodMs) {
  ::SetTimer(m_hWnd, kUpdateTimerId, periodMs, nullptr);
}

void COstrelinDlg::StopTimer0() {
  ::KillTimer(m_hWnd, kUpdateTimerId);
}

void COstrelinDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  if (IsIconic()) {
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
  } else {
    DrawBitmapResource(dc, IDB_POINTING_HAND, kHandX, kHandY);
  }
  ::EndPaint(m_hWnd, &paint);
}

void COstrelinDlg::OnBrowse() {
  CSelectFileDlg dialog;
  UpdateData(TRUE);
  const std::u16string kept = m_fileName;
  dialog.m_ofn.lpstrTitle = L"Select S Record File";
  if (dialog.DoModal() != IDOK) return;
  const std::wstring path = dialog.GetPathName();
  if (!TakeChosenPath(m_fileName, std::u16string(path.begin(), path.end()))) m_fileName = kept;
  UpdateData(FALSE);
}

void COstrelinDlg::OnDropFiles(HDROP drop) {
  if (DropIsTaken(g_acceptDrops, ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0))) {
    if (!m_mode->TakesFiles()) return m_mode->RefuseFile();
    wchar_t buffer[kDropPathBufferChars] = {};
    const UINT length = ::DragQueryFileW(drop, 0, buffer, kDropPathBufferChars);
    // Only the file name box is set: text typed into either box since the
    // last pull is the operator's and must survive the drop.
    if (TakeChosenPath(m_fileName, std::u16string(buffer, buffer + length))) {
      ::SetDlgItemTextW(m_hWnd, IDC_FILE_NAME, Wide(m_fileName));
    }
  }
}

void COstrelinDlg::OnDestroy() {
  ::KillTimer(m_hWnd, kRefreshTimerId);
  m_mode->Closing();
}

INT_PTR COstrelinDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      OnPaint();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
          case IDC_BROWSE:
            if (m_mode->TakesFiles()) OnBrowse();
            return TRUE;
          case IDC_UPDATE:
            m_mode->Update();
            return TRUE;
          case IDC_READ:
            m_mode->Read();
            return TRUE;
          case IDC_WRITE:
            m_mode->Write();
            return TRUE;
          default:
            break;
        }
      }
      break;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      // The default handling of a drop releases its handle.
      ::DragFinish(reinterpret_cast<HDROP>(wParam));
      return TRUE;
    case WM_TIMER:
      if (m_mode->Tick(wParam)) return TRUE;
      break;
    case WM_SETCURSOR:
      if (!m_mode->Waiting()) break;
      ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
      return TRUE;
    case WM_CLOSE:
      if (m_mode->HoldClose()) return TRUE;
      break;
    case WM_DESTROY:
      CDialog::OnMessage(message, wParam, lParam);
      OnDestroy();
      return TRUE;
    default:
      break;
  }
  return CDialog::OnMessage(message, wParam, lParam);
}
