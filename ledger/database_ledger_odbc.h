// The line's record and serial pool in its database, through ODBC (odbc32.dll,
// so the program needs no DLL beside it; the line installs its database's
// driver). The pool's table keys the serial number, so the database itself
// refuses a second claim of a number from any PC.
#pragma once

#include <memory>
#include <string>

#include "ledger/ledger.h"

// Connects with the connection string (what follows "odbc:") and creates the
// tables when they are missing. nullptr with one line in *error naming the
// server, never the password, when the database cannot be reached or refuses.
std::unique_ptr<Ledger> OpenDatabaseLedger(const std::string& connection, LedgerWaiter& waiter,
                                           std::string* error);
// The same database for a report: tables missing are an error, never made.
std::unique_ptr<Ledger> OpenDatabaseLedgerForReading(const std::string& connection,
                                                     LedgerWaiter& waiter, std::string* error);
// For bench/chain_bench only: the same store inserting records as the earlier
// version did, without seq and chain, to weigh the chain's cost.
std::unique_ptr<Ledger> OpenDatabaseLedgerWithoutChain(const std::string& connection,
                                                       LedgerWaiter& waiter, std::string* error);
