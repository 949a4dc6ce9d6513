// The serial pool under Wine, one row per fault a line meets: stations in
// parallel on one log, a station killed between its write request and the
// answer, an answer that never comes, a failure before the request, a log
// another program holds, a damaged last line and a file that is not a log.
// Each row ends with the pool's own report (serials) and the numbers the
// probes hold: no number ever reaches two probes.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/gui_driver.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/e2e_cli/cli_running.h"
#include "tests/support/emulator_process.h"
#include "tests/support/test_files.h"

namespace {

// A station's write and removal take far less; so do the pool's waits.
constexpr DWORD kStepMs = 60000;
constexpr DWORD kCableMs = 10000;
constexpr DWORD kPollMs = 20;
// How long the test holds the log open without sharing: the station waits.
constexpr DWORD kHoldMs = 3000;
constexpr int kStations = 3;
constexpr char kHeader[] =
    "time,station,tool_version,command,probe,firmware_before,serial,file,image_crc32,result,"
    "message,seconds,pool,firmware_after\r\n";
constexpr char kOldLine[] =
    "2024-05-06T07:08:09Z,BENCH-7,1.0.0.0,write-serial,0,2.2,SN0001,,,0,ok,0.031,written,\r\n";
constexpr char kLogArg[] = "{log}";

enum class Action {
  kRun,            // run to its end
  kKilledAtWrite,  // killed once the probe took the write request
  kHeldWhileRun,   // the log held without sharing when it starts
  kThreeStations,  // three at once, --probe 0, 1, 2, two probes each
};

struct Step {
  Action action;
  std::vector<std::wstring> args;  // {log}: the row's --log value
  DWORD status;
};

struct PoolCase {
  const char* name;
  std::wstring store;   // the --log value; empty: line.csv in the row's folder
  std::wstring probes;  // the emulator's options
  std::string log;      // the log file before the steps; empty: none
  std::vector<Step> steps;
  std::vector<std::string> report;   // lines of `serials` (each a part of one)
  std::vector<std::string> serials;  // what probes 0, 1 ... hold afterwards ("": not read)
  bool logKept = false;              // the log file is as it was
};

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class PoolE2eTest : public ::testing::TestWithParam<PoolCase> {
 protected:
  void SetUp() override {
    const std::wstring out = e2e::WindowsPath(e2e::Env(L"VELKORO_E2E_OUT"));
    ::CreateDirectoryW(out.c_str(), nullptr);
    const std::string name = GetParam().name;
    dir_ = out + L"\\" + std::wstring(name.begin(), name.end());
    ::CreateDirectoryW(dir_.c_str(), nullptr);
    file_ = dir_ + L"\\line.csv";
    transcript_ = dir_ + L"\\transcript.txt";
    for (const std::wstring& file : {file_, transcript_}) ::DeleteFileW(file.c_str());
    store_ = GetParam().store.empty() ? file_ : GetParam().store;
    if (!GetParam().log.empty()) std::ofstream(file_.c_str(), std::ios::binary) << GetParam().log;
    ASSERT_TRUE(emulator_.Start(GetParam().probes + L" --erase-ms 0 --transcript \"" + transcript_ +
                                L"\""));
  }
  void TearDown() override { emulator_.Stop(); }

  std::wstring Cli() { return e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")); }
  std::vector<std::wstring> Args(const std::vector<std::wstring>& args) {
    std::vector<std::wstring> out;
    for (const std::wstring& arg : args) out.push_back(Narrow(arg) == kLogArg ? store_ : arg);
    return out;
  }
  cli_e2e::CliResult Run(const std::vector<std::wstring>& args) {
    return cli_e2e::RunCli(Cli(), Args(args), dir_);
  }
  void Cable(const char* word, int index) {
    const std::string line = std::string(word) + " " + std::to_string(index);
    ASSERT_TRUE(emulator_.Say(line));
    ASSERT_TRUE(emulator_.WaitForOutput(std::string(word) + "ged " + std::to_string(index) + "\n",
                                        kCableMs));
  }
  bool WaitForTranscript(const std::string& text) {
    for (DWORD waited = 0; waited < kStepMs; waited += kPollMs) {
      if (Has(test_files::ReadWholeFile(transcript_), text)) return true;
      ::Sleep(kPollMs);
    }
    return false;
  }

  void KilledAtWrite(const Step& step) {
    cli_e2e::RunningCli station;
    ASSERT_TRUE(station.Start(Cli(), Args(step.args), dir_ + L"\\killed-out.txt"));
    EXPECT_TRUE(WaitForTranscript("-> write-serial")) << station.err();
    station.Finish(0);
  }

  void HeldWhileRun(const Step& step) {
    HANDLE held = ::CreateFileW(file_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    cli_e2e::RunningCli station;
    const bool started = station.Start(Cli(), Args(step.args), dir_ + L"\\held-out.txt");
    const bool told = started && station.WaitForErr("is held by another program", 1, kStepMs);
    ::Sleep(kHoldMs);
    ::CloseHandle(held);
    ASSERT_TRUE(told) << station.err();
    const cli_e2e::CliResult run = station.Finish(kStepMs);
    EXPECT_EQ(run.status, step.status) << run.err;
  }

  // Each station numbers two probes at its own index; the cable is pulled
  // and put back between them. No number reaches two probes.
  void ThreeStations(const Step& step) {
    std::vector<std::unique_ptr<cli_e2e::RunningCli>> stations;
    for (int i = 0; i < kStations; ++i) {
      std::vector<std::wstring> args = Args(step.args);
      args.insert(args.end(), {L"--probe", std::to_wstring(i)});
      stations.push_back(std::make_unique<cli_e2e::RunningCli>());
      ASSERT_TRUE(
          stations.back()->Start(Cli(), args, dir_ + L"\\station" + std::to_wstring(i) + L".txt"));
    }
    for (int i = 0; i < kStations; ++i) {
      const std::string remove = "Remove the probe at \\\\.\\VelkoroDevice" + std::to_string(i);
      ASSERT_TRUE(stations[static_cast<size_t>(i)]->WaitForErr(remove, 1, kStepMs))
          << stations[static_cast<size_t>(i)]->err();
      Cable("unplug", i);
      // Put back once the station saw it go: the next probe of the row.
      EXPECT_TRUE(
          stations[static_cast<size_t>(i)]->WaitForErr("Waiting for probe 2 of 2", 1, kStepMs));
      Cable("plug", i);
    }
    std::set<std::string> numbers;
    int written = 0;
    for (auto& station : stations) {
      const cli_e2e::CliResult run = station->Finish(kStepMs);
      EXPECT_EQ(run.status, step.status) << run.err;
      for (size_t at = 0; (at = run.out.find(" SN", at)) != std::string::npos; ++at) {
        const std::string number = run.out.substr(at + 1, 6);
        if (run.out.compare(at + 7, 3, " 0\n") == 0) {
          ++written;
          numbers.insert(number);
        }
      }
    }
    EXPECT_EQ(written, 2 * kStations);
    EXPECT_EQ(numbers.size(), static_cast<size_t>(2 * kStations)) << "a number written twice";
  }

  emulator_process::Emulator emulator_;
  std::wstring dir_, file_, transcript_, store_;
};

TEST_P(PoolE2eTest, NoNumberReachesTwoProbes) {
  const PoolCase& row = GetParam();
  for (const Step& step : row.steps) {
    switch (step.action) {
      case Action::kRun: {
        const cli_e2e::CliResult run = Run(step.args);
        EXPECT_EQ(run.status, step.status) << run.err;
        break;
      }
      case Action::kKilledAtWrite:
        KilledAtWrite(step);
        break;
      case Action::kHeldWhileRun:
        HeldWhileRun(step);
        break;
      case Action::kThreeStations:
        ThreeStations(step);
        break;
    }
  }
  if (row.logKept) {
    EXPECT_EQ(test_files::ReadWholeFile(file_), row.log);
    EXPECT_FALSE(Has(test_files::ReadWholeFile(transcript_), "opened")) << "a probe was opened";
  }
  if (!row.report.empty()) {
    const cli_e2e::CliResult report = Run({L"serials", L"--log", L"{log}"});
    EXPECT_EQ(report.status, 0u) << report.err;
    for (const std::string& line : row.report) {
      EXPECT_TRUE(Has(report.out, line)) << line << " not in:\n" << report.out;
    }
  }
  for (size_t probe = 0; probe < row.serials.size(); ++probe) {
    if (row.serials[probe].empty()) continue;  // a probe too old to read it
    const cli_e2e::CliResult read = Run({L"read-serial", L"--probe", std::to_wstring(probe)});
    EXPECT_EQ(read.out, row.serials[probe] + "\n") << "probe " << probe;
  }
  // Every record of the file is one whole line.
  if (GetParam().store.empty() && !row.logKept) {
    const std::string text = test_files::ReadWholeFile(file_);
    EXPECT_EQ(text.compare(0, sizeof kHeader - 1, kHeader), 0) << text;
    EXPECT_TRUE(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) << text;
  }
}

const std::vector<std::wstring> kWriteNext = {L"write-serial", L"SN0001", L"--yes",
                                              L"--count-up",   L"--log",  L"{log}"};

std::vector<std::wstring> With(std::vector<std::wstring> args,
                               const std::vector<std::wstring>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

const PoolCase kCases[] = {
    {"ThreeStationsOneLog",
     L"",
     L"--probe 0 --probe 1 --probe 2",
     "",
     {{Action::kThreeStations, With(kWriteNext, {L"--repeat", L"2"}), 0}},
     {"SN0001 written", "SN0002 written", "SN0003 written", "SN0004 written", "SN0005 written",
      "SN0006 written"},
     {}},
    {"KilledBetweenRequestAndAnswer",
     L"",
     L"--probe 0 --fault no-reply:write-serial@1",
     "",
     {{Action::kKilledAtWrite, kWriteNext, 0}, {Action::kRun, kWriteNext, 0}},
     {"SN0001 claimed", "SN0002 written"},
     {"SN0002"}},
    {"AnswerNeverComes",
     L"",
     L"--probe 0 --fault no-reply:write-serial@1",
     "",
     {{Action::kRun, kWriteNext, 4}, {Action::kRun, kWriteNext, 0}},
     {"SN0001 spent-unknown", "SN0002 written"},
     {"SN0002"}},
    {"FailureBeforeTheRequest",
     L"",
     L"--probe 0 --version 0x21 --probe 1",
     "",
     {{Action::kRun, With(kWriteNext, {L"--probe", L"0"}), 8},
      {Action::kRun, With(kWriteNext, {L"--probe", L"1"}), 0}},
     {"SN0001 written"},
     {"", "SN0001"}},
    {"LogHeldByAnotherProgram",
     L"",
     L"--probe 0",
     std::string(kHeader) + kOldLine,
     {{Action::kHeldWhileRun, kWriteNext, 0}},
     {"SN0001 written", "SN0002 written"},
     {"SN0002"}},
    {"DamagedLastLine",
     L"",
     L"--probe 0",
     std::string(kHeader) + kOldLine + "2024-05-06T07:09:00Z,BENCH-7,1.0.0.0,claim,,,SN0002,,",
     {{Action::kRun, kWriteNext, 0}},
     {"SN0002 spent-unknown", "SN0003 written"},
     {"SN0003"}},
    {"FirmwareFileAsTheLog",
     L"",
     L"--probe 0",
     "S00F000068656C6C6F202020202000003C\r\nS9030000FC\r\n",
     {{Action::kRun, kWriteNext, 74}},
     {},
     {"VELKORO-0001"},
     true},
};

INSTANTIATE_TEST_SUITE_P(Pool, PoolE2eTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PoolCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
