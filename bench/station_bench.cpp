// Benchmark of several probes at once: the wall time of four full 640 KiB
// updates run side by side, one ostrelin-cli.exe per probe (--probe N), all
// logging to one file, beside one such update alone, against the emulator
// serving four probes that answer at once.
//   station_bench.exe CLI.exe EMULATOR.exe OUT_DIR
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/probe_protocol.h"
#include "tests/e2e/gui_driver.h"
#include "tests/e2e_cli/cli_running.h"
#include "tests/support/emulator_process.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/wall_clock.h"

namespace {

constexpr int kProbes = 4;
// Runs of each measurement; the best one is reported.
constexpr int kRounds = 3;

double Now() {
  return wall_clock::Seconds();
}

int Fail(const char* what) {
  std::printf("station bench stopped: %s\n", what);
  return 1;
}

// Seconds for updates of the first count probes at once; negative when one
// failed.
double UpdateSideBySide(const std::wstring& cli, const std::wstring& file, const std::wstring& out,
                        int count) {
  const std::wstring log = out + L"\\station.csv";
  std::vector<std::unique_ptr<cli_e2e::RunningCli>> runs;
  const double start = Now();
  for (int probe = 0; probe < count; ++probe) {
    runs.push_back(std::make_unique<cli_e2e::RunningCli>());
    if (!runs.back()->Start(cli,
                            {L"update", file, L"--probe", std::to_wstring(probe), L"--yes",
                             L"--led", L"skip", L"--quiet", L"--log", log},
                            out + L"\\out-" + std::to_wstring(probe) + L".txt")) {
      return -1;
    }
  }
  bool ok = true;
  for (auto& run : runs) {
    const cli_e2e::CliResult result = run->Finish();
    if (result.status != 0) {
      std::printf("%s", result.err.c_str());
      ok = false;
    }
  }
  const double seconds = Now() - start;
  return ok ? seconds : -1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return Fail("usage: station_bench CLI.exe EMULATOR.exe OUT_DIR");
  const std::wstring cli = e2e::WindowsPath(argv[1]);
  const std::wstring emulatorExe = e2e::WindowsPath(argv[2]);
  const std::wstring out = e2e::WindowsPath(argv[3]);
  ::CreateDirectoryW(out.c_str(), nullptr);

  const std::wstring file = out + L"\\full-image.saf";
  std::ofstream(file.c_str(), std::ios::binary)
      << srecord_writer::File(0x00100000, srecord_writer::Pattern(kFlashBytes));

  std::vector<std::wstring> args = {L"--erase-ms", L"0"};
  for (int probe = 0; probe < kProbes; ++probe)
    args.insert(args.end(), {L"--probe", std::to_wstring(probe)});
  emulator_process::Emulator emulator;
  if (!emulator.Start(emulatorExe, args, L"", out + L"\\emulator-output.txt")) {
    return Fail("the emulator did not get ready");
  }
  double bestOne = 1e9, bestAll = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    const double one = UpdateSideBySide(cli, file, out, 1);
    const double all = UpdateSideBySide(cli, file, out, kProbes);
    if (one < 0 || all < 0) return Fail("an update failed");
    bestOne = std::min(bestOne, one);
    bestAll = std::min(bestAll, all);
  }
  emulator.Stop();
  std::printf("station: %d probes in %.2f s, 1 probe in %.2f s\n", kProbes, bestAll, bestOne);
  std::printf("(best of %d; 640 KiB each, the emulator answering at once, one log for all)\n",
              kRounds);
  return 0;
}
