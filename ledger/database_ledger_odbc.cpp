// The database store: one connection with autocommit off, its statements
// prepared once with bound parameters, and each unit of work (a claim, a
// settlement, a record) committed whole before the call returns, so a claim
// is durable before the probe is touched. The tables hold only VARCHAR and
// INTEGER columns and a primary key, which PostgreSQL, SQL Server and SQLite
// all take. A failure leaves the pool as it was (a standing claim counts as
// spent) and is reported with the server's name and the driver's SQLSTATE,
// never the password.
#include "ledger/database_ledger_odbc.h"

// clang-format off
#include <windows.h>
#include <sql.h>
#include <sqlext.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#include "ledger/connection_string.h"
#include "serial/count_up.h"

namespace {

// Caps on the waits for the server: logging in, and any one statement.
constexpr SQLULEN kLoginTimeoutSeconds = 15;
constexpr SQLULEN kStatementTimeoutSeconds = 30;
// An exact number whose row comes and goes (another station claiming and
// freeing it) is tried this often before the claim gives up.
constexpr int kClaimTries = 8;
// Diagnostic records read into one message.
constexpr SQLSMALLINT kMostDiagnostics = 3;
constexpr SQLSMALLINT kDiagnosticChars = 1024;
// What one text column of a row may hold (the widest column, plus its end).
constexpr SQLLEN kCellChars = 1001;

// The widths of the columns below; a longer text is cut to fit.
constexpr size_t kSerialChars = 64;
constexpr size_t kStateChars = 16;
constexpr size_t kStationChars = 128;
constexpr size_t kTokenChars = 160;
constexpr size_t kTimeChars = 32;
constexpr size_t kShortChars = 32;
constexpr size_t kLongChars = 1000;
constexpr size_t kCrcChars = 8;
constexpr size_t kSecondsChars = 16;

constexpr char16_t kPoolProbe[] = u"SELECT serial FROM velkoro_pool WHERE 1=0";
constexpr char16_t kPoolCreate[] =
    u"CREATE TABLE velkoro_pool (serial VARCHAR(64) NOT NULL PRIMARY KEY, "
    u"state VARCHAR(16) NOT NULL, station VARCHAR(128) NOT NULL, "
    u"claim_token VARCHAR(160) NOT NULL, claimed_utc VARCHAR(32) NOT NULL, "
    u"time_utc VARCHAR(32) NOT NULL, result INTEGER, message VARCHAR(1000))";
constexpr char16_t kRecordsProbe[] = u"SELECT result FROM velkoro_records WHERE 1=0";
constexpr char16_t kRecordsCreate[] =
    u"CREATE TABLE velkoro_records (time_utc VARCHAR(32), station VARCHAR(128), "
    u"tool_version VARCHAR(32), command VARCHAR(32), probe INTEGER, "
    u"firmware_before VARCHAR(32), serial VARCHAR(64), file_name VARCHAR(1000), "
    u"image_crc32 VARCHAR(8), result INTEGER NOT NULL, message VARCHAR(1000), "
    u"seconds VARCHAR(16), pool VARCHAR(16), firmware_after VARCHAR(32))";

constexpr char16_t kClaimSql[] =
    u"INSERT INTO velkoro_pool (serial, state, station, claim_token, claimed_utc, time_utc) "
    u"VALUES (?, ?, ?, ?, ?, ?)";
constexpr char16_t kStateSql[] = u"SELECT state FROM velkoro_pool WHERE serial = ?";
constexpr char16_t kAscendingSql[] =
    u"SELECT serial FROM velkoro_pool WHERE serial >= ? AND serial <= ? ORDER BY serial";
constexpr char16_t kDescendingSql[] =
    u"SELECT serial FROM velkoro_pool WHERE serial >= ? AND serial <= ? ORDER BY serial DESC";
constexpr char16_t kSettleSql[] =
    u"UPDATE velkoro_pool SET state = ?, time_utc = ?, result = ?, message = ? "
    u"WHERE serial = ? AND claim_token = ? AND state = ?";
constexpr char16_t kReleaseSql[] =
    u"DELETE FROM velkoro_pool WHERE serial = ? AND claim_token = ? AND state = ?";
constexpr char16_t kRecordSql[] =
    u"INSERT INTO velkoro_records (time_utc, station, tool_version, command, probe, "
    u"firmware_before, serial, file_name, image_crc32, result, message, seconds, pool, "
    u"firmware_after) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr char16_t kPoolRowsSql[] =
    u"SELECT serial, state, station, claimed_utc, time_utc, result, message FROM velkoro_pool";
// Every record, in the order of its time (ISO 8601 text sorts so).
constexpr char16_t kRecordRowsSql[] =
    u"SELECT time_utc, station, tool_version, command, probe, firmware_before, serial, "
    u"file_name, image_crc32, result, message, seconds, pool, firmware_after "
    u"FROM velkoro_records ORDER BY time_utc";
constexpr char16_t kFreedRowsSql[] =
    u"SELECT serial, station, time_utc, result, message FROM velkoro_records WHERE pool = ?";

// The words the tables use for a number's state, and for a record's pool
// event as the log writes them.
constexpr char kClaimedWord[] = "claimed";
constexpr char kWrittenWord[] = "written";
constexpr char kSpentWord[] = "spent";
constexpr char kFreedWord[] = "free";

std::u16string Utf16(const std::string& utf8) {
  if (utf8.empty()) return std::u16string();
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::u16string wide(static_cast<size_t>(length), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                      reinterpret_cast<wchar_t*>(wide.data()), length);
  return wide;
}

std::string Utf8(const std::u16string& wide) {
  if (wide.empty()) return std::string();
  const wchar_t* data = reinterpret_cast<const wchar_t*>(wide.data());
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, data, size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, data, size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

SQLWCHAR* Sql(const char16_t* text) {
  return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text));
}

