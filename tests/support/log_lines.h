// Lines of the CSV log as the program writes them, for logs a test starts
// from: with a pool event, or in the earlier format without the pool column.
#pragma once

#include <string>

#include "ledger/operation_record.h"

namespace log_lines {

inline const LogContext kAt{"2024-05-06T07:08:09Z", "BENCH-7", "1.0.0.0"};

// pool null: the earlier format.
inline std::string Line(const std::string& serial, const char* pool, int result = 0,
                        const char* command = "write-serial", const char* station = nullptr) {
  OperationRecord record{command, std::nullopt, result, "", 0, serial};
  LogContext at = kAt;
  if (station) at.station = station;
  const std::string line = FormatCsvLine(record, at, pool ? pool : "");
  // The earlier format ends at seconds: the empty columns after it go.
  return pool ? line : line.substr(0, line.find_last_not_of(",\r\n") + 1) + "\r\n";
}

inline std::string EarlierHeader() {
  const std::string header = CsvHeader();
  return header.substr(0, header.find(",pool")) + "\r\n";
}

}  // namespace log_lines
