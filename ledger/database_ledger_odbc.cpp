// The database store: its tables, its SQL and the mapping of rows to the
// pool's events. Which number a claim gets is SerialPool's rule over the rows
// read; the key of velkoro_pool then decides between stations, since the
// INSERT of a number another station holds is refused. Each unit of work (a
// claim, a settlement, a record) is committed whole before the call returns,
// so a claim is durable before the probe is touched. The tables hold only
// VARCHAR and INTEGER columns and a primary key, and every statement is plain
// SQL that PostgreSQL, MariaDB, SQLite and SQL Server all take. A failure
// leaves the pool as it was (a standing claim counts as spent) and names the
// server and the driver's SQLSTATE, never the password.
#include "ledger/database_ledger_odbc.h"

#include <windows.h>

#include <algorithm>

#include "ledger/connection_string.h"
#include "ledger/database_chain_odbc.h"
#include "ledger/database_records_odbc.h"
#include "ledger/database_tables.h"
#include "ledger/odbc_statement.h"
#include "ledger/serial_pool.h"

namespace {

// Caps on the waits for the server: logging in, and any one statement.
constexpr unsigned kLoginTimeoutSeconds = 15;
constexpr unsigned kStatementTimeoutSeconds = 30;
// A number whose row comes and goes (another station claiming and freeing
// it) is tried this often before the claim gives up.
constexpr int kClaimTries = 8;

constexpr char16_t kClaimSql[] =
    u"INSERT INTO velkoro_pool (serial, state, station, claim_token, claimed_utc, time_utc) "
    u"VALUES (?, ?, ?, ?, ?, ?)";
constexpr char16_t kStateSql[] = u"SELECT state FROM velkoro_pool WHERE serial = ?";
constexpr char16_t kAscendingSql[] =
    u"SELECT serial, state FROM velkoro_pool WHERE serial >= ? AND serial <= ? ORDER BY serial";
constexpr char16_t kSettleSql[] =
    u"UPDATE velkoro_pool SET state = ?, time_utc = ?, result = ?, message = ? "
    u"WHERE serial = ? AND claim_token = ? AND state = ?";
constexpr char16_t kReleaseSql[] =
    u"DELETE FROM velkoro_pool WHERE serial = ? AND claim_token = ? AND state = ?";
constexpr char16_t kPoolRowsSql[] =
    u"SELECT serial, state, station, claimed_utc, time_utc, result, message FROM velkoro_pool";
constexpr char16_t kFreedRowsSql[] =
    u"SELECT serial, station, time_utc, result, message FROM velkoro_records WHERE pool = ?";

// A row of velkoro_pool holds its number, whatever its word: one this program
// does not write counts as spent.
SerialState HeldStateOf(const std::string& word) {
  const std::optional<SerialState> state = PoolStateOf(word);
  return state && Held(*state) ? *state : SerialState::kSpent;
}

class DatabaseLedger : public Ledger {
 public:
  DatabaseLedger(const std::string& connection, const std::string& token)
      : connection_(connection), server_(ServerOf(connection)), token_(token) {}

  // forReading (a report): tables missing are an error, never made, and
  // nothing is written.
  bool Open(std::string* error, bool forReading) {
    OdbcDiagnostic failure;
    if (!database_.Connect(connection_, kLoginTimeoutSeconds, kStatementTimeoutSeconds, &failure)) {
      return Failed(failure, error);
    }
    if (forReading) {
      OdbcStatement pool, records;
      if (!pool.Prepare(database_, kPoolProbe, &failure) || !pool.Run(&failure) ||
          !records.Prepare(database_, kRecordsProbe, &failure) || !records.Run(&failure)) {
        database_.Rollback();
        *error = "holds no tables of this program (velkoro_pool, velkoro_records)";
        return false;
      }
      pool.Close();
      records.Close();
      database_.Rollback();
      return true;
    }
    if (!EnsureThere(database_, kPoolProbe, kPoolCreate, &failure) ||
        !EnsureThere(database_, kRecordsProbe, kRecordsCreate, &failure) ||
        !EnsureThere(database_, kJobProbe, kJobAdd, &failure) ||
        !EnsureChainTables(database_, &failure) || !record_.Prepare(database_, &failure)) {
      return Failed(failure, error);
    }
    return Prepare(&claim_, kClaimSql, error) && Prepare(&state_, kStateSql, error) &&
           Prepare(&ascending_, kAscendingSql, error) && Prepare(&settle_, kSettleSql, error) &&
           Prepare(&release_, kReleaseSql, error);
  }

