// The line's database's records read back for a report and audit: every row
// of velkoro_records in the chain's order, handed to a sink one at a time,
// then how the chain stands (sink.ChainNow).
// Windows only, over the one ODBC wrapper.
#pragma once

#include "ledger/ledger.h"
#include "ledger/odbc_statement.h"

bool ReadRecordRows(OdbcConnection& database, RowSink& sink, OdbcDiagnostic* failure);
