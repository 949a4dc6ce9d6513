// ostrelin-cli.exe against VelkoroEmulator.exe under Wine: one run of each
// command, the exit statuses of the link's failures, a question declined on
// a console, an unwritable log, the JSON and CSV records as a script reads
// them, and the version a probe answers after the emulator's reset.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/e2e_common.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/support/crc32_reference.h"
#include "tests/support/csv_fields.h"
#include "tests/support/emulator_process.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/test_files.h"

namespace {

using crc_test::BitwiseCrc32;
using csv_test::CsvFields;

constexpr DWORD kUsage = 64, kDeclined = 23, kLogFailed = 74;
constexpr DWORD kNoProbe = 1, kSeveralProbes = 2, kFlashVerify = 19;
constexpr uint32_t kBase = 0x00080000;
constexpr size_t kLength = 5000;  // five units and the filler unit

std::string Hex(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

using e2e::Has;
using e2e::Narrow;

class CliE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = e2e::TestFolder();
    data_ = srecord_writer::Pattern(kLength, 5);
    image_ = dir_ + L"\\image.saf";
    std::ofstream(image_.c_str(), std::ios::binary) << srecord_writer::File(kBase, data_);
  }
  void TearDown() override { emulator_.Stop(); }

  void StartEmulator(std::vector<std::wstring> args) {
    args.insert(args.end(), {L"--erase-ms", L"0"});
    transcript_ = dir_ + L"\\transcript.txt";
    ASSERT_TRUE(emulator_.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_EMULATOR")), args, transcript_,
                                dir_ + L"\\emulator.log"))
        << "the emulator did not get ready";
  }
  cli_e2e::CliResult Cli(const std::vector<std::wstring>& args) {
    return cli_e2e::RunCli(e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")), args, dir_);
  }
  // The probe's transcript so far: opens, closes and frames.
  std::string Transcript() { return test_files::ReadWholeFile(transcript_); }

  std::wstring dir_, image_, transcript_;
  std::vector<uint8_t> data_;
  emulator_process::Emulator emulator_;
};

TEST_F(CliE2eTest, EachCommandOnce) {
  StartEmulator({L"--probe", L"0", L"--serial", L"LINE-0001"});
  cli_e2e::CliResult run = Cli({L"list"});
  EXPECT_EQ(run.status, 0u) << run.err;
  EXPECT_EQ(run.out, "0 2.2 LINE-0001\n");

  run = Cli({L"read-serial"});
  EXPECT_EQ(run.status, 0u) << run.err;
  EXPECT_EQ(run.out, "LINE-0001\n");

  run = Cli({L"write-serial", L"SN0099", L"--yes", L"--count-up"});
  EXPECT_EQ(run.status, 0u) << run.err;
  EXPECT_EQ(run.out, "next: SN0100\n");
  EXPECT_TRUE(Has(run.err, "Writing Serial No. of Velkoro succeeded.\n")) << run.err;
  EXPECT_EQ(Cli({L"read-serial"}).out, "SN0099\n");

  run = Cli({L"check", image_});
  EXPECT_EQ(run.status, 0u) << run.err;
  std::vector<uint8_t> programmed = data_;
  programmed.insert(programmed.end(), {0xFF, 0xFF});
  const std::string crc = Hex(BitwiseCrc32(programmed));
  EXPECT_EQ(run.out, "file: " + Narrow(image_) + "\nbase: 0x00080000\nspan: 262146\nunits: " +
                         "6\nblocks: 21\ncrc32: " + crc +
                         "\nend record: yes\noverlapping records: none\n");

  run = Cli({L"update", image_, L"--yes", L"--led", L"skip"});
  EXPECT_EQ(run.status, 0u) << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_TRUE(Has(run.err,
                  "Please push Reset SW of Velkoro.\nUpdating Firmware of Velkoro "
                  "succeeded.\nLED check skipped.\n"))
      << run.err;
  EXPECT_TRUE(Has(run.err, "erase...\nprogram...\nverify...\n")) << run.err;

  run = Cli({L"verify", image_});
  EXPECT_EQ(run.status, 0u) << run.err;
  EXPECT_TRUE(Has(run.err, "The flash of Velkoro matches the file.")) << run.err;
}

TEST_F(CliE2eTest, NoProbeAttached) {
  for (const auto& args : std::vector<std::vector<std::wstring>>{
           {L"list"}, {L"read-serial"}, {L"verify", L"--probe", L"3", image_}}) {
    const cli_e2e::CliResult run = Cli(args);
    EXPECT_EQ(run.status, kNoProbe) << Narrow(args[0]);
    EXPECT_EQ(run.err, "ERROR: It failed in the connection with USB.\n");
  }
}

