// The chained insert. The row's texts are cut to their columns' widths
// before they are hashed and bound, so the text hashed is the text a reader
// gets back and rebuilds the line from (CanonicalRowText).
#include "ledger/database_chain_odbc.h"

#include <cstdio>

#include "ledger/database_tables.h"
#include "ledger/record_chain.h"

namespace {

constexpr char16_t kHeadRowSql[] = u"SELECT seq FROM velkoro_chain_head WHERE id = 1";
constexpr char16_t kHeadStartSql[] =
    u"INSERT INTO velkoro_chain_head (id, seq, chain) VALUES (1, 0, ?)";
// First, so the transaction holds the head before it reads it.
constexpr char16_t kTakeSql[] = u"UPDATE velkoro_chain_head SET seq = seq + 1 WHERE id = 1";
constexpr char16_t kReadSql[] = u"SELECT seq, chain FROM velkoro_chain_head WHERE id = 1";
constexpr char16_t kAdvanceSql[] = u"UPDATE velkoro_chain_head SET chain = ? WHERE id = 1";
constexpr char16_t kInsertSql[] =
    u"INSERT INTO velkoro_records (time_utc, station, tool_version, command, probe, "
    u"firmware_before, serial, file_name, image_crc32, result, message, seconds, pool, "
    u"firmware_after, job, seq, chain) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// The head's row is there, or is put there; another station's row put there
// meanwhile is as good.
bool EnsureHeadRow(OdbcConnection& database, OdbcDiagnostic* failure) {
  OdbcStatement look;
  if (!look.Prepare(database, kHeadRowSql, failure) || !look.Run(failure)) {
    database.Rollback();
    return false;
  }
  const OdbcStatement::Fetched fetched = look.Fetch(failure);
  look.Close();
  if (fetched == OdbcStatement::Fetched::kFailed) {
    database.Rollback();
    return false;
  }
  if (fetched == OdbcStatement::Fetched::kRow) return database.Commit(failure);
  OdbcStatement start;
  OdbcDiagnostic refused;
  if (start.Prepare(database, kHeadStartSql, failure)) {
    start.Text(kChainOrigin, kChainDigits);
    if (start.Run(&refused)) {
      start.Close();
      return database.Commit(failure);
    }
  }
  database.Rollback();
  if (!KeyRefused(refused)) {
    if (!refused.text.empty()) *failure = refused;
    return false;
  }
  return true;
}

std::optional<std::string> Fitted(const std::optional<std::string>& text, size_t mostChars) {
  if (!text) return std::nullopt;
  return FitToColumn(ValidUtf8(*text), mostChars);
}

std::string Fitted(const std::string& text, size_t mostChars) {
  return FitToColumn(ValidUtf8(text), mostChars);
}

}  // namespace

bool EnsureChainTables(OdbcConnection& database, OdbcDiagnostic* failure) {
  return EnsureThere(database, kSeqProbe, kSeqAdd, failure) &&
         EnsureThere(database, kChainProbe, kChainAdd, failure) &&
         EnsureThere(database, kHeadProbe, kHeadCreate, failure) &&
         EnsureHeadRow(database, failure);
}

bool ChainedRecordInsert::Prepare(OdbcConnection& database, OdbcDiagnostic* failure) {
  return take_.Prepare(database, kTakeSql, failure) && read_.Prepare(database, kReadSql, failure) &&
         advance_.Prepare(database, kAdvanceSql, failure) &&
         insert_.Prepare(database, kInsertSql, failure);
}

