// The serial pool in the line's database under Wine: ostrelin-cli.exe with
// --log odbc:... against the PostgreSQL server of scripts/test-db.sh (its
// connection string in VELKORO_TEST_ODBC), reached through Wine's odbc32 and
// unixODBC. Two stations at once, a number freed by a failure before the
// write, an exact number refused, a server that cannot be reached and one that
// goes away between two probes; the password is never shown. The report of
// the database's records, which writes nothing there.
#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
#include <sql.h>
#include <sqlext.h>
// clang-format on

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/e2e_common.h"
#include "tests/e2e/gui_driver.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/e2e_cli/cli_running.h"
#include "tests/support/emulator_process.h"
#include "tests/support/test_files.h"

namespace {

using e2e::Narrow;

constexpr DWORD kNoProbe = 1, kAlreadyWritten = 65, kLogFailed = 74;
constexpr DWORD kStationStepMs = 60000;
constexpr char kServer[] = "127.0.0.1:";

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

// The test's own connection: a count of rows, and the end of other sessions.
class Database {
 public:
  explicit Database(const std::string& connection) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    std::wstring text = Wide(connection);
    connected_ = SQL_SUCCEEDED(SQLDriverConnectW(dbc_, nullptr, text.data(), SQL_NTS, nullptr, 0,
                                                 nullptr, SQL_DRIVER_NOPROMPT));
  }
  ~Database() {
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  bool connected() const { return connected_; }
  // The first column of the first row as a number; -1 when the query fails.
  long long Number(const std::string& sql) {
    SQLHSTMT statement = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &statement);
    std::wstring text = Wide(sql);
    SQLBIGINT value = -1;
    SQLLEN length = 0;
    if (!SQL_SUCCEEDED(SQLExecDirectW(statement, text.data(), SQL_NTS)) ||
        !SQL_SUCCEEDED(SQLFetch(statement)) ||
        !SQL_SUCCEEDED(SQLGetData(statement, 1, SQL_C_SBIGINT, &value, 0, &length))) {
      value = -1;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    return value;
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

class PoolDatabaseE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_ = Narrow(e2e::Env(L"VELKORO_TEST_ODBC"));
    if (connection_.empty()) {
      GTEST_SKIP() << "VELKORO_TEST_ODBC is not set: start the test database with "
                      "scripts/test-db.sh and export what 'scripts/test-db.sh env' prints";
    }
    password_ = Attribute("Pwd");
    port_ = Attribute("Port");
    database_ = std::make_unique<Database>(connection_);
    ASSERT_TRUE(database_->connected()) << "the test database cannot be reached";
    // A series of this run's own: the cluster may hold earlier runs' numbers.
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "E%lu-%lu-", GetCurrentProcessId(),
                  GetTickCount() % 100000);
    prefix_ = prefix;
    const std::wstring out = e2e::WindowsPath(e2e::Env(L"VELKORO_E2E_OUT"));
    ::CreateDirectoryW(out.c_str(), nullptr);
    dir_ = out + L"\\" + Wide(::testing::UnitTest::GetInstance()->current_test_info()->name());
    ::CreateDirectoryW(dir_.c_str(), nullptr);
    transcript_ = dir_ + L"\\transcript.txt";
    ::DeleteFileW(transcript_.c_str());
  }
  void TearDown() override { emulator_.Stop(); }

  // An attribute of the connection string as written (no braces in the
  // test database's).
  std::string Attribute(const std::string& key) {
    std::smatch match;
    std::regex_search(connection_, match, std::regex(key + "=([^;]*)", std::regex::icase));
    return match.size() > 1 ? match[1].str() : "";
  }

