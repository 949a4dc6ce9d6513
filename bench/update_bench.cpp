// Benchmark of a full 640 KiB firmware update through the real Ostrelin.exe
// against the emulator program answering at once (no erase time). Prints the
// time from the operator's OK to the LED dialog, the phases, the longest gap
// between two paints of the progress bar during the erase wait and the
// program phase, and how often this system's 1 ms window timer really ticks,
// so the figures can be told apart: timer pacing, transfers, or our work.
//
// Run with tests/e2e/run_e2e.sh (it provides VELKORO_APP, VELKORO_EMULATOR,
// VELKORO_E2E_OUT and a display).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/probe_protocol.h"
#include "res/resource.h"
#include "tests/e2e/gui_driver.h"
#include "tests/e2e/window_names.h"
#include "tests/support/emulator_process.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/wall_clock.h"

namespace {

constexpr int kUnits = kFlashBytes / kMaxFlashBlockBytes;
// Progress positions: the erase ends at 242, then one step per unit
// programmed and one per unit verified.
constexpr int kStartPos = 2;
constexpr int kEraseDonePos = 242;
// The whole update must end well within this.
constexpr DWORD kUpdateLimitMs = 300000;
// How long the bench's own 1 ms timer is watched.
constexpr DWORD kTimerProbeMs = 2000;
constexpr UINT kProbeTimerPeriodMs = 1;

double Now() {
  return 1000.0 * wall_clock::Seconds();
}

// The interval at which a 1 ms window timer really fires here.
double MeasureTimerIntervalMs() {
  const UINT_PTR id = ::SetTimer(nullptr, 0, kProbeTimerPeriodMs, nullptr);
  const double start = Now();
  int ticks = 0;
  MSG msg;
  while (Now() - start<kTimerProbeMs&& ::GetMessageW(&msg, nullptr, 0, 0)> 0) {
    if (msg.message == WM_TIMER) ++ticks;
  }
  ::KillTimer(nullptr, id);
  return ticks > 0 ? (Now() - start) / ticks : 0.0;
}

struct PaintWatch {
  double lastPaint = 0;
  double longestGap = 0;
  bool pending = false;

  // Keeps the bar invalidated; a paint is seen when its update region has
  // been emptied by the window's own thread.
  void Look(HWND bar, double now) {
    if (pending && !::GetUpdateRect(bar, nullptr, FALSE)) {
      longestGap = std::max(longestGap, now - lastPaint);
      lastPaint = now;
      pending = false;
    }
    if (!pending) {
      ::InvalidateRect(bar, nullptr, FALSE);
      pending = true;
    }
  }
  void Restart(double now) {
    lastPaint = now;
    longestGap = 0;
  }
};

int Fail(const char* what) {
  std::printf("update bench stopped: %s\n", what);
  return 1;
}

}  // namespace

