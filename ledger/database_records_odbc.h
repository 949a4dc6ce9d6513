// The line's database's records read back for a report: every row of
// velkoro_records, in the order of its time, handed to a sink one at a time.
// Windows only, over the one ODBC wrapper.
#pragma once

#include "ledger/ledger.h"
#include "ledger/odbc_statement.h"

bool ReadRecordRows(OdbcConnection& database, RowSink& sink, OdbcDiagnostic* failure);
