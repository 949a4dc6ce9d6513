// CFileDialog over GetOpenFileNameW with an explorer-style hook.
#include "file_dialog.h"

#include "win_app.h"

namespace {
// Chosen paths longer than any the shell makes are refused by the dialog.
constexpr size_t kFileBufferChars = 32768;
}  // namespace

std::wstring CFileDialog::FilterFromBarString(const wchar_t* filter) {
  std::wstring result = filter != nullptr ? filter : L"";
  for (wchar_t& c : result) {
    if (c == L'|') c = L'\0';
  }
  // A string without a trailing "|" still ends its last pattern.
  if (!result.empty() && result.back() != L'\0') result.push_back(L'\0');
  result.push_back(L'\0');
  return result;
}

CFileDialog::CFileDialog(BOOL openFileDialog, const wchar_t* defaultExtension,
                         const wchar_t* fileName, DWORD flags, const wchar_t* filter, CWnd* parent)
    : m_openFileDialog(openFileDialog),
      m_parent(parent),
      m_filter(FilterFromBarString(filter)),
      m_defaultExtension(defaultExtension != nullptr ? defaultExtension : L""),
      m_fileBuffer(kFileBufferChars, L'\0') {
  if (fileName != nullptr) {
    lstrcpynW(m_fileBuffer.data(), fileName, static_cast<int>(m_fileBuffer.size()));
  }
  m_ofn.lStructSize = sizeof(m_ofn);
  m_ofn.lpstrFilter = filter != nullptr ? m_filter.c_str() : nullptr;
  m_ofn.nFilterIndex = 1;
  m_ofn.lpstrFile = m_fileBuffer.data();
  m_ofn.nMaxFile = static_cast<DWORD>(m_fileBuffer.size());
  m_ofn.lpstrDefExt = m_defaultExtension.empty() ? nullptr : m_defaultExtension.c_str();
  m_ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLEHOOK;
  m_ofn.lpfnHook = HookProc;
  m_ofn.lCustData = reinterpret_cast<LPARAM>(this);
}

INT_PTR CFileDialog::DoModal() {
  m_ofn.hwndOwner = m_parent != nullptr ? m_parent->m_hWnd : GetMainWindowHandle();
  CWinApp* app = GetTheApp();
  m_ofn.hInstance = app != nullptr ? app->m_hInstance : ::GetModuleHandleW(nullptr);
  const BOOL chosen = m_openFileDialog ? ::GetOpenFileNameW(&m_ofn) : ::GetSaveFileNameW(&m_ofn);
  m_hWnd = nullptr;
  return chosen ? IDOK : IDCANCEL;
}

std::wstring CFileDialog::GetPathName() const {
  return std::wstring(m_fileBuffer.data());
}

void CFileDialog::OnInitDone() {
  CenterWindow(::GetWindow(m_hWnd, GW_OWNER));
}

UINT_PTR CALLBACK CFileDialog::HookProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  // The hook runs in a child of the explorer dialog; the dialog is its parent.
  if (message == WM_INITDIALOG) {
    const auto* ofn = reinterpret_cast<const OPENFILENAMEW*>(lParam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, ofn->lCustData);
    return 0;
  }
  if (message == WM_NOTIFY) {
    const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lParam);
    auto* self = reinterpret_cast<CFileDialog*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr && notify->hdr.code == CDN_INITDONE) {
      self->m_hWnd = ::GetParent(hwnd);
      self->OnInitDone();
    }
  }
  return 0;
}
