// The store a --log value names, on Windows: the database for odbc:...,
// the CSV log file for anything else.
#pragma once

#include "ledger/ledger.h"

class Win32LedgerOpener : public LedgerOpener {
 public:
  std::unique_ptr<Ledger> Open(const std::u16string& where, LedgerWaiter& waiter,
                               std::string* error) override;
  std::unique_ptr<Ledger> OpenForReading(const std::u16string& where, LedgerWaiter& waiter,
                                         std::string* error) override;
};