  void StartEmulator(const std::wstring& probes) {
    ASSERT_TRUE(emulator_.Start(probes + L" --erase-ms 0 --transcript \"" + transcript_ + L"\""));
  }
  void Cable(const char* word, int index) {
    ASSERT_TRUE(emulator_.Cable(word, index)) << word << " " << index;
  }
  std::wstring Cli() { return e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")); }
  std::wstring Log(const std::string& connection) { return L"odbc:" + Wide(connection); }
  std::wstring Serial(int n) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04d", n);
    return Wide(prefix_ + digits);
  }
  std::string SerialOf(int probe) {
    return cli_e2e::RunCli(Cli(), {L"read-serial", L"--probe", std::to_wstring(probe)}, dir_).out;
  }
  long long Count(const std::string& where) {
    return database_->Number("SELECT COUNT(*) FROM velkoro_pool WHERE serial LIKE '" + prefix_ +
                             "%' AND " + where);
  }
  // Nothing the program printed holds the password.
  void ExpectNoPassword(const cli_e2e::CliResult& run) {
    ASSERT_FALSE(password_.empty());
    EXPECT_FALSE(Has(run.out, password_)) << run.out;
    EXPECT_FALSE(Has(run.err, password_)) << run.err;
  }
  // A station numbering one probe twice: its number, the cable pulled and
  // put back, its next number.
  void StartStation(cli_e2e::RunningCli& station, int probe) {
    ASSERT_TRUE(
        station.Start(Cli(),
                      {L"write-serial", Serial(1), L"--yes", L"--count-up", L"--repeat", L"2",
                       L"--probe", std::to_wstring(probe), L"--log", Log(connection_)},
                      dir_ + L"\\station" + std::to_wstring(probe) + L".txt"));
  }
  // The cable pulled, and put back once the station has seen it gone.
  void Replug(cli_e2e::RunningCli& station, int probe) {
    ASSERT_TRUE(station.WaitForErr("Remove the probe", 1, kStationStepMs)) << station.err();
    Cable("unplug", probe);
    ASSERT_TRUE(station.WaitForErr("Waiting for probe 2", 1, kStationStepMs)) << station.err();
    Cable("plug", probe);
  }

  std::string connection_, password_, port_, prefix_;
  std::unique_ptr<Database> database_;
  std::wstring dir_, transcript_;
  emulator_process::Emulator emulator_;
};

TEST_F(PoolDatabaseE2eTest, TwoStationsNumberFourProbesWithFourNumbers) {
  StartEmulator(L"--probe 0 --probe 1");
  cli_e2e::RunningCli stations[2];
  for (int probe = 0; probe < 2; ++probe) StartStation(stations[probe], probe);
  for (int probe = 0; probe < 2; ++probe) Replug(stations[probe], probe);
  std::multiset<std::string> numbers;
  for (int probe = 0; probe < 2; ++probe) {
    const cli_e2e::CliResult run = stations[probe].Finish(kStationStepMs);
    EXPECT_EQ(run.status, 0u) << run.err;
    ExpectNoPassword(run);
    const std::regex line(std::to_string(probe) + " (\\S+) 0\r?");
    std::smatch match;
    for (size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1) {
      const std::string text = run.out.substr(at, end - at);
      if (std::regex_match(text, match, line)) numbers.insert(match[1].str());
    }
  }
  const std::multiset<std::string> expected = {Narrow(Serial(1)), Narrow(Serial(2)),
                                               Narrow(Serial(3)), Narrow(Serial(4))};
  EXPECT_EQ(numbers, expected);
  EXPECT_EQ(Count("state = 'written'"), 4);
}

