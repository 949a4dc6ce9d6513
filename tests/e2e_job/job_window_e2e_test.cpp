// Ostrelin.exe running a line job under Wine, driven by window messages:
// two windows at once on one store share the emulated probe and the range
// and never write one number twice; a job or a store that cannot be used
// shows one ERROR box and no window; an image edited after the job was made
// is refused before anything is erased; a range used up sends no write
// request; a window and a console station share the line's database. The
// database rows run against the PostgreSQL server of
// scripts/test-db.sh (VELKORO_TEST_ODBC) and are skipped without it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "ledger/ledger_opener_win32.h"
#include "ledger/operation_record.h"
#include "line/sha256.h"
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

constexpr char kImageName[] = "job.saf";
constexpr char kNoDatabase[] =
    "VELKORO_TEST_ODBC is not set: start the test database with scripts/test-db.sh and export "
    "what 'scripts/test-db.sh env' prints";
// The CSV log's columns the tests read.
constexpr size_t kCommandColumn = 3, kSerialColumn = 6, kResultColumn = 9, kPoolColumn = 12,
                 kJobColumn = 14;

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

class QuietWaiter : public LedgerWaiter {
 public:
  void Say(const std::string&) override {}
  bool Wait(unsigned ms) override {
    ::Sleep(ms);
    return true;
  }
};

class JobWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = e2e::TestFolder();
    transcript_ = dir_ + L"\\transcript.txt";
    for (const wchar_t* name : {L"\\line.csv", L"\\line.job", L"\\transcript.txt"}) {
      ::DeleteFileW((dir_ + name).c_str());
    }
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

  void StartEmulator() {
    ASSERT_TRUE(emulator_.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_EMULATOR")),
                                {L"--probe", L"0", L"--erase-ms", L"0"}, transcript_,
                                dir_ + L"\\emulator.log"));
  }
  std::string Database() { return Narrow(e2e::Env(L"VELKORO_TEST_ODBC")); }
  std::string Serial(int n) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04d", n);
    return series_ + digits;
  }

  // A small image beside the job and the keys that pin it.
  std::string ImageKeys() {
    const std::wstring image = dir_ + L"\\" + Wide(kImageName);
    const std::string text = srecord_writer::File(0x00C00000, srecord_writer::Pattern(512, 3));
    std::ofstream(std::filesystem::path(image), std::ios::binary) << text;
    EXPECT_EQ(CheckFirmwareFile(std::u16string(image.begin(), image.end())), 0);
    return std::string("image = ") + kImageName + "\r\nimage_sha256 = " + Sha256Hex(text) +
           "\r\nimage_crc32 = " + Hex32(ReportFirmwareImage().crc32) + "\r\n";
  }
  std::wstring WriteJob(const std::string& lines) {
    const std::wstring job = dir_ + L"\\line.job";
    std::ofstream(std::filesystem::path(job), std::ios::binary) << "[job]\r\n" << lines;
    return job;
  }

  HWND StartWindow(e2e::App& app, const std::wstring& job, const wchar_t* option = L"--job") {
    EXPECT_TRUE(app.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_APP")), {option, job}))
        << "the operator window did not appear";
    return app.window();
  }

  MessageBoxInfo NextBox(DWORD pid) {
    MessageBoxInfo box;
    EXPECT_TRUE(e2e::WaitForMessageBox(pid, box)) << "no message box appeared";
    return box;
  }

  // WRITE answered with OK: the number the box showed at the question.
  std::string Write(e2e::App& app) {
    e2e::Click(app.window(), IDC_WRITE);
    MessageBoxInfo question = NextBox(app.pid());
    EXPECT_EQ(question.text, L"May I write Serial No. of Velkoro?");
    const std::string asked = Narrow(e2e::ItemText(app.window(), IDC_SERIAL_NO));
    EXPECT_TRUE(e2e::Answer(question, IDOK));
    MessageBoxInfo done = NextBox(app.pid());
    EXPECT_EQ(done.text, L"Writing Serial No. of Velkoro succeeded.") << asked;
    EXPECT_TRUE(e2e::Answer(done, IDOK));
    // The box moves on once the write is recorded.
    EXPECT_TRUE(e2e::WaitUntil([&] {
      return Narrow(e2e::ItemText(app.window(), IDC_SERIAL_NO)) != asked;
    })) << asked;
    return asked;
  }

  // The numbers of this run's series the store holds written.
  std::set<std::string> Written(const std::string& log) {
    std::set<std::string> written;
    for (const SerialEntry& entry : Pool(log)) {
      if (entry.state == SerialState::kWritten && entry.serial.rfind(series_, 0) == 0) {
        written.insert(entry.serial);
      }
    }
    return written;
  }
  // The store's pool: each number and how it is held.
  std::vector<SerialEntry> Pool(const std::string& where) {
    QuietWaiter waiter;
    std::string error;
    const std::string path = where.rfind("odbc:", 0) == 0 ? where : Narrow(dir_) + "\\" + where;
    std::unique_ptr<Ledger> ledger =
        Win32LedgerOpener().Open(std::u16string(path.begin(), path.end()), waiter, &error);
    std::vector<SerialEntry> entries;
    EXPECT_TRUE(ledger && ledger->Entries(&entries, &error)) << error;
    return entries;
  }
  // The CSV log's records, each as its fields.
  std::vector<std::vector<std::string>> LogLines() {
    std::vector<std::vector<std::string>> lines;
    const std::string text = test_files::ReadWholeFile(dir_ + L"\\line.csv");
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
      lines.push_back(csv_test::CsvFields(text.substr(at, end - at)));
    }
    return lines;
  }

  // Two windows on one log, taking turns: each WRITE takes the first
  // free number whatever the box showed, so the four numbers are distinct.
  void TwoWindowsNumberFourProbes(const std::string& log) {
    StartEmulator();
    const std::wstring job = WriteJob("name = line3\r\nserials = " + Serial(1) + "-" + Serial(500) +
                                      "\r\nlog = " + log + "\r\nsteps = write-serial\r\n");
    const HWND first = StartWindow(apps_[0], job, L"/job");
    const HWND second = StartWindow(apps_[1], job);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(Narrow(e2e::ItemText(second, IDC_SERIAL_NO)), Serial(1));
    std::vector<std::string> taken[2];
    for (int turn = 0; turn < 4; ++turn) {
      e2e::App& app = apps_[turn % 2];
      taken[turn % 2].push_back(Write(app));
      EXPECT_TRUE(e2e::WaitUntil([&] {
        return Narrow(e2e::ItemText(app.window(), IDC_SERIAL_NO)) == Serial(turn + 2);
      })) << Narrow(e2e::ItemText(app.window(), IDC_SERIAL_NO));
    }
    const std::vector<std::string> firstTook = {Serial(1), Serial(3)};
    const std::vector<std::string> secondTook = {Serial(2), Serial(4)};
    EXPECT_EQ(taken[0], firstTook);
    EXPECT_EQ(taken[1], secondTook);
    EXPECT_EQ(Written(log), std::set<std::string>({Serial(1), Serial(2), Serial(3), Serial(4)}));
  }

  std::wstring dir_, transcript_;
  std::string series_;
  emulator_process::Emulator emulator_;
  e2e::App apps_[2];
};

TEST_F(JobWindowTest, TwoWindowsOnOneLogNumberFourProbes) {
  TwoWindowsNumberFourProbes("line.csv");
  // READ is recorded too, with the job's tag, like every WRITE.
  e2e::Click(apps_[0].window(), IDC_READ);
  EXPECT_TRUE(e2e::WaitUntil([&] {
    const std::vector<std::vector<std::string>> lines = LogLines();
    return !lines.empty() && lines.back().size() > kJobColumn &&
           lines.back()[kCommandColumn] == "read-serial";
  }));
  EXPECT_EQ(Narrow(e2e::ItemText(apps_[0].window(), IDC_SERIAL_NO)), Serial(4));
  const std::vector<std::string> read = LogLines().back();
  ASSERT_GT(read.size(), kJobColumn);
  EXPECT_EQ(read[kSerialColumn], Serial(4));
  EXPECT_EQ(read[kJobColumn].substr(0, 6), "line3@");
}

