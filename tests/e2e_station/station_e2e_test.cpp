// ostrelin-cli.exe as a production station under Wine: a row of emulated
// probes attached and removed by the emulator's plug and unplug lines while
// the station runs; a number the log records refused before any open; a
// run resumed from a log; and four updates at once, one process per probe,
// sharing one log.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/probe_protocol.h"
#include "tests/e2e/e2e_common.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/e2e_cli/cli_running.h"
#include "tests/support/csv_fields.h"
#include "tests/support/emulator_process.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/test_files.h"

namespace {

// The station's own steps: a write and a removal take far less.
constexpr DWORD kStationStepMs = 60000;
// One plug or unplug line answered.
constexpr DWORD kAlreadyWritten = 65;
constexpr size_t kImageBytes = 64 * 1024;
constexpr int kParallelProbes = 4;
constexpr char kHeader[] =
    "time,station,tool_version,command,probe,firmware_before,serial,file,image_crc32,result,"
    "message,seconds,pool,firmware_after,job,seq,chain";
// The seq column: each line's place in the record's chain.
constexpr size_t kSeqColumn = 15;

using e2e::Has;
using e2e::Narrow;

// The log's lines, each required to end in CRLF.
std::vector<std::string> LogLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "a line without its end: " << text.substr(at);
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

class StationE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = e2e::TestFolder();
    log_ = dir_ + L"\\line.csv";
    transcript_ = dir_ + L"\\transcript.txt";
    flash_ = dir_ + L"\\flash.bin";
    // Left by an earlier run of the same build.
    for (const std::wstring& file : {log_, transcript_, flash_}) ::DeleteFileW(file.c_str());
  }
  void TearDown() override { emulator_.Stop(); }

  void StartEmulator(const std::wstring& probes) {
    ASSERT_TRUE(emulator_.Start(probes + L" --erase-ms 0 --transcript \"" + transcript_ +
                                L"\" --dump-flash \"" + flash_ + L"\""))
        << "the emulator did not get ready";
  }
  void Cable(const char* word, int index) {
    ASSERT_TRUE(emulator_.Cable(word, index)) << word << " " << index;
  }
  std::wstring Cli() { return e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")); }
  cli_e2e::CliResult RunCli(const std::vector<std::wstring>& args) {
    return cli_e2e::RunCli(Cli(), args, dir_);
  }

  // Probes 0, 1 and 2 served, 1 and 2 unplugged; the station numbers them in
  // turn as the test moves the cable from one to the next when asked.
  cli_e2e::CliResult RunRow(const std::wstring& probes, const std::wstring& repeat) {
    StartEmulator(probes);
    Cable("unplug", 1);
    Cable("unplug", 2);
    cli_e2e::RunningCli station;
    EXPECT_TRUE(station.Start(
        Cli(),
        {L"write-serial", L"SN0001", L"--yes", L"--count-up", L"--repeat", repeat, L"--log", log_},
        dir_ + L"\\station-out.txt"));
    for (int probe = 0; probe < 2; ++probe) {
      if (!station.WaitForErr("Remove the probe at \\\\.\\VelkoroDevice" + std::to_string(probe), 1,
                              kStationStepMs)) {
        ADD_FAILURE() << "the station did not ask to remove probe " << probe << ": "
                      << station.err();
        break;
      }
      Cable("unplug", probe);
      Cable("plug", probe + 1);
    }
    cli_e2e::CliResult result = station.Finish(kStationStepMs);
    Cable("plug", 0);
    Cable("plug", 1);
    return result;
  }
  std::string SerialOf(int probe) {
    return RunCli({L"read-serial", L"--probe", std::to_wstring(probe)}).out;
  }

  emulator_process::Emulator emulator_;
  std::wstring dir_, log_, transcript_, flash_;
};

TEST_F(StationE2eTest, ThreeProbesNumberedOneAfterAnother) {
  const cli_e2e::CliResult run = RunRow(L"--probe 0 --probe 1 --probe 2", L"3");
  EXPECT_EQ(run.status, 0u) << run.err;
  EXPECT_EQ(run.out, "0 SN0001 0\n1 SN0002 0\n2 SN0003 0\nnext: SN0004\n") << run.err;
  EXPECT_EQ(SerialOf(0), "SN0001\n");
  EXPECT_EQ(SerialOf(1), "SN0002\n");
  EXPECT_EQ(SerialOf(2), "SN0003\n");
  // Each number's claim, then its outcome.
  const std::vector<std::string> lines = LogLines(test_files::ReadWholeFile(log_));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], kHeader);
  for (int i = 1; i <= 3; ++i) {
    const std::vector<std::string> claim = csv_test::CsvFields(lines[2 * i - 1]);
    const std::vector<std::string> fields = csv_test::CsvFields(lines[2 * i]);
    ASSERT_EQ(fields.size(), 17u) << lines[2 * i];
    EXPECT_EQ(claim[3] + " " + claim[6] + " " + claim[12],
              "claim SN000" + std::to_string(i) + " claimed");
    EXPECT_EQ(fields[4], std::to_string(i - 1));
    EXPECT_EQ(fields[6], "SN000" + std::to_string(i));
    EXPECT_EQ(fields[9], "0");
    EXPECT_EQ(fields[12], "written");
  }
}

