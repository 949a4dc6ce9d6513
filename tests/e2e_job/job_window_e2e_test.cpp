// Ostrelin.exe running a line job under Wine, driven by window messages:
// two windows on one log, and a window beside a console station on the
// line's database (VELKORO_TEST_ODBC, skipped without it), never write one
// number twice; the pinned image, the version wait and the range's end; a
// job, image or store that cannot be used shows one ERROR box and no window.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/sha256.h"
#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "ledger/operation_record.h"
#include "tests/e2e/e2e_common.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/support/csv_fields.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/test_files.h"
#include "tests/support/window_checks.h"

namespace {

using e2e::Has;
using e2e::MessageBoxInfo;
using e2e::Narrow;

constexpr char kNoDatabase[] = "VELKORO_TEST_ODBC is not set (scripts/test-db.sh env)";
// The CSV log's columns the tests read.
constexpr size_t kCommand = 3, kSerial = 6, kResult = 9, kPool = 12, kJob = 14;

class JobWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = e2e::TestFolder();
    ::DeleteFileW((dir_ + L"\\line.csv").c_str());
    // A series of this run's own: the database keeps earlier runs' numbers.
    char series[32];
    std::snprintf(series, sizeof series, "J%luT%luN", ::GetCurrentProcessId(),
                  ::GetTickCount() % 100000);
    series_ = series;
  }
  void TearDown() override {
    for (e2e::App& app : apps_) app.Stop();
    emulator_.Stop();
  }

  void StartEmulator(std::vector<std::wstring> more = {}) {
    more.insert(more.begin(), {L"--probe", L"0", L"--erase-ms", L"0"});
    ASSERT_TRUE(emulator_.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_EMULATOR")), more,
                                dir_ + L"\\transcript.txt", dir_ + L"\\emulator.log"));
  }
  std::string Transcript() {
    emulator_.Stop();
    return test_files::ReadWholeFile(dir_ + L"\\transcript.txt");
  }
  std::string Database() { return Narrow(e2e::Env(L"VELKORO_TEST_ODBC")); }
  std::string Serial(int n) { return series_ + "000" + std::to_string(n); }
  std::string SerialJob(const std::string& range, const std::string& log) {
    return "name = line3\r\nserials = " + range + "\r\nlog = " + log +
           "\r\nsteps = write-serial\r\n";
  }

  // A small image beside the job and the keys that pin it.
  std::string ImageKeys() {
    const std::wstring image = dir_ + L"\\job.saf";
    const std::string text = srecord_writer::File(0x00C00000, srecord_writer::Pattern(512, 3));
    std::ofstream(std::filesystem::path(image), std::ios::binary) << text;
    FirmwareImage firmware;
    EXPECT_EQ(CheckFirmwareFile(std::u16string(image.begin(), image.end()), &firmware), 0);
    return "image = job.saf\r\nimage_sha256 = " + Sha256Hex(text) +
           "\r\nimage_crc32 = " + Hex32(ReportFirmwareImage(firmware).crc32) + "\r\n";
  }
  std::wstring WriteJob(const std::string& lines) {
    std::ofstream(std::filesystem::path(dir_ + L"\\line.job"), std::ios::binary) << "[job]\r\n"
                                                                                 << lines;
    return dir_ + L"\\line.job";
  }
  HWND StartWindow(e2e::App& app, const std::wstring& job, const wchar_t* option = L"--job") {
    EXPECT_TRUE(app.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_APP")), {option, job}))
        << app.failure();
    return app.window();
  }
  // The next box, answered with OK: its caption and text.
  std::string Box(DWORD pid) {
    MessageBoxInfo box;
    EXPECT_TRUE(e2e::WaitForMessageBox(pid, box)) << "no message box appeared";
    EXPECT_TRUE(e2e::Answer(box, IDOK));
    return Narrow(box.caption + L": " + box.text);
  }
  // WRITE answered with OK: the number the box showed at the question.
  std::string Write(e2e::App& app) {
    e2e::Click(app.window(), IDC_WRITE);
    EXPECT_TRUE(e2e::WaitForDialog(app.pid(), L"", app.window(), e2e::kWindowWaitMs));
    const std::string asked = Narrow(e2e::ItemText(app.window(), IDC_SERIAL_NO));
    EXPECT_TRUE(Has(Box(app.pid()), "May I write Serial No.")) << asked;
    EXPECT_TRUE(Has(Box(app.pid()), "Writing Serial No. of Velkoro succeeded.")) << asked;
    // The box moves on once the write is recorded.
    EXPECT_TRUE(e2e::WaitUntil([&] {
      return Narrow(e2e::ItemText(app.window(), IDC_SERIAL_NO)) != asked;
    })) << asked;
    return asked;
  }
  // The CSV log's last record once it is the command's.
  std::vector<std::string> LastRecord(const std::string& command) {
    std::vector<std::string> fields;
    e2e::WaitUntil([&] {
      const std::string text = test_files::ReadWholeFile(dir_ + L"\\line.csv");
      // The header comes first, so a record has a line end before it.
      if (text.size() < 4) return false;
      const size_t end = text.size() - 2;
      const size_t start = text.rfind("\r\n", end - 1);
      if (start == std::string::npos) return false;
      fields = csv_test::CsvFields(text.substr(start + 2, end - start - 2));
      return fields.size() > kJob && fields[kCommand] == command;
    });
    fields.resize(std::max(fields.size(), kJob + 1));
    return fields;
  }

  std::wstring dir_;
  std::string series_;
  emulator_process::Emulator emulator_;
  e2e::App apps_[2];
};

