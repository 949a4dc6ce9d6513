// The line's record and pool of serial numbers behind one interface: every
// operation's record, and the numbers stations claim before they write them.
// Two stores implement it: the CSV log (one PC, or a shared folder) and the
// line's database. A number is free, claimed (a station means to write it;
// durable before the write request leaves), written (read back equal) or
// spent (the request left and the outcome is unknown or a failure). Only a
// claim whose request provably never left goes back to free.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ledger/operation_record.h"

enum class SerialState { kFree, kClaimed, kWritten, kSpent };

// One number the pool knows, as its last event for it leaves it.
struct SerialEntry {
  std::string serial;
  SerialState state = SerialState::kFree;
  std::string station;
  std::string timeUtc;
  std::optional<int> result;  // the outcome's exit status; none for a bare claim
  std::string message;
};

// One record read back with every column the log has (the database's
// records table has the same ones); a column a log of an earlier format
// lacks is empty.
struct LogRow {
  std::string timeUtc;
  std::string station;
  std::string toolVersion;
  std::string command;  // "claim" on a claim line, which is no operation
  std::optional<int> probe;
  std::string firmwareBefore;
  std::string serial;
  std::string file;
  std::string imageCrc32;
  std::optional<int> result;  // none on a claim line
  std::string message;
  std::string seconds;
  std::string pool;
  std::string firmwareAfter;
  std::string job;
  std::string seq;    // the record's place in the chain, from 1; empty when unchained
  std::string chain;  // the record's chain value (ledger/record_chain.h)
};

struct ChainVerdict;

// Where a store hands the rows it reads, one at a time, so a long log is
// never held whole.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // The store is read again from its start (the log was cut or replaced):
  // the rows taken before are gone.
  virtual void Restart() = 0;
  virtual void Take(const LogRow& row) = 0;
  // A line that cannot be read as a record was skipped.
  virtual void Damaged() = 0;
  // After each read: how the record's hash chain stands, walked in the same
  // pass as the rows.
  virtual void ChainNow(const ChainVerdict&) {}
};

enum class ClaimStatus {
  kClaimed,    // the number is the station's, durably
  kTaken,      // the exact number is claimed, written or spent already
  kExhausted,  // counting up reached all nines with every number held
  kFailed,     // the store could not decide or record it: touch no probe
};

struct Claim {
  ClaimStatus status = ClaimStatus::kFailed;
  std::string serial;                       // kClaimed: the number; kTaken: the one refused
  SerialState heldAs = SerialState::kFree;  // kTaken: how the pool holds it
  std::string error;                        // kFailed: one line, never a password
};

// How a claim ended, recorded with its outcome's record.
enum class Settlement {
  kWritten,   // the probe answered and read back the number
  kSpent,     // the request left; the answer failed or never came
  kReleased,  // the request never left the program: the number is free again
};

class Ledger {
 public:
  virtual ~Ledger() = default;
  // The store for messages (a file's path, a database's server); never a
  // password.
  virtual std::string Where() const = 0;
  // One operation that claims nothing (list, update, a refused number ...).
  // *chain, when given, gets the chain value of the line written
  // (ledger/record_chain.h), which the MES is told of the probe.
  virtual bool Record(const OperationRecord& record, const LogContext& context, std::string* error,
                      std::string* chain = nullptr) = 0;
  // Durable (flushed or committed) before it returns kClaimed. countUp false:
  // exactly `from`, kTaken when the pool holds it claimed, written or spent.
  // countUp true: the first number counting up from `from` (CountUpSerialNo)
  // that the pool holds neither claimed, written nor spent; kExhausted when
  // counting up stops (all nines, or no trailing digits) on a held number.
  virtual Claim ClaimSerial(const std::string& from, bool countUp, const LogContext& context) = 0;
  // The claim's outcome: the record of the write, with how it settles the
  // number. A settlement that cannot be recorded leaves the claim standing,
  // which the pool counts as spent.
  virtual bool Settle(const std::string& serial, Settlement settlement,
                      const OperationRecord& record, const LogContext& context, std::string* error,
                      std::string* chain = nullptr) = 0;
  // For --resume: the highest number, in numeric order, of `like`'s series
  // (the same text before the trailing digits, as many digits) that the
  // pool holds claimed, written or spent; nullopt when it holds none.
  virtual bool HighestInSeries(const std::string& like, std::optional<std::string>* highest,
                               std::string* error) = 0;
  // Every number the pool has seen, in the order first seen, for the report.
  virtual bool Entries(std::vector<SerialEntry>* entries, std::string* error) = 0;
  // The rows recorded since the last call, in the order recorded; the first
  // call brings them all.
  virtual bool ReadRows(RowSink& sink, std::string* error) = 0;
};

// How long a station waits, by default, for a store another program holds.
inline constexpr unsigned kHeldStoreWaitMs = 60000;

// What a store may do while another program holds it (a spreadsheet keeping
// the log open, a locked table): say so once on standard error, and wait.
class LedgerWaiter {
 public:
  virtual ~LedgerWaiter() = default;
  // One line for the operator, with its line end.
  virtual void Say(const std::string& text) = 0;
  // Waits up to ms; false when Ctrl+C ended the wait.
  virtual bool Wait(unsigned ms) = 0;
  // How long a store waits in all before it fails; a console station waits
  // long, a tray short (its header says so and it tries again meanwhile).
  virtual unsigned LongestWaitMs() const { return kHeldStoreWaitMs; }
};

// Opens the store a --log value names: "odbc:CONNECTION" the database,
// anything else the CSV log file at that path. nullptr with a reason in
// *error (one line, never a password) when it cannot be used.
class LedgerOpener {
 public:
  virtual ~LedgerOpener() = default;
  virtual std::unique_ptr<Ledger> Open(const std::u16string& where, LedgerWaiter& waiter,
                                       std::string* error) = 0;
  // The same store for a report, which must leave it as it is: nothing is
  // created (a missing file or table is an error), locked or written, and
  // the rows are kept for ReadRows from the first look on. A file that is
  // missing or not a log may be found only by the first ReadRows.
  virtual std::unique_ptr<Ledger> OpenForReading(const std::u16string& where, LedgerWaiter& waiter,
                                                 std::string* error) = 0;
};

// The --log value that names the database store (in any case, after any
// blanks: ledger/log_target.h); the rest is its ODBC connection string. The database store offers
//   std::unique_ptr<Ledger> OpenDatabaseLedger(const std::string& connection,
//                                              LedgerWaiter& waiter, std::string* error);
// in ledger/database_ledger_odbc.h (Windows); the Win32 opener
// (ledger/ledger_opener_win32.cpp) hands it every odbc: value.
inline constexpr char16_t kDatabaseLogPrefix[] = u"odbc:";