// The driver's diagnostic records as one line: "[SQLSTATE] text; ...".
std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle, std::string* firstState) {
  std::string text;
  for (SQLSMALLINT record = 1; record <= kMostDiagnostics; ++record) {
    SQLWCHAR state[6] = {};
    SQLWCHAR message[kDiagnosticChars] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, record, state, &native, message,
                                      kDiagnosticChars, &length))) {
      break;
    }
    const std::string code = Utf8(std::u16string(reinterpret_cast<char16_t*>(state), 5));
    if (record == 1 && firstState != nullptr) *firstState = code;
    // One line: the driver's line breaks and tabs become single spaces.
    std::string line;
    for (char c : Utf8(reinterpret_cast<char16_t*>(message))) {
      const bool space = static_cast<unsigned char>(c) <= ' ';
      if (!space) {
        line += c;
      } else if (!line.empty() && line.back() != ' ') {
        line += ' ';
      }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (!text.empty()) text += "; ";
    text += "[" + code + "] " + line;
  }
  return text.empty() ? "no diagnostic from the driver" : text;
}

// The first row that fits the numbers of `serial`'s series: the same text
// before its trailing digits, and as many digits.
struct Series {
  std::string prefix;
  size_t digits = 0;

  explicit Series(const std::string& serial) {
    size_t at = serial.size();
    while (at > 0 && serial[at - 1] >= '0' && serial[at - 1] <= '9') --at;
    prefix = serial.substr(0, at);
    digits = serial.size() - at;
  }
  std::string Lowest() const { return prefix + std::string(digits, '0'); }
  std::string Highest() const { return prefix + std::string(digits, '9'); }
  // Within one series, text order is numeric order.
  bool Holds(const std::string& serial) const {
    if (serial.size() != prefix.size() + digits || serial.compare(0, prefix.size(), prefix) != 0)
      return false;
    return std::all_of(serial.begin() + static_cast<long>(prefix.size()), serial.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
  }
};

std::string CountUp(const std::string& serial) {
  return Utf8(CountUpSerialNo(Utf16(serial)));
}

std::optional<SerialState> StateOfWord(const std::string& word) {
  if (word == kClaimedWord) return SerialState::kClaimed;
  if (word == kWrittenWord) return SerialState::kWritten;
  if (word == kSpentWord) return SerialState::kSpent;
  return std::nullopt;
}

class Statement {
 public:
  Statement() = default;
  ~Statement() {
    if (handle_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Prepare(SQLHDBC connection, const char16_t* sql, std::string* failure, std::string* state) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle_))) {
      *failure = Diagnostic(SQL_HANDLE_DBC, connection, state);
      handle_ = SQL_NULL_HSTMT;
      return false;
    }
    // Not every driver caps statements; those that do not keep their own.
    SQLSetStmtAttrW(handle_, SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(kStatementTimeoutSeconds), 0);
    if (!SQL_SUCCEEDED(SQLPrepareW(handle_, Sql(sql), SQL_NTS))) {
      *failure = Diagnostic(SQL_HANDLE_STMT, handle_, state);
      return false;
    }
    return true;
  }

  void Text(const std::string& utf8, size_t mostChars) {
    Parameter parameter;
    parameter.text = Utf16(utf8);
    if (parameter.text.size() > mostChars) {
      size_t keep = mostChars;
      // Never half a surrogate pair.
      if (keep > 0 && parameter.text[keep - 1] >= 0xD800 && parameter.text[keep - 1] <= 0xDBFF)
        --keep;
      parameter.text.resize(keep);
    }
    parameter.width = mostChars;
    parameter.indicator = static_cast<SQLLEN>(parameter.text.size() * sizeof(char16_t));
    parameters_.push_back(std::move(parameter));
  }
  void OptionalText(const std::optional<std::string>& utf8, size_t mostChars) {
    if (utf8) {
      Text(*utf8, mostChars);
      return;
    }
    Parameter parameter;
    parameter.width = mostChars;
    parameter.indicator = SQL_NULL_DATA;
    parameters_.push_back(std::move(parameter));
  }
  void Integer(std::optional<int> value) {
    Parameter parameter;
    parameter.integer = true;
    parameter.number = value.value_or(0);
    parameter.indicator = value ? 0 : SQL_NULL_DATA;
    parameters_.push_back(std::move(parameter));
  }

  // Binds what was given since the last run, runs the statement and forgets
  // the parameters. An UPDATE or DELETE that meets no row succeeds.
  SQLRETURN Run() {
    SQLFreeStmt(handle_, SQL_CLOSE);
    SQLRETURN status = SQL_SUCCESS;
    for (size_t i = 0; i < parameters_.size() && SQL_SUCCEEDED(status); ++i) {
      Parameter& p = parameters_[i];
      const SQLUSMALLINT number = static_cast<SQLUSMALLINT>(i + 1);
      if (p.integer) {
        status = SQLBindParameter(handle_, number, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                  &p.number, 0, &p.indicator);
      } else {
        status = SQLBindParameter(
            handle_, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, p.width, 0, p.text.data(),
            static_cast<SQLLEN>(p.text.size() * sizeof(char16_t)), &p.indicator);
      }
    }
    if (SQL_SUCCEEDED(status)) status = SQLExecute(handle_);
    parameters_.clear();
    return status == SQL_NO_DATA ? SQL_SUCCESS : status;
  }

  // SQL_SUCCESS (a row), SQL_NO_DATA (no more) or a failure.
  SQLRETURN Fetch() { return SQLFetch(handle_); }
  void Close() { SQLFreeStmt(handle_, SQL_CLOSE); }

  bool Cell(SQLUSMALLINT column, std::optional<std::string>* value) {
    SQLWCHAR buffer[kCellChars] = {};
    SQLLEN length = 0;
    if (!SQL_SUCCEEDED(SQLGetData(handle_, column, SQL_C_WCHAR, buffer, sizeof buffer, &length)))
      return false;
    if (length == SQL_NULL_DATA) {
      value->reset();
    } else {
      *value = Utf8(reinterpret_cast<char16_t*>(buffer));
    }
    return true;
  }
  bool Cell(SQLUSMALLINT column, std::string* value) {
    std::optional<std::string> cell;
    if (!Cell(column, &cell)) return false;
    *value = cell.value_or("");
    return true;
  }
  bool Cell(SQLUSMALLINT column, std::optional<int>* value) {
    SQLINTEGER number = 0;
    SQLLEN length = 0;
    if (!SQL_SUCCEEDED(SQLGetData(handle_, column, SQL_C_SLONG, &number, 0, &length))) return false;
    if (length == SQL_NULL_DATA) {
      value->reset();
    } else {
      *value = static_cast<int>(number);
    }
    return true;
  }

  bool RowCount(SQLLEN* rows) { return SQL_SUCCEEDED(SQLRowCount(handle_, rows)); }

  SQLHSTMT handle() const { return handle_; }

 private:
  struct Parameter {
    std::u16string text;
    size_t width = 0;
    bool integer = false;
    SQLINTEGER number = 0;
    SQLLEN indicator = 0;
  };

  SQLHSTMT handle_ = SQL_NULL_HSTMT;
  std::vector<Parameter> parameters_;
};

