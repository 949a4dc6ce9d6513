// The walk-through that scripts/run.sh shows on a machine without a display:
// starts the emulator with one probe and Ostrelin.exe, then reads the serial
// number, writes one in Count Up Mode and updates the firmware through the
// window, then opens the window on a line job and writes the job's first
// number, saving a screenshot of each step (cropped to the window and its
// boxes) and the emulator's transcript.
//
// Environment as for the end-to-end tests: VELKORO_APP, VELKORO_EMULATOR,
// VELKORO_E2E_OUT.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "res/resource.h"
#include "tests/e2e/gui_driver.h"
#include "tests/e2e/walk_job.h"
#include "tests/support/emulator_process.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/window_checks.h"

namespace {

std::wstring g_out;
int g_step = 0;

void Say(const std::wstring& text) {
  std::wprintf(L"%ls\n", text.c_str());
  std::fflush(stdout);
}

// The window and its boxes, cropped to them.
void Shot(const std::wstring& name, DWORD pid) {
  wchar_t number[8];
  std::swprintf(number, 8, L"%02d-", ++g_step);
  const std::wstring file = std::wstring(number) + name + L".bmp";
  ::Sleep(e2e::kPaintSettleMs);
  e2e::SaveScreenshot(g_out + L"\\" + file, pid);
  Say(L"  screenshot " + file);
}

bool Idle(HWND window, DWORD pid) {
  return e2e::WaitUntil([&] { return e2e::IsIdle(window, pid); });
}

// Waits for the next message box, shows its text, saves it and presses the button.
bool AnswerBox(DWORD pid, const std::wstring& shot, int button) {
  e2e::MessageBoxInfo box;
  if (!e2e::WaitForMessageBox(pid, box)) return false;
  Say(L"  message \"" + box.text + L"\" (" + box.caption + L")");
  Shot(shot, pid);
  return e2e::Answer(box, button);
}

int Fail(const wchar_t* what) {
  Say(std::wstring(L"walk-through stopped: ") + what);
  return 1;
}

}  // namespace

int wmain() {
  g_out = e2e::WindowsPath(e2e::Env(L"VELKORO_E2E_OUT"));
  ::CreateDirectoryW(g_out.c_str(), nullptr);

  emulator_process::Emulator emulator;
  Say(L"starting the emulator: one probe at index 0, serial number SN0009");
  if (!emulator.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_EMULATOR")),
                      {L"--probe", L"0", L"--serial", L"SN0009", L"--erase-ms", L"1500"},
                      g_out + L"\\emulator-transcript.txt", g_out + L"\\emulator-output.txt")) {
    return Fail(L"the emulator did not get ready");
  }
  e2e::App app;
  Say(L"starting Ostrelin.exe");
  if (!app.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_APP")))) {
    return Fail(L"the operator window did not appear");
  }
  const HWND w = app.window();
  const DWORD pid = app.pid();
  Say(L"  window \"" + e2e::Text(w) + L"\"");
  Shot(L"start", pid);

  Say(L"READ");
  e2e::Click(w, IDC_READ);
  if (!Idle(w, pid)) return Fail(L"READ did not end");
  Say(L"  serial number box: " + e2e::ItemText(w, IDC_SERIAL_NO));
  Shot(L"read", pid);

  Say(L"WRITE in Count Up Mode");
  e2e::Click(w, IDC_WRITE);
  if (!AnswerBox(pid, L"write-question", IDOK)) return Fail(L"no question before WRITE");
  if (!AnswerBox(pid, L"write-succeeded", IDOK)) return Fail(L"no result of WRITE");
  if (!Idle(w, pid)) return Fail(L"WRITE did not end");
  Say(L"  serial number box: " + e2e::ItemText(w, IDC_SERIAL_NO));
  Shot(L"write-counted-up", pid);

  Say(L"UPDATE with a two-unit firmware file");
  const std::wstring file = g_out + L"\\firmware.saf";
  {
    std::ofstream out(std::filesystem::path(file), std::ios::binary);
    out << srecord_writer::File(0x00010000, srecord_writer::Pattern(512));
  }
  e2e::SetItemText(w, IDC_FILE_NAME, file);
  e2e::Click(w, IDC_UPDATE);
  if (!AnswerBox(pid, L"update-question", IDOK)) return Fail(L"no question before UPDATE");
  HWND progress = ::GetDlgItem(w, IDC_PROGRESS);
  e2e::WaitUntil([&] { return ::SendMessageW(progress, PBM_GETPOS, 0, 0) > 2; });
  Shot(L"update-erasing", pid);
  HWND confirm = e2e::WaitForDialog(pid, e2e::kProductName, w, 2 * e2e::kWindowWaitMs);
  if (confirm == nullptr) return Fail(L"no confirmation dialog");
  ::Sleep(e2e::kSettleMs);
  Say(L"  confirmation dialog: " + e2e::ItemText(confirm, IDC_MESSAGE_TEXT) + L" -> YES");
  Shot(L"confirmation-dialog", pid);
  ::PostMessageW(::GetDlgItem(confirm, IDOK), BM_CLICK, 0, 0);
  if (!AnswerBox(pid, L"reset-instruction", IDOK)) return Fail(L"no reset instruction");
  if (!AnswerBox(pid, L"update-succeeded", IDOK)) return Fail(L"no result of UPDATE");
  if (!Idle(w, pid)) return Fail(L"UPDATE did not end");
  Shot(L"idle-again", pid);
  app.Stop();

  Say(L"A line job: the window started with /job, the same image pinned");
  const std::wstring job = g_out + L"\\line3.job";
  if (!walk_job::Write(job, file, "line3", "SN0100-SN0199"))
    return Fail(L"the job could not be written");
  e2e::App jobApp;
  if (!jobApp.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_APP")), {L"/job", job})) {
    return Fail(L"the window in job mode did not appear");
  }
  const HWND jw = jobApp.window();
  const DWORD jpid = jobApp.pid();
  Say(L"  window \"" + e2e::Text(jw) + L"\", serial number box: " +
      e2e::ItemText(jw, IDC_SERIAL_NO));
  Shot(L"job-window", jpid);
  Say(L"WRITE in the job: the number is claimed from the range and recorded");
  e2e::Click(jw, IDC_WRITE);
  if (!AnswerBox(jpid, L"job-write-question", IDOK)) return Fail(L"no question before WRITE");
  if (!AnswerBox(jpid, L"job-write-succeeded", IDOK)) return Fail(L"no result of WRITE");
  if (!e2e::WaitUntil([&] { return e2e::ItemText(jw, IDC_SERIAL_NO) == L"SN0101"; })) {
    return Fail(L"the box did not show the next free number");
  }
  Shot(L"job-next-free", jpid);

  jobApp.Stop();
  emulator.Stop();
  Say(L"walk-through complete");
  return 0;
}