int wmain() {
  const std::wstring out = e2e::WindowsPath(e2e::Env(L"VELKORO_E2E_OUT"));
  ::CreateDirectoryW(out.c_str(), nullptr);
  const double timerIntervalMs = MeasureTimerIntervalMs();

  const std::wstring file = out + L"\\full-image.saf";
  {
    std::ofstream image(std::filesystem::path(file), std::ios::binary);
    image << srecord_writer::File(0x00100000, srecord_writer::Pattern(kFlashBytes));
  }

  emulator_process::Emulator emulator;
  if (!emulator.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_EMULATOR")),
                      {L"--probe", L"0", L"--erase-ms", L"0"}, L"",
                      out + L"\\emulator-output.txt")) {
    return Fail("the emulator did not get ready");
  }
  e2e::App app;
  if (!app.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_APP")))) {
    return Fail("the operator window did not appear");
  }
  const HWND w = app.window();
  const HWND bar = ::GetDlgItem(w, IDC_PROGRESS);

  e2e::SetItemText(w, IDC_FILE_NAME, file);
  e2e::Click(w, IDC_UPDATE);
  e2e::MessageBoxInfo question;
  if (!e2e::WaitForMessageBox(app.pid(), question)) return Fail("no question");
  if (!e2e::Answer(question, IDOK)) return Fail("the question did not close");

  const double start = Now();
  double started = 0, eraseDone = 0, programDone = 0, verifyDone = 0, confirmShown = 0;
  double eraseGap = 0, programGap = 0;
  // How long the window's thread takes to answer a sent message during the
  // program phase: the time a tick holds it (transfers and our own work).
  double longestAnswer = 0, answerSum = 0;
  int answers = 0;
  PaintWatch paints;
  paints.Restart(start);
  HWND confirm = nullptr;
  while (confirm == nullptr && Now() - start < kUpdateLimitMs) {
    const double now = Now();
    DWORD_PTR pos = 0;
    ::SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, kUpdateLimitMs, &pos);
    if (eraseDone != 0 && programDone == 0) {
      const double answer = Now() - now;
      longestAnswer = std::max(longestAnswer, answer);
      answerSum += answer;
      ++answers;
    }
    if (started == 0 && static_cast<int>(pos) >= kStartPos) {
      // The Start step has run: the probe is open and the erase requested.
      // The step holds the window while it opens the probe; the gaps are
      // counted from here.
      started = now;
      paints.Restart(now);
    }
    if (started != 0 && eraseDone == 0 && static_cast<int>(pos) >= kEraseDonePos) {
      eraseDone = now;
      eraseGap = paints.longestGap;
      paints.Restart(now);
    } else if (eraseDone != 0 && programDone == 0 &&
               static_cast<int>(pos) >= kEraseDonePos + kUnits) {
      programDone = now;
      programGap = paints.longestGap;
    } else if (programDone != 0 && verifyDone == 0 &&
               static_cast<int>(pos) >= kEraseDonePos + 2 * kUnits) {
      verifyDone = now;
    }
    if (eraseDone == 0 || programDone == 0) paints.Look(bar, now);
    if (verifyDone != 0) {
      for (HWND dialog : e2e::DialogsOf(app.pid())) {
        if (dialog != w && e2e::Text(dialog) == e2e::kProductName) confirm = dialog;
      }
      if (confirm != nullptr) confirmShown = Now();
    }
    ::Sleep(1);
  }
  if (confirm == nullptr) return Fail("no confirmation dialog within the limit");

  const double totalS = (confirmShown - start) / 1000.0;
  const double programMs = programDone - eraseDone;
  const double verifyMs = verifyDone - programDone;
  std::printf("update: %.1f s total, %d units, %.1f ms per unit\n", totalS, kUnits,
              (programMs + verifyMs) / kUnits);
  std::printf(
      "phases: start step %.0f ms, erase wait %.0f ms, program %.0f ms (%.1f ms per unit), verify "
      "%.0f ms "
      "(%.1f ms per unit), run-out to the LED dialog %.0f ms\n",
      started - start, eraseDone - started, programMs, programMs / kUnits, verifyMs,
      verifyMs / kUnits, confirmShown - verifyDone);
  std::printf("paint gap: longest %.0f ms during the erase wait, %.0f ms during programming\n",
              eraseGap, programGap);
  std::printf(
      "window's answer to a sent message while programming: mean %.2f ms, longest %.0f ms\n",
      answers > 0 ? answerSum / answers : 0.0, longestAnswer);
  std::printf("timer: a 1 ms window timer ticks every %.1f ms here\n", timerIntervalMs);

  ::PostMessageW(::GetDlgItem(confirm, IDOK), BM_CLICK, 0, 0);
  for (int box = 0; box < 2; ++box) {
    e2e::MessageBoxInfo info;
    if (e2e::WaitForMessageBox(app.pid(), info)) e2e::Answer(info, IDOK);
  }
  app.Stop();
  emulator.Stop();
  return 0;
}