// A block of velkoro_records' rows as kRecordRowsSql selects them, bound
// column by column.
class RecordBlock {
 public:
  bool Bind(SQLHSTMT statement) {
    SQLSetStmtAttrW(statement, SQL_ATTR_ROW_BIND_TYPE, SQL_BIND_BY_COLUMN, 0);
    // A driver without blocks of rows fetches one at a time into the first.
    SQLSetStmtAttrW(statement, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kRows), 0);
    SQLSetStmtAttrW(statement, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0);
    for (size_t c = 0; c < kColumns; ++c) {
      lengths_[c].assign(kRows, SQL_NULL_DATA);
      const SQLUSMALLINT column = static_cast<SQLUSMALLINT>(c + 1);
      SQLRETURN bound;
      if (kWidths[c] == 0) {
        numbers_[c].assign(kRows, 0);
        bound =
            SQLBindCol(statement, column, SQL_C_SLONG, numbers_[c].data(), 0, lengths_[c].data());
      } else {
        texts_[c].assign((kWidths[c] + 1) * kRows, 0);
        bound = SQLBindCol(statement, column, SQL_C_WCHAR, texts_[c].data(),
                           static_cast<SQLLEN>((kWidths[c] + 1) * sizeof(SQLWCHAR)),
                           lengths_[c].data());
      }
      if (!SQL_SUCCEEDED(bound)) return false;
    }
    return true;
  }
  SQLULEN fetched() const { return fetched_; }
  void Take(SQLULEN i, LogRow* row) const {
    std::string* texts[] = {
        &row->timeUtc,        &row->station, &row->toolVersion, &row->command,      nullptr,
        &row->firmwareBefore, &row->serial,  &row->file,        &row->imageCrc32,   nullptr,
        &row->message,        &row->seconds, &row->pool,        &row->firmwareAfter};
    for (size_t c = 0; c < kColumns; ++c) {
      const SQLLEN length = lengths_[c][i];
      if (kWidths[c] == 0) {
        std::optional<int>& number = c == kProbeColumn ? row->probe : row->result;
        number.reset();
        if (length != SQL_NULL_DATA) number = static_cast<int>(numbers_[c][i]);
      } else if (length == SQL_NULL_DATA || length < 0) {
        texts[c]->clear();
      } else {
        const SQLWCHAR* text = texts_[c].data() + (kWidths[c] + 1) * i;
        const size_t chars = std::min(static_cast<size_t>(length) / sizeof(SQLWCHAR), kWidths[c]);
        *texts[c] = Utf8(std::u16string(reinterpret_cast<const char16_t*>(text), chars));
      }
    }
  }

 private:
  static constexpr SQLULEN kRows = 256;
  static constexpr size_t kColumns = 14;
  static constexpr size_t kProbeColumn = 4;
  // The columns' widths in characters as the table declares them; 0: INTEGER.
  static constexpr size_t kWidths[kColumns] = {
      kTimeChars,  kStationChars, kShortChars, kShortChars, 0,
      kShortChars, kSerialChars,  kLongChars,  kCrcChars,   0,
      kLongChars,  kSecondsChars, kStateChars, kShortChars};
  std::vector<SQLWCHAR> texts_[kColumns];
  std::vector<SQLINTEGER> numbers_[kColumns];
  std::vector<SQLLEN> lengths_[kColumns];
  SQLULEN fetched_ = 0;
};

