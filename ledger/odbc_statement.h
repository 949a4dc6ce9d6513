// One connection to a database through ODBC (odbc32.dll) and its prepared
// statements with bound parameters, for any reader or writer of the line's
// database: UTF-8 text in and out, SQL NULL as an empty optional, and what the
// driver says when a call fails (its SQLSTATE, native error and text on one
// line). The connection runs with autocommit off: its user commits each unit
// of work. Windows only; the header keeps ODBC's own headers to itself.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the driver said about a failed call.
struct OdbcDiagnostic {
  std::string state;  // the first record's SQLSTATE, such as 23505 or 08S01
  long native = 0;    // the first record's native error (1062 MariaDB, 19 SQLite)
  std::string text;   // "[SQLSTATE] text; ..." on one line
};

// A second insert of a key: SQLSTATE class 23 (PostgreSQL, MariaDB, SQL
// Server), or HY000 with SQLite's native 19 (constraint), which its driver
// gives instead. Only a hint: the caller confirms it by reading the row.
bool KeyRefused(const OdbcDiagnostic& diagnostic);
// The connection failed or was lost (class 08), or a call ran out of time.
bool ConnectionLost(const OdbcDiagnostic& diagnostic);
bool TimedOut(const OdbcDiagnostic& diagnostic);
// What went wrong in words, then the driver's text: "cannot be reached: ...",
// "the connection failed or was lost: ...", "no answer in time: ..." or "a
// statement was refused: ...". The caller hides the connection's password.
std::string DescribeOdbcFailure(const OdbcDiagnostic& diagnostic, bool connected);

class OdbcConnection {
 public:
  OdbcConnection();
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Connects without prompting, with login and statement time-outs in
  // seconds, and turns autocommit off.
  bool Connect(const std::string& connection, unsigned loginSeconds, unsigned statementSeconds,
               OdbcDiagnostic* failure);
  bool connected() const;
  unsigned statementSeconds() const;
  bool Commit(OdbcDiagnostic* failure);
  // After a failure; a rollback that fails leaves nothing committed either.
  void Rollback();

  struct Handles;
  Handles& handles() { return *handles_; }

 private:
  std::unique_ptr<Handles> handles_;
};

class OdbcStatement {
 public:
  OdbcStatement();
  ~OdbcStatement();
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;

  // One statement of the connection, kept for as many runs as its user
  // likes; must not outlive the connection.
  bool Prepare(OdbcConnection& connection, const char16_t* sql, OdbcDiagnostic* failure);

  // The next run's parameters, in order. Text longer than mostChars UTF-16
  // units is cut to fit (never inside a surrogate pair).
  void Text(const std::string& utf8, size_t mostChars);
  void OptionalText(const std::optional<std::string>& utf8, size_t mostChars);
  void Integer(std::optional<int> value);

  // Binds what was given since the last run, runs the statement and forgets
  // the parameters. An UPDATE or DELETE that meets no row succeeds.
  bool Run(OdbcDiagnostic* failure);
  enum class Fetched { kRow, kEnd, kFailed };
  Fetched Fetch(OdbcDiagnostic* failure);
  // A column of the fetched row (from 1); a text of up to kMostCellChars.
  bool Cell(unsigned column, std::optional<std::string>* value, OdbcDiagnostic* failure);
  bool Cell(unsigned column, std::string* value, OdbcDiagnostic* failure);
  bool Cell(unsigned column, std::optional<int>* value, OdbcDiagnostic* failure);
  // Runs the statement and hands each row to `take`, which reads its cells
  // (false when one fails, *failure saying why); closes after the last row.
  bool EachRow(const std::function<bool(OdbcDiagnostic*)>& take, OdbcDiagnostic* failure);
  // Rows the last UPDATE, DELETE or INSERT met.
  bool RowCount(long long* rows, OdbcDiagnostic* failure);
  // Ends reading the rows of the last run.
  void Close();

  static constexpr size_t kMostCellChars = 1000;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// What `probe` reads is there when it runs; else `make` makes it (a table, a
// column), and a `make` that fails because another program made it meanwhile
// is fine. Each step is committed or undone.
bool EnsureThere(OdbcConnection& connection, const char16_t* probe, const char16_t* make,
                 OdbcDiagnostic* failure);
