// Benchmark of the line's MES events: the time of a probe's run (an update
// of 64 KiB and a serial number, through ostrelin-cli.exe against the
// emulator) with the MES outbox beside it and without (target: at most 5 %
// more), the MES down so the sender keeps retrying meanwhile; and 10,000
// unsent events delivered by mes flush to a receiver on 127.0.0.1 (target:
// within 20 s).
//   mes_bench.exe CLI.exe EMULATOR.exe OUT_DIR RECEIVER.py
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "line/mes_outbox.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/support/emulator_process.h"
#include "tests/support/mes_receiver_process.h"
#include "tests/support/process_launch.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/wall_clock.h"

namespace {

constexpr int kRounds = 8;  // runs of each kind; the median is reported
constexpr size_t kImageBytes = 64 * 1024;
constexpr int kBacklog = 10000;
// A port nothing listens on: the MES is down while the probes run.
constexpr int kDownPort = 9;

int Fail(const char* what) {
  std::printf("mes bench stopped: %s\n", what);
  return 1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A job updating to image and numbering, made by job new; mes keys added.
bool MakeJob(const std::wstring& cli, const std::wstring& out, const std::wstring& name,
             const std::wstring& image, const std::string& mesKeys) {
  const std::wstring job = out + L"\\" + name + L".job";
  DeleteFileW(job.c_str());
  const cli_e2e::CliResult made = cli_e2e::RunCli(
      cli,
      {L"job", L"new", job, L"--image", image, L"--name", name, L"--log", out + L"\\line.csv",
       L"--serials", L"SN000001-SN999999", L"--steps", L"update,write-serial", L"--led", L"skip"},
      out);
  if (made.status != 0) return false;
  std::ofstream(std::filesystem::path(job), std::ios::binary | std::ios::app) << mesKeys;
  return true;
}

double RunOnce(const std::wstring& cli, const std::wstring& out, const std::wstring& name) {
  const double start = wall_clock::Seconds();
  const cli_e2e::CliResult run = cli_e2e::RunCli(
      cli, {L"run", out + L"\\" + name + L".job", L"--yes", L"--probe", L"0", L"--quiet"}, out);
  if (run.status != 0) {
    std::printf("%s", run.err.c_str());
    return -1;
  }
  return wall_clock::Seconds() - start;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return Fail("usage: mes_bench CLI.exe EMULATOR.exe OUT_DIR RECEIVER.py");
  const std::wstring cli = test_process::WindowsPath(argv[1]);
  const std::wstring emulatorExe = test_process::WindowsPath(argv[2]);
  const std::wstring out = test_process::WindowsPath(argv[3]);
  const std::wstring script(argv[4]);
  CreateDirectoryW(out.c_str(), nullptr);
  std::filesystem::remove_all(std::filesystem::path(out) / "line.csv.outbox");
  DeleteFileW((out + L"\\line.csv").c_str());

  // Two images, so every run updates: the probe holds the other one.
  const std::string down = "mes = http://127.0.0.1:" + std::to_string(kDownPort) + "/events\n";
  for (int seed : {1, 2}) {
    const std::wstring image = out + L"\\image" + std::to_wstring(seed) + L".saf";
    std::ofstream(std::filesystem::path(image), std::ios::binary)
        << srecord_writer::File(0, srecord_writer::Pattern(kImageBytes, seed));
    if (!MakeJob(cli, out, L"plain" + std::to_wstring(seed), image, "") ||
        !MakeJob(cli, out, L"mes" + std::to_wstring(seed), image, down)) {
      return Fail("job new failed");
    }
  }
  emulator_process::Emulator emulator;
  if (!emulator.Start(emulatorExe, {L"--probe", L"0", L"--erase-ms", L"0"}, L"",
                      out + L"\\emulator-output.txt")) {
    return Fail("the emulator did not get ready");
  }
  std::vector<double> plain, withOutbox;
  for (int round = 0; round < kRounds; ++round) {
    // plain1, mes2, plain1, mes2 ...: each run finds the other image there.
    const double a = RunOnce(cli, out, L"plain1");
    const double b = RunOnce(cli, out, L"mes2");
    if (a < 0 || b < 0) return Fail("a run failed");
    plain.push_back(a);
    withOutbox.push_back(b);
  }
  emulator.Stop();
  const double p = Median(plain), m = Median(withOutbox);
  std::printf(
      "a probe (64 KiB update and a number, one ostrelin-cli.exe run): %.3f s without "
      "the MES, %.3f s with the outbox beside (%+.1f %%; target at most +5 %%)\n",
      p, m, (m / p - 1) * 100);

  // The backlog: 10,000 events waiting, then the MES answers.
  MesOutbox outbox(std::filesystem::path(out) / "line.csv.outbox");
  std::filesystem::remove_all(outbox.folder());
  std::string error;
  for (int i = 0; i < kBacklog; ++i) {
    MesEvent event;
    event.eventId = NewMesEventId();
    event.job = "mes1@00000000";
    event.serial = "SN" + std::to_string(i);
    if (!outbox.Put(event, UtcNowMs(), &error)) return Fail("the backlog could not be written");
  }
  mes_receiver::Receiver receiver(out + L"\\receiver", std::string(script.begin(), script.end()));
  if (!receiver.Start(0)) return Fail("the receiver did not start");
  const std::wstring job = out + L"\\mes1.job";
  std::string jobText = test_files::ReadWholeFile(std::filesystem::path(job));
  const size_t at = jobText.find(down);
  jobText.replace(at, down.size(),
                  "mes = http://127.0.0.1:" + std::to_string(receiver.port()) + "/events\n");
  std::ofstream(std::filesystem::path(job), std::ios::binary | std::ios::trunc) << jobText;
  const double start = wall_clock::Seconds();
  const cli_e2e::CliResult flushed = cli_e2e::RunCli(cli, {L"mes", L"flush", L"--job", job}, out);
  const double seconds = wall_clock::Seconds() - start;
  receiver.Stop();
  std::printf(
      "%d unsent events delivered in %.2f s by mes flush (%.0f a second; target within "
      "20 s): %s",
      kBacklog, seconds, kBacklog / seconds, flushed.out.c_str());
  return flushed.status == 0 ? 0 : Fail("mes flush did not deliver them all");
}