class DatabaseLedger : public Ledger {
 public:
  DatabaseLedger(const std::string& connection, const std::string& token)
      : connection_(connection), server_(ServerOf(connection)), token_(token) {}

  ~DatabaseLedger() override {
    // Statements go before their connection, the connection before its
    // environment. Every unit of work was committed where it ended, so what
    // is still open holds nothing; a driver refuses to disconnect while a
    // transaction is open.
    for (std::unique_ptr<Statement>* statement :
         {&claim_, &state_, &ascending_, &descending_, &settle_, &release_, &record_}) {
      statement->reset();
    }
    if (connected_) {
      Rollback();
      SQLDisconnect(connection_handle_);
    }
    if (connection_handle_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, connection_handle_);
    if (environment_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment_);
  }
  DatabaseLedger(const DatabaseLedger&) = delete;
  DatabaseLedger& operator=(const DatabaseLedger&) = delete;

  // forReading: tables missing are an error, never made.
  bool Open(std::string* error, bool forReading = false) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_))) {
      environment_ = SQL_NULL_HENV;
      *error = "cannot be reached: the ODBC driver manager cannot be used";
      return false;
    }
    if (!SQL_SUCCEEDED(SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
        !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, environment_, &connection_handle_))) {
      connection_handle_ = SQL_NULL_HDBC;
      return Failed(SQL_HANDLE_ENV, environment_, error);
    }
    if (!SQL_SUCCEEDED(SQLSetConnectAttrW(connection_handle_, SQL_ATTR_LOGIN_TIMEOUT,
                                          reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0))) {
      return Failed(SQL_HANDLE_DBC, connection_handle_, error);
    }
    const std::u16string text = Utf16(connection_);
    if (!SQL_SUCCEEDED(SQLDriverConnectW(connection_handle_, nullptr, Sql(text.c_str()), SQL_NTS,
                                         nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
      return Failed(SQL_HANDLE_DBC, connection_handle_, error);
    }
    connected_ = true;
    // Each unit of work is committed whole, at its end.
    if (!SQL_SUCCEEDED(SQLSetConnectAttrW(connection_handle_, SQL_ATTR_AUTOCOMMIT,
                                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
      return Failed(SQL_HANDLE_DBC, connection_handle_, error);
    }
    if (forReading) {
      const bool there = Runs(kPoolProbe) && Runs(kRecordsProbe);
      Rollback();
      if (!there) *error = "holds no tables of this program (velkoro_pool, velkoro_records)";
      return there;
    }
    return EnsureTable(kPoolProbe, kPoolCreate, error) &&
           EnsureTable(kRecordsProbe, kRecordsCreate, error) &&
           Prepare(&claim_, kClaimSql, error) && Prepare(&state_, kStateSql, error) &&
           Prepare(&ascending_, kAscendingSql, error) &&
           Prepare(&descending_, kDescendingSql, error) && Prepare(&settle_, kSettleSql, error) &&
           Prepare(&release_, kReleaseSql, error) && Prepare(&record_, kRecordSql, error);
  }

  std::string Where() const override { return "database at " + server_; }

  bool Record(const OperationRecord& record, const LogContext& context,
              std::string* error) override {
    return InsertRecord(record, context, std::nullopt, error) && Commit(error);
  }

  Claim ClaimSerial(const std::string& from, bool countUp, const LogContext& context) override {
    Claim claim;
    std::string serial = from;
    for (int vanished = 0;;) {
      if (countUp) {
        bool exhausted = false;
        if (!SkipHeld(&serial, &exhausted, &claim.error)) return claim;
        if (exhausted) {
          Rollback();
          claim.status = ClaimStatus::kExhausted;
          claim.serial = serial;
          return claim;
        }
      }
      std::string state;
      claim_->Text(serial, kSerialChars);
      claim_->Text(kClaimedWord, kStateChars);
      claim_->Text(context.station, kStationChars);
      claim_->Text(token_, kTokenChars);
      claim_->Text(context.timeUtc, kTimeChars);
      claim_->Text(context.timeUtc, kTimeChars);
      if (SQL_SUCCEEDED(claim_->Run())) {
        if (!Commit(&claim.error)) return claim;
        claim.status = ClaimStatus::kClaimed;
        claim.serial = serial;
        return claim;
      }
      const std::string refusal = Diagnostic(SQL_HANDLE_STMT, claim_->handle(), &state);
      Rollback();
      // A refused key is another claim of the number, when its row is there
      // to prove it; anything else is the database's failure.
      std::optional<SerialState> held;
      if (state.rfind("23", 0) != 0) {
        claim.error = Failure(state, refusal);
        return claim;
      }
      if (!HeldAs(serial, &held, &claim.error)) return claim;
      if (!held) {
        if (++vanished >= kClaimTries) {
          claim.error = Failure(state, refusal);
          return claim;
        }
        continue;
      }
      if (!countUp) {
        claim.status = ClaimStatus::kTaken;
        claim.serial = serial;
        claim.heldAs = *held;
        return claim;
      }
      const std::string next = CountUp(serial);
      if (next == serial) {
        claim.status = ClaimStatus::kExhausted;
        claim.serial = serial;
        return claim;
      }
      serial = next;
    }
  }

  bool Settle(const std::string& serial, Settlement settlement, const OperationRecord& record,
              const LogContext& context, std::string* error) override {
    SQLLEN rows = 0;
    if (settlement == Settlement::kReleased) {
      // The record first: should the release fail, the number stays claimed.
      if (!InsertRecord(record, context, kFreedWord, error)) return false;
      release_->Text(serial, kSerialChars);
      release_->Text(token_, kTokenChars);
      release_->Text(kClaimedWord, kStateChars);
      if (!Ran(*release_, error) || !Rows(*release_, &rows, error)) return false;
    } else {
      const char* word = settlement == Settlement::kWritten ? kWrittenWord : kSpentWord;
      settle_->Text(word, kStateChars);
      settle_->Text(context.timeUtc, kTimeChars);
      settle_->Integer(record.result);
      settle_->Text(record.message, kLongChars);
      settle_->Text(serial, kSerialChars);
      settle_->Text(token_, kTokenChars);
      settle_->Text(kClaimedWord, kStateChars);
      if (!Ran(*settle_, error) || !Rows(*settle_, &rows, error)) return false;
      if (rows == 1 && !InsertRecord(record, context, word, error)) return false;
    }
    if (rows != 1) {
      Rollback();
      *error = "the pool holds no claim of " + serial + " by this station";
      return false;
    }
    return Commit(error);
  }

  bool HighestInSeries(const std::string& like, std::optional<std::string>* highest,
                       std::string* error) override {
    const Series series(like);
    highest->reset();
    descending_->Text(series.Lowest(), kSerialChars);
    descending_->Text(series.Highest(), kSerialChars);
    if (!Ran(*descending_, error)) return false;
    for (;;) {
      std::string serial;
      const SQLRETURN fetched = descending_->Fetch();
      if (fetched == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(fetched) || !descending_->Cell(1, &serial))
        return Failed(SQL_HANDLE_STMT, descending_->handle(), error);
      if (series.Holds(serial)) {
        *highest = serial;
        break;
      }
    }
    descending_->Close();
    return Commit(error);
  }

  bool Entries(std::vector<SerialEntry>* entries, std::string* error) override {
    struct Seen {
      std::string first;
      SerialEntry entry;
    };
    std::map<std::string, Seen> seen;
    Statement pool, freed;
    if (!Prepare(&pool, kPoolRowsSql, error) || !Ran(pool, error)) return false;
    for (;;) {
      const SQLRETURN fetched = pool.Fetch();
      if (fetched == SQL_NO_DATA) break;
      Seen row;
      std::string word;
      if (!SQL_SUCCEEDED(fetched) || !pool.Cell(1, &row.entry.serial) || !pool.Cell(2, &word) ||
          !pool.Cell(3, &row.entry.station) || !pool.Cell(4, &row.first) ||
          !pool.Cell(5, &row.entry.timeUtc) || !pool.Cell(6, &row.entry.result) ||
          !pool.Cell(7, &row.entry.message)) {
        return Failed(SQL_HANDLE_STMT, pool.handle(), error);
      }
      // A word this program does not write is held all the same.
      row.entry.state = StateOfWord(word).value_or(SerialState::kSpent);
      seen[row.entry.serial] = row;
    }
    pool.Close();
    if (!Prepare(&freed, kFreedRowsSql, error)) return false;
    freed.Text(kFreedWord, kStateChars);
    if (!Ran(freed, error)) return false;
    for (;;) {
      const SQLRETURN fetched = freed.Fetch();
      if (fetched == SQL_NO_DATA) break;
      SerialEntry entry;
      if (!SQL_SUCCEEDED(fetched) || !freed.Cell(1, &entry.serial) ||
          !freed.Cell(2, &entry.station) || !freed.Cell(3, &entry.timeUtc) ||
          !freed.Cell(4, &entry.result) || !freed.Cell(5, &entry.message)) {
        return Failed(SQL_HANDLE_STMT, freed.handle(), error);
      }
      entry.state = SerialState::kFree;
      auto found = seen.find(entry.serial);
      if (found == seen.end()) {
        seen[entry.serial] = Seen{entry.timeUtc, entry};
        continue;
      }
      // A held number keeps its row's state; a freed one shows its last release.
      Seen& known = found->second;
      known.first = std::min(known.first, entry.timeUtc);
      if (known.entry.state == SerialState::kFree && entry.timeUtc >= known.entry.timeUtc)
        known.entry = entry;
    }
    freed.Close();
    if (!Commit(error)) return false;
    std::vector<const Seen*> order;
    for (const auto& [serial, row] : seen) order.push_back(&row);
    std::stable_sort(order.begin(), order.end(),
                     [](const Seen* a, const Seen* b) { return a->first < b->first; });
    entries->clear();
    for (const Seen* row : order) entries->push_back(row->entry);
    return true;
  }

  // The table has no notion of a tail: each look reads it whole again, in
  // blocks of rows whose columns are bound once, not a call per cell.
  bool ReadRows(RowSink& sink, std::string* error) override {
    Statement rows;
    RecordBlock block;
    if (!Prepare(&rows, kRecordRowsSql, error)) return false;
    if (!block.Bind(rows.handle())) return Failed(SQL_HANDLE_STMT, rows.handle(), error);
    if (!Ran(rows, error)) return false;
    sink.Restart();
    LogRow row;
    for (;;) {
      const SQLRETURN fetched = rows.Fetch();
      if (fetched == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(fetched)) return Failed(SQL_HANDLE_STMT, rows.handle(), error);
      for (SQLULEN i = 0; i < block.fetched(); ++i) {
        block.Take(i, &row);
        sink.Take(row);
      }
    }
    rows.Close();
    return Commit(error);
  }

 private:
  // What went wrong, for a message that names the store itself.
  std::string Failure(const std::string& state, const std::string& diagnostic) const {
    std::string what = "a statement was refused";
    if (state.rfind("08", 0) == 0) what = "the connection failed or was lost";
    if (state == "HYT00" || state == "HYT01") what = "no answer in time";
    if (!connected_) what = "cannot be reached";
    return HideConnectionSecretIn(what + ": " + diagnostic, connection_);
  }

  bool Failed(SQLSMALLINT type, SQLHANDLE handle, std::string* error) {
    std::string state;
    const std::string diagnostic = Diagnostic(type, handle, &state);
    *error = Failure(state, diagnostic);
    if (connected_) Rollback();
    return false;
  }

  bool Prepare(Statement* statement, const char16_t* sql, std::string* error) {
    std::string state, diagnostic;
    if (statement->Prepare(connection_handle_, sql, &diagnostic, &state)) return true;
    *error = Failure(state, diagnostic);
    Rollback();
    return false;
  }
  bool Prepare(std::unique_ptr<Statement>* statement, const char16_t* sql, std::string* error) {
    *statement = std::make_unique<Statement>();
    return Prepare(statement->get(), sql, error);
  }

  bool Ran(Statement& statement, std::string* error) {
    if (SQL_SUCCEEDED(statement.Run())) return true;
    return Failed(SQL_HANDLE_STMT, statement.handle(), error);
  }
  bool Rows(Statement& statement, SQLLEN* rows, std::string* error) {
    if (statement.RowCount(rows)) return true;
    return Failed(SQL_HANDLE_STMT, statement.handle(), error);
  }

  bool Commit(std::string* error) {
    if (SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, connection_handle_, SQL_COMMIT))) return true;
    return Failed(SQL_HANDLE_DBC, connection_handle_, error);
  }
  // After a failure; a rollback that fails leaves nothing committed either.
  void Rollback() { SQLEndTran(SQL_HANDLE_DBC, connection_handle_, SQL_ROLLBACK); }

  // The table is there when a query of it runs; else it is made, and a
  // CREATE that fails because another station made it meanwhile is fine.
  bool EnsureTable(const char16_t* probe, const char16_t* create, std::string* error) {
    if (Runs(probe)) return Commit(error);
    Rollback();
    Statement make;
    if (!Prepare(&make, create, error)) return false;
    if (SQL_SUCCEEDED(make.Run())) return Commit(error);
    std::string state;
    const std::string refusal = Diagnostic(SQL_HANDLE_STMT, make.handle(), &state);
    Rollback();
    if (Runs(probe)) return Commit(error);
    Rollback();
    *error = Failure(state, refusal);
    return false;
  }
  bool Runs(const char16_t* sql) {
    Statement statement;
    std::string state, diagnostic;
    return statement.Prepare(connection_handle_, sql, &diagnostic, &state) &&
           SQL_SUCCEEDED(statement.Run());
  }

  // How the pool holds the number now; nullopt when it holds no row of it.
  bool HeldAs(const std::string& serial, std::optional<SerialState>* held, std::string* error) {
    state_->Text(serial, kSerialChars);
    if (!Ran(*state_, error)) return false;
    const SQLRETURN fetched = state_->Fetch();
    std::string word;
    if (fetched == SQL_NO_DATA) {
      held->reset();
    } else if (!SQL_SUCCEEDED(fetched) || !state_->Cell(1, &word)) {
      return Failed(SQL_HANDLE_STMT, state_->handle(), error);
    } else {
      *held = StateOfWord(word).value_or(SerialState::kSpent);
    }
    state_->Close();
    return Commit(error);
  }

  // Moves *serial past the numbers the pool holds from it on, in its series,
  // in one read; *exhausted when counting up stops on a held number. Only a
  // shortcut: the claim's INSERT is what decides. Leaves the transaction open.
  bool SkipHeld(std::string* serial, bool* exhausted, std::string* error) {
    const Series series(*serial);
    ascending_->Text(*serial, kSerialChars);
    ascending_->Text(series.Highest(), kSerialChars);
    if (!Ran(*ascending_, error)) return false;
    for (;;) {
      std::string held;
      const SQLRETURN fetched = ascending_->Fetch();
      if (fetched == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(fetched) || !ascending_->Cell(1, &held))
        return Failed(SQL_HANDLE_STMT, ascending_->handle(), error);
      if (!series.Holds(held) || held < *serial) continue;
      if (held > *serial) break;
      const std::string next = CountUp(*serial);
      if (next == *serial) {
        *exhausted = true;
        break;
      }
      *serial = next;
    }
    // The claim's INSERT follows in the same transaction: one commit for both.
    ascending_->Close();
    return true;
  }

  bool InsertRecord(const OperationRecord& record, const LogContext& context,
                    std::optional<std::string> pool, std::string* error) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", record.seconds < 0 ? 0.0 : record.seconds);
    record_->Text(context.timeUtc, kTimeChars);
    record_->Text(context.station, kStationChars);
    record_->Text(context.toolVersion, kShortChars);
    record_->Text(record.command, kShortChars);
    record_->Integer(record.probe);
    record_->OptionalText(record.firmwareBefore, kShortChars);
    record_->OptionalText(record.serial, kSerialChars);
    record_->OptionalText(record.file, kLongChars);
    record_->OptionalText(
        record.imageCrc32 ? std::optional<std::string>(Hex32(*record.imageCrc32)) : std::nullopt,
        kCrcChars);
    record_->Integer(record.result);
    record_->Text(record.message, kLongChars);
    record_->Text(std::string(seconds), kSecondsChars);
    record_->OptionalText(pool, kStateChars);
    record_->OptionalText(std::optional<std::string>(), kShortChars);
    return Ran(*record_, error);
  }

  std::string connection_;
  std::string server_;
  // Every claim of this store carries it, so a release frees only a row
  // this store claimed.
  std::string token_;
  SQLHENV environment_ = SQL_NULL_HENV;
  SQLHDBC connection_handle_ = SQL_NULL_HDBC;
  bool connected_ = false;
  std::unique_ptr<Statement> claim_, state_, ascending_, descending_, settle_, release_, record_;
};

// This computer, this process and this moment: no other store's claims carry
// the same.
std::string ClaimToken() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &length)) length = 0;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return Utf8(std::u16string(reinterpret_cast<char16_t*>(name), length)) + "/" +
         std::to_string(GetCurrentProcessId()) + "/" + std::to_string(now.QuadPart);
}

std::unique_ptr<Ledger> Connect(const std::string& connection, bool forReading,
                                std::string* error) {
  auto ledger = std::make_unique<DatabaseLedger>(connection, ClaimToken());
  if (!ledger->Open(error, forReading)) {
    // Named here: the caller cannot show the connection string.
    *error = "the " + ledger->Where() + (error->rfind("cannot", 0) == 0 ? " " : ": ") + *error;
    return nullptr;
  }
  return ledger;
}

}  // namespace

std::unique_ptr<Ledger> OpenDatabaseLedger(const std::string& connection, LedgerWaiter&,
                                           std::string* error) {
  return Connect(connection, false, error);
}

std::unique_ptr<Ledger> OpenDatabaseLedgerForReading(const std::string& connection, LedgerWaiter&,
                                                     std::string* error) {
  return Connect(connection, true, error);
}