ChainedRecordInsert::Inserted ChainedRecordInsert::Insert(const OperationRecord& record,
                                                          const LogContext& context,
                                                          const std::optional<std::string>& pool,
                                                          OdbcDiagnostic* failure,
                                                          std::string* chainOut) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", record.seconds < 0 ? 0.0 : record.seconds);
  const std::optional<std::string> firmwareBefore = Fitted(record.firmwareBefore, kShortChars);
  const std::optional<std::string> serial = Fitted(record.serial, kSerialChars);
  const std::optional<std::string> file = Fitted(record.file, kLongChars);
  const std::optional<std::string> crc =
      record.imageCrc32 ? std::optional<std::string>(Hex32(*record.imageCrc32)) : std::nullopt;
  const std::optional<std::string> poolWord = Fitted(pool, kStateChars);
  const std::optional<std::string> firmwareAfter = Fitted(record.firmwareAfter, kShortChars);
  const std::optional<std::string> job =
      Fitted(record.job ? record.job : std::optional<std::string>(context.job), kJobChars);
  LogRow row;
  row.timeUtc = Fitted(context.timeUtc, kTimeChars);
  row.station = Fitted(context.station, kStationChars);
  row.toolVersion = Fitted(context.toolVersion, kShortChars);
  row.command = Fitted(record.command, kShortChars);
  row.probe = record.probe;
  row.firmwareBefore = firmwareBefore.value_or("");
  row.serial = serial.value_or("");
  row.file = file.value_or("");
  row.imageCrc32 = crc.value_or("");
  row.result = record.result;
  row.message = Fitted(record.message, kLongChars);
  row.seconds = seconds;
  row.pool = poolWord.value_or("");
  row.firmwareAfter = firmwareAfter.value_or("");
  row.job = job.value_or("");

  std::optional<int> seq;
  std::string chain;
  if (chained_) {
    const Inserted linked = Link(row, &seq, &chain, failure);
    if (linked != Inserted::kYes) return linked;
  }
  insert_.Text(row.timeUtc, kTimeChars);
  insert_.Text(row.station, kStationChars);
  insert_.Text(row.toolVersion, kShortChars);
  insert_.Text(row.command, kShortChars);
  insert_.Integer(row.probe);
  insert_.OptionalText(firmwareBefore, kShortChars);
  insert_.OptionalText(serial, kSerialChars);
  insert_.OptionalText(file, kLongChars);
  insert_.OptionalText(crc, kCrcChars);
  insert_.Integer(row.result);
  insert_.Text(row.message, kLongChars);
  insert_.Text(row.seconds, kSecondsChars);
  insert_.OptionalText(poolWord, kStateChars);
  insert_.OptionalText(firmwareAfter, kShortChars);
  insert_.OptionalText(job, kJobChars);
  insert_.Integer(seq);
  insert_.OptionalText(chained_ ? std::optional<std::string>(chain) : std::nullopt, kChainDigits);
  if (!insert_.Run(failure)) return Inserted::kRefused;
  if (chainOut != nullptr) *chainOut = chain;
  return Inserted::kYes;
}

// Takes the head, reads it, and moves it on to the row: *seq and *chain are
// the row's.
ChainedRecordInsert::Inserted ChainedRecordInsert::Link(const LogRow& row, std::optional<int>* seq,
                                                        std::string* chain,
                                                        OdbcDiagnostic* failure) {
  long long taken = 0;
  if (!take_.Run(failure) || !take_.RowCount(&taken, failure)) return Inserted::kRefused;
  if (taken != 1) {
    failure->text = "velkoro_chain_head holds no row";
    return Inserted::kRefused;
  }
  std::string previous;
  if (!read_.Run(failure)) return Inserted::kRefused;
  const OdbcStatement::Fetched fetched = read_.Fetch(failure);
  const bool read = fetched == OdbcStatement::Fetched::kRow && read_.Cell(1, seq, failure) &&
                    read_.Cell(2, &previous, failure);
  read_.Close();
  if (!read || !*seq || **seq < 1) {
    if (read) failure->text = "velkoro_chain_head holds no place";
    return Inserted::kRefused;
  }
  *chain = ChainValue(previous, CanonicalRowText(row, static_cast<uint64_t>(**seq)));
  if (chain->empty()) return Inserted::kNoHash;
  advance_.Text(*chain, kChainDigits);
  return advance_.Run(failure) ? Inserted::kYes : Inserted::kRefused;
}
