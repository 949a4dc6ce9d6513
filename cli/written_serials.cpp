// Reading the log back. The columns are found by their names in the header
// the program writes, so this and the writer cannot disagree on them.
#include "cli/written_serials.h"

#include <algorithm>

#include "ledger/operation_record.h"

namespace {

constexpr char kWriteSerialCommand[] = "write-serial";
constexpr char kSucceeded[] = "0";

size_t ColumnOf(const char* name) {
  const std::vector<CsvRecord> header = ParseCsvRecords(CsvHeader());
  const std::vector<std::string>& names = header.front().fields;
  return static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

}  // namespace

std::vector<CsvRecord> ParseCsvRecords(const std::string& text) {
  std::vector<CsvRecord> records;
  CsvRecord record;
  std::string field;
  bool quoted = false;
  bool started = false;  // the record has a character or a field already
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
      continue;
    }
    if (c == '"') {
      quoted = true;
      started = true;
    } else if (c == ',') {
      record.fields.push_back(std::move(field));
      field.clear();
      started = true;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (started || !field.empty()) {
        record.fields.push_back(std::move(field));
        record.whole = true;
        records.push_back(std::move(record));
      }
      record = CsvRecord{};
      field.clear();
      started = false;
    } else {
      field += c;
      started = true;
    }
  }
  if (started || !field.empty()) {
    record.fields.push_back(std::move(field));
    records.push_back(std::move(record));
  }
  return records;
}

WrittenSerials::WrittenSerials(const std::string& logText) {
  static const size_t command = ColumnOf("command");
  static const size_t serial = ColumnOf("serial");
  static const size_t result = ColumnOf("result");
  const size_t needed = std::max({command, serial, result}) + 2;
  for (const CsvRecord& record : ParseCsvRecords(logText)) {
    const std::vector<std::string>& fields = record.fields;
    if (fields.size() < needed) continue;
    if (fields[command] == kWriteSerialCommand && fields[result] == kSucceeded) {
      serials_.push_back(fields[serial]);
    }
  }
}

bool WrittenSerials::Contains(const std::string& serial) const {
  return std::find(serials_.begin(), serials_.end(), serial) != serials_.end();
}

std::optional<std::string> WrittenSerials::Last() const {
  if (serials_.empty()) return std::nullopt;
  return serials_.back();
}