// One run after another on one probe: each row's status, its words, and what
// the pool holds afterwards.
TEST_F(PoolDatabaseE2eTest, RunsOneAfterAnother) {
  StartEmulator(L"--probe 0 --serial KEEP");
  std::string wrongPort = connection_;
  wrongPort.replace(wrongPort.find(port_), port_.size(), "1");
  const std::string wrongPassword =
      std::regex_replace(connection_, std::regex("Pwd=[^;]*", std::regex::icase), "Pwd=Wrong-x");
  struct Row {
    const char* what;
    std::vector<std::wstring> args;
    std::string connection;
    DWORD status;
    std::string err;  // a part of standard error
    long long held;   // the series' numbers the pool holds afterwards
  };
  const Row rows[] = {
      {"a failure before the write frees its number",
       {L"--probe", L"3"},
       connection_,
       kNoProbe,
       "",
       0},
      {"the freed number is written", {}, connection_, 0, "", 1},
      {"a written number is refused", {}, connection_, kAlreadyWritten, "already", 1},
      {"no server on the port", {}, wrongPort, kLogFailed, kServer + std::string("1"), 1},
      {"a refused login", {}, wrongPassword, kLogFailed, kServer + port_, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const size_t seen = test_files::ReadWholeFile(transcript_).size();
    std::vector<std::wstring> args = {L"write-serial", Serial(1), L"--yes",
                                      L"--json",       L"--log",  Log(row.connection)};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const cli_e2e::CliResult run = cli_e2e::RunCli(Cli(), args, dir_);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_TRUE(Has(run.err, row.err)) << run.err;
    EXPECT_TRUE(Has(run.out, "\"result\":" + std::to_string(row.status))) << run.out;
    ExpectNoPassword(run);
    EXPECT_FALSE(Has(run.err, "Wrong-")) << run.err;
    EXPECT_EQ(Count("1 = 1"), row.held);
    if (row.status != 0) {
      EXPECT_FALSE(Has(test_files::ReadWholeFile(transcript_).substr(seen), "opened"))
          << "a refused run reached the probe";
    }
  }
  EXPECT_EQ(SerialOf(0), Narrow(Serial(1)) + "\n");
  EXPECT_EQ(database_->Number("SELECT COUNT(*) FROM velkoro_records WHERE message LIKE '%" +
                              password_ + "%'"),
            0);
}

// The station's connection ends while its probe is being removed (as when
// the server stops): it stops with 74 naming the server before it claims or
// touches anything more; the number written stays written.
TEST_F(PoolDatabaseE2eTest, ServerGoneBetweenTwoProbes) {
  StartEmulator(L"--probe 0");
  cli_e2e::RunningCli station;
  StartStation(station, 0);
  ASSERT_TRUE(station.WaitForErr("Remove the probe", 1, kStationStepMs)) << station.err();
  EXPECT_GE(database_->Number("SELECT COUNT(pg_terminate_backend(pid)) FROM pg_stat_activity "
                              "WHERE usename = current_user AND pid <> pg_backend_pid()"),
            1);
  Cable("unplug", 0);
  const cli_e2e::CliResult run = station.Finish(kStationStepMs);
  Cable("plug", 0);
  EXPECT_EQ(run.status, kLogFailed) << run.err;
  EXPECT_TRUE(Has(run.err, kServer + port_)) << run.err;
  ExpectNoPassword(run);
  EXPECT_EQ(SerialOf(0), Narrow(Serial(1)) + "\n");
  EXPECT_EQ(Count("state = 'written'"), 1);
  EXPECT_EQ(Count("1 = 1"), 1);
}

// The report over the database: the figures of this test's own records (its
// window opens after the earlier tests' last), the page, nothing written.
TEST_F(PoolDatabaseE2eTest, ReportGivesTheFiguresAndWritesNothing) {
  StartEmulator(L"--probe 0");
  // The window: from a second after the earlier tests' last record to a
  // second after this one's.
  auto utcNow = [] {
    ::Sleep(1000);
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return Wide(text);
  };
  const std::wstring since = utcNow();
  for (DWORD status : {0ul, kAlreadyWritten}) {
    const cli_e2e::CliResult run = cli_e2e::RunCli(
        Cli(), {L"write-serial", Serial(1), L"--yes", L"--log", Log(connection_)}, dir_);
    ASSERT_EQ(run.status, status) << run.err;
  }
  const std::wstring until = utcNow();
  const long long records = database_->Number("SELECT COUNT(*) FROM velkoro_records");
  const std::wstring page = dir_ + L"\\report.html";
  const cli_e2e::CliResult run =
      cli_e2e::RunCli(Cli(),
                      {L"report", L"--log", Log(connection_), L"--since", since, L"--until", until,
                       L"--json", L"--html", page},
                      dir_);
  EXPECT_EQ(run.status, 0u) << run.err;
  EXPECT_TRUE(Has(run.out, R"("line":{"operations":2,"commands":{"write-serial":2},"probes":1,)"
                           R"("succeeded":1,"failed":1,"first_pass_yield":1,)"))
      << run.out;
  EXPECT_TRUE(Has(run.out, "{\"series\":\"" + prefix_ +
                               "####\",\"written\":1,\"spent_failed\":0,\"spent_unknown\":0,"
                               "\"claimed\":0,\"highest\":\"" +
                               Narrow(Serial(1)) + "\",\"next\":\"" + Narrow(Serial(2)) + "\"}"))
      << run.out;
  ExpectNoPassword(run);
  EXPECT_EQ(database_->Number("SELECT COUNT(*) FROM velkoro_records"), records);
  EXPECT_TRUE(Has(test_files::ReadWholeFile(page), R"(data-figure="line.operations">2<)"));
}

}  // namespace
