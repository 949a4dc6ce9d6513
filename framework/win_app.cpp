// The application object's registration, start-up and message loop.
#include "win_app.h"

#include "window.h"

namespace {
CWinApp* g_theApp = nullptr;
}

CWinApp::CWinApp() {
  g_theApp = this;
}

CWinApp::~CWinApp() {
  if (g_theApp == this) g_theApp = nullptr;
}

BOOL CWinApp::OnCmdMsg(UINT) {
  return FALSE;
}

CWinApp* GetTheApp() {
  return g_theApp;
}

HWND GetMainWindowHandle() {
  if (g_theApp == nullptr || g_theApp->m_pMainWnd == nullptr) return nullptr;
  return g_theApp->m_pMainWnd->m_hWnd;
}

int RunTheApp(HINSTANCE instance) {
  if (g_theApp == nullptr) return 1;
  g_theApp->m_hInstance = instance;
  if (!g_theApp->InitInstance()) return 0;
  MSG msg;
  BOOL got;
  while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0 && got != -1) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return got == 0 ? static_cast<int>(msg.wParam) : 1;
}
