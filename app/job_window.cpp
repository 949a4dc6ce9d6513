// The job mode's Win32 edge: the command line, the job's opening with its
// store, the station's name and clock, and what the window shows and
// disables for a job.
// windows.h (through job_mode.h) must come first.
// clang-format off
#include "app/job_mode.h"
#include <shellapi.h>
// clang-format on

#include <cstdio>
#include <cwctype>

#include "ledger/connection_string.h"
#include "ledger/ledger_opener_win32.h"
#include "ledger/log_target.h"
#include "line/job_load.h"
#include "line/system_trust.h"
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

std::string TimeUtc() {
  SYSTEMTIME t;
  ::GetSystemTime(&t);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond);
  return text;
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

JobMode::JobMode() = default;

JobMode::~JobMode() = default;

bool JobMode::Open(const std::u16string& path, std::u16string* message) {
  std::string error;
  if (LoadLineJob(path, &job_, &error) != 0) {
    *message = FromUtf8("The job cannot be used: " + error);
    return false;
  }
  JobTrust trust;
  if (AuthorizeJob(&job_, ProgramTrustContext(), &trust, &error) != 0) {
    *message = FromUtf8(error);
    return false;
  }
  ledger_ = Win32LedgerOpener().Open(FromUtf8(job_.log), waiter_, &error);
  if (!ledger_) {
    // A database's reason names its server; its connection string is never
    // shown, for it may hold the password.
    const LogTarget target = ParseLogTarget(job_.log);
    *message = FromUtf8("The job " + job_.name + "'s log cannot be used: " +
                        (target.kind == LogKind::kDatabase
                             ? HideConnectionSecretIn(error, target.connection)
                             : target.shown + (error.empty() ? "" : " (" + error + ")")) +
                        ". No probe was touched.");
    return false;
  }
  recorder_ = std::make_unique<LineRecorder>(
      *ledger_, LogContext{"", ComputerName(), ToolVersion()}, TimeUtc, JobTag(job_));
  return true;
}

void JobMode::Start(HWND dialog, OperatorWindow& window) {
  dialog_ = dialog;
  const std::u16string title =
      GetAppVersionText(VersionTextForm::kNameAndVersion) + u" - " + FromUtf8(job_.name) +
      (job_.trustedSigner.empty() ? u"" : u" - signed by " + FromUtf8(job_.trustedSigner));
  ::SetWindowTextW(dialog, Wide(title));
  ::SendDlgItemMessageW(dialog, IDC_FILE_NAME, EM_SETREADONLY, TRUE, 0);
  ::SendDlgItemMessageW(dialog, IDC_SERIAL_NO, EM_SETREADONLY, TRUE, 0);
  window.FileName() = FromUtf8(job_.image);
  ShowNextFree(window);
  // The first step's button has the focus, not the box that cannot change;
  // posted, for the dialog gives its first box the focus after its start.
  const int first = job_.update ? IDC_UPDATE : IDC_WRITE;
  ::PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, first)),
                 TRUE);
}

void JobMode::AdjustControls(HWND dialog, ControlState mode) const {
  const bool idle = mode == Idle;
  ::EnableWindow(::GetDlgItem(dialog, IDC_BROWSE), FALSE);
  ::EnableWindow(::GetDlgItem(dialog, IDC_DROP_HINT), FALSE);
  ::EnableWindow(::GetDlgItem(dialog, IDC_COUNT_UP), FALSE);
  ::CheckDlgButton(dialog, IDC_COUNT_UP, BST_CHECKED);
  ::EnableWindow(::GetDlgItem(dialog, IDC_UPDATE), idle && job_.update);
  ::EnableWindow(::GetDlgItem(dialog, IDC_WRITE), idle && job_.writeSerial);
}

void JobMode::RefuseDrop(HWND dialog) const {
  const std::u16string text = u"This window runs the job " + FromUtf8(job_.name) +
                              u": its image is " + FromUtf8(job_.image) +
                              u" and cannot be changed. The dropped file was not taken.";
  ::MessageBoxW(dialog, Wide(text), Wide(kErrorCaption), MB_OK | MB_ICONEXCLAMATION);
}

double JobMode::Seconds() const {
  return static_cast<double>(::GetTickCount64()) / 1000.0;
}
