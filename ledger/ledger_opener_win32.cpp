// Picks and opens the store; the CSV log is read whole once here, so a file
// that is not a log is refused before any probe is touched.
#include "ledger/ledger_opener_win32.h"

#include "ledger/csv_ledger.h"
#include "ledger/database_ledger_odbc.h"
#include "ledger/log_file_win32.h"
#include "ledger/log_target.h"

std::unique_ptr<Ledger> Win32LedgerOpener::Open(const std::u16string& where, LedgerWaiter& waiter,
                                                std::string* error) {
  if (const std::optional<std::u16string> connection = DatabaseConnectionOf(where))
    return OpenDatabaseLedger(Utf8(*connection), waiter, error);
  auto ledger = std::make_unique<CsvLedger>(NewWin32LogFile(where), Utf8(where), waiter);
  if (!ledger->Load(error)) return nullptr;
  return ledger;
}
