// ostrelin-cli.exe --probe all under Wine: one emulator serving a tray of
// probes, one row per case: a tray updated at once, a tray numbered from one
// log, a probe whose erase never ends beside three that succeed, a probe
// unplugged in the middle, the tray station over two trays, and Ctrl+C in
// the middle of a tray, and a line job run on a tray. Every case also proves
// that no probe was left open.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "common/probe_protocol.h"
#include "tests/e2e/e2e_common.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/e2e_cli/cli_running.h"
#include "tests/support/emulator_process.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/test_files.h"

namespace {

// A tray's run, and each wait for what it says on standard error.
constexpr DWORD kTrayRunMs = 180000;
constexpr DWORD kStepWaitMs = 60000;
constexpr size_t kSmallImage = 16 * 1024;
constexpr size_t kFullImage = kFlashBytes;
// The status of the one probe that failed, read from its own line.
constexpr DWORD kItsFailure = 0xFFFF;

enum class During { kNothing, kUnplug, kCtrlC, kNextTray };

struct TrayCase {
  const char* name;
  const wchar_t* emulator;         // a --fault after a --probe is that probe's own
  std::vector<std::wstring> args;  // {image} and {log} stand for the files
  size_t imageBytes;
  During during;
  const char* waitFor;  // on standard error, before the action
  int actOn;            // the probe unplugged
  DWORD status;
  const char* out;           // standard output, whole; nullptr: outHas only
  const char* outHas;        // lines it must hold
  std::vector<int> holders;  // the probes that must hold the image
  const char* held;          // read-serial --probe all afterwards; nullptr: not read
  const char* logRecord;     // text of each probe's record in the log
  int logRecords;
};

const wchar_t kFour[] = L"--probe 0 --probe 1 --probe 2 --probe 3";

// clang-format off
const TrayCase kCases[] = {
    {"EightUpdatedAtOnce",
     L"--probe 0 --probe 1 --probe 2 --probe 3 --probe 4 --probe 5 --probe 6 --probe 7",
     {L"update", L"{image}", L"--probe", L"all", L"--yes", L"--led", L"skip"},
     kSmallImage, During::kNothing, "", 0, 0,
     "0 0\n1 0\n2 0\n3 0\n4 0\n5 0\n6 0\n7 0\nTray: 8 probes, 8 succeeded, 0 failed.\n", "",
     {0, 1, 2, 3, 4, 5, 6, 7}, nullptr, nullptr, 0},
    {"SixNumberedFromOneLog", L"--probe 0 --probe 1 --probe 2 --probe 3 --probe 4 --probe 5",
     {L"write-serial", L"SN0001", L"--count-up", L"--probe", L"all", L"--yes", L"--log", L"{log}"},
     0, During::kNothing, "", 0, 0,
     "0 SN0001 0\n1 SN0002 0\n2 SN0003 0\n3 SN0004 0\n4 SN0005 0\n5 SN0006 0\n"
     "Tray: 6 probes, 6 succeeded, 0 failed.\nnext: SN0007\n", "",
     {}, "0 SN0001 0\n1 SN0002 0\n2 SN0003 0\n3 SN0004 0\n4 SN0005 0\n5 SN0006 0\n", ",written,", 6},
    // The update gives up after its 240 erase polls, two minutes.
    {"OneOfFourEraseNeverEnds", L"--probe 0 --probe 1 --probe 2 --fault erase-never-ends --probe 3",
     {L"update", L"{image}", L"--probe", L"all", L"--yes", L"--led", L"skip", L"--log", L"{log}"},
     kSmallImage, During::kNothing, "", 0, 4,
     "0 0\n1 0\n2 4\n3 0\nTray: 4 probes, 3 succeeded, 1 failed.\n"
     "failed 2 4: The USB data reception failed.\n", "",
     {0, 1, 3}, nullptr, ",update,", 4},
    {"OneUnpluggedMidTray", kFour,
     {L"update", L"{image}", L"--probe", L"all", L"--yes", L"--led", L"skip"},
     kFullImage, During::kUnplug, "1: program...", 1, kItsFailure, nullptr, "0 0\n",
     {0, 2, 3}, nullptr, nullptr, 0},
    {"TwoTraysAtTheStation", L"--probe 0 --probe 1 --probe 2",
     {L"write-serial", L"SN0001", L"--count-up", L"--probe", L"all", L"--repeat", L"6", L"--yes",
      L"--log", L"{log}"},
     0, During::kNextTray, "Remove the probes of the tray (0 1 2)", 0, 0,
     "0 SN0001 0\n1 SN0002 0\n2 SN0003 0\nTray: 3 probes, 3 succeeded, 0 failed.\n"
     "0 SN0004 0\n1 SN0005 0\n2 SN0006 0\nTray: 3 probes, 3 succeeded, 0 failed.\n"
     "next: SN0007\n", "",
     {}, "0 SN0004 0\n1 SN0005 0\n2 SN0006 0\n", ",written,", 6},
    {"JobOnATray", L"--probe 0 --probe 1",
     {L"run", L"{job}", L"--probe", L"all", L"--yes"},
     kSmallImage, During::kNothing, "", 0, 0,
     "0 SN0001 0\n1 SN0002 0\nTray: 2 probes, 2 succeeded, 0 failed.\nnext: SN0003\n", "",
     {0, 1}, "0 SN0001 0\n1 SN0002 0\n", ",written,", 2},
    {"CtrlCMidTray", kFour,
     {L"update", L"{image}", L"--probe", L"all", L"--yes", L"--led", L"skip", L"--log", L"{log}"},
     kFullImage, During::kCtrlC, "3: program...", 0, 130,
     "0 130\n1 130\n2 130\n3 130\nTray: 4 probes, 0 succeeded, 4 failed.\n"
     "failed 0 130: Stopped by Ctrl+C.\nfailed 1 130: Stopped by Ctrl+C.\n"
     "failed 2 130: Stopped by Ctrl+C.\nfailed 3 130: Stopped by Ctrl+C.\n", "",
     {}, nullptr, ",130,Stopped by Ctrl+C.", 4},
};
// clang-format on

void PrintTo(const TrayCase& c, std::ostream* os) {
  *os << c.name;
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class TrayE2eTest : public ::testing::TestWithParam<TrayCase> {
 protected:
  void SetUp() override {
    dir_ = e2e::TestFolder();
    image_ = dir_ + L"\\image.saf";
    log_ = dir_ + L"\\line.csv";
    job_ = dir_ + L"\\line.job";
    transcript_ = dir_ + L"\\transcript.txt";
    flash_ = dir_ + L"\\flash.bin";
    for (const std::wstring& file : {log_, job_, transcript_, flash_}) ::DeleteFileW(file.c_str());
  }
  void TearDown() override {
    emulator_.Stop();
    if (console_) ::FreeConsole();
  }

  std::vector<std::wstring> Args(const std::vector<std::wstring>& args) {
    std::vector<std::wstring> out;
    for (const std::wstring& arg : args) {
      out.push_back(arg == L"{image}" ? image_
                    : arg == L"{log}" ? log_
                    : arg == L"{job}" ? job_
                                      : arg);
    }
    return out;
  }
  void Cable(const char* word, int index) {
    ASSERT_TRUE(emulator_.Cable(word, index)) << word << " " << index;
  }
  // Ctrl+C on the console the program shares with the test, which lets it
  // pass by itself.
  void PressCtrlC() {
    ::SetConsoleCtrlHandler(nullptr, TRUE);
    EXPECT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << ::GetLastError();
    ::Sleep(kErrPollMs);
  }

  static constexpr DWORD kErrPollMs = 200;
  emulator_process::Emulator emulator_;
  std::wstring dir_, image_, log_, job_, transcript_, flash_;
  bool console_ = false;
};

TEST_P(TrayE2eTest, EveryProbeHandledAndReported) {
  const TrayCase& c = GetParam();
  const std::vector<uint8_t> data = srecord_writer::Pattern(c.imageBytes, 0x21);
  if (c.imageBytes > 0) {
    std::ofstream(image_.c_str(), std::ios::binary) << srecord_writer::File(0x00100000, data);
  }
  ASSERT_TRUE(emulator_.Start(std::wstring(c.emulator) + L" --erase-ms 0 --transcript \"" +
                              transcript_ + L"\" --dump-flash \"" + flash_ + L"\""))
      << "the emulator did not get ready";
  if (c.during == During::kCtrlC) {
    ::FreeConsole();
    console_ = ::AllocConsole() != 0;
    ASSERT_TRUE(console_) << "no console to press Ctrl+C on";
  }
  const std::wstring cli = e2e::WindowsPath(e2e::Env(L"VELKORO_CLI"));
  if (std::find(c.args.begin(), c.args.end(), L"{job}") != c.args.end()) {
    ASSERT_EQ(
        cli_e2e::RunCli(cli,
                        {L"job", L"new", job_, L"--image", image_, L"--serials", L"SN0001-SN0099",
                         L"--log", log_, L"--steps", L"update,write-serial", L"--led", L"skip"},
                        dir_)
            .status,
        0u)
        << "the job could not be written";
  }
  cli_e2e::RunningCli tray;
  ASSERT_TRUE(tray.Start(cli, Args(c.args), dir_ + L"\\out.txt", c.during == During::kCtrlC));
  if (c.during != During::kNothing) {
    ASSERT_TRUE(tray.WaitForErr(c.waitFor, 1, kStepWaitMs)) << tray.err();
    if (c.during == During::kUnplug) Cable("unplug", c.actOn);
    if (c.during == During::kCtrlC) PressCtrlC();
    if (c.during == During::kNextTray) {
      for (int probe = 0; probe < 3; ++probe) Cable("unplug", probe);
      // The next tray only once the station has seen this one gone.
      ASSERT_TRUE(tray.WaitForErr("Waiting for a tray", 2, kStepWaitMs)) << tray.err();
      for (int probe = 0; probe < 3; ++probe) Cable("plug", probe);
    }
  }
  const cli_e2e::CliResult run = tray.Finish(kTrayRunMs);
  ::SetConsoleCtrlHandler(nullptr, FALSE);

  if (c.status == kItsFailure) {
    EXPECT_NE(run.status, 0u) << run.err;
    EXPECT_TRUE(
        e2e::Has(run.out, std::to_string(c.actOn) + " " + std::to_string(run.status) + "\n"))
        << run.out;
    EXPECT_TRUE(e2e::Has(run.out, "Tray: 4 probes, 3 succeeded, 1 failed.\n")) << run.out;
  } else {
    EXPECT_EQ(run.status, c.status) << run.err;
  }
  if (c.out != nullptr) {
    EXPECT_EQ(run.out, c.out) << run.err;
  }
  EXPECT_TRUE(e2e::Has(run.out, c.outHas)) << run.out;
  if (c.held != nullptr) {
    EXPECT_EQ(cli_e2e::RunCli(cli, {L"read-serial", L"--probe", L"all"}, dir_).out,
              std::string(c.held) + "Tray: " + std::to_string(CountOf(c.held, "\n")) + " probes, " +
                  std::to_string(CountOf(c.held, "\n")) + " succeeded, 0 failed.\n");
  }
  if (c.logRecord != nullptr) {
    EXPECT_EQ(CountOf(test_files::ReadWholeFile(log_), c.logRecord),
              static_cast<size_t>(c.logRecords));
  }

  emulator_.Stop();
  const std::string transcript = test_files::ReadWholeFile(transcript_);
  EXPECT_EQ(CountOf(transcript, "-- opened"), CountOf(transcript, "-- closed"))
      << "a probe was left open";
  const std::string flash = test_files::ReadWholeFile(flash_);
  for (int probe : c.holders) {
    ASSERT_GE(flash.size(), (probe + 1) * kFlashBytes);
    EXPECT_EQ(
        flash.compare(probe * kFlashBytes, data.size(), std::string(data.begin(), data.end())), 0)
        << "probe " << probe << " does not hold the image";
  }
}

INSTANTIATE_TEST_SUITE_P(Tray, TrayE2eTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
