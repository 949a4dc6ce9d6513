// The log's lines read back. Columns stand where the header puts them; an
// earlier header is the current one without its last columns, so one set of
// positions reads them all. A line with the seq and chain columns is
// chained, whatever its log's header: a log of an earlier format is chained
// from the first line written since.
#include "ledger/csv_log_reader.h"

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkBytes = 3;
constexpr char kWriteSerialCommand[] = "write-serial";
constexpr char kSucceeded[] = "0";

// Positions in the header.
constexpr size_t kTimeColumn = 0;
constexpr size_t kStationColumn = 1;
constexpr size_t kToolVersionColumn = 2;
constexpr size_t kCommandColumn = 3;
constexpr size_t kProbeColumn = 4;
constexpr size_t kFirmwareBeforeColumn = 5;
constexpr size_t kSerialColumn = 6;
constexpr size_t kFileColumn = 7;
constexpr size_t kImageCrcColumn = 8;
constexpr size_t kResultColumn = 9;
constexpr size_t kMessageColumn = 10;
constexpr size_t kSecondsColumn = 11;
constexpr size_t kPoolColumn = 12;
constexpr size_t kFirmwareAfterColumn = 13;
constexpr size_t kJobColumn = 14;
constexpr size_t kSeqColumn = 15;
constexpr size_t kChainColumn = 16;
constexpr size_t kEarlierColumns = 12;
// More fields than any header has: the line is not one record.
constexpr size_t kMostFields = 32;

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::string_view CurrentHeader() {
  static const std::string header = CsvHeader();
  return WithoutLineEnd(std::string_view(header).substr(0, header.size() - 1));
}

bool IsHeader(std::string_view line) {
  const std::string_view current = CurrentHeader();
  if (line == current) return true;
  // An earlier header: the same columns up to one of its ends (seconds, or
  // firmware_after before the job column came).
  if (line.size() >= current.size() || current[line.size()] != ',') return false;
  if (current.substr(0, line.size()) != line) return false;
  size_t columns = 1;
  for (char c : line) columns += c == ',' ? 1 : 0;
  return columns >= kEarlierColumns;
}

std::optional<int> ResultOf(std::string_view text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// What a line's pool cell says of its number. No word: written when the line
// is a write-serial that succeeded (as in the earlier format, which has no
// such cell), else nothing. A word this program does not write (a damaged
// cell, a hand's edit) holds the number as a damaged line does.
std::optional<SerialState> CellState(bool hasCell, std::string_view cell, std::string_view command,
                                     std::string_view result) {
  if (!hasCell || cell.empty()) {
    if (command == kWriteSerialCommand && result == kSucceeded) return SerialState::kWritten;
    return std::nullopt;
  }
  return PoolStateOf(cell).value_or(SerialState::kSpent);
}

}  // namespace

std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line, bool marked,
                                                     bool lenient) {
  std::vector<std::string> fields(1);
  size_t i = 0;
  while (i <= line.size()) {
    std::string& field = fields.back();
    bool unquoted = true;
    if (i < line.size() && line[i] == '"') {
      const size_t quote = i;
      unquoted = false;
      for (++i;; ++i) {
        if (i >= line.size()) {
          if (!lenient) return std::nullopt;
          // A quote left open: read on from it as if it were not there.
          field.clear();
          i = quote + 1;
          unquoted = true;
          break;
        }
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            ++i;
          } else {
            break;
          }
        } else {
          field += line[i];
        }
      }
      if (!unquoted) {
        ++i;
        if (i < line.size() && line[i] != ',') {
          if (!lenient) return std::nullopt;
          unquoted = true;
        }
      }
    }
    if (unquoted) {
      const size_t comma = line.find(',', i);
      const size_t end = comma == std::string_view::npos ? line.size() : comma;
      field.append(line.substr(i, end - i));
      i = end;
    }
    if (i >= line.size()) break;
    ++i;  // the comma
    fields.emplace_back();
  }
  if (marked) {
    for (std::string& field : fields) {
      if (!field.empty() && field.front() == kTextMark) field.erase(0, 1);
    }
  }
  return fields;
}

