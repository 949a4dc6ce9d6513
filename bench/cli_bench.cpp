// Benchmark of a full 640 KiB update through ostrelin-cli.exe (--led skip)
// against the emulator answering at once, beside the link floor: the same
// exchanges (640 program requests of 1024 bytes, 640 read-backs) sent by
// this program straight through the transport. The update's one deliberate
// wait, the erase's first poll 500 ms after the request, is reported apart,
// and so is the cost of starting the program at all. Then a line job's run
// per probe: run JOB with both steps, a full update (the image differs from
// the flash each round) and a serial number from the job's log; and the same
// with a unit cap beside it (each probe also claims and settles a unit in
// the log), for a job with both steps and for a serial-only one.
//   cli_bench.exe CLI.exe EMULATOR.exe OUT_DIR
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "probe/commands.h"
#include "probe/discovery.h"
#include "probe/transport.h"
#include "tests/e2e/gui_driver.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/support/emulator_process.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/wall_clock.h"

namespace {

constexpr uint32_t kImageBytes = kFlashBytes;
constexpr uint32_t kUnitBytes = 1024;
constexpr uint32_t kUnits = kImageBytes / kUnitBytes;
constexpr double kErasePollSeconds = 0.5;
// Runs of each measurement; the best one is reported.
constexpr int kRounds = 3;
constexpr int kSerialRounds = 30;

double Now() {
  return wall_clock::Seconds();
}

// Seconds for the 640 program requests and 640 read-backs, or a negative
// value when an exchange failed.
double LinkFloor(const std::vector<uint8_t>& image) {
  ProbeLink link;
  if (OpenProbe(link) != 0) return -1;
  ProbeReply reply;
  const double start = Now();
  bool ok = true;
  for (uint32_t unit = 0; ok && unit < kUnits; ++unit) {
    ok = WriteFlashCommand(link, reply, unit * kUnitBytes, image.data() + unit * kUnitBytes,
                           kUnitBytes) == 0 &&
         reply.count == 1;
  }
  for (uint32_t unit = 0; ok && unit < kUnits; ++unit) {
    ok = ReadFlashCommand(link, reply, kReadBackBase + unit * kUnitBytes, kUnitBytes) == 0 &&
         reply.count == kUnitBytes + 2;
  }
  const double seconds = Now() - start;
  CloseProbe(link);
  return ok ? seconds : -1;
}

int Fail(const char* what) {
  std::printf("cli bench stopped: %s\n", what);
  return 1;
}

// job new over the image (none: a serial-only job), then the cap added to
// its [job] section; false when it could not be made.
bool MakeJob(const std::wstring& cli, const std::wstring& out, const std::wstring& job,
             const std::wstring& image, const std::wstring& log, bool capped) {
  ::DeleteFileW(job.c_str());
  std::vector<std::wstring> args = {L"job",   L"new", job,      L"--serials", L"SN0001-SN9999",
                                    L"--log", log,    L"--led", L"skip"};
  if (!image.empty()) args.insert(args.end(), {L"--image", image});
  const cli_e2e::CliResult made = cli_e2e::RunCli(cli, args, out);
  if (made.status != 0) std::printf("%s", made.err.c_str());
  if (capped) std::ofstream(job.c_str(), std::ios::binary | std::ios::app) << "units = 100000\r\n";
  return made.status == 0;
}

// The best of rounds runs of each job, taken in turn; none when one failed.
std::vector<double> BestRuns(const std::wstring& cli, const std::wstring& out,
                             const std::vector<std::wstring>& jobs, int rounds) {
  std::vector<double> best(jobs.size(), 1e9);
  for (int round = 0; round < rounds; ++round) {
    for (size_t kind = 0; kind < jobs.size(); ++kind) {
      const std::wstring& job = jobs[kind];
      const double start = Now();
      const cli_e2e::CliResult run = cli_e2e::RunCli(cli, {L"run", job, L"--yes", L"--quiet"}, out);
      if (run.status != 0) {
        std::printf("%s", run.err.c_str());
        return {};
      }
      best[kind] = std::min(best[kind], Now() - start);
    }
  }
  return best;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return Fail("usage: cli_bench CLI.exe EMULATOR.exe OUT_DIR");
  const std::wstring cli = e2e::WindowsPath(argv[1]);
  const std::wstring emulatorExe = e2e::WindowsPath(argv[2]);
  const std::wstring out = e2e::WindowsPath(argv[3]);
  ::CreateDirectoryW(out.c_str(), nullptr);

  const std::vector<uint8_t> image = srecord_writer::Pattern(kImageBytes);
  const std::wstring file = out + L"\\full-image.saf";
  std::ofstream(file.c_str(), std::ios::binary) << srecord_writer::File(0x00100000, image);

  emulator_process::Emulator emulator;
  if (!emulator.Start(emulatorExe, {L"--probe", L"0", L"--erase-ms", L"0"}, L"",
                      out + L"\\emulator-output.txt")) {
    return Fail("the emulator did not get ready");
  }

  double bestStart = 1e9, bestUpdate = 1e9, bestFloor = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    double start = Now();
    if (cli_e2e::RunCli(cli, {L"--version"}, out).status != 0) return Fail("--version failed");
    bestStart = std::min(bestStart, Now() - start);

    start = Now();
    const cli_e2e::CliResult run =
        cli_e2e::RunCli(cli, {L"update", file, L"--yes", L"--led", L"skip", L"--quiet"}, out);
    const double seconds = Now() - start;
    if (run.status != 0) {
      std::printf("%s", run.err.c_str());
      return Fail("the update failed");
    }
    bestUpdate = std::min(bestUpdate, seconds);

    const double floor = LinkFloor(image);
    if (floor < 0) return Fail("the link floor's exchanges failed");
    bestFloor = std::min(bestFloor, floor);
  }
  // Two jobs over two images, one without a cap and one with, run in turn,
  // so each run's update finds the flash different and programs it whole;
  // then a serial-only job without and with a cap.
  const std::wstring log = out + L"\\job-bench.csv";
  ::DeleteFileW(log.c_str());
  std::vector<std::wstring> jobs;
  for (int kind = 0; kind < 4; ++kind) {
    std::wstring image;
    if (kind < 2) {
      image = out + L"\\job-image-" + std::to_wstring(kind) + L".saf";
      std::ofstream(image.c_str(), std::ios::binary) << srecord_writer::File(
          0x00100000, srecord_writer::Pattern(kImageBytes, uint8_t(7 + kind)));
    }
    jobs.push_back(out + L"\\bench-" + std::to_wstring(kind) + L".ini");
    if (!MakeJob(cli, out, jobs.back(), image, log, kind % 2 == 1)) return Fail("job new failed");
  }
  // A serial-only run is short, so the machine's noise is a larger part of
  // it: it gets more rounds.
  std::vector<double> best = BestRuns(cli, out, {jobs[0], jobs[1]}, 2 * kRounds);
  const std::vector<double> serialOnly = BestRuns(cli, out, {jobs[2], jobs[3]}, kSerialRounds);
  if (best.empty() || serialOnly.empty()) return Fail("run JOB failed");
  best.insert(best.end(), serialOnly.begin(), serialOnly.end());
  const double bestJob = best[0];
  emulator.Stop();

  // The update's own time: the whole run less the erase's first poll and
  // less what starting a console program costs here.
  const double update = bestUpdate - kErasePollSeconds - bestStart;
  std::printf("cli update: %.2f s, link floor: %.2f s, ratio %.2f\n", update, bestFloor,
              update / bestFloor);
  std::printf(
      "apart: the erase's first poll %.2f s, starting the program %.2f s; the whole run %.2f s "
      "(best of %d)\n",
      kErasePollSeconds, bestStart, bestUpdate, kRounds);
  std::printf(
      "run JOB (full update and a serial number, per probe): %.2f s for the whole run (best of "
      "%d), goal 2.5 s\n",
      bestJob, 2 * kRounds);
  std::printf(
      "run JOB with units = 100000 beside it: %.3f s without, %.3f s with (+%.1f %% per probe, "
      "goal at most 10 %%) (best of %d each)\n",
      best[0], best[1], 100.0 * (best[1] - best[0]) / best[0], 2 * kRounds);
  std::printf(
      "serial-only run JOB: %.3f s without units, %.3f s with (+%.1f %% per probe, goal at most "
      "10 %%) (best of %d each)\n",
      best[2], best[3], 100.0 * (best[3] - best[2]) / best[2], kSerialRounds);
  return 0;
}
