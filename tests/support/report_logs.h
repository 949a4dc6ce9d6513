// Logs of a line whose report figures are known, for the report's tests and
// its page in a browser: two stations across midnight and a month's end,
// a retry, failures of several causes, a killed station's claim, a refused
// number and a damaged line.
#pragma once

#include <string>

#include "ledger/operation_record.h"

namespace report_logs {

inline std::string Row(const char* time, const char* station, const char* command,
                       const std::string& serial, int result, const char* message,
                       const char* pool = "") {
  OperationRecord record{command, std::nullopt, result, message, 1.5};
  if (!serial.empty()) record.serial = serial;
  if (std::string(command) == "update") record.probe = 0;
  return FormatCsvLine(record, LogContext{time, station, "1.0.0.0"}, pool);
}

inline std::string Claim(const char* time, const char* station, const std::string& serial) {
  return JoinCsvFields({time, station, "1.0.0.0", "claim", "", "", serial, "", "", "", "claimed",
                        "", "claimed", ""});
}

// ST1: SN0001 written; SN0002 failed read-back (spent-failed); SN0003 too old
// (released), the update, then SN0003 again written. ST2: SN0004 without an
// answer (spent-unknown); SN0005 claimed and the station killed; SN0006
// written, then refused as held; an update failed; a check.
inline std::string KnownShift() {
  return CsvHeader() + Claim("2026-11-30T23:10:00Z", "ST1", "SN0001") +
         Row("2026-11-30T23:10:05Z", "ST1", "write-serial", "SN0001", 0, "", "written") +
         Claim("2026-11-30T23:20:00Z", "ST1", "SN0002") +
         Row("2026-11-30T23:20:04Z", "ST1", "write-serial", "SN0002", 11, "Read back differs.",
             "spent") +
         Claim("2026-11-30T23:30:00Z", "ST2", "SN0004") +
         Row("2026-11-30T23:30:05Z", "ST2", "write-serial", "SN0004", 4, "No answer.", "spent") +
         Claim("2026-11-30T23:40:00Z", "ST1", "SN0003") +
         Row("2026-11-30T23:40:02Z", "ST1", "write-serial", "SN0003", 8, "Firmware too old.",
             "free") +
         Row("2026-11-30T23:50:00Z", "ST1", "update", "", 0, "") +
         Claim("2026-12-01T00:05:00Z", "ST1", "SN0003") +
         Row("2026-12-01T00:05:03Z", "ST1", "write-serial", "SN0003", 0, "", "written") +
         Claim("2026-12-01T00:10:00Z", "ST2", "SN0005") +
         Claim("2026-12-01T00:20:00Z", "ST2", "SN0006") +
         Row("2026-12-01T00:20:04Z", "ST2", "write-serial", "SN0006", 0, "", "written") +
         Row("2026-12-01T00:30:00Z", "ST2", "write-serial", "SN0006", 65, "SN0006 is written.") +
         Row("2026-12-01T00:40:00Z", "ST2", "update", "", 17, "Flash write failed.") +
         "2026-12-01T00:45:00Z,ST2,1.0.0.0,upd\r\n" +
         Row("2026-12-01T00:50:00Z", "ST2", "check", "", 0, "");
}

}  // namespace report_logs