std::optional<SerialEntry> PoolEventOf(const std::vector<std::string>& fields) {
  if (fields.size() < kEarlierColumns) return std::nullopt;
  const bool hasCell = fields.size() > kPoolColumn;
  const std::optional<SerialState> state = CellState(hasCell, hasCell ? fields[kPoolColumn] : "",
                                                     fields[kCommandColumn], fields[kResultColumn]);
  if (!state || fields[kSerialColumn].empty()) return std::nullopt;
  SerialEntry entry;
  entry.serial = fields[kSerialColumn];
  entry.state = *state;
  entry.station = fields[kStationColumn];
  entry.timeUtc = fields[kTimeColumn];
  entry.result = ResultOf(fields[kResultColumn]);
  entry.message = fields[kMessageColumn];
  return entry;
}

static void ApplyDamaged(std::string_view line, SerialPool& pool) {
  const std::optional<std::vector<std::string>> fields = SplitCsvLine(line, true, true);
  if (!fields || fields->size() <= kSerialColumn) return;
  const std::string& command = (*fields)[kCommandColumn];
  const std::string& serial = (*fields)[kSerialColumn];
  if (serial.empty() || (command != kWriteSerialCommand && command != kClaimCommand)) return;
  const SerialState now = pool.StateOf(serial);
  if (now == SerialState::kWritten || now == SerialState::kSpent) return;
  SerialEntry entry;
  entry.serial = serial;
  entry.state = SerialState::kSpent;
  entry.station = (*fields)[kStationColumn];
  entry.timeUtc = (*fields)[kTimeColumn];
  entry.message = "A damaged line of the log names it.";
  pool.Apply(entry);
}

