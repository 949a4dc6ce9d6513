// Data exchange: text controls, the length check and control binding.
#include "data_exchange.h"

#include <vector>

#include "window.h"

namespace {

const wchar_t kMaxCharsPrompt[] = L"Please enter no more than %1 characters.";

HWND PrepareControl(CDataExchange* dx, int id) {
  HWND control = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
  dx->m_hWndLastControl = control;
  return control;
}

std::wstring ReadControlText(HWND control) {
  const int length = ::GetWindowTextLengthW(control);
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  const int got = ::GetWindowTextW(control, buffer.data(), length + 1);
  return std::wstring(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

// The caption of the framework's own prompts: the program's file name
// without its folder and extension.
std::wstring PromptCaption() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path);
  const size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name;
}

void CheckLength(CDataExchange* dx, size_t length, int maxChars) {
  if (dx->m_bFailed) return;
  if (!dx->m_bSaveAndValidate || length <= static_cast<size_t>(maxChars)) {
    ::SendMessageW(dx->m_hWndLastControl, EM_LIMITTEXT, static_cast<WPARAM>(maxChars), 0);
    return;
  }
  const std::wstring text = MaxCharsPromptText(maxChars);
  ::MessageBoxW(dx->m_pDlgWnd->m_hWnd, text.c_str(), PromptCaption().c_str(),
                MB_ICONEXCLAMATION | MB_OK);
  dx->Fail();
}

}  // namespace

void CDataExchange::Fail() {
  if (m_hWndLastControl != nullptr) {
    ::SetFocus(m_hWndLastControl);
    ::SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
  }
  m_bFailed = true;
}

std::wstring MaxCharsPromptText(int maxChars) {
  std::wstring text = kMaxCharsPrompt;
  text.replace(text.find(L"%1"), 2, std::to_wstring(maxChars));
  return text;
}

void DDX_Text(CDataExchange* dx, int id, std::wstring& value) {
  if (dx->m_bFailed) return;
  HWND control = PrepareControl(dx, id);
  if (dx->m_bSaveAndValidate) {
    value = ReadControlText(control);
  } else {
    ::SetWindowTextW(control, value.c_str());
  }
}

void DDX_Text(CDataExchange* dx, int id, std::u16string& value) {
  if (dx->m_bFailed) return;
  std::wstring wide(value.begin(), value.end());
  DDX_Text(dx, id, wide);
  if (dx->m_bSaveAndValidate) value.assign(wide.begin(), wide.end());
}

void DDV_MaxChars(CDataExchange* dx, const std::wstring& value, int maxChars) {
  CheckLength(dx, value.size(), maxChars);
}

void DDV_MaxChars(CDataExchange* dx, const std::u16string& value, int maxChars) {
  CheckLength(dx, value.size(), maxChars);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (dx->m_bFailed) return;
  HWND hwnd = PrepareControl(dx, id);
  if (control.m_hWnd == nullptr) control.Attach(hwnd);
}