// Taking turns on one probe: each WRITE takes the first free number whatever
// its box showed, so the other window's stale number is never written.
TEST_F(JobWindowTest, TwoWindowsOnOneLogNumberFourProbes) {
  StartEmulator();
  const std::wstring job = WriteJob(SerialJob(Serial(1) + "-" + Serial(9), "line.csv"));
  ASSERT_TRUE(StartWindow(apps_[0], job, L"/job") && StartWindow(apps_[1], job));
  std::vector<std::string> took[2];
  for (int turn = 0; turn < 4; ++turn) took[turn % 2].push_back(Write(apps_[turn % 2]));
  EXPECT_EQ(took[0], std::vector<std::string>({Serial(1), Serial(3)}));
  EXPECT_EQ(took[1], std::vector<std::string>({Serial(2), Serial(4)}));
  EXPECT_EQ(LastRecord("write-serial")[kPool], "written");
  // READ is recorded too, with the job's tag.
  e2e::Click(apps_[0].window(), IDC_READ);
  const std::vector<std::string> read = LastRecord("read-serial");
  EXPECT_EQ(read[kSerial], Serial(4));
  EXPECT_EQ(read[kJob].substr(0, 6), "line3@");
}

TEST_F(JobWindowTest, AWindowAndAConsoleStationOnTheDatabase) {
  if (Database().empty()) GTEST_SKIP() << kNoDatabase;
  StartEmulator();
  const std::wstring job = WriteJob(SerialJob(Serial(1) + "-" + Serial(9), "odbc:" + Database()));
  ASSERT_NE(StartWindow(apps_[0], job), nullptr);
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(Write(apps_[0]), Serial(2 * round + 1));
    const cli_e2e::CliResult station =
        cli_e2e::RunCli(e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")),
                        {L"run", job, L"--repeat", L"1", L"--yes", L"--probe", L"0"}, dir_);
    EXPECT_EQ(station.status, 0u) << station.err;
    EXPECT_TRUE(Has(station.out, " " + Serial(2 * round + 2) + " 0")) << station.out;
  }
}

