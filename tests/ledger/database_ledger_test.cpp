// The stores' shared table on each database engine of scripts/test-db.sh,
// through Wine's odbc32 and unixODBC: PostgreSQL (VELKORO_TEST_ODBC), MariaDB
// (VELKORO_TEST_ODBC_MARIADB) and a SQLite file (VELKORO_TEST_ODBC_SQLITE).
// An engine whose variable is unset is skipped, and says so.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "ledger/database_ledger_odbc.h"
#include "ledger/odbc_statement.h"
#include "tests/support/ledger_conformance.h"

namespace {

constexpr unsigned kTestSeconds = 15;

class QuietWaiter : public LedgerWaiter {
 public:
  void Say(const std::string&) override {}
  bool Wait(unsigned) override { return true; }
};

enum class Engine { kPostgreSql, kMariaDb, kSqlite };

struct EngineCase {
  const char* name;
  const char* variable;
  Engine engine;
};

void PrintTo(const EngineCase& engine, std::ostream* out) {
  *out << engine.name;
}

// The test's own connection to the engine, beside the stations'.
class OdbcStore : public LedgerStore {
 public:
  OdbcStore(const std::string& connection, Engine engine) : engine_(engine) {
    std::smatch match;
    if (std::regex_search(connection, match, std::regex("Pwd=([^;]*)", std::regex::icase))) {
      secret_ = match[1].str();
      connection_ = connection;
      refused_ = std::regex_replace(connection, std::regex("Pwd=[^;]*", std::regex::icase),
                                    "Pwd=" + secret_ + "x");
    } else {
      // A file has no password: the store is given one all the same, which
      // it must never show, and is refused a folder that does not exist.
      secret_ = "vkFileSecret7";
      connection_ = connection + ";Pwd=" + secret_;
      refused_ = std::regex_replace(connection_, std::regex("Database=[^;]*"),
                                    "Database=/nonexistent-velkoro/none.db");
    }
    OdbcDiagnostic failure;
    connected_ = test_.Connect(connection_, kTestSeconds, kTestSeconds, &failure);
    error_ = failure.text;
  }
  bool connected() const { return connected_; }
  const std::string& error() const { return error_; }

  void Empty() override {
    Run(u"DROP TABLE velkoro_pool");
    Run(u"DROP TABLE velkoro_records");
    Run(u"DROP TABLE velkoro_chain_head");
  }
  std::unique_ptr<Ledger> Open(std::string* error) override {
    return OpenDatabaseLedger(connection_, waiter_, error);
  }
  std::unique_ptr<Ledger> OpenRefused(std::string* error) override {
    return OpenDatabaseLedger(refused_, waiter_, error);
  }
  void Cut() override {
    switch (engine_) {
      case Engine::kPostgreSql:
        Run(u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
            u"WHERE usename = current_user AND pid <> pg_backend_pid()");
        break;
      case Engine::kMariaDb:
        for (int id : Numbers(u"SELECT id FROM information_schema.processlist "
                              u"WHERE user = 'velkoro' AND id <> CONNECTION_ID()")) {
          const std::string kill = "KILL " + std::to_string(id);
          Run(std::u16string(kill.begin(), kill.end()).c_str());
        }
        break;
      case Engine::kSqlite:
        // The file stays locked by this connection's open write until Restore.
        holding_ = true;
        Run(u"UPDATE velkoro_pool SET state = state", false);
        break;
    }
  }
  void Restore() override {
    if (holding_) test_.Rollback();
    holding_ = false;
  }
  void MakeEarlierLayout() override {
    Empty();
    Run(u"CREATE TABLE velkoro_records (time_utc VARCHAR(32), station VARCHAR(128), "
        u"tool_version VARCHAR(32), command VARCHAR(32), probe INTEGER, "
        u"firmware_before VARCHAR(32), serial VARCHAR(64), file_name VARCHAR(1000), "
        u"image_crc32 VARCHAR(8), result INTEGER NOT NULL, message VARCHAR(1000), "
        u"seconds VARCHAR(16), pool VARCHAR(16), firmware_after VARCHAR(32))");
  }
  std::optional<std::string> LastJob() override {
    OdbcStatement statement;
    OdbcDiagnostic failure;
    std::optional<std::string> job;
    if (statement.Prepare(test_, u"SELECT job FROM velkoro_records WHERE job IS NOT NULL",
                          &failure) &&
        statement.Run(&failure) && statement.Fetch(&failure) == OdbcStatement::Fetched::kRow) {
      statement.Cell(1, &job, &failure);
    }
    statement.Close();
    test_.Rollback();
    return job;
  }
  std::string Secret() const override { return secret_; }

 private:
  // Runs and commits; a statement that fails (a table not there) is undone.
  void Run(const char16_t* sql, bool commit = true) {
    OdbcStatement statement;
    OdbcDiagnostic failure;
    if (!statement.Prepare(test_, sql, &failure) || !statement.Run(&failure)) {
      test_.Rollback();
      return;
    }
    statement.Close();
    if (commit) test_.Commit(&failure);
  }
  std::vector<int> Numbers(const char16_t* sql) {
    std::vector<int> numbers;
    OdbcStatement statement;
    OdbcDiagnostic failure;
    if (statement.Prepare(test_, sql, &failure) && statement.Run(&failure)) {
      std::optional<int> number;
      while (statement.Fetch(&failure) == OdbcStatement::Fetched::kRow &&
             statement.Cell(1, &number, &failure)) {
        if (number) numbers.push_back(*number);
      }
    }
    statement.Close();
    test_.Rollback();
    return numbers;
  }

  Engine engine_;
  std::string connection_, refused_, secret_, error_;
  OdbcConnection test_;
  bool connected_ = false, holding_ = false;
  QuietWaiter waiter_;
};

class DatabaseLedgerTest : public ::testing::TestWithParam<EngineCase> {};

TEST_P(DatabaseLedgerTest, SharedTable) {
  const char* connection = std::getenv(GetParam().variable);
  if (connection == nullptr || *connection == '\0') {
    GTEST_SKIP() << GetParam().variable << " is not set: " << GetParam().name
                 << " is skipped (scripts/test-db.sh start, then eval what "
                    "'scripts/test-db.sh env' prints)";
  }
  OdbcStore store(connection, GetParam().engine);
  ASSERT_TRUE(store.connected()) << GetParam().name << " cannot be reached: " << store.error();
  ledger_conformance::RunAll(store);
  store.Empty();
}

INSTANTIATE_TEST_SUITE_P(
    Engines, DatabaseLedgerTest,
    ::testing::Values(EngineCase{"PostgreSQL", "VELKORO_TEST_ODBC", Engine::kPostgreSql},
                      EngineCase{"MariaDB", "VELKORO_TEST_ODBC_MARIADB", Engine::kMariaDb},
                      EngineCase{"SQLite", "VELKORO_TEST_ODBC_SQLITE", Engine::kSqlite}),
    [](const ::testing::TestParamInfo<EngineCase>& info) { return std::string(info.param.name); });

}  // namespace
