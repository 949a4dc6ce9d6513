// The record's hash chain (ledger/record_chain.h) in the line's database.
// Every row of velkoro_records is inserted as the chain's next link inside
// the caller's transaction: the head row of velkoro_chain_head is taken with
// a write lock first (its UPDATE locks the row on PostgreSQL and MariaDB;
// SQLite locks the whole file on the first write), so stations racing on one
// database wait for each other there and keep one chain, seq 1, 2, 3 ...
// without gaps. The claim rows of velkoro_pool are the pool's mutable state
// and are not chained. Windows only, over the one ODBC wrapper.
#pragma once

#include <optional>
#include <string>

#include "ledger/ledger.h"
#include "ledger/odbc_statement.h"
#include "ledger/operation_record.h"

// A records table made before the chain gets seq and chain; the head table
// is made with its one row (seq 0, the chain's origin) when missing.
bool EnsureChainTables(OdbcConnection& database, OdbcDiagnostic* failure);

class ChainedRecordInsert {
 public:
  bool Prepare(OdbcConnection& database, OdbcDiagnostic* failure);
  // Rows are inserted as the earlier version inserted them, without seq and
  // chain: only bench/chain_bench asks for it, to weigh the chain's cost.
  void LeaveChainOut() { chained_ = false; }

  enum class Inserted { kYes, kRefused, kNoHash };
  // The record as the next link; `pool` is the settlement's word for the
  // pool column. Commits nothing: on anything but kYes the caller rolls
  // back (kRefused: *failure says why; kNoHash: the system's SHA-256 failed).
  // *chainOut, when given, gets the row's chain value.
  Inserted Insert(const OperationRecord& record, const LogContext& context,
                  const std::optional<std::string>& pool, OdbcDiagnostic* failure,
                  std::string* chainOut = nullptr);

 private:
  Inserted Link(const LogRow& row, std::optional<int>* seq, std::string* chain,
                OdbcDiagnostic* failure);

  OdbcStatement take_, read_, advance_, insert_;
  bool chained_ = true;
};