// Most lines hold no quote: their fields are read in place, and only a line
// with a pool event makes strings.
bool CsvLogReader::TakePlainLine(std::string_view line, SerialPool& pool) {
  std::string_view fields[kMostFields];
  size_t count = 0;
  for (size_t start = 0;;) {
    const size_t comma = line.find(',', start);
    if (count == kMostFields) break;
    fields[count++] = line.substr(start, comma == std::string_view::npos ? comma : comma - start);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  Link(line, fields, count);
  if (count < kEarlierColumns) {
    if (rows_ != nullptr) rows_->Damaged();
    ApplyDamaged(line, pool);
    return true;
  }
  const bool marked = count > kPoolColumn;
  if (rows_ != nullptr) KeepRow(fields, count, marked);
  auto text = [&](size_t column) {
    std::string_view field = fields[column];
    if (marked && !field.empty() && field.front() == kTextMark) field.remove_prefix(1);
    return field;
  };
  const std::optional<SerialState> state =
      CellState(marked, marked ? text(kPoolColumn) : "", text(kCommandColumn), text(kResultColumn));
  if (!state || text(kSerialColumn).empty()) return true;
  pool.Apply(text(kSerialColumn), *state, text(kStationColumn), text(kTimeColumn),
             ResultOf(text(kResultColumn)), text(kMessageColumn));
  return true;
}

void CsvLogReader::KeepRow(const std::string_view* fields, size_t count, bool marked) {
  auto set = [&](std::string& to, size_t column) {
    std::string_view field = column < count ? fields[column] : std::string_view();
    if (marked && !field.empty() && field.front() == kTextMark) field.remove_prefix(1);
    to.assign(field);
  };
  LogRow& row = row_;
  set(row.command, kCommandColumn);
  row.result = ResultOf(fields[kResultColumn]);
  // An operation without its result tells nothing; a claim has none.
  if (!row.result && row.command != kClaimCommand) {
    rows_->Damaged();
    return;
  }
  set(row.timeUtc, kTimeColumn);
  set(row.station, kStationColumn);
  set(row.toolVersion, kToolVersionColumn);
  row.probe = ResultOf(fields[kProbeColumn]);
  set(row.firmwareBefore, kFirmwareBeforeColumn);
  set(row.serial, kSerialColumn);
  set(row.file, kFileColumn);
  set(row.imageCrc32, kImageCrcColumn);
  set(row.message, kMessageColumn);
  set(row.seconds, kSecondsColumn);
  set(row.pool, kPoolColumn);
  set(row.firmwareAfter, kFirmwareAfterColumn);
  set(row.job, kJobColumn);
  set(row.seq, kSeqColumn);
  set(row.chain, kChainColumn);
  rows_->Take(row);
}

bool CsvLogReader::TakeLine(std::string_view line, SerialPool& pool) {
  line = WithoutLineEnd(line);
  if (!header_) {
    if (taken_ == 0 && line.substr(0, kByteOrderMarkBytes) == kByteOrderMark) {
      line.remove_prefix(kByteOrderMarkBytes);
    }
    if (!IsHeader(line)) return false;
    header_ = true;
    line_ = 1;
    return true;
  }
  ++line_;
  if (line.empty()) return true;
  if (line.find('"') == std::string_view::npos) return TakePlainLine(line, pool);
  // Only lines with the pool column come from a writer that marks text.
  size_t commas = 0;
  for (char c : line) commas += c == ',' ? 1 : 0;
  const std::optional<std::vector<std::string>> fields =
      SplitCsvLine(line, commas >= kPoolColumn, false);
  if (fields && fields->size() > kChainColumn) {
    std::string_view views[kChainColumn + 1];
    views[kSeqColumn] = (*fields)[kSeqColumn];
    views[kChainColumn] = (*fields)[kChainColumn];
    Link(line, views, kChainColumn + 1);
  } else {
    Link(line, nullptr, 0);
  }
  if (!fields || fields->size() < kEarlierColumns) {
    if (rows_ != nullptr) rows_->Damaged();
    ApplyDamaged(line, pool);
    return true;
  }
  if (rows_ != nullptr && fields->size() <= kMostFields) {
    std::string_view views[kMostFields];
    for (size_t i = 0; i < fields->size(); ++i) views[i] = (*fields)[i];
    KeepRow(views, fields->size(), false);
  } else if (rows_ != nullptr) {
    rows_->Damaged();
  }
  if (std::optional<SerialEntry> event = PoolEventOf(*fields)) pool.Apply(*event);
  return true;
}

// Chained: the line has the seq and chain columns; its text is all before
// the chain's comma. The last place and value are kept for the next line
// written, whether or not the walk finds them sound.
void CsvLogReader::Link(std::string_view line, const std::string_view* fields, size_t count) {
  if (count <= kChainColumn) {
    if (walk_ != nullptr) walk_->Unchained(line_);
    return;
  }
  const std::string_view chain = fields[kChainColumn];
  uint64_t seq = 0;
  for (char c : fields[kSeqColumn].substr(0, 19)) {
    if (c < '0' || c > '9') {
      seq = 0;
      break;
    }
    seq = seq * 10 + static_cast<uint64_t>(c - '0');
  }
  lastSeq_ = seq;
  lastChain_.assign(chain);
  if (walk_ == nullptr) return;
  const size_t cut = line.rfind(',');
  walk_->Chained(line_, seq, chain, line.substr(0, cut));
}

void CsvLogReader::ApplyUnfinished(SerialPool& pool) const {
  if (header_ && !pending_.empty()) ApplyDamaged(WithoutLineEnd(pending_), pool);
}

CsvLogReader::Fed CsvLogReader::Feed(std::string_view bytes, SerialPool& pool) {
  if (foreign_) return Fed::kForeign;
  size_t start = 0;
  for (size_t end = bytes.find('\n'); end != std::string_view::npos;
       start = end + 1, end = bytes.find('\n', start)) {
    const std::string_view piece = bytes.substr(start, end - start);
    bool ok;
    if (pending_.empty()) {
      ok = TakeLine(piece, pool);
    } else {
      pending_.append(piece);
      ok = TakeLine(pending_, pool);
    }
    if (!ok) {
      foreign_ = true;
      return Fed::kForeign;
    }
    taken_ += pending_.size() + (pending_.empty() ? piece.size() : 0) + 1;
    pending_.clear();
  }
  pending_.append(bytes.substr(start));
  // A first line that can no longer become the header is foreign already.
  if (!header_) {
    std::string_view head = WithoutLineEnd(pending_);
    // A byte order mark may still be arriving.
    if (head.size() < kByteOrderMarkBytes &&
        std::string_view(kByteOrderMark).substr(0, head.size()) == head) {
      return Fed::kRead;
    }
    if (head.substr(0, kByteOrderMarkBytes) == kByteOrderMark)
      head.remove_prefix(kByteOrderMarkBytes);
    if (CurrentHeader().substr(0, head.size()) != head) {
      foreign_ = true;
      return Fed::kForeign;
    }
  }
  return Fed::kRead;
}

void CsvLogReader::Reset() {
  RowSink* rows = rows_;
  ChainWalk* walk = walk_;
  *this = CsvLogReader();
  rows_ = rows;
  walk_ = walk;
  if (walk_ != nullptr) walk_->Restart();
}
