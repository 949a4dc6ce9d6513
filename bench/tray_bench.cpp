// Benchmark of a tray: full 640 KiB updates of 1, 4, 8 and 16 emulated
// probes in one ostrelin-cli.exe --probe all run against one emulator, beside
// the same updates one after another (one process at a time) and at once
// with one process per probe; then a tray of 16 numbered from one CSV log
// and, with VELKORO_TEST_ODBC set (scripts/test-db.sh env), from the line's
// database; and one emulator serving 24 probes. Each figure is the best of its
// rounds.
//   tray_bench.exe CLI.exe EMULATOR.exe OUT_DIR [COUNTS...]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/probe_protocol.h"
#include "tests/e2e/gui_driver.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/e2e_cli/cli_running.h"
#include "tests/support/emulator_process.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/wall_clock.h"

namespace {

constexpr int kRounds = 2;
constexpr int kCounts[] = {1, 4, 8, 16};
constexpr int kNumberedTray = 16;
constexpr int kMostServed = 24;
// The frames of one full update, as the transcript counts them: 640 program
// requests, 640 read-backs, the version check, the erase and the execute
// request (the erase is awaited on a watch of its reply, no frame of its own).
constexpr int kFramesPerUpdate = 640 + 640 + 3;

struct Paths {
  std::wstring cli, emulator, out, file;
};

double Now() {
  return wall_clock::Seconds();
}

std::vector<std::wstring> UpdateArgs(const Paths& p, const std::wstring& probe) {
  return {L"update", p.file, L"--probe", probe, L"--yes", L"--led", L"skip", L"--quiet"};
}

// Negative when a run failed.
double Tray(const Paths& p) {
  const double start = Now();
  const cli_e2e::CliResult run = cli_e2e::RunCli(p.cli, UpdateArgs(p, L"all"), p.out);
  if (run.status != 0) std::printf("%s", run.err.c_str());
  return run.status == 0 ? Now() - start : -1;
}

double InTurn(const Paths& p, int count) {
  const double start = Now();
  for (int probe = 0; probe < count; ++probe) {
    const cli_e2e::CliResult run =
        cli_e2e::RunCli(p.cli, UpdateArgs(p, std::to_wstring(probe)), p.out);
    if (run.status != 0) return -1;
  }
  return Now() - start;
}

double ProcessEach(const Paths& p, int count) {
  std::vector<std::unique_ptr<cli_e2e::RunningCli>> runs;
  const double start = Now();
  for (int probe = 0; probe < count; ++probe) {
    runs.push_back(std::make_unique<cli_e2e::RunningCli>());
    if (!runs.back()->Start(p.cli, UpdateArgs(p, std::to_wstring(probe)),
                            p.out + L"\\out-" + std::to_wstring(probe) + L".txt")) {
      return -1;
    }
  }
  bool ok = true;
  for (auto& run : runs) ok = run->Finish().status == 0 && ok;
  return ok ? Now() - start : -1;
}

bool StartEmulator(emulator_process::Emulator& emulator, const Paths& p, int count) {
  std::vector<std::wstring> args = {L"--erase-ms", L"0"};
  for (int probe = 0; probe < count; ++probe)
    args.insert(args.end(), {L"--probe", std::to_wstring(probe)});
  return emulator.Start(p.emulator, args, L"", p.out + L"\\emulator-output.txt");
}

void PrintUpdates(const char* what, double seconds, int count) {
  std::printf("  %-22s %7.2f s  %6.2f s/probe  %6.3f ms/frame\n", what, seconds, seconds / count,
              seconds * 1000 / (count * kFramesPerUpdate));
}

// Seconds for one tray of write-serial --count-up from one store.
double Numbered(const Paths& p, const std::wstring& log) {
  const double start = Now();
  const cli_e2e::CliResult run =
      cli_e2e::RunCli(p.cli,
                      {L"write-serial", L"SN000001", L"--count-up", L"--probe", L"all", L"--yes",
                       L"--quiet", L"--log", log},
                      p.out);
  if (run.status != 0) std::printf("%s", run.err.c_str());
  return run.status == 0 ? Now() - start : -1;
}

int Fail(const char* what) {
  std::printf("tray bench stopped: %s\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return Fail("usage: tray_bench CLI.exe EMULATOR.exe OUT_DIR [COUNTS...]");
  Paths p{e2e::WindowsPath(argv[1]), e2e::WindowsPath(argv[2]), e2e::WindowsPath(argv[3]), L""};
  ::CreateDirectoryW(p.out.c_str(), nullptr);
  p.file = p.out + L"\\full-image.saf";
  std::ofstream(p.file.c_str(), std::ios::binary)
      << srecord_writer::File(0x00100000, srecord_writer::Pattern(kFlashBytes));
  std::vector<int> counts(std::begin(kCounts), std::end(kCounts));
  if (argc > 4) counts.clear();
  for (int i = 4; i < argc; ++i) counts.push_back(_wtoi(argv[i]));

  std::printf("full 640 KiB updates, best of %d; %d frames per update\n", kRounds,
              kFramesPerUpdate);
  for (int count : counts) {
    emulator_process::Emulator emulator;
    if (!StartEmulator(emulator, p, count)) return Fail("the emulator did not get ready");
    double tray = 1e9, inTurn = 1e9, each = 1e9;
    for (int round = 0; round < kRounds; ++round) {
      const double t = Tray(p), s = InTurn(p, count), e = ProcessEach(p, count);
      if (t < 0 || s < 0 || e < 0) return Fail("an update failed");
      tray = std::min(tray, t);
      inTurn = std::min(inTurn, s);
      each = std::min(each, e);
    }
    emulator.Stop();
    std::printf("%d probe%s:\n", count, count == 1 ? "" : "s");
    PrintUpdates("one --probe all run", tray, count);
    PrintUpdates("one after another", inTurn, count);
    PrintUpdates("one process per probe", each, count);
    std::printf("  tray / in turn %.2f, tray / per process %.2f\n", tray / inTurn, tray / each);
  }

  // One emulator serving the most probes a tray fixture holds: one update
  // among idle probes, as fast as with one probe served, and all of them.
  {
    emulator_process::Emulator emulator;
    if (!StartEmulator(emulator, p, kMostServed)) return Fail("the emulator did not get ready");
    double alone = 1e9, tray = 1e9;
    for (int round = 0; round < kRounds; ++round) {
      const double a = InTurn(p, 1), t = Tray(p);
      if (a < 0 || t < 0) return Fail("an update failed");
      alone = std::min(alone, a);
      tray = std::min(tray, t);
    }
    std::printf("%d probes served by one emulator:\n", kMostServed);
    PrintUpdates("one update alone", alone, 1);
    PrintUpdates("one --probe all run", tray, kMostServed);
  }

  emulator_process::Emulator emulator;
  if (!StartEmulator(emulator, p, kNumberedTray)) return Fail("the emulator did not get ready");
  std::vector<std::pair<std::string, std::wstring>> stores = {{"CSV log", L""}};
  if (const char* odbc = std::getenv("VELKORO_TEST_ODBC")) {
    const std::string text = std::string("odbc:") + odbc;
    stores.push_back({"database", std::wstring(text.begin(), text.end())});
  }
  for (auto& [name, log] : stores) {
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
      const std::wstring where =
          log.empty() ? p.out + L"\\numbers-" + std::to_wstring(round) + L".csv" : log;
      if (log.empty()) ::DeleteFileW(where.c_str());
      const double seconds = Numbered(p, where);
      if (seconds < 0) return Fail("a numbered tray failed");
      best = std::min(best, seconds);
    }
    std::printf("%d probes numbered from the %s: %.2f s per tray, %.1f ms per probe\n",
                kNumberedTray, name.c_str(), best, best * 1000 / kNumberedTray);
  }
  return 0;
}