// The job's image and steps fixed; UPDATE waits for the job's version and
// says when the probe came back with another; the image is read once, when
// the window opens, so one edited later is never written, and a probe that
// holds the image already is not erased again.
TEST_F(JobWindowTest, UpdateOfThePinnedImage) {
  StartEmulator({L"--version-after", L"0x24", L"--reset-after-ms", L"300"});
  const std::wstring job = WriteJob("name = line3\r\n" + ImageKeys() +
                                    "expect_version = 2.3\r\nlog = line.csv\r\nsteps = update\r\n"
                                    "led = skip\r\nreset_timeout = 3\r\n");
  const HWND w = StartWindow(apps_[0], job);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(Has(Narrow(e2e::Text(w)), " - line3")) << Narrow(e2e::Text(w));
  EXPECT_TRUE(::GetWindowLongW(::GetDlgItem(w, IDC_FILE_NAME), GWL_STYLE) & ES_READONLY);
  for (int off : {IDC_BROWSE, IDC_COUNT_UP, IDC_WRITE}) EXPECT_FALSE(e2e::IsItemEnabled(w, off));
  ASSERT_TRUE(e2e::DropFiles(apps_[0].pid(), w, {L"C:\\other.saf"}));
  EXPECT_TRUE(Has(Box(apps_[0].pid()), "cannot be changed"));
  EXPECT_EQ(e2e::ItemText(w, IDC_FILE_NAME), dir_ + L"\\job.saf");

  e2e::Click(w, IDC_UPDATE);
  EXPECT_TRUE(Has(Box(apps_[0].pid()), "May I update Firmware Ver. 2.2"));
  EXPECT_TRUE(Has(Box(apps_[0].pid()), "Please push Reset SW"));
  const HWND bar = ::GetDlgItem(w, IDC_PROGRESS);
  const LRESULT at = ::SendMessageW(bar, PBM_GETPOS, 0, 0);
  EXPECT_TRUE(e2e::WaitUntil([&] { return ::SendMessageW(bar, PBM_GETPOS, 0, 0) != at; }, 2000));
  EXPECT_TRUE(
      Has(Box(apps_[0].pid()), "ERROR: The probe came back after its reset with version 2.4"));
  EXPECT_EQ(LastRecord("update")[kResult], "25");

  std::ofstream(std::filesystem::path(dir_ + L"\\job.saf"), std::ios::app) << "S9030000FC\r\n";
  e2e::Click(w, IDC_UPDATE);
  EXPECT_TRUE(Has(Box(apps_[0].pid()), "The probe already holds the image"));
  EXPECT_EQ(LastRecord("update")[kResult], "0");
  EXPECT_EQ(e2e::CountOf(Transcript(), "-> erase"), 1u) << "the probe holding the image was erased";
}

// The window and the console run a job's steps through one run: a probe's
// UPDATE and WRITE in the window leave the records that run JOB, its station
// and its tray leave on a probe as it was, field for field but for the time,
// the seconds and the number.
TEST_F(JobWindowTest, TheWindowAndTheConsoleLeaveTheSameRecords) {
  const std::wstring job =
      WriteJob("name = line3\r\n" + ImageKeys() + "serials = " + Serial(1) + "-" + Serial(9) +
               "\r\nlog = line.csv\r\nsteps = update, write-serial\r\nled = skip\r\n");
  StartEmulator();
  const HWND w = StartWindow(apps_[0], job);
  ASSERT_NE(w, nullptr);
  e2e::Click(w, IDC_UPDATE);
  EXPECT_TRUE(Has(Box(apps_[0].pid()), "May I update Firmware Ver. 2.2"));
  EXPECT_TRUE(Has(Box(apps_[0].pid()), "Please push Reset SW"));
  EXPECT_TRUE(Has(Box(apps_[0].pid()), "Updating Firmware of Velkoro succeeded."));
  LastRecord("update");
  EXPECT_EQ(Write(apps_[0]), Serial(1));
  apps_[0].Stop();
  const std::string byWindow = test_files::ReadWholeFile(dir_ + L"\\line.csv");
  // Each program's lines: a claim, the update, the write's settlement.
  const auto lines = [](const std::string& text) {
    std::vector<std::vector<std::string>> out;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
      std::vector<std::string> fields = csv_test::CsvFields(text.substr(at, end - at));
      // Where the programs rightly differ: the time, the number, the seconds,
      // and the line's place in the record's chain.
      for (size_t differs : {size_t{0}, kSerial, size_t{11}}) {
        if (differs < fields.size()) fields[differs].clear();
      }
      if (fields.size() > kJob + 1) fields.resize(kJob + 1);
      out.push_back(fields);
    }
    // The console claims before it touches the probe, the window at WRITE.
    std::sort(out.begin(), out.end());
    return out;
  };
  const auto window = lines(byWindow.substr(byWindow.find("\r\n") + 2));
  ASSERT_EQ(window.size(), 3u) << byWindow;
  // run JOB on one probe, its station and its tray, each on a probe as the
  // window found it.
  const std::vector<std::vector<std::wstring>> consoles = {
      {L"run", job, L"--yes", L"--probe", L"0"},
      {L"run", job, L"--yes", L"--probe", L"0", L"--repeat", L"1"},
      {L"run", job, L"--yes", L"--probe", L"all"}};
  std::string before = byWindow;
  for (const std::vector<std::wstring>& args : consoles) {
    SCOPED_TRACE(Narrow(args.back()));
    emulator_.Stop();
    StartEmulator();
    const cli_e2e::CliResult console =
        cli_e2e::RunCli(e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")), args, dir_);
    EXPECT_EQ(console.status, 0u) << console.err;
    const std::string after = test_files::ReadWholeFile(dir_ + L"\\line.csv");
    ASSERT_GT(after.size(), before.size());
    EXPECT_EQ(lines(after.substr(before.size())), window) << after;
    before = after;
  }
}

