// A capped job under Wine: two ostrelin-cli stations on one log, and on the
// line's database (VELKORO_TEST_ODBC, skipped without it), race for a job's
// last units, each probe pulled and put back as it is asked to be
// removed; the emulator's transcript counts the write requests that reached
// a probe, which never exceed the cap, and both stations end with 28.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/e2e_common.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/e2e_cli/cli_running.h"
#include "tests/support/emulator_process.h"
#include "tests/support/test_files.h"

namespace {

constexpr DWORD kStepMs = 60000;
// Between two looks at a station that may have asked for its probe's removal.
constexpr DWORD kLookMs = 100;
constexpr int kStations = 2;
constexpr int kUnits = 3;
constexpr DWORD kUnitsUsedUp = 28;
constexpr char kUsedUp[] = "Every unit of the job capped is held";

size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class UnitCapE2eTest : public ::testing::TestWithParam<bool> {};

TEST_P(UnitCapE2eTest, TwoStationsNeverMakeMoreThanTheCap) {
  const bool database = GetParam();
  const std::string odbc = e2e::Narrow(e2e::Env(L"VELKORO_TEST_ODBC"));
  if (database && odbc.empty()) GTEST_SKIP() << "VELKORO_TEST_ODBC is not set";
  const std::wstring dir = e2e::TestFolder();
  const std::string odbcLog = "odbc:" + odbc;
  const std::wstring log =
      database ? std::wstring(odbcLog.begin(), odbcLog.end()) : dir + L"\\line.csv";
  const std::wstring transcript = dir + L"\\transcript.txt", job = dir + L"\\capped.job";
  for (const std::wstring& file : {dir + L"\\line.csv", transcript, job}) {
    ::DeleteFileW(file.c_str());
  }
  // A series and a job of this run's own: the database keeps earlier runs'
  // numbers and units.
  char series[32];
  std::snprintf(series, sizeof series, "U%luT%luN", ::GetCurrentProcessId(),
                ::GetTickCount() % 100000);
  std::ofstream(job.c_str(), std::ios::binary)
      << "[job]\r\nname = capped\r\nserials = " << series << "0001-" << series
      << "0099\r\nlog = " << (database ? "odbc:" + odbc : std::string("line.csv"))
      << "\r\nsteps = write-serial\r\nunits = " << kUnits << "\r\n";
  emulator_process::Emulator emulator;
  ASSERT_TRUE(emulator.Start(L"--probe 0 --probe 1 --transcript \"" + transcript + L"\""));
  const std::wstring cli = e2e::WindowsPath(e2e::Env(L"VELKORO_CLI"));

  std::unique_ptr<cli_e2e::RunningCli> stations[kStations];
  for (int i = 0; i < kStations; ++i) {
    stations[i] = std::make_unique<cli_e2e::RunningCli>();
    ASSERT_TRUE(stations[i]->Start(
        cli, {L"run", job, L"--probe", std::to_wstring(i), L"--repeat", L"0", L"--yes"},
        dir + L"\\out" + std::to_wstring(i) + L".txt"));
  }
  // Each station's probe is pulled once it asks, and put back once it waits
  // for the next, until every unit is held.
  int removed[kStations] = {};
  bool ended[kStations] = {};
  for (DWORD waited = 0; waited < 4 * kStepMs && !(ended[0] && ended[1]);) {
    for (int i = 0; i < kStations; ++i) {
      if (ended[i]) continue;
      if (!stations[i]->WaitForErr("Remove the probe at", removed[i] + 1, kLookMs)) {
        waited += kLookMs;
        ended[i] = e2e::Has(stations[i]->err(), kUsedUp);
        continue;
      }
      ++removed[i];
      ASSERT_TRUE(emulator.Cable("unplug", i));
      // A station that found every unit held ends instead of waiting.
      if (stations[i]->WaitForErr("to be attached", removed[i] + 1, kStepMs)) {
        ASSERT_TRUE(emulator.Cable("plug", i));
      }
    }
  }
  for (auto& station : stations) {
    const cli_e2e::CliResult run = station->Finish(kStepMs);
    EXPECT_EQ(run.status, kUnitsUsedUp) << run.err;
    EXPECT_TRUE(e2e::Has(run.err, kUsedUp)) << run.err;
  }
  emulator.Stop();
  EXPECT_EQ(CountOf(test_files::ReadWholeFile(transcript), "-> write-serial"),
            static_cast<size_t>(kUnits));

  const cli_e2e::CliResult check = cli_e2e::RunCli(cli, {L"job", L"check", job}, dir);
  EXPECT_TRUE(e2e::Has(check.out, "units: 3 (3 made, 3 held, 0 left)")) << check.out << check.err;
  const cli_e2e::CliResult serials = cli_e2e::RunCli(cli, {L"serials", L"--log", log}, dir);
  // This run's numbers: each one written, no more than the cap.
  size_t ours = 0, written = 0;
  std::istringstream lines(serials.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(series, 0) != 0) continue;
    ++ours;
    written += e2e::Has(line, " written ");
  }
  EXPECT_EQ(ours, static_cast<size_t>(kUnits)) << serials.out;
  EXPECT_EQ(written, static_cast<size_t>(kUnits)) << serials.out;
  EXPECT_FALSE(e2e::Has(serials.out, "UNIT-")) << serials.out;
}

INSTANTIATE_TEST_SUITE_P(Stores, UnitCapE2eTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Database" : "Log");
                         });

}  // namespace