// A window and a console station (run JOB) taking turns on the line's
// database: the window's box shows a number the console has taken since,
// and WRITE takes the next free one instead.
TEST_F(JobWindowTest, AWindowAndAConsoleStationOnTheDatabase) {
  if (Database().empty()) GTEST_SKIP() << kNoDatabase;
  StartEmulator();
  const std::string log = "odbc:" + Database();
  const std::wstring job = WriteJob("name = line3\r\nserials = " + Serial(1) + "-" + Serial(500) +
                                    "\r\nlog = " + log + "\r\nsteps = write-serial\r\n");
  ASSERT_NE(StartWindow(apps_[0], job), nullptr);
  std::vector<std::string> windowTook;
  for (int round = 0; round < 2; ++round) {
    windowTook.push_back(Write(apps_[0]));
    const cli_e2e::CliResult station =
        cli_e2e::RunCli(e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")),
                        {L"run", job, L"--repeat", L"1", L"--yes", L"--probe", L"0"}, dir_);
    EXPECT_EQ(station.status, 0u) << station.err;
    EXPECT_TRUE(Has(station.out, Serial(2 * round + 2))) << station.out << station.err;
  }
  EXPECT_EQ(windowTook, std::vector<std::string>({Serial(1), Serial(3)}));
  EXPECT_EQ(Written(log), std::set<std::string>({Serial(1), Serial(2), Serial(3), Serial(4)}));
}

// What the job fixes cannot be changed, and a step it leaves out is off.
TEST_F(JobWindowTest, TheJobFixesImageNumberAndSteps) {
  StartEmulator();
  const std::wstring job =
      WriteJob("name = line3\r\n" + ImageKeys() +
               "serials = SN0001-SN0500\r\nlog = line.csv\r\nsteps = update\r\n");
  const HWND w = StartWindow(apps_[0], job);
  ASSERT_NE(w, nullptr);
  const std::wstring title = e2e::Text(w);
  EXPECT_TRUE(title.size() > 8 && title.substr(title.size() - 8) == L" - line3") << Narrow(title);
  EXPECT_EQ(e2e::ItemText(w, IDC_FILE_NAME), dir_ + L"\\" + Wide(kImageName));
  for (int box : {IDC_FILE_NAME, IDC_SERIAL_NO}) {
    EXPECT_TRUE(::GetWindowLongW(::GetDlgItem(w, box), GWL_STYLE) & ES_READONLY) << box;
  }
  EXPECT_TRUE(e2e::IsChecked(w, IDC_COUNT_UP));
  for (int off : {IDC_BROWSE, IDC_COUNT_UP, IDC_WRITE}) EXPECT_FALSE(e2e::IsItemEnabled(w, off));
  EXPECT_TRUE(e2e::IsItemEnabled(w, IDC_UPDATE));
  ASSERT_TRUE(e2e::DropFiles(apps_[0].pid(), w, {L"C:\\other.saf"}));
  MessageBoxInfo refused = NextBox(apps_[0].pid());
  EXPECT_TRUE(Has(Narrow(refused.text), "cannot be changed")) << Narrow(refused.text);
  ASSERT_TRUE(e2e::Answer(refused, IDOK));
  EXPECT_EQ(e2e::ItemText(w, IDC_FILE_NAME), dir_ + L"\\" + Wide(kImageName));

  // The image edited after the job was made: refused before any erase.
  std::ofstream(std::filesystem::path(dir_ + L"\\" + Wide(kImageName)),
                std::ios::binary | std::ios::app)
      << srecord_writer::DataRecord(0x00C00200, {1, 2, 3, 4}) << "\r\n";
  e2e::Click(w, IDC_UPDATE);
  MessageBoxInfo box = NextBox(apps_[0].pid());
  EXPECT_EQ(box.caption, L"ERROR");
  EXPECT_TRUE(Has(Narrow(box.text), "is not the job's: its SHA-256 is")) << Narrow(box.text);
  ASSERT_TRUE(e2e::Answer(box, IDOK));
  const std::vector<std::vector<std::string>> lines = LogLines();
  ASSERT_FALSE(lines.empty());
  ASSERT_GT(lines.back().size(), kResultColumn);
  EXPECT_EQ(lines.back()[kCommandColumn], "update");
  EXPECT_EQ(lines.back()[kResultColumn], "26");
  emulator_.Stop();
  const std::string transcript = test_files::ReadWholeFile(transcript_);
  EXPECT_EQ(e2e::CountOf(transcript, "-> erase"), 0u) << transcript;
}

