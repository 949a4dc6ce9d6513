// The job window's Win32 edge: the command line, the ERROR box, the
// station's name and clock, and the dialog's side of JobWindowEdge.
// windows.h (through job_window.h) must come first.
// clang-format off
#include "app/job_window.h"
#include <shellapi.h>
// clang-format on

#include <cstdio>
#include <cwctype>

#include "app/ostrelin_dlg.h"
#include "messages/version_block_win32.h"
#include "res/resource.h"

namespace {

constexpr char16_t kErrorCaption[] = u"ERROR";
constexpr char kVersionMark[] = "Ver. ";

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string Lower(const std::u16string& text) {
  std::u16string lower = text;
  for (char16_t& c : lower) c = static_cast<char16_t>(std::towlower(c));
  return lower;
}

std::string ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(name, &length)) return "";
  return Utf8(std::u16string(name, name + length));
}

std::string ToolVersion() {
  const std::string title = Utf8(GetAppVersionText(VersionTextForm::kNameAndVersion));
  const size_t mark = title.rfind(kVersionMark);
  return mark == std::string::npos ? "" : title.substr(mark + sizeof(kVersionMark) - 1);
}

}  // namespace

bool FindJobArgument(const std::vector<std::u16string>& args, std::u16string* path,
                     std::u16string* error) {
  path->clear();
  for (size_t i = 0; i < args.size(); ++i) {
    const std::u16string name = Lower(args[i]);
    if (name != u"--job" && name != u"/job") continue;
    if (i + 1 == args.size() || args[i + 1].empty()) {
      *error = args[i] + u" needs the job file after it, such as " + args[i] + u" line3.job";
      return false;
    }
    *path = args[i + 1];
    return true;
  }
  return true;
}

std::vector<std::u16string> ProgramArguments() {
  std::vector<std::u16string> args;
  int count = 0;
  LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (list == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    const std::wstring arg(list[i]);
    args.emplace_back(arg.begin(), arg.end());
  }
  ::LocalFree(list);
  return args;
}

void ShowJobError(HWND owner, const std::u16string& text) {
  ::MessageBoxW(owner, Wide(text), Wide(kErrorCaption), MB_OK | MB_ICONERROR);
}

bool WindowLedgerWaiter::Wait(unsigned ms) {
  ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  ::Sleep(ms);
  return true;
}

LogContext StationContext() {
  return LogContext{"", ComputerName(), ToolVersion()};
}

namespace {

int ControlId(JobWindowEdge::Control control) {
  switch (control) {
    case JobWindowEdge::Control::kUpdate:
      return IDC_UPDATE;
    case JobWindowEdge::Control::kWrite:
      return IDC_WRITE;
    case JobWindowEdge::Control::kBrowse:
      return IDC_BROWSE;
    case JobWindowEdge::Control::kDropHint:
      return IDC_DROP_HINT;
    case JobWindowEdge::Control::kCountUp:
      return IDC_COUNT_UP;
  }
  return 0;
}

}  // namespace

void COstrelinDlg::AppendToTitle(const std::u16string& text) {
  const int length = ::GetWindowTextLengthW(m_hWnd);
  std::wstring title(static_cast<size_t>(length) + 1, L'\0');
  title.resize(static_cast<size_t>(::GetWindowTextW(m_hWnd, title.data(), length + 1)));
  title.append(text.begin(), text.end());
  SetWindowText(title.c_str());
}

void COstrelinDlg::MakeBoxesReadOnly() {
  ::SendDlgItemMessageW(m_hWnd, IDC_FILE_NAME, EM_SETREADONLY, TRUE, 0);
  ::SendDlgItemMessageW(m_hWnd, IDC_SERIAL_NO, EM_SETREADONLY, TRUE, 0);
}

void COstrelinDlg::Enable(Control control, bool enabled) {
  ::EnableWindow(GetDlgItem(ControlId(control)), enabled);
}

// Posted: the dialog gives its first box the focus after its start.
void COstrelinDlg::Focus(Control control) {
  ::PostMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(ControlId(control))),
                 TRUE);
}

void COstrelinDlg::ShowError(const std::u16string& text) {
  ShowJobError(m_hWnd, text);
}

void COstrelinDlg::ShowRefusal(const std::u16string& text) {
  ::MessageBoxW(m_hWnd, Wide(text), Wide(kErrorCaption), MB_OK | MB_ICONEXCLAMATION);
}

void COstrelinDlg::ShowWaitCursor() {
  ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}

// As the modal loop does: keys through the dialog first, so Escape stays
// consumed and Tab still moves between controls.
void COstrelinDlg::Pump(unsigned ms) {
  MSG msg;
  for (int round = 0; round < 2; ++round) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!PreTranslateMessage(&msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
    if (round == 0) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
  }
}

double COstrelinDlg::Seconds() {
  return static_cast<double>(::GetTickCount64()) / 1000.0;
}

void COstrelinDlg::Close() {
  ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

void COstrelinDlg::ShowMesLine(const std::u16string& text) {
  ::SetDlgItemTextW(m_hWnd, IDC_DROP_HINT, Wide(text));
}

void COstrelinDlg::RefreshEvery(unsigned ms) {
  ::SetTimer(m_hWnd, kRefreshTimerId, ms, nullptr);
}