TEST_F(CliE2eTest, TwoProbesAndThePickOfOne) {
  StartEmulator({L"--probe", L"0", L"--serial", L"FIRST", L"--probe", L"4", L"--serial", L"SECOND",
                 L"--version", L"0x23"});
  cli_e2e::CliResult run = Cli({L"read-serial"});
  EXPECT_EQ(run.status, kSeveralProbes);
  EXPECT_EQ(run.err, "ERROR: Two or more Velkoro is connected.\n");

  run = Cli({L"read-serial", L"--probe", L"4"});
  EXPECT_EQ(run.status, 0u) << run.err;
  EXPECT_EQ(run.out, "SECOND\n");
  run = Cli({L"list"});
  EXPECT_EQ(run.out, "0 2.2 FIRST\n4 2.3 SECOND\n");
}

TEST_F(CliE2eTest, FlippedFlashBitFromUpdateAndVerify) {
  StartEmulator({L"--probe", L"0", L"--fault", L"flip-bit:4097"});
  cli_e2e::CliResult run = Cli({L"update", image_, L"--yes", L"--led", L"skip", L"--json"});
  EXPECT_EQ(run.status, kFlashVerify) << run.err;
  EXPECT_EQ(run.err.substr(run.err.find("ERROR: ")),
            "ERROR: It failed in verify with the flash memory.\n");
  EXPECT_TRUE(Has(run.out, R"("result":19,"message":"It failed in verify with the flash memory.")"))
      << run.out;
  run = Cli({L"verify", image_});
  EXPECT_EQ(run.status, kFlashVerify) << run.err;
}

