// ODBC through odbc32.dll with the wide calls, so text reaches every driver
// as UTF-16 whatever the system's code page. Every handle is freed where its
// owner ends: statements before their connection, the connection before its
// environment.
#include "ledger/odbc_statement.h"

// clang-format off
#include <windows.h>
#include <sql.h>
#include <sqlext.h>
// clang-format on

#include <cstdint>

namespace {

// Diagnostic records read into one message.
constexpr SQLSMALLINT kMostDiagnostics = 3;
constexpr SQLSMALLINT kDiagnosticChars = 1024;
// SQLite's native error for a constraint its driver reports as HY000.
constexpr long kSqliteConstraint = 19;

std::u16string Utf16(const std::string& utf8) {
  if (utf8.empty()) return std::u16string();
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::u16string wide(static_cast<size_t>(length), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, reinterpret_cast<wchar_t*>(wide.data()),
                      length);
  return wide;
}

std::string Utf8(const char16_t* wide, size_t units) {
  if (units == 0) return std::string();
  const wchar_t* data = reinterpret_cast<const wchar_t*>(wide);
  const int size = static_cast<int>(units);
  const int length = WideCharToMultiByte(CP_UTF8, 0, data, size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, data, size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

// The driver's diagnostic records as one line: "[SQLSTATE] text; ...".
OdbcDiagnostic Diagnose(SQLSMALLINT type, SQLHANDLE handle) {
  OdbcDiagnostic diagnostic;
  for (SQLSMALLINT record = 1; record <= kMostDiagnostics; ++record) {
    SQLWCHAR state[6] = {};
    SQLWCHAR message[kDiagnosticChars] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (handle == SQL_NULL_HANDLE ||
        !SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, record, state, &native, message,
                                      kDiagnosticChars, &length))) {
      break;
    }
    const std::string code = Utf8(reinterpret_cast<char16_t*>(state), 5);
    if (record == 1) {
      diagnostic.state = code;
      diagnostic.native = native;
    }
    // One line: the driver's line breaks and tabs become single spaces.
    std::string line;
    const auto* text = reinterpret_cast<char16_t*>(message);
    size_t units = 0;
    while (units < static_cast<size_t>(kDiagnosticChars) - 1 && text[units] != 0) ++units;
    for (char c : Utf8(text, units)) {
      if (static_cast<unsigned char>(c) > ' ') {
        line += c;
      } else if (!line.empty() && line.back() != ' ') {
        line += ' ';
      }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (!diagnostic.text.empty()) diagnostic.text += "; ";
    diagnostic.text += "[" + code + "] " + line;
  }
  if (diagnostic.text.empty()) diagnostic.text = "no diagnostic from the driver";
  return diagnostic;
}

}  // namespace

bool KeyRefused(const OdbcDiagnostic& diagnostic) {
  return diagnostic.state.rfind("23", 0) == 0 ||
         (diagnostic.state == "HY000" && diagnostic.native == kSqliteConstraint);
}

bool ConnectionLost(const OdbcDiagnostic& diagnostic) {
  return diagnostic.state.rfind("08", 0) == 0;
}

bool TimedOut(const OdbcDiagnostic& diagnostic) {
  return diagnostic.state == "HYT00" || diagnostic.state == "HYT01";
}

std::string DescribeOdbcFailure(const OdbcDiagnostic& diagnostic, bool connected) {
  std::string what = "a statement was refused";
  if (ConnectionLost(diagnostic)) what = "the connection failed or was lost";
  if (TimedOut(diagnostic)) what = "no answer in time";
  if (!connected) what = "cannot be reached";
  return what + ": " + diagnostic.text;
}

struct OdbcConnection::Handles {
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  bool connected = false;
  unsigned statementSeconds = 0;
};

OdbcConnection::OdbcConnection() : handles_(std::make_unique<Handles>()) {}

OdbcConnection::~OdbcConnection() {
  Handles& h = *handles_;
  if (h.connected) {
    // A driver refuses to disconnect while a transaction is open.
    Rollback();
    SQLDisconnect(h.connection);
  }
  if (h.connection != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, h.connection);
  if (h.environment != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, h.environment);
}

bool OdbcConnection::Connect(const std::string& connection, unsigned loginSeconds,
                             unsigned statementSeconds, OdbcDiagnostic* failure) {
  Handles& h = *handles_;
  h.statementSeconds = statementSeconds;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.environment))) {
    h.environment = SQL_NULL_HENV;
    failure->text = "the ODBC driver manager cannot be used";
    return false;
  }
  if (!SQL_SUCCEEDED(SQLSetEnvAttr(h.environment, SQL_ATTR_ODBC_VERSION,
                                   reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
      !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, h.environment, &h.connection))) {
    h.connection = SQL_NULL_HDBC;
    *failure = Diagnose(SQL_HANDLE_ENV, h.environment);
    return false;
  }
  std::u16string text = Utf16(connection);
  if (!SQL_SUCCEEDED(SQLSetConnectAttrW(h.connection, SQL_ATTR_LOGIN_TIMEOUT,
                                        reinterpret_cast<SQLPOINTER>(uintptr_t{loginSeconds}),
                                        0)) ||
      !SQL_SUCCEEDED(SQLDriverConnectW(h.connection, nullptr,
                                       reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS, nullptr,
                                       0, nullptr, SQL_DRIVER_NOPROMPT))) {
    *failure = Diagnose(SQL_HANDLE_DBC, h.connection);
    return false;
  }
  h.connected = true;
  if (!SQL_SUCCEEDED(SQLSetConnectAttrW(h.connection, SQL_ATTR_AUTOCOMMIT,
                                        reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
    *failure = Diagnose(SQL_HANDLE_DBC, h.connection);
    return false;
  }
  return true;
}

bool OdbcConnection::connected() const {
  return handles_->connected;
}

unsigned OdbcConnection::statementSeconds() const {
  return handles_->statementSeconds;
}

bool OdbcConnection::Commit(OdbcDiagnostic* failure) {
  if (SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, handles_->connection, SQL_COMMIT))) return true;
  *failure = Diagnose(SQL_HANDLE_DBC, handles_->connection);
  Rollback();
  return false;
}

