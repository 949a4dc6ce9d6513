// velkoro_records' columns in the log's order, so a report reads the
// database's rows as it reads the log's lines.
#include "ledger/database_records_odbc.h"

namespace {

// ISO 8601 text sorts in the order of time.
constexpr char16_t kRecordRowsSql[] =
    u"SELECT time_utc, station, tool_version, command, probe, firmware_before, serial, "
    u"file_name, image_crc32, result, message, seconds, pool, firmware_after, job "
    u"FROM velkoro_records ORDER BY time_utc";

}  // namespace

bool ReadRecordRows(OdbcConnection& database, RowSink& sink, OdbcDiagnostic* failure) {
  OdbcStatement rows;
  LogRow row;
  const auto take = [&](OdbcDiagnostic* cell) {
    std::string* const texts[] = {
        &row.timeUtc, &row.station,       &row.toolVersion, &row.command, &row.firmwareBefore,
        &row.serial,  &row.file,          &row.imageCrc32,  &row.message, &row.seconds,
        &row.pool,    &row.firmwareAfter, &row.job};
    // The columns of kRecordRowsSql: texts but for probe (5) and result (10).
    constexpr unsigned kTextColumns[] = {1, 2, 3, 4, 6, 7, 8, 9, 11, 12, 13, 14, 15};
    for (size_t i = 0; i < sizeof kTextColumns / sizeof kTextColumns[0]; ++i) {
      if (!rows.Cell(kTextColumns[i], texts[i], cell)) return false;
    }
    if (!rows.Cell(5, &row.probe, cell) || !rows.Cell(10, &row.result, cell)) return false;
    sink.Take(row);
    return true;
  };
  sink.Restart();
  return rows.Prepare(database, kRecordRowsSql, failure) && rows.EachRow(take, failure);
}
