// The program's entry point and its start-up.
#include "app/ostrelin_app.h"

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <memory>
#include <string>

#include "app/job_window.h"
#include "app/job_window_mode.h"
#include "app/ostrelin_dlg.h"
#include "app/tray_window.h"
#include "ledger/ledger_opener_win32.h"
#include "line/job_load.h"
#include "line/mes_http.h"
#include "line/system_trust.h"
#include "line/utc_time.h"

namespace {
// The common-control classes the window uses, all of the basic set.
constexpr DWORD kCommonControlClasses = 0xFF;
COstrelinApp theApp;
}  // namespace

COstrelinApp::COstrelinApp() = default;

COstrelinApp::~COstrelinApp() = default;

BOOL COstrelinApp::OnCmdMsg(UINT id) {
  if (id == kHelpCommand) {
    OnHelp();
    return TRUE;
  }
  return CWinApp::OnCmdMsg(id);
}

BOOL COstrelinApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), kCommonControlClasses};
  ::InitCommonControlsEx(&controls);
  CWinApp::InitInstance();
  EnableControlContainer();
  SetRegistryKey(L"Local AppWizard-Generated Applications");

  // A job that cannot be used says why in one box, and no window opens.
  std::u16string jobPath, problem;
  if (!FindJobArgument(ProgramArguments(), &jobPath, &problem)) {
    ShowJobError(nullptr, problem);
    return FALSE;
  }
  // The tray: a tile a slot, each slot's probe run on a thread of its own.
  if (FindTrayArgument(ProgramArguments())) {
    if (jobPath.empty()) {
      ShowJobError(nullptr, u"--tray needs the job it runs, such as --job line3.job --tray");
    } else {
      RunTrayWindow(m_hInstance, jobPath);
    }
    return FALSE;
  }
  // The job's store waits with it; it outlives the dialog, which owns the
  // store through its mode.
  WindowLedgerWaiter waiter;
  COstrelinDlg dialog(nullptr);
  if (!jobPath.empty()) {
    auto job = std::make_unique<JobWindowMode>(dialog, dialog);
    Win32LedgerOpener opener;
    std::string message;
    if (!job->Open(jobPath, opener, waiter, StationContext(), UtcTextNow, &message,
                   ProgramTrustContext(),
                   MesAccess{MesProgramDataFolder(), MakeWinHttpMesPoster})) {
      ShowJobError(nullptr, FromUtf8(message));
      return FALSE;
    }
    dialog.UseMode(std::move(job));
  }
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  // The dialog is gone; returning false ends the program without a loop.
  return FALSE;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return RunTheApp(instance);
}
