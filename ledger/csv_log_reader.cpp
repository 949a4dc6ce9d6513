// The log's lines read back. Columns stand where the header puts them; the
// earlier header is the current one without its last two columns, so one
// set of positions reads both.
#include "ledger/csv_log_reader.h"

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkBytes = 3;
constexpr char kWriteSerialCommand[] = "write-serial";
constexpr char kSucceeded[] = "0";

// Positions in the header.
constexpr size_t kTimeColumn = 0;
constexpr size_t kStationColumn = 1;
constexpr size_t kCommandColumn = 3;
constexpr size_t kSerialColumn = 6;
constexpr size_t kResultColumn = 9;
constexpr size_t kMessageColumn = 10;
constexpr size_t kPoolColumn = 12;
constexpr size_t kEarlierColumns = 12;

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
  constexpr size_t kMostFields = 32;
  std::string_view fields[kMostFields];
  size_t count = 0;
  for (size_t start = 0;;) {
    const size_t comma = line.find(',', start);
    if (count == kMostFields) break;
    fields[count++] = line.substr(start, comma == std::string_view::npos ? comma : comma - start);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (count < kEarlierColumns) {
    ApplyDamaged(line, pool);
    return true;
  }
  const bool marked = count > kPoolColumn;
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

bool CsvLogReader::TakeLine(std::string_view line, SerialPool& pool) {
  line = WithoutLineEnd(line);
  if (!header_) {
    if (taken_ == 0 && line.substr(0, kByteOrderMarkBytes) == kByteOrderMark) {
      line.remove_prefix(kByteOrderMarkBytes);
    }
    if (!IsHeader(line)) return false;
    header_ = true;
    return true;
  }
  if (line.empty()) return true;
  if (line.find('"') == std::string_view::npos) return TakePlainLine(line, pool);
  // Only lines with the pool column come from a writer that marks text.
  size_t commas = 0;
  for (char c : line) commas += c == ',' ? 1 : 0;
  const std::optional<std::vector<std::string>> fields =
      SplitCsvLine(line, commas >= kPoolColumn, false);
  if (!fields || fields->size() < kEarlierColumns) {
    ApplyDamaged(line, pool);
    return true;
  }
  if (std::optional<SerialEntry> event = PoolEventOf(*fields)) pool.Apply(*event);
  return true;
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
  *this = CsvLogReader();
}
