// Picks and opens the store; the CSV log is read whole once here, so a file
// that is not a log is refused before any probe is touched.
#include "ledger/ledger_opener_win32.h"

#include "ledger/csv_ledger.h"
#include "ledger/database_ledger_odbc.h"
#include "ledger/log_file_win32.h"
#include "ledger/log_target.h"

namespace {

// A connection string that does not name the database is no file's name.
bool Unmarked(const LogTarget& target, std::string* error) {
  if (target.kind != LogKind::kUnmarkedConnection) return false;
  *error = std::string("the log") + kUnmarkedConnectionWhy;
  return true;
}

}  // namespace

std::unique_ptr<Ledger> Win32LedgerOpener::Open(const std::u16string& where, LedgerWaiter& waiter,
                                                std::string* error) {
  const LogTarget target = ParseLogTarget(where);
  if (target.kind == LogKind::kDatabase)
    return OpenDatabaseLedger(target.connection, waiter, error);
  if (Unmarked(target, error)) return nullptr;
  auto ledger = std::make_unique<CsvLedger>(NewWin32LogFile(where), Utf8(where), waiter);
  if (!ledger->Load(error)) return nullptr;
  return ledger;
}

std::unique_ptr<Ledger> Win32LedgerOpener::OpenForReading(const std::u16string& where,
                                                          LedgerWaiter& waiter,
                                                          std::string* error) {
  const LogTarget target = ParseLogTarget(where);
  if (target.kind == LogKind::kDatabase)
    return OpenDatabaseLedgerForReading(target.connection, waiter, error);
  if (Unmarked(target, error)) return nullptr;
  // Its first ReadRows reads it, refusing a file that is not a log; reading
  // it here as well would read a long log twice.
  auto ledger = std::make_unique<CsvLedger>(NewWin32LogFileForReading(where), Utf8(where), waiter);
  ledger->KeepRows();
  return ledger;
}