void OdbcConnection::Rollback() {
  if (handles_->connected) SQLEndTran(SQL_HANDLE_DBC, handles_->connection, SQL_ROLLBACK);
}

struct OdbcStatement::State {
  struct Parameter {
    std::u16string text;
    size_t width = 0;
    bool integer = false;
    SQLINTEGER number = 0;
    SQLLEN indicator = 0;
  };
  SQLHSTMT handle = SQL_NULL_HSTMT;
  std::vector<Parameter> parameters;

  bool Failed(OdbcDiagnostic* failure) const {
    *failure = Diagnose(SQL_HANDLE_STMT, handle);
    return false;
  }
};

OdbcStatement::OdbcStatement() : state_(std::make_unique<State>()) {}

OdbcStatement::~OdbcStatement() {
  if (state_->handle != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, state_->handle);
}

bool OdbcStatement::Prepare(OdbcConnection& connection, const char16_t* sql,
                            OdbcDiagnostic* failure) {
  const SQLHDBC dbc = connection.handles().connection;
  if (state_->handle != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, state_->handle);
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &state_->handle))) {
    state_->handle = SQL_NULL_HSTMT;
    *failure = Diagnose(SQL_HANDLE_DBC, dbc);
    return false;
  }
  // Not every driver caps statements; those that do not keep their own.
  SQLSetStmtAttrW(state_->handle, SQL_ATTR_QUERY_TIMEOUT,
                  reinterpret_cast<SQLPOINTER>(uintptr_t{connection.statementSeconds()}), 0);
  if (!SQL_SUCCEEDED(SQLPrepareW(state_->handle,
                                 reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(sql)), SQL_NTS)))
    return state_->Failed(failure);
  return true;
}

void OdbcStatement::Text(const std::string& utf8, size_t mostChars) {
  State::Parameter parameter;
  parameter.text = Utf16(utf8);
  if (parameter.text.size() > mostChars) {
    size_t keep = mostChars;
    if (keep > 0 && parameter.text[keep - 1] >= 0xD800 && parameter.text[keep - 1] <= 0xDBFF)
      --keep;
    parameter.text.resize(keep);
  }
  parameter.width = mostChars;
  parameter.indicator = static_cast<SQLLEN>(parameter.text.size() * sizeof(char16_t));
  state_->parameters.push_back(std::move(parameter));
}

void OdbcStatement::OptionalText(const std::optional<std::string>& utf8, size_t mostChars) {
  if (utf8) return Text(*utf8, mostChars);
  State::Parameter parameter;
  parameter.width = mostChars;
  parameter.indicator = SQL_NULL_DATA;
  state_->parameters.push_back(std::move(parameter));
}

void OdbcStatement::Integer(std::optional<int> value) {
  State::Parameter parameter;
  parameter.integer = true;
  parameter.number = value.value_or(0);
  parameter.indicator = value ? 0 : SQL_NULL_DATA;
  state_->parameters.push_back(std::move(parameter));
}

