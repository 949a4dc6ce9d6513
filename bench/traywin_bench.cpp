// Benchmark of the tray window: 16 emulated probes pushed in at once, full
// 640 KiB updates and a number each, timed from the first probe's plug to
// the last tile's PASS (read with GetWindowText, which asks the window
// nothing); beside ostrelin-cli.exe
// run JOB --probe all on the same 16 probes of the same emulator. While the
// window works, a watcher sends it WM_NULL every 50 ms and keeps the longest
// answer. Each figure is the best of its rounds (the longest answer, the
// worst).
//   traywin_bench.exe CLI.exe, with VELKORO_APP, VELKORO_EMULATOR and
//   VELKORO_E2E_OUT set as tests/e2e/run_e2e.sh sets them
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/probe_protocol.h"
#include "tests/e2e/gui_driver.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/support/emulator_process.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/tray_tiles.h"
#include "tests/support/wall_clock.h"

namespace {

constexpr int kRounds = 3;
constexpr int kProbes = 16;
constexpr DWORD kPassWaitMs = 300000;
constexpr DWORD kPingEveryMs = 50;
// An answer slower than this counts as this long (and is a miss by far).
constexpr UINT kPingLimitMs = 5000;
constexpr double kTargetRatio = 1.15, kTargetAnswerMs = 100;

struct Paths {
  std::wstring app, cli, emulator, out, image;
};

// A job of its own per run, so each starts on an empty log and range.
std::wstring NewJob(const Paths& p, const std::wstring& name) {
  const std::wstring job = p.out + L"\\" + name + L".job";
  const std::wstring log = p.out + L"\\" + name + L".csv";
  for (const std::wstring& file : {job, log}) ::DeleteFileW(file.c_str());
  const cli_e2e::CliResult made =
      cli_e2e::RunCli(p.cli,
                      {L"job", L"new", job, L"--image", p.image, L"--serials", L"SN0001-SN0999",
                       L"--log", log, L"--steps", L"update,write-serial", L"--led", L"skip"},
                      p.out);
  if (made.status != 0) {
    std::printf("%s", made.err.c_str());
    return L"";
  }
  std::ofstream(job.c_str(), std::ios::app) << "slots = " << kProbes << "\r\n";
  return job;
}

// Sends WM_NULL every 50 ms from its own thread; the longest answer in ms.
class Watcher {
 public:
  explicit Watcher(HWND window)
      : thread_([this, window] {
          while (!stop_) {
            const double start = wall_clock::Seconds();
            DWORD_PTR result = 0;
            ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kPingLimitMs, &result);
            const double ms = (wall_clock::Seconds() - start) * 1000;
            longest_ = std::max(longest_.load(), ms);
            ::Sleep(kPingEveryMs);
          }
        }) {}
  ~Watcher() { Stop(); }
  double Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return longest_;
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<double> longest_{0};
  std::thread thread_;
};

bool StartEmulator(const Paths& p, emulator_process::Emulator& emulator) {
  std::vector<std::wstring> args = {L"--erase-ms", L"0"};
  for (int probe = 0; probe < kProbes; ++probe)
    args.insert(args.end(), {L"--probe", std::to_wstring(probe)});
  return emulator.Start(p.emulator, args, L"", p.out + L"\\emulator-output.txt");
}

bool Plug(emulator_process::Emulator& emulator, const char* word) {
  for (int probe = 0; probe < kProbes; ++probe) {
    if (!emulator.Cable(word, probe)) return false;
  }
  return true;
}

struct WindowRun {
  double seconds = -1;   // first plug to last PASS; negative when one did not pass
  double plugged = 0;    // first plug to the last plug's answer from the emulator
  double firstWork = 0;  // first plug to the first tile past Attached
  double answerMs = 0;   // the longest answer to WM_NULL meanwhile
};

bool Working(HWND tray) {
  for (const std::wstring& tile : tray_tiles::KeptTiles(tray, kProbes)) {
    if (tile.find(L": Empty") == std::wstring::npos &&
        tile.find(L": Attached") == std::wstring::npos)
      return true;
  }
  return false;
}