TEST_F(JobWindowTest, ARangeUsedUpSendsNoWriteRequest) {
  StartEmulator();
  const HWND w = StartWindow(apps_[0], WriteJob(SerialJob("SN0001-SN0001", "line.csv")));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Write(apps_[0]), "SN0001");
  EXPECT_EQ(e2e::ItemText(w, IDC_SERIAL_NO), L"");
  e2e::Click(w, IDC_WRITE);
  EXPECT_TRUE(
      Has(Box(apps_[0].pid()), "ERROR: Every number of the job's range SN0001-SN0001 (1 number)"));
  EXPECT_EQ(LastRecord("write-serial")[kResult], "27");
  EXPECT_EQ(e2e::CountOf(Transcript(), "-> write-serial"), 1u);
}

// One ERROR box saying why, no operator window, and the program ends when
// it is answered.
TEST_F(JobWindowTest, AJobThatCannotBeUsedOpensNoWindow) {
  std::ofstream(std::filesystem::path(dir_ + L"\\notalog.txt")) << "shopping list\r\n";
  struct Row {
    std::string lines, says;
  };
  std::vector<Row> rows = {
      {SerialJob("SN0001-SN0009", "line.csv") + "led = maybe\r\n", "line.job:6: led: "},
      {SerialJob("SN0001-SN0009", "notalog.txt"), "notalog.txt"},
      {"name = line3\r\n" + ImageKeys() + "log = line.csv\r\nsteps = update\r\n",
       "job.saf is not the job's"},
  };
  // Edited since the job was made.
  std::ofstream(std::filesystem::path(dir_ + L"\\job.saf"), std::ios::app) << "S9030000FC\r\n";
  std::string password;
  if (!Database().empty()) {
    std::string wrong = Database();
    const size_t port = wrong.find("Port=") + 5, pwd = wrong.find("Pwd=") + 4;
    password = wrong.substr(pwd, wrong.find(';', pwd) - pwd);
    wrong.replace(port, wrong.find(';', port) - port, "1");
    rows.push_back({SerialJob("SN0001-SN0009", "odbc:" + wrong), "127.0.0.1"});
  }
  for (const Row& row : rows) {
    const std::wstring job = WriteJob(row.lines);
    test_process::Child app;
    ASSERT_TRUE(app.Start(
        test_process::CommandLine(e2e::WindowsPath(e2e::Env(L"VELKORO_APP")), {L"--job", job})));
    ASSERT_TRUE(e2e::WaitUntil([&] { return !e2e::DialogsOf(app.id()).empty(); })) << row.says;
    EXPECT_EQ(e2e::DialogsOf(app.id()).size(), 1u) << row.says << ": a window opened";
    const std::string box = Box(app.id());
    EXPECT_TRUE(Has(box, "ERROR: ") && Has(box, row.says)) << box;
    EXPECT_TRUE(password.empty() || !Has(box, password)) << box;
    EXPECT_TRUE(app.Wait(e2e::kExitWaitMs)) << row.says;
  }
  if (password.empty()) GTEST_SKIP() << "the database's row: " << kNoDatabase;
}

}  // namespace
