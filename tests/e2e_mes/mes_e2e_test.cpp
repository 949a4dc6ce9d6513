// ostrelin-cli.exe's MES events under Wine, posted through WinHTTP to a
// receiver in the test (Python 3's http.server on 127.0.0.1): a station of
// 20 probes with the MES down for the first half loses none and the MES
// takes each exactly once; faults are retried until taken, a refusal is set
// aside; the station's time per probe is printed for both halves.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/e2e_common.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/e2e_cli/cli_running.h"
#include "tests/support/emulator_process.h"
#include "tests/support/mes_receiver_process.h"
#include "tests/support/test_files.h"

namespace {

constexpr DWORD kStationStepMs = 60000;
constexpr int kProbes = 20;
constexpr int kMostFlushes = 8;
constexpr char kToken[] = "tok-3f9a";

using e2e::Has;

class MesE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = e2e::TestFolder();
    for (const wchar_t* file : {L"\\line.csv", L"\\transcript.txt"}) {
      DeleteFileW((dir_ + file).c_str());
    }
    ASSERT_TRUE(
        emulator_.Start(L"--probe 0 --erase-ms 0 --transcript \"" + dir_ + L"\\transcript.txt\""));
  }
  void TearDown() override { emulator_.Stop(); }

  std::wstring Cli() { return e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")); }
  cli_e2e::CliResult RunCli(const std::vector<std::wstring>& args) {
    return cli_e2e::RunCli(Cli(), args, dir_);
  }
  // A job numbering probes and posting to the MES at port; its outbox is
  // emptied of an earlier run's events.
  std::wstring WriteJob(int port) {
    const std::wstring job = dir_ + L"\\line3.job";
    std::ofstream(std::filesystem::path(job), std::ios::binary)
        << "[job]\r\nname = line3\r\nlog = line.csv\r\nsteps = write-serial\r\n"
        << "serials = SN0001-SN0999\r\nmes = http://127.0.0.1:" << port << "/events\r\n"
        << "mes_token_file = mes.token\r\n";
    std::ofstream(std::filesystem::path(dir_ + L"\\mes.token")) << kToken << "\r\n";
    std::filesystem::remove_all(std::filesystem::path(dir_) / "line.csv.outbox");
    return job;
  }
  mes_receiver::Receiver NewReceiver(const wchar_t* name) {
    return mes_receiver::Receiver(dir_ + L"\\" + name, VELKORO_MES_RECEIVER);
  }
  std::string Status(const std::wstring& job) {
    return RunCli({L"mes", L"status", L"--job", job, L"--json"}).out;
  }

  emulator_process::Emulator emulator_;
  std::wstring dir_;
};