bool OdbcStatement::Run(OdbcDiagnostic* failure) {
  State& s = *state_;
  SQLFreeStmt(s.handle, SQL_CLOSE);
  SQLRETURN status = SQL_SUCCESS;
  for (size_t i = 0; i < s.parameters.size() && SQL_SUCCEEDED(status); ++i) {
    State::Parameter& p = s.parameters[i];
    const auto number = static_cast<SQLUSMALLINT>(i + 1);
    if (p.integer) {
      status = SQLBindParameter(s.handle, number, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                &p.number, 0, &p.indicator);
    } else {
      status = SQLBindParameter(
          s.handle, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, p.width, 0, p.text.data(),
          static_cast<SQLLEN>(p.text.size() * sizeof(char16_t)), &p.indicator);
    }
  }
  if (SQL_SUCCEEDED(status)) status = SQLExecute(s.handle);
  // The bound buffers live until the statement has run.
  s.parameters.clear();
  if (status == SQL_NO_DATA || SQL_SUCCEEDED(status)) return true;
  return s.Failed(failure);
}

OdbcStatement::Fetched OdbcStatement::Fetch(OdbcDiagnostic* failure) {
  const SQLRETURN status = SQLFetch(state_->handle);
  if (status == SQL_NO_DATA) return Fetched::kEnd;
  if (SQL_SUCCEEDED(status)) return Fetched::kRow;
  state_->Failed(failure);
  return Fetched::kFailed;
}

bool OdbcStatement::Cell(unsigned column, std::optional<std::string>* value,
                         OdbcDiagnostic* failure) {
  SQLWCHAR buffer[kMostCellChars + 1] = {};
  SQLLEN length = 0;
  if (!SQL_SUCCEEDED(SQLGetData(state_->handle, static_cast<SQLUSMALLINT>(column), SQL_C_WCHAR,
                                buffer, sizeof buffer, &length)))
    return state_->Failed(failure);
  if (length == SQL_NULL_DATA) {
    value->reset();
    return true;
  }
  const auto* text = reinterpret_cast<char16_t*>(buffer);
  size_t units = 0;
  while (units < kMostCellChars && text[units] != 0) ++units;
  *value = Utf8(text, units);
  return true;
}

bool OdbcStatement::Cell(unsigned column, std::string* value, OdbcDiagnostic* failure) {
  std::optional<std::string> cell;
  if (!Cell(column, &cell, failure)) return false;
  *value = cell.value_or("");
  return true;
}

bool OdbcStatement::Cell(unsigned column, std::optional<int>* value, OdbcDiagnostic* failure) {
  SQLINTEGER number = 0;
  SQLLEN length = 0;
  if (!SQL_SUCCEEDED(SQLGetData(state_->handle, static_cast<SQLUSMALLINT>(column), SQL_C_SLONG,
                                &number, 0, &length)))
    return state_->Failed(failure);
  if (length == SQL_NULL_DATA) {
    value->reset();
  } else {
    *value = static_cast<int>(number);
  }
  return true;
}

bool OdbcStatement::EachRow(const std::function<bool(OdbcDiagnostic*)>& take,
                            OdbcDiagnostic* failure) {
  if (!Run(failure)) return false;
  for (;;) {
    const Fetched fetched = Fetch(failure);
    if (fetched == Fetched::kEnd) break;
    if (fetched == Fetched::kFailed || !take(failure)) return false;
  }
  Close();
  return true;
}

bool OdbcStatement::RowCount(long long* rows, OdbcDiagnostic* failure) {
  SQLLEN count = 0;
  if (!SQL_SUCCEEDED(SQLRowCount(state_->handle, &count))) return state_->Failed(failure);
  *rows = count;
  return true;
}

void OdbcStatement::Close() {
  SQLFreeStmt(state_->handle, SQL_CLOSE);
}

namespace {

bool Runs(OdbcConnection& connection, const char16_t* sql, OdbcDiagnostic* failure) {
  OdbcStatement statement;
  if (statement.Prepare(connection, sql, failure) && statement.Run(failure)) {
    statement.Close();
    return connection.Commit(failure);
  }
  connection.Rollback();
  return false;
}

}  // namespace

bool EnsureThere(OdbcConnection& connection, const char16_t* probe, const char16_t* make,
                 OdbcDiagnostic* failure) {
  OdbcDiagnostic absent;
  if (Runs(connection, probe, &absent) || Runs(connection, make, failure)) return true;
  OdbcDiagnostic after;
  return Runs(connection, probe, &after);
}