WindowRun Window(const Paths& p, emulator_process::Emulator& emulator, int round) {
  WindowRun r;
  const std::wstring job = NewJob(p, L"window-" + std::to_wstring(round));
  if (job.empty() || !Plug(emulator, "unplug")) return r;
  e2e::App app;
  if (!app.Start(p.app, {L"--job", job, L"--tray"})) return r;
  const HWND tray = app.window();
  if (!e2e::WaitUntil([&] { return tray_tiles::TilesSaying(tray, kProbes, L"Empty") == kProbes; }))
    return r;
  Watcher watcher(tray);
  const double start = wall_clock::Seconds();
  if (!Plug(emulator, "plug")) return r;
  r.plugged = wall_clock::Seconds() - start;
  if (e2e::WaitUntil([&] { return Working(tray); }, kPassWaitMs))
    r.firstWork = wall_clock::Seconds() - start;
  const bool passed = e2e::WaitUntil(
      [&] { return tray_tiles::TilesSaying(tray, kProbes, L"PASS") == kProbes; }, kPassWaitMs);
  const double seconds = wall_clock::Seconds() - start;
  r.answerMs = watcher.Stop();
  if (!passed) {
    for (const std::wstring& tile : tray_tiles::KeptTiles(tray, kProbes))
      std::printf("  %ls\n", tile.c_str());
  }
  app.Stop();
  if (passed) r.seconds = seconds;
  return r;
}

double Console(const Paths& p, int round) {
  const std::wstring job = NewJob(p, L"console-" + std::to_wstring(round));
  if (job.empty()) return -1;
  const double start = wall_clock::Seconds();
  const cli_e2e::CliResult run =
      cli_e2e::RunCli(p.cli, {L"run", job, L"--probe", L"all", L"--yes", L"--quiet"}, p.out);
  const double seconds = wall_clock::Seconds() - start;
  if (run.status != 0) std::printf("%s%s", run.out.c_str(), run.err.c_str());
  return run.status == 0 ? seconds : -1;
}

int Fail(const char* what) {
  std::printf("tray window bench stopped: %s\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Fail("usage: traywin_bench CLI.exe (the rest as run_e2e.sh names them)");
  Paths p{e2e::WindowsPath(e2e::Env(L"VELKORO_APP")), e2e::WindowsPath(argv[1]),
          e2e::WindowsPath(e2e::Env(L"VELKORO_EMULATOR")),
          e2e::WindowsPath(e2e::Env(L"VELKORO_E2E_OUT")), L""};
  ::CreateDirectoryW(p.out.c_str(), nullptr);
  p.image = p.out + L"\\full-image.saf";
  std::ofstream(p.image.c_str(), std::ios::binary)
      << srecord_writer::File(0x00100000, srecord_writer::Pattern(kFlashBytes));

  double window = 1e9, console = 1e9, answer = 0;
  for (int round = 0; round < kRounds; ++round) {
    // An emulator a round: its cable answers are waited for in its output,
    // which must not hold an earlier round's.
    emulator_process::Emulator emulator;
    if (!StartEmulator(p, emulator)) return Fail("the emulator did not get ready");
    const WindowRun run = Window(p, emulator, round);
    const double w = run.seconds;
    if (w < 0) return Fail("the window's probes did not all pass");
    // Probes of their own, erased: ones that hold the image already are
    // left alone by the job's update.
    emulator.Stop();
    emulator_process::Emulator fresh;
    if (!StartEmulator(p, fresh)) return Fail("the emulator did not get ready");
    const double c = Console(p, round);
    if (c < 0) return Fail("the console's run failed");
    std::printf(
        "round %d: window %.2f s (all plugged in %.2f s, the first at work after %.2f s), console "
        "%.2f s, longest answer %.1f ms\n",
        round + 1, w, run.plugged, run.firstWork, c, run.answerMs);
    window = std::min(window, w);
    console = std::min(console, c);
    answer = std::max(answer, run.answerMs);
  }
  std::printf("%d probes, full 640 KiB updates and a number each, best of %d:\n", kProbes, kRounds);
  std::printf("  tray window, first plug to last PASS  %7.2f s  %6.2f s/probe\n", window,
              window / kProbes);
  std::printf("  ostrelin-cli run JOB --probe all      %7.2f s  %6.2f s/probe\n", console,
              console / kProbes);
  std::printf("  window / console %.2f (target at most %.2f)\n", window / console, kTargetRatio);
  std::printf(
      "  (the window takes a probe once it has answered for a second, against a pushed-in one; "
      "run JOB --probe all takes those attached when it starts)\n");
  std::printf("  longest answer to WM_NULL every %u ms: %.1f ms (target at most %.0f ms)\n",
              static_cast<unsigned>(kPingEveryMs), answer, kTargetAnswerMs);
  return 0;
}