TEST_F(CliE2eTest, CancelAtTheQuestionOnAConsole) {
  StartEmulator({L"--probe", L"0", L"--serial", L"KEEP"});
  const cli_e2e::CliResult run = cli_e2e::RunCliOnConsole(
      e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")), {L"write-serial", L"CHANGED"}, {L"n"});
  if (!run.console) GTEST_SKIP() << "no console here (Wine makes one only with a display)";
  EXPECT_EQ(run.status, kDeclined);
  EXPECT_FALSE(Has(Transcript(), "write-serial")) << Transcript();
  EXPECT_EQ(Cli({L"read-serial"}).out, "KEEP\n");
}

TEST_F(CliE2eTest, UnwritableLogOpensNoProbe) {
  StartEmulator({L"--probe", L"0"});
  const cli_e2e::CliResult run =
      Cli({L"read-serial", L"--log", dir_ + L"\\no-such-folder\\run.csv"});
  EXPECT_EQ(run.status, kLogFailed);
  EXPECT_TRUE(Has(run.err, "ERROR: the log cannot be used")) << run.err;
  EXPECT_FALSE(Has(Transcript(), "opened")) << Transcript();
}

TEST_F(CliE2eTest, UsageErrorsOpenNoProbe) {
  StartEmulator({L"--probe", L"0"});
  const std::vector<std::vector<std::wstring>> wrong = {
      {L"erase"},
      {L"read-serial", L"--probe", L"300"},
      {L"update", image_, L"--led", L"later"},
      {L"write-serial", L"SN1"},
      {L"update", image_, L"--yes"},
  };
  for (const auto& args : wrong) {
    const cli_e2e::CliResult run = Cli(args);
    EXPECT_EQ(run.status, kUsage) << Narrow(args[0]);
    EXPECT_TRUE(run.out.empty());
  }
  EXPECT_FALSE(Has(Transcript(), "opened")) << Transcript();
}

TEST_F(CliE2eTest, JsonAndLogRecords) {
  StartEmulator({L"--probe", L"2", L"--version", L"0xA2"});
  const std::wstring log = dir_ + L"\\station.csv";
  ::DeleteFileW(log.c_str());  // left by an earlier run of the same build
  cli_e2e::CliResult run = Cli({L"update", image_, L"--probe", L"2", L"--yes", L"--led", L"skip",
                                L"--json", L"--quiet", L"--log", log});
  ASSERT_EQ(run.status, 0u) << run.err;
  std::vector<uint8_t> programmed = data_;
  programmed.insert(programmed.end(), {0xFF, 0xFF});
  const std::string crc = Hex(BitwiseCrc32(programmed));
  std::string file;
  for (char c : Narrow(image_)) file += c == '\\' ? std::string("\\\\") : std::string(1, c);
  const std::regex json(
      R"(\{"command":"update","probe":2,"result":0,"message":"Updating Firmware of Velkoro )"
      R"(succeeded.","seconds":[0-9]+\.[0-9]{3},"firmware_before":"2.2","file":")" +
      std::regex_replace(file, std::regex(R"([\\.^$|()\[\]{}*+?])"), R"(\$&)") +
      R"(","image_crc32":")" + crc + R"(","units":6,"led":"skipped"\}\n)");
  EXPECT_TRUE(std::regex_match(run.out, json)) << run.out;
  EXPECT_FALSE(Has(run.err, "...")) << "progress despite --quiet: " << run.err;

  // Without --probe the one attached probe is found; the record names it.
  run = Cli({L"read-serial", L"--log", log});
  ASSERT_EQ(run.status, 0u) << run.err;
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(::GetComputerNameW(name, &length));
  const std::string text = test_files::ReadWholeFile(log);
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "a line without its end: " << text;
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(lines.size(), 3u) << text;
  EXPECT_EQ(lines[0],
            "time,station,tool_version,command,probe,firmware_before,serial,file,image_crc32,"
            "result,message,seconds,pool,firmware_after,job,seq,chain");
  const std::vector<std::string> update = CsvFields(lines[1]);
  ASSERT_EQ(update.size(), 17u) << lines[1];
  EXPECT_TRUE(std::regex_match(update[0], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
      << update[0];
  EXPECT_EQ(update[1], Narrow(std::wstring(name, length)));
  EXPECT_EQ(update[2], "1.0.0.0");
  EXPECT_EQ(update[3], "update");
  EXPECT_EQ(update[4], "2");
  EXPECT_EQ(update[5], "2.2");
  EXPECT_EQ(update[6], "");
  EXPECT_EQ(update[7], Narrow(image_));
  EXPECT_EQ(update[8], crc);
  EXPECT_EQ(update[9], "0");
  EXPECT_EQ(update[10], "Updating Firmware of Velkoro succeeded.");
  EXPECT_TRUE(std::regex_match(update[11], std::regex(R"([0-9]+\.[0-9]{3})"))) << update[11];
  const std::vector<std::string> read = CsvFields(lines[2]);
  ASSERT_EQ(read.size(), 17u) << lines[2];
  EXPECT_EQ(update[15] + " " + read[15], "1 2");
  EXPECT_TRUE(std::regex_match(read[16], std::regex("[0-9a-f]{64}"))) << read[16];
  EXPECT_EQ(read[3], "read-serial");
  EXPECT_EQ(read[4], "2");
  EXPECT_EQ(read[6], "VELKORO-0001");
  EXPECT_EQ(read[9], "0");
}

// The update proved by the version the probe answers after its reset: the
// README's line (a probe chosen by serial number, the image pinned by its
// CRC-32), run twice, the second time finding the image in place; a probe
// back with its old version; one that never comes back in time.
TEST_F(CliE2eTest, VersionAfterTheEmulatorsReset) {
  std::vector<uint8_t> programmed = data_;
  programmed.insert(programmed.end(), {0xFF, 0xFF});
  const std::string crc = Hex(BitwiseCrc32(programmed));
  const std::vector<std::wstring> line = {L"update",
                                          image_,
                                          L"--probe-serial",
                                          L"LINE-7",
                                          L"--expect-crc32",
                                          std::wstring(crc.begin(), crc.end()),
                                          L"--expect-version",
                                          L"2.3",
                                          L"--if-different",
                                          L"--yes",
                                          L"--led",
                                          L"skip",
                                          L"--json",
                                          L"--reset-timeout",
                                          L"5"};
  const struct {
    const char* name;
    std::vector<std::wstring> emulator;
    int runs;
    DWORD status;
    const char* out;  // in the last run's JSON
  } rows[] = {
      {"back at 2.3, then already there",
       {L"--probe", L"3", L"--serial", L"LINE-7", L"--version-after", L"0x23", L"--reset-after-ms",
        L"300"},
       2,
       0,
       R"("firmware_after":"2.3","already_there":true)"},
      {"back at 2.2",
       {L"--probe", L"3", L"--serial", L"LINE-7", L"--reset-after-ms", L"300"},
       1,
       25,
       R"("result":25,"message":"The probe came back after its reset with version 2.2, not 2.3)"},
      {"never reset: still the old version, not another",
       {L"--probe", L"3", L"--serial", L"LINE-7"},
       1,
       24,
       R"("result":24,"message":"The probe was not seen to reset within 5 s: it still answers 2.2)"},
      {"away longer than the wait",
       {L"--probe", L"3", L"--serial", L"LINE-7", L"--version-after", L"0x23", L"--reset-after-ms",
        L"1", L"--reset-ms", L"20000", L"--fault", L"no-reply:read-version@4"},
       1,
       24,
       R"("result":24,"message":"The probe did not answer within 5 s)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    emulator_.Stop();
    StartEmulator(row.emulator);
    cli_e2e::CliResult run;
    for (int i = 0; i < row.runs; ++i) run = Cli(line);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_TRUE(Has(run.out, row.out)) << run.out;
    EXPECT_TRUE(Has(run.out, R"("probe":3,)")) << run.out;
  }
}

}  // namespace