// The failed probe may hold its number: it is spent, never handed out again.
TEST_F(StationE2eTest, FailedProbeSpendsItsNumber) {
  const cli_e2e::CliResult run = RunRow(L"--probe 0 --probe 1 --fault serial-case --probe 2", L"2");
  EXPECT_EQ(run.status, 0u) << run.err;
  EXPECT_EQ(run.out, "0 SN0001 0\n1 SN0002 11\n2 SN0003 0\nnext: SN0004\n") << run.err;
  EXPECT_EQ(SerialOf(1), "sn0002\n");
  EXPECT_EQ(SerialOf(2), "SN0003\n");
  const std::vector<std::string> lines = LogLines(test_files::ReadWholeFile(log_));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(csv_test::CsvFields(lines[4])[9], "11");
  EXPECT_EQ(csv_test::CsvFields(lines[4])[12], "spent");
}

TEST_F(StationE2eTest, NumberInTheLogIsRefusedBeforeAnyOpen) {
  StartEmulator(L"--probe 0 --serial KEEP");
  std::ofstream(log_.c_str(), std::ios::binary)
      << kHeader << "\r\n2024-05-06T07:08:09Z,BENCH-7,1.0.0.0,write-serial,0,2.2,SN0005,,,0,"
      << "Writing Serial No. of Velkoro succeeded.,0.031,written,\r\n";
  for (const std::vector<std::wstring>& extra :
       {std::vector<std::wstring>{}, std::vector<std::wstring>{L"--repeat", L"3"}}) {
    std::vector<std::wstring> args = {L"write-serial", L"SN0005", L"--yes", L"--log", log_};
    args.insert(args.end(), extra.begin(), extra.end());
    const cli_e2e::CliResult run = RunCli(args);
    EXPECT_EQ(run.status, kAlreadyWritten) << run.err;
    EXPECT_TRUE(Has(run.err, "ERROR: SN0005 is already written")) << run.err;
  }
  EXPECT_FALSE(Has(test_files::ReadWholeFile(transcript_), "opened"))
      << test_files::ReadWholeFile(transcript_);
  const std::vector<std::string> lines = LogLines(test_files::ReadWholeFile(log_));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(csv_test::CsvFields(lines[3])[9], "65");
  EXPECT_EQ(SerialOf(0), "KEEP\n");
}

TEST_F(StationE2eTest, ResumesFromTheLog) {
  StartEmulator(L"--probe 0");
  std::ofstream(log_.c_str(), std::ios::binary)
      << kHeader << "\r\n"
      << "2024-05-06T07:08:09Z,BENCH-7,1.0.0.0,write-serial,0,2.2,SN0041,,,0,ok,0.031\r\n"
      << "2024-05-06T07:08:10Z,BENCH-7,1.0.0.0,write-serial,0,2.2,SN0042,,,11,bad,0.031\r\n";
  const cli_e2e::CliResult run =
      RunCli({L"write-serial", L"SN0001", L"--yes", L"--count-up", L"--resume", L"--log", log_});
  EXPECT_EQ(run.status, 0u) << run.err;
  EXPECT_EQ(run.out, "next: SN0043\n");
  EXPECT_EQ(SerialOf(0), "SN0042\n");
}

// One process per probe, all at once, appending to one log: each ends well,
// each probe holds the image, and the log has one header and whole lines.
TEST_F(StationE2eTest, FourUpdatesSideBySide) {
  StartEmulator(L"--probe 0 --probe 1 --probe 2 --probe 3");
  const std::vector<uint8_t> data = srecord_writer::Pattern(kImageBytes, 7);
  const std::wstring image = dir_ + L"\\image.saf";
  std::ofstream(image.c_str(), std::ios::binary) << srecord_writer::File(0, data);
  for (const wchar_t* command : {L"update", L"verify"}) {
    std::vector<std::unique_ptr<cli_e2e::RunningCli>> runs;
    for (int probe = 0; probe < kParallelProbes; ++probe) {
      std::vector<std::wstring> args = {command,    image,    L"--probe", std::to_wstring(probe),
                                        L"--quiet", L"--log", log_};
      if (std::wstring(command) == L"update")
        args.insert(args.end(), {L"--yes", L"--led", L"skip"});
      runs.push_back(std::make_unique<cli_e2e::RunningCli>());
      ASSERT_TRUE(runs.back()->Start(Cli(), args,
                                     dir_ + L"\\" + command + std::to_wstring(probe) + L".txt"));
    }
    for (int probe = 0; probe < kParallelProbes; ++probe) {
      const cli_e2e::CliResult run = runs[static_cast<size_t>(probe)]->Finish();
      EXPECT_EQ(run.status, 0u) << Narrow(command) << " of probe " << probe << ": " << run.err;
    }
  }
  const std::vector<std::string> lines = LogLines(test_files::ReadWholeFile(log_));
  ASSERT_EQ(lines.size(), 1u + 2 * kParallelProbes) << test_files::ReadWholeFile(log_);
  EXPECT_EQ(lines[0], kHeader);
  std::multiset<std::string> probes;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = csv_test::CsvFields(lines[i]);
    ASSERT_EQ(fields.size(), 17u) << lines[i];
    EXPECT_EQ(fields[9], "0") << lines[i];
    // Four processes appending at once still write one chain, in order.
    EXPECT_EQ(fields[kSeqColumn], std::to_string(i)) << lines[i];
    probes.insert(fields[3] + " " + fields[4]);
  }
  for (int probe = 0; probe < kParallelProbes; ++probe) {
    EXPECT_EQ(probes.count("update " + std::to_string(probe)), 1u);
    EXPECT_EQ(probes.count("verify " + std::to_string(probe)), 1u);
  }

  emulator_.Stop();
  const std::string flash = test_files::ReadWholeFile(flash_);
  ASSERT_EQ(flash.size(), kParallelProbes * kFlashBytes);
  for (int probe = 0; probe < kParallelProbes; ++probe) {
    const std::string own = flash.substr(probe * kFlashBytes, data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), own.begin(),
                           [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }))
        << "probe " << probe << " does not hold the image";
  }
}

}  // namespace
