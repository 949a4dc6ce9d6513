// velkoro_records' columns in the log's order, so a report reads the
// database's rows as it reads the log's lines, and the chain is walked in
// the same pass: rows from before the chain (no seq) first, by time, then
// the chained ones by seq, each rebuilt into its line (CanonicalRowText). A
// break is named by the row's seq.
#include "ledger/database_records_odbc.h"

#include "ledger/database_tables.h"
#include "ledger/record_chain.h"

namespace {

constexpr char16_t kRecordRowsSql[] =
    u"SELECT time_utc, station, tool_version, command, probe, firmware_before, serial, "
    u"file_name, image_crc32, result, message, seconds, pool, firmware_after, job, seq, chain "
    u"FROM velkoro_records ORDER BY CASE WHEN seq IS NULL THEN 0 ELSE 1 END, seq, time_utc";
// A table no station of the chained version has used yet, read as it is:
// ISO 8601 text sorts in the order of time.
constexpr char16_t kEarlierRowsSql[] =
    u"SELECT time_utc, station, tool_version, command, probe, firmware_before, serial, "
    u"file_name, image_crc32, result, message, seconds, pool, firmware_after, job "
    u"FROM velkoro_records ORDER BY time_utc";

// Whether the table has the chain's columns; a reader adds none.
bool Chained(OdbcConnection& database) {
  OdbcStatement probe;
  OdbcDiagnostic absent;
  const bool there =
      probe.Prepare(database, kChainProbe, &absent) && probe.Run(&absent) && (probe.Close(), true);
  // A failed statement ends PostgreSQL's transaction: start again.
  database.Rollback();
  return there;
}

}  // namespace

bool ReadRecordRows(OdbcConnection& database, RowSink& sink, OdbcDiagnostic* failure) {
  const bool chained = Chained(database);
  OdbcStatement rows;
  LogRow row;
  ChainWalk walk;
  uint64_t place = 0;
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
    std::optional<int> seq;
    if (chained && (!rows.Cell(16, &seq, cell) || !rows.Cell(17, &row.chain, cell))) return false;
    ++place;
    if (seq && *seq > 0 && !row.chain.empty()) {
      row.seq = std::to_string(*seq);
      const uint64_t at = static_cast<uint64_t>(*seq);
      walk.Chained(at, at, row.chain, CanonicalRowText(row, at));
    } else {
      row.seq.clear();
      row.chain.clear();
      walk.Unchained(place);
    }
    sink.Take(row);
    return true;
  };
  sink.Restart();
  if (!rows.Prepare(database, chained ? kRecordRowsSql : kEarlierRowsSql, failure) ||
      !rows.EachRow(take, failure)) {
    return false;
  }
  sink.ChainNow(walk.Verdict());
  return true;
}