  std::string Where() const override { return "database at " + server_; }
  void LeaveChainOut() { record_.LeaveChainOut(); }

  bool Record(const OperationRecord& record, const LogContext& context, std::string* error,
              std::string* chain = nullptr) override {
    return InsertRecord(record, context, std::nullopt, error, chain) && Commit(error);
  }

  Claim ClaimSerial(const std::string& from, bool countUp, const LogContext& context) override {
    SerialPool pool;
    std::string readFrom = from;
    for (int vanished = 0;;) {
      Claim claim;
      if (!ReadHeld(readFrom, countUp, &pool, &claim.error) || !Commit(&claim.error)) return claim;
      claim = pool.Choose(from, countUp);
      if (claim.status != ClaimStatus::kClaimed) return claim;
      claim_->Text(claim.serial, kSerialChars);
      claim_->Text(kPoolClaimed, kStateChars);
      claim_->Text(context.station, kStationChars);
      claim_->Text(token_, kTokenChars);
      claim_->Text(context.timeUtc, kTimeChars);
      claim_->Text(context.timeUtc, kTimeChars);
      OdbcDiagnostic refusal;
      if (claim_->Run(&refusal)) {
        if (!Commit(&claim.error)) claim.status = ClaimStatus::kFailed;
        return claim;
      }
      database_.Rollback();
      claim.status = ClaimStatus::kFailed;
      // A refused key is another station's claim of the number, when its
      // row is there to prove it; anything else is the database's failure.
      std::optional<SerialState> held;
      if (!KeyRefused(refusal)) {
        claim.error = Failure(refusal);
        return claim;
      }
      if (!HeldAs(claim.serial, &held, &claim.error)) return claim;
      if (!held && ++vanished >= kClaimTries) {
        claim.error = Failure(refusal);
        return claim;
      }
      if (held) pool.Apply(claim.serial, *held, "", "", std::nullopt, "");
      readFrom = claim.serial;
    }
  }

  bool Settle(const std::string& serial, Settlement settlement, const OperationRecord& record,
              const LogContext& context, std::string* error,
              std::string* chain = nullptr) override {
    OperationRecord outcome = record;
    outcome.serial = serial;
    long long rows = 0;
    OdbcDiagnostic failure;
    // The pool's row first, then the chain's head: every transaction takes
    // its locks in that order, so two stations never wait on each other.
    if (settlement == Settlement::kReleased) {
      release_->Text(serial, kSerialChars);
      release_->Text(token_, kTokenChars);
      release_->Text(kPoolClaimed, kStateChars);
      if (!release_->Run(&failure) || !release_->RowCount(&rows, &failure))
        return Failed(failure, error);
      if (rows == 1 && !InsertRecord(outcome, context, kPoolFree, error, chain)) return false;
    } else {
      const char* word = settlement == Settlement::kWritten ? kPoolWritten : kPoolSpent;
      settle_->Text(word, kStateChars);
      settle_->Text(context.timeUtc, kTimeChars);
      settle_->Integer(record.result);
      settle_->Text(record.message, kLongChars);
      settle_->Text(serial, kSerialChars);
      settle_->Text(token_, kTokenChars);
      settle_->Text(kPoolClaimed, kStateChars);
      if (!settle_->Run(&failure) || !settle_->RowCount(&rows, &failure))
        return Failed(failure, error);
      if (rows == 1 && !InsertRecord(outcome, context, word, error, chain)) return false;
    }
    if (rows != 1) {
      database_.Rollback();
      *error = "the pool holds no claim of " + serial + " by this station";
      return false;
    }
    return Commit(error);
  }

