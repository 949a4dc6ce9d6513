// Picks and opens the store; the CSV log is read whole once here, so a file
// that is not a log is refused before any probe is touched.
#include "ledger/ledger_opener_win32.h"

#include <string_view>

#include "ledger/csv_ledger.h"
#include "ledger/log_file_win32.h"

std::unique_ptr<Ledger> Win32LedgerOpener::Open(const std::u16string& where, LedgerWaiter& waiter,
                                                std::string* error) {
  if (std::u16string_view(where).substr(0, std::u16string_view(kDatabaseLogPrefix).size()) ==
      kDatabaseLogPrefix) {
    *error = "this build of the program has no database store";
    return nullptr;
  }
  auto ledger = std::make_unique<CsvLedger>(NewWin32LogFile(where), Utf8(where), waiter);
  if (!ledger->Load(error)) return nullptr;
  return ledger;
}