// UPDATE with expect_version: after the reset instruction the window waits
// for the probe's version, moving its bar, and ends with success or with
// one ERROR box saying the probe came back with another version (the line's
// own tests tell that from a probe never reset).
TEST_F(JobWindowTest, TheUpdateWaitsForTheJobsVersion) {
  struct Row {
    const char* what;
    std::vector<std::wstring> emulator;
    const char* says;
    const char* result;
  };
  const Row rows[] = {
      {"back with 2.3",
       {L"--version-after", L"0x23", L"--reset-after-ms", L"300"},
       "Updating Firmware of Velkoro succeeded.",
       "0"},
      {"back with 2.4",
       {L"--version-after", L"0x24", L"--reset-after-ms", L"300"},
       "came back after its reset with version 2.4, not 2.3",
       "25"},
  };
  for (const Row& row : rows) {
    std::vector<std::wstring> args = {L"--probe", L"0", L"--erase-ms", L"0"};
    args.insert(args.end(), row.emulator.begin(), row.emulator.end());
    ASSERT_TRUE(emulator_.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_EMULATOR")), args));
    ::DeleteFileW((dir_ + L"\\line.csv").c_str());
    const std::wstring job = WriteJob("name = line3\r\n" + ImageKeys() +
                                      "expect_version = 2.3\r\nlog = line.csv\r\nsteps = "
                                      "update\r\nled = skip\r\nreset_timeout = 3\r\n");
    const HWND w = StartWindow(apps_[0], job);
    ASSERT_NE(w, nullptr) << row.what;
    e2e::Click(w, IDC_UPDATE);
    MessageBoxInfo question = NextBox(apps_[0].pid());
    ASSERT_EQ(question.text, L"May I update Firmware Ver. 2.2 of Velkoro?") << row.what;
    ASSERT_TRUE(e2e::Answer(question, IDOK));
    MessageBoxInfo reset = NextBox(apps_[0].pid());
    ASSERT_EQ(reset.text, L"Please push Reset SW of Velkoro.") << row.what;
    ASSERT_TRUE(e2e::Answer(reset, IDOK));
    if (std::string(row.result) != "0") {
      const HWND bar = ::GetDlgItem(w, IDC_PROGRESS);
      const LRESULT before = ::SendMessageW(bar, PBM_GETPOS, 0, 0);
      EXPECT_TRUE(
          e2e::WaitUntil([&] { return ::SendMessageW(bar, PBM_GETPOS, 0, 0) != before; }, 2000))
          << row.what << ": the bar stood still";
    }
    MessageBoxInfo end = NextBox(apps_[0].pid());
    EXPECT_TRUE(Has(Narrow(end.text), row.says)) << row.what << ": " << Narrow(end.text);
    ASSERT_TRUE(e2e::Answer(end, IDOK));
    EXPECT_TRUE(e2e::WaitUntil([&] {
      const std::vector<std::vector<std::string>> lines = LogLines();
      return !lines.empty() && lines.back().size() > kJobColumn &&
             lines.back()[kCommandColumn] == "update" && lines.back()[kResultColumn] == row.result;
    })) << row.what;
    apps_[0].Stop();
    emulator_.Stop();
  }
}

TEST_F(JobWindowTest, ARangeUsedUpSendsNoWriteRequest) {
  StartEmulator();
  const std::wstring job = WriteJob(
      "name = line3\r\nserials = SN0001-SN0001\r\nlog = line.csv\r\nsteps = write-serial\r\n");
  const HWND w = StartWindow(apps_[0], job);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Write(apps_[0]), "SN0001");
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::ItemText(w, IDC_SERIAL_NO).empty(); }));
  e2e::Click(w, IDC_WRITE);
  MessageBoxInfo box = NextBox(apps_[0].pid());
  EXPECT_EQ(box.caption, L"ERROR");
  EXPECT_TRUE(Has(Narrow(box.text), "range SN0001-SN0001 (1 number) is held")) << Narrow(box.text);
  ASSERT_TRUE(e2e::Answer(box, IDOK));
  const std::vector<std::vector<std::string>> lines = LogLines();
  ASSERT_GT(lines.size(), 1u);
  EXPECT_EQ(lines.back()[kResultColumn], "27");
  EXPECT_EQ(lines[lines.size() - 2][kPoolColumn], "written");
  emulator_.Stop();
  EXPECT_EQ(e2e::CountOf(test_files::ReadWholeFile(transcript_), "-> write-serial"), 1u);
}