  bool HighestInSeries(const std::string& like, std::optional<std::string>* highest,
                       std::string* error) override {
    SerialPool pool;
    OdbcDiagnostic failure;
    ascending_->Text(SeriesFirst(like), kSerialChars);
    ascending_->Text(SeriesLast(like), kSerialChars);
    const bool read = ascending_->EachRow(
        [&](OdbcDiagnostic* cell) {
          std::string serial, word;
          if (!ascending_->Cell(1, &serial, cell) || !ascending_->Cell(2, &word, cell))
            return false;
          pool.Apply(serial, HeldStateOf(word), "", "", std::nullopt, "");
          return true;
        },
        &failure);
    if (!read) return Failed(failure, error);
    *highest = pool.HighestInSeries(like);
    return Commit(error);
  }

  bool Entries(std::vector<SerialEntry>* entries, std::string* error) override {
    // Every row and every release as an event at the time it began: in that
    // order they give the report its order, and the rows of velkoro_pool,
    // applied again last, the numbers' states (a row is the number's now).
    struct Event {
      std::string at;
      SerialEntry entry;
    };
    std::vector<Event> held, events;
    OdbcStatement pool, freed;
    OdbcDiagnostic failure;
    auto heldRow = [&](OdbcDiagnostic* cell) {
      Event row;
      std::string word;
      SerialEntry& e = row.entry;
      if (!pool.Cell(1, &e.serial, cell) || !pool.Cell(2, &word, cell) ||
          !pool.Cell(3, &e.station, cell) || !pool.Cell(4, &row.at, cell) ||
          !pool.Cell(5, &e.timeUtc, cell) || !pool.Cell(6, &e.result, cell) ||
          !pool.Cell(7, &e.message, cell)) {
        return false;
      }
      e.state = HeldStateOf(word);
      held.push_back(row);
      return true;
    };
    auto freedRow = [&](OdbcDiagnostic* cell) {
      Event row;
      SerialEntry& e = row.entry;
      if (!freed.Cell(1, &e.serial, cell) || !freed.Cell(2, &e.station, cell) ||
          !freed.Cell(3, &e.timeUtc, cell) || !freed.Cell(4, &e.result, cell) ||
          !freed.Cell(5, &e.message, cell)) {
        return false;
      }
      e.state = SerialState::kFree;
      row.at = e.timeUtc;
      events.push_back(row);
      return true;
    };
    if (!pool.Prepare(database_, kPoolRowsSql, &failure) || !pool.EachRow(heldRow, &failure) ||
        !freed.Prepare(database_, kFreedRowsSql, &failure)) {
      return Failed(failure, error);
    }
    freed.Text(kPoolFree, kStateChars);
    if (!freed.EachRow(freedRow, &failure)) return Failed(failure, error);
    if (!Commit(error)) return false;
    events.insert(events.end(), held.begin(), held.end());
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.at < b.at; });
    SerialPool report;
    for (const Event& event : events) report.Apply(event.entry);
    for (const Event& row : held) report.Apply(row.entry);
    *entries = report.Entries();
    return true;
  }

  // The table has no notion of a tail: each look reads it whole again.
  bool ReadRows(RowSink& sink, std::string* error) override {
    OdbcDiagnostic failure;
    return (ReadRecordRows(database_, sink, &failure) || Failed(failure, error)) && Commit(error);
  }

 private:
  // What went wrong, for a message that names the store itself.
  std::string Failure(const OdbcDiagnostic& failure) const {
    return HideConnectionSecretIn(DescribeOdbcFailure(failure, database_.connected()), connection_);
  }

  bool Failed(const OdbcDiagnostic& failure, std::string* error) {
    *error = Failure(failure);
    database_.Rollback();
    return false;
  }

  bool Prepare(std::unique_ptr<OdbcStatement>* statement, const char16_t* sql, std::string* error) {
    *statement = std::make_unique<OdbcStatement>();
    OdbcDiagnostic failure;
    return (*statement)->Prepare(database_, sql, &failure) || Failed(failure, error);
  }

  bool Commit(std::string* error) {
    OdbcDiagnostic failure;
    return database_.Commit(&failure) || Failed(failure, error);
  }

  // How the pool holds the number now; nullopt when it holds no row of it.
  bool HeldAs(const std::string& serial, std::optional<SerialState>* held, std::string* error) {
    OdbcDiagnostic failure;
    std::string word;
    state_->Text(serial, kSerialChars);
    if (!state_->Run(&failure)) return Failed(failure, error);
    const OdbcStatement::Fetched fetched = state_->Fetch(&failure);
    if (fetched == OdbcStatement::Fetched::kFailed ||
        (fetched == OdbcStatement::Fetched::kRow && !state_->Cell(1, &word, &failure))) {
      return Failed(failure, error);
    }
    held->reset();
    if (fetched == OdbcStatement::Fetched::kRow) *held = HeldStateOf(word);
    state_->Close();
    return Commit(error);
  }

  // Puts into *pool what the rows say of the numbers a claim from `from`
  // may get: the number itself, or counting up, the rows of its series from
  // it on, as far as the first number they leave free. Only a shortcut: the
  // claim's INSERT is what decides.
  bool ReadHeld(const std::string& from, bool countUp, SerialPool* pool, std::string* error) {
    if (!countUp) {
      std::optional<SerialState> held;
      if (!HeldAs(from, &held, error)) return false;
      if (held) pool->Apply(from, *held, "", "", std::nullopt, "");
      return true;
    }
    OdbcDiagnostic failure;
    ascending_->Text(from, kSerialChars);
    ascending_->Text(SeriesLast(from), kSerialChars);
    if (!ascending_->Run(&failure)) return Failed(failure, error);
    std::optional<std::string> next = pool->NextFree(from);
    while (next) {
      std::string serial, word;
      const OdbcStatement::Fetched fetched = ascending_->Fetch(&failure);
      if (fetched == OdbcStatement::Fetched::kEnd) break;
      if (fetched == OdbcStatement::Fetched::kFailed || !ascending_->Cell(1, &serial, &failure) ||
          !ascending_->Cell(2, &word, &failure)) {
        return Failed(failure, error);
      }
      pool->Apply(serial, HeldStateOf(word), "", "", std::nullopt, "");
      if (serial == *next) {
        next = pool->NextFree(*next);
      } else if (SameSeries(from, serial) && SeriesLess(*next, serial)) {
        break;
      }
    }
    ascending_->Close();
    return true;
  }

  bool InsertRecord(const OperationRecord& record, const LogContext& context,
                    std::optional<std::string> pool, std::string* error, std::string* chain) {
    OdbcDiagnostic failure;
    switch (record_.Insert(record, context, pool, &failure, chain)) {
      case ChainedRecordInsert::Inserted::kYes:
        return true;
      case ChainedRecordInsert::Inserted::kRefused:
        return Failed(failure, error);
      case ChainedRecordInsert::Inserted::kNoHash:
        break;
    }
    database_.Rollback();
    *error = "the record's chain value could not be computed (the system's SHA-256)";
    return false;
  }

  std::string connection_;
  std::string server_;
  // Every claim of this store carries it, so a release frees only a row
  // this store claimed.
  std::string token_;
  // Declared before its statements, which end first.
  OdbcConnection database_;
  std::unique_ptr<OdbcStatement> claim_, state_, ascending_, settle_, release_;
  ChainedRecordInsert record_;
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

std::unique_ptr<Ledger> Connect(const std::string& connection, bool forReading, bool chained,
                                std::string* error) {
  auto ledger = std::make_unique<DatabaseLedger>(connection, ClaimToken());
  if (!chained) ledger->LeaveChainOut();
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
  return Connect(connection, false, true, error);
}

std::unique_ptr<Ledger> OpenDatabaseLedgerForReading(const std::string& connection, LedgerWaiter&,
                                                     std::string* error) {
  return Connect(connection, true, true, error);
}

std::unique_ptr<Ledger> OpenDatabaseLedgerWithoutChain(const std::string& connection, LedgerWaiter&,
                                                       std::string* error) {
  return Connect(connection, false, false, error);
}
