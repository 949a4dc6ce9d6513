// Data exchange between a dialog's controls and its members, with the
// framework's length check and its "Please enter no more than %1
// characters." prompt. A failed check stops the exchange: the calls after it
// do nothing, so the members not yet pulled keep their values.
#pragma once

#include <windows.h>

#include <string>

class CWnd;

class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, BOOL saveAndValidate)
      : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

  // Puts the focus on the control last exchanged and stops the exchange.
  void Fail();

  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
  HWND m_hWndLastControl = nullptr;
  bool m_bFailed = false;
};

// Text of control id <-> value (UTF-16 on both sides).
void DDX_Text(CDataExchange* dx, int id, std::u16string& value);
void DDX_Text(CDataExchange* dx, int id, std::wstring& value);
// Pull: refuses a value longer than maxChars with the prompt. Every exchange
// also limits what the operator can type into the control last exchanged.
void DDV_MaxChars(CDataExchange* dx, const std::u16string& value, int maxChars);
void DDV_MaxChars(CDataExchange* dx, const std::wstring& value, int maxChars);
// Attaches the control object to control id at the first exchange.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

// The prompt's text for a limit, with %1 replaced by the number.
std::wstring MaxCharsPromptText(int maxChars);
