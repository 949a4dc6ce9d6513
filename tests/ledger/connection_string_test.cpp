// The connection string as messages show it: every spelling of a password
// masked, braces and all, nothing else changed, and the server named; and
// which --log values name the database.
#include "ledger/connection_string.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ledger/log_target.h"

namespace {

struct MaskCase {
  const char* connection;
  const char* masked;
};

class MaskConnectionSecretTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskConnectionSecretTest, MasksEveryPasswordAndKeepsTheRest) {
  EXPECT_EQ(MaskConnectionSecret(GetParam().connection), GetParam().masked);
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, MaskConnectionSecretTest,
    ::testing::Values(
        MaskCase{"Driver={PostgreSQL Unicode};Server=db;Uid=line;Pwd=s3cret;Port=5432",
                 "Driver={PostgreSQL Unicode};Server=db;Uid=line;Pwd=***;Port=5432"},
        MaskCase{"Server=db;PASSWORD=s3cret", "Server=db;PASSWORD=***"},
        MaskCase{"Server=db; password = s3cret ;Uid=u", "Server=db; password = ***;Uid=u"},
        // A braced value may hold the separator and a doubled closing brace.
        MaskCase{"Pwd={a;b}}c};Uid=u", "Pwd=***;Uid=u"},
        // Without its closing brace the value runs to the end.
        MaskCase{"Uid=u;Pwd={a;Server=x", "Uid=u;Pwd=***"},
        MaskCase{"Pwd=one;Password={two}", "Pwd=***;Password=***"}, MaskCase{"Pwd=", "Pwd=***"},
        // Keys that merely contain the word are not passwords.
        MaskCase{"PwdHint=x;Server=db", "PwdHint=x;Server=db"},
        MaskCase{"DSN=line3", "DSN=line3"}));

TEST(HideConnectionSecretInTest, RemovesThePasswordWhereverADriverQuotesIt) {
  EXPECT_EQ(HideConnectionSecretIn("login s3cret failed (s3cret)", "Uid=u;Pwd={s3cret}"),
            "login *** failed (***)");
  EXPECT_EQ(HideConnectionSecretIn("no password here", "Uid=u;Pwd="), "no password here");
}

struct ServerCase {
  const char* connection;
  const char* server;
};

class ServerOfTest : public ::testing::TestWithParam<ServerCase> {};

TEST_P(ServerOfTest, NamesWhereTheDatabaseIs) {
  EXPECT_EQ(ServerOf(GetParam().connection), GetParam().server);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ServerOfTest,
    ::testing::Values(ServerCase{"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=55432;Pwd=x",
                                 "127.0.0.1:55432"},
                      ServerCase{"host=db.line3;pwd=x", "db.line3"},
                      ServerCase{"Server={tcp:db,1433};Pwd={x;y}", "tcp:db,1433"},
                      ServerCase{"DSN=line3;Pwd=x", "data source line3"},
                      ServerCase{"Driver=SQLite3;Database=C:\\line\\pool.db",
                                 "database C:\\line\\pool.db"},
                      // A password is never taken for the server, whatever it holds.
                      ServerCase{"Pwd={Server=evil};Uid=u", "the connection string's database"}));

TEST(LogTargetTest, AStoreFailureNamesNoPassword) {
  struct Case {
    const char* value;
    const char* error;
    const char* text;
  };
  const Case cases[] = {
      {" ODBC:Driver={X};Pwd=Secret9", "login Secret9 refused", "login *** refused"},
      {"line3.csv", "held", "line3.csv (held)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StoreFailureText(ParseLogTarget(std::string(c.value)), c.error), c.text) << c.value;
  }
}

}  // namespace

// What a log value names: the database whatever the prefix's case and the
// blanks around it, a refused connection string without it, a file
// otherwise; and what a message may show of it.
TEST(LogTargetTest, DatabaseOrFile) {
  struct Case {
    std::string value;
    LogKind kind;
    std::string connection;
    std::string shown;
  };
  constexpr LogKind kFile = LogKind::kFile, kDatabase = LogKind::kDatabase,
                    kUnmarked = LogKind::kUnmarkedConnection;
  const Case cases[] = {
      {"odbc:DSN=line3", kDatabase, "DSN=line3", "odbc:DSN=line3"},
      {"ODBC:Driver={X};Pwd=a", kDatabase, "Driver={X};Pwd=a", "odbc:Driver={X};Pwd=***"},
      {"Odbc:x", kDatabase, "x", "odbc:x"},
      {" \todbc:DSN=a", kDatabase, "DSN=a", "odbc:DSN=a"},
      {" Odbc: DSN=a;PWD={s;t} \t", kDatabase, "DSN=a;PWD={s;t}", "odbc:DSN=a;PWD=***"},
      {"odbc:", kDatabase, "", "odbc:"},
      {"odbc;DSN=a;Pwd=Secret9", kUnmarked, "odbc;DSN=a;Pwd=Secret9",
       "a connection string without odbc:"},
      {"Driver={PostgreSQL Unicode};Server=db;Pwd=Secret9", kUnmarked,
       "Driver={PostgreSQL Unicode};Server=db;Pwd=Secret9", "a connection string without odbc:"},
      {"\\\\pc\\share\\pWd=Secret9.csv", kUnmarked, "\\\\pc\\share\\pWd=Secret9.csv",
       "a connection string without odbc:"},
      {"line3.csv", kFile, "line3.csv", "line3.csv"},
      {"C:\\logs\\odbc:x.csv", kFile, "C:\\logs\\odbc:x.csv", "C:\\logs\\odbc:x.csv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const LogTarget target = ParseLogTarget(c.value);
    EXPECT_EQ(target.kind, c.kind);
    EXPECT_EQ(target.connection, c.connection);
    EXPECT_EQ(target.shown, c.shown);
    EXPECT_EQ(target.shown.find("Secret9"), std::string::npos);
  }
}