// A job or a store that cannot be used: one ERROR box saying why, no
// operator window, and the program ends when it is answered.
TEST_F(JobWindowTest, AJobThatCannotBeUsedOpensNoWindow) {
  std::ofstream(std::filesystem::path(dir_ + L"\\notalog.txt")) << "shopping list\r\n";
  std::string unreachable;
  std::string password;
  if (!Database().empty()) {
    unreachable = Database();
    const size_t port = unreachable.find("Port=");
    if (port != std::string::npos) {
      unreachable.replace(port + 5, unreachable.find(';', port) - port - 5, "1");
    }
    const size_t pwd = unreachable.find("Pwd=");
    if (pwd != std::string::npos)
      password = unreachable.substr(pwd + 4, unreachable.find(';', pwd) - pwd - 4);
  }
  struct Row {
    const char* what;
    std::string lines;  // the job file's after [job]; none: the file is missing
    std::vector<std::string> says;
  };
  const std::string serialJob = "name = line3\r\nserials = SN0001-SN0009\r\n";
  std::vector<Row> rows = {
      {"a bad value",
       serialJob + "log = line.csv\r\nsteps = write-serial\r\nled = maybe\r\n",
       {"line.job:6: led: ", "ask or skip"}},
      {"an unknown key", "name = line3\r\ncolour = red\r\n", {"line.job:3: colour:"}},
      {"a missing job file", "", {"line.job", "cannot be read"}},
      {"a file that is not a log",
       serialJob + "log = notalog.txt\r\nsteps = write-serial\r\n",
       {"notalog.txt", "No probe was touched."}},
  };
  if (!unreachable.empty()) {
    rows.push_back({"a database that cannot be reached",
                    serialJob + "log = odbc:" + unreachable + "\r\nsteps = write-serial\r\n",
                    {"127.0.0.1", "No probe was touched."}});
  }
  for (const Row& row : rows) {
    const std::wstring job = dir_ + L"\\line.job";
    ::DeleteFileW(job.c_str());
    if (!row.lines.empty()) WriteJob(row.lines);
    test_process::Child app;
    ASSERT_TRUE(app.Start(
        test_process::CommandLine(e2e::WindowsPath(e2e::Env(L"VELKORO_APP")), {L"--job", job})));
    MessageBoxInfo box;
    ASSERT_TRUE(e2e::WaitForMessageBox(app.id(), box)) << row.what;
    EXPECT_EQ(box.caption, L"ERROR") << row.what;
    for (const std::string& part : row.says) {
      EXPECT_TRUE(Has(Narrow(box.text), part)) << row.what << ": " << Narrow(box.text);
    }
    if (!password.empty()) {
      EXPECT_FALSE(Has(Narrow(box.text), password)) << row.what;
    }
    EXPECT_EQ(e2e::DialogsOf(app.id()).size(), 1u) << row.what << ": a window opened";
    ASSERT_TRUE(e2e::Answer(box, IDOK));
    EXPECT_TRUE(app.Wait(e2e::kExitWaitMs)) << row.what;
  }
  if (unreachable.empty()) GTEST_SKIP() << "the database's row: " << kNoDatabase;
}

}  // namespace
