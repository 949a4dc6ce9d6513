// The serial pool under Wine, one row per fault a line meets (parallel
// stations, a station killed between its write request and the answer, an
// answer that never comes, a failure before the request, a held, damaged or
// foreign log), each checked by the pool's report and the probes' numbers.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
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
constexpr DWORD kPollMs = 20;
// How long the test holds the log open without sharing: the station waits.
constexpr DWORD kHoldMs = 3000;
constexpr int kStations = 3;
const std::string kHeader =
    "time,station,tool_version,command,probe,firmware_before,serial,file,image_crc32,result,"
    "message,seconds,pool,firmware_after\r\n";
const std::string kOldLine =
    "2024-05-06T07:08:09Z,BENCH-7,1.0.0.0,write-serial,0,2.2,SN0001,,,0,ok,0.031,written,\r\n";
constexpr wchar_t kLogArg[] = L"{log}";

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
  const char* err = nullptr;  // kRun: a part of standard error
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
    store_ = GetParam().store.empty() ? file_ : GetParam().store;
    for (const std::wstring& file : {file_, transcript_}) ::DeleteFileW(file.c_str());
    if (!GetParam().log.empty()) std::ofstream(file_.c_str(), std::ios::binary) << GetParam().log;
    ASSERT_TRUE(emulator_.Start(GetParam().probes + L" --erase-ms 0 --transcript \"" + transcript_ +
                                L"\""));
  }
  void TearDown() override { emulator_.Stop(); }

  std::wstring Cli() { return e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")); }
  std::vector<std::wstring> Args(const std::vector<std::wstring>& args) {
    std::vector<std::wstring> out;
    for (const std::wstring& arg : args) out.push_back(arg == kLogArg ? store_ : arg);
    return out;
  }
  cli_e2e::CliResult Run(const std::vector<std::wstring>& args) {
    return cli_e2e::RunCli(Cli(), Args(args), dir_);
  }
  void Cable(const char* word, int index) {
    ASSERT_TRUE(emulator_.Cable(word, index)) << word << " " << index;
  }
  // Started; killed once the probe took the write request, or run with the
  // log held open without sharing for a while.
  void Interrupted(const Step& step) {
    cli_e2e::RunningCli station;
    HANDLE held =
        step.action == Action::kHeldWhileRun
            ? ::CreateFileW(file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr)
            : nullptr;
    ASSERT_TRUE(station.Start(Cli(), Args(step.args), dir_ + L"\\out.txt"));
    if (held != nullptr) {
      EXPECT_TRUE(station.WaitForErr("is held by another program", 1, kStepMs)) << station.err();
      ::Sleep(kHoldMs);
      ::CloseHandle(held);
      EXPECT_EQ(station.Finish(kStepMs).status, step.status) << station.err();
      return;
    }
    for (DWORD waited = 0; waited < kStepMs; waited += kPollMs) {
      if (Has(test_files::ReadWholeFile(transcript_), "-> write-serial")) break;
      ::Sleep(kPollMs);
    }
    station.Finish(0);
  }

  // Each station numbers two probes at its own index, the cable pulled and
  // put back between them once the station saw it go.
  void ThreeStations(const Step& step) {
    std::unique_ptr<cli_e2e::RunningCli> stations[kStations];
    for (int i = 0; i < kStations; ++i) {
      std::vector<std::wstring> args = Args(step.args);
      args.insert(args.end(), {L"--probe", std::to_wstring(i)});
      stations[i] = std::make_unique<cli_e2e::RunningCli>();
      ASSERT_TRUE(stations[i]->Start(Cli(), args, dir_ + L"\\out" + std::to_wstring(i) + L".txt"));
    }
    for (int i = 0; i < kStations; ++i) {
      ASSERT_TRUE(stations[i]->WaitForErr("Remove the probe at", 1, kStepMs)) << stations[i]->err();
      Cable("unplug", i);
      EXPECT_TRUE(stations[i]->WaitForErr("Waiting for probe 2 of 2", 1, kStepMs));
      Cable("plug", i);
    }
    for (auto& station : stations) {
      const cli_e2e::CliResult run = station->Finish(kStepMs);
      EXPECT_EQ(run.status, step.status) << run.err;
      EXPECT_EQ(run.out.find(" 0\n", run.out.find(" 0\n") + 1) + 3, run.out.find("next:"))
          << "not two probes written: " << run.out;
    }
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
        if (step.err != nullptr) {
          EXPECT_TRUE(Has(run.err, step.err)) << run.err;
        }
        break;
      }
      case Action::kKilledAtWrite:
      case Action::kHeldWhileRun:
        Interrupted(step);
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
}

const std::vector<std::wstring> kNext = {L"write-serial", L"SN0001", L"--yes",
                                         L"--count-up",   L"--log",  L"{log}"};
std::vector<std::wstring> With(std::vector<std::wstring> args, std::wstring a, std::wstring b) {
  args.insert(args.end(), {a, b});
  return args;
}
const std::string kLog = kHeader + kOldLine;
using enum Action;

// clang-format off
const PoolCase kCases[] = {
    {"ThreeStationsOneLog", L"", L"--probe 0 --probe 1 --probe 2", "",
     {{kThreeStations, With(kNext, L"--repeat", L"2"), 0}},
     {"SN0001 written", "SN0002 written", "SN0003 written", "SN0004 written", "SN0005 written",
      "SN0006 written"}, {}},
    {"KilledBetweenRequestAndAnswer", L"", L"--probe 0 --fault no-reply:write-serial@1", "",
     {{kKilledAtWrite, kNext, 0}, {kRun, kNext, 0}}, {"SN0001 claimed", "SN0002 written"},
     {"SN0002"}},
    {"AnswerNeverComes", L"", L"--probe 0 --fault no-reply:write-serial@1", "",
     {{kRun, kNext, 4}, {kRun, kNext, 0}}, {"SN0001 spent-unknown", "SN0002 written"}, {"SN0002"}},
    {"FailureBeforeTheRequest", L"", L"--probe 0 --version 0x21 --probe 1", "",
     {{kRun, With(kNext, L"--probe", L"0"), 8}, {kRun, With(kNext, L"--probe", L"1"), 0}},
     {"SN0001 written"}, {"", "SN0001"}},
    {"LogHeldByAnotherProgram", L"", L"--probe 0", kLog, {{kHeldWhileRun, kNext, 0}},
     {"SN0001 written", "SN0002 written"}, {"SN0002"}},
    {"DamagedLastLine", L"", L"--probe 0", kLog + "2024-05-06T07:09:00Z,B,1.0.0.0,claim,,,SN0002,,",
     {{kRun, kNext, 0}}, {"SN0002 spent-unknown", "SN0003 written"}, {"SN0003"}},
    {"FirmwareFileAsTheLog", L"", L"--probe 0", "S00F000068656C6C6F20202020200000\r\nS9030000FC\r\n",
     {{kRun, kNext, 74}}, {}, {"VELKORO-0001"}, true},
    {"DeviceAsTheLog", L"CON", L"--probe 0", "", {{kRun, kNext, 74, "is a device"}}, {},
     {"VELKORO-0001"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Pool, PoolE2eTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PoolCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