TEST_F(MesE2eTest, TwentyProbesWithTheMesDownForHalfAreEachTakenOnce) {
  mes_receiver::Receiver mes = NewReceiver(L"mes-down-first");
  // A free port found, then let go: the MES is down for the first half.
  ASSERT_TRUE(mes.Start(0));
  const int port = mes.port();
  ASSERT_TRUE(mes.Stop());
  const std::wstring job = WriteJob(port);
  cli_e2e::RunningCli station;
  ASSERT_TRUE(station.Start(
      Cli(), {L"run", job, L"--yes", L"--probe", L"0", L"--repeat", std::to_wstring(kProbes)},
      dir_ + L"\\station-out.txt"));
  std::vector<double> seconds;
  auto last = std::chrono::steady_clock::now();
  for (int probe = 0; probe < kProbes; ++probe) {
    ASSERT_TRUE(
        station.WaitForErr("Writing Serial No. of Velkoro succeeded.", probe + 1, kStationStepMs))
        << station.err();
    const auto now = std::chrono::steady_clock::now();
    seconds.push_back(std::chrono::duration<double>(now - last).count());
    // The last probe ends the station: it is not asked to be removed.
    if (probe + 1 == kProbes) break;
    if (probe + 1 == kProbes / 2) {
      ASSERT_TRUE(mes.Start(port));
    }
    ASSERT_TRUE(station.WaitForErr("Remove the probe at", probe + 1, kStationStepMs))
        << station.err();
    ASSERT_TRUE(emulator_.Cable("unplug", 0));
    // Plugged again once the station has seen it go.
    ASSERT_TRUE(station.WaitForErr("to be attached", probe + 2, kStationStepMs)) << station.err();
    ASSERT_TRUE(emulator_.Cable("plug", 0));
    last = std::chrono::steady_clock::now();
  }
  const cli_e2e::CliResult run = station.Finish(kStationStepMs);
  EXPECT_EQ(run.status, 0u) << run.err;
  double down = 0, up = 0;
  for (int i = 0; i < kProbes; ++i) (i < kProbes / 2 ? down : up) += seconds[i];
  down /= kProbes / 2;
  up /= kProbes / 2;
  std::printf("station time per probe: %.3f s with the MES down, %.3f s with it up\n", down, up);
  EXPECT_LT(down, up * 2 + 0.5) << "sending slowed the probes";

  // Whatever the sender had not sent by the end goes now.
  const cli_e2e::CliResult flush = RunCli({L"mes", L"flush", L"--job", job});
  EXPECT_EQ(flush.status, 0u) << flush.out << flush.err;
  ASSERT_TRUE(mes.Stop());
  const std::map<std::string, int> taken = mes.Taken();
  EXPECT_EQ(taken.size(), static_cast<size_t>(kProbes));
  for (const auto& [id, times] : taken) EXPECT_EQ(times, 1) << id;
  for (const mes_receiver::Post& post : mes.Posts()) EXPECT_EQ(post.token, kToken);
  EXPECT_TRUE(Has(Status(job), "\"unsent\":0,")) << Status(job);
  const cli_e2e::CliResult report = RunCli({L"report", L"--job", job});
  EXPECT_TRUE(Has(report.out, "MES: nothing unsent.")) << report.out << report.err;
  EXPECT_FALSE(Has(run.err + run.out + flush.out + flush.err, kToken));

  // The record the MES vouches for: whole; one byte of a line changed; its
  // last 3 lines cut, which only the chains the MES received can tell.
  const std::string log = test_files::ReadWholeFile(dir_ + L"\\line.csv");
  std::vector<size_t> starts;  // where each line starts
  for (size_t at = 0; at < log.size();) {
    starts.push_back(at);
    const size_t end = log.find('\n', at);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  ASSERT_GT(starts.size(), 8u);
  const size_t changedLine = 5;  // the header is line 1
  std::string changed = log;
  changed[starts[changedLine - 1] + 1] ^= 1;  // a digit of its time
  struct Audit {
    const char* what;
    std::string text;
    bool witnessed;
    DWORD status;
    std::string said;
  };
  const Audit audits[] = {
      {"as written", log, true, 0, "chained from line 2"},
      {"one byte changed", changed, false, 65,
       "broken at line " + std::to_string(changedLine) + ": changed"},
      {"the last 3 lines cut", log.substr(0, starts[starts.size() - 3]), true, 65,
       "no longer holds the witness value"},
  };
  for (const Audit& a : audits) {
    SCOPED_TRACE(a.what);
    const std::wstring copy = dir_ + L"\\audited.csv";
    std::ofstream(std::filesystem::path(copy), std::ios::binary) << a.text;
    std::vector<std::wstring> args = {L"audit", L"--log", copy};
    if (a.witnessed)
      args.insert(args.end(), {L"--witness", dir_ + L"\\mes-down-first\\chains.txt"});
    const cli_e2e::CliResult audit = RunCli(args);
    EXPECT_EQ(audit.status, a.status) << audit.err;
    EXPECT_TRUE(Has(audit.err, a.said)) << audit.err;
  }
}

TEST_F(MesE2eTest, FaultsAreRetriedUntilTakenAndARefusalIsSetAside) {
  struct Case {
    const char* what;
    const char* faults;
    int taken;     // times the event was taken as new
    int rejected;  // events set aside
  };
  const Case cases[] = {
      {"500, then 429", "500,429", 1, 0},
      {"closed after reading the request", "close", 1, 0},
      {"an answer that is not HTTP", "garbage", 1, 0},
      {"slower than the sender waits", "slow", 1, 0},
      {"400: refused for good", "400", 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mes_receiver::Receiver mes = NewReceiver((L"mes-" + std::to_wstring(&c - cases)).c_str());
    ASSERT_TRUE(mes.Start(0, c.faults));
    const std::wstring job = WriteJob(mes.port());
    const cli_e2e::CliResult run = RunCli({L"run", job, L"--yes", L"--probe", L"0"});
    EXPECT_EQ(run.status, 0u) << run.err;
    DWORD status = 1;
    for (int i = 0; i < kMostFlushes && status != 0; ++i) {
      status = RunCli({L"mes", L"flush", L"--job", job}).status;
      EXPECT_TRUE(status == 0 || status == 75) << status;
    }
    EXPECT_EQ(status, 0u);
    ASSERT_TRUE(mes.Stop());
    const std::map<std::string, int> taken = mes.Taken();
    EXPECT_EQ(taken.empty() ? 0 : taken.begin()->second, c.taken);
    EXPECT_TRUE(Has(Status(job), "\"rejected\":" + std::to_string(c.rejected) + ","))
        << Status(job);
  }
}

}  // namespace
