// What the station's log already records: its CSV read back as RFC 4180
// says, and the serial numbers it records as written with result 0, so a
// number is never handed out twice and a run can resume after the last.
#pragma once

#include <optional>
#include <string>
#include <vector>

// One record of a CSV text: its fields, and whether its line end was there
// (a record cut off at the end of the text is still returned).
struct CsvRecord {
  std::vector<std::string> fields;
  bool whole = false;
};

// Every record of the text, quoted fields unquoted ("" inside them is one
// quote; a line break inside quotes belongs to the field). CRLF and LF both
// end a record; an empty line is no record.
std::vector<CsvRecord> ParseCsvRecords(const std::string& text);

// The serial numbers a log records as written: write-serial lines whose
// result field is 0 and complete (a comma follows it, so a line cut off
// inside that field does not count).
class WrittenSerials {
 public:
  explicit WrittenSerials(const std::string& logText);
  bool Contains(const std::string& serial) const;
  // The last one in the file's order; nullopt when there is none.
  std::optional<std::string> Last() const;

 private:
  std::vector<std::string> serials_;
};
