// Logs of a line whose report figures are known, for the report's tests and
// its page in a browser: two stations across midnight and a month's end,
// a retry, failures of several causes, a killed station's claim, a refused
// number and a damaged line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ledger/operation_record.h"

namespace report_logs {

inline std::string Row(const char* time, const char* station, const char* command,
                       const std::string& serial, int result, const char* message,
                       const char* pool = "", const std::string& job = "") {
  OperationRecord record{command, std::nullopt, result, message, 1.5};
  if (!serial.empty()) record.serial = serial;
  if (!job.empty()) record.job = job;
  if (std::string(command) != "check") record.probe = 0;
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

// A time of December 2026, seconds after its 9th began (up to its end).
inline std::string DecemberTime(uint64_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "2026-12-%02uT%02u:%02u:%02uZ",
                static_cast<unsigned>(9 + seconds / 86400 % 23),
                static_cast<unsigned>(seconds / 3600 % 24),
                static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
  return text;
}

// A line at work from 06:00 on: each of `stations` updates a probe and writes
// its number (SN000001 on, from one pool) about once a minute, with failures
// of a few causes now and then (a released number is written again); the
// third station pauses in its fourth hour. At least `lines` lines, the same
// for the same seed.
inline std::string BusyShift(int stations, size_t lines, uint32_t seed = 1) {
  std::string log = CsvHeader();
  std::vector<uint64_t> next(static_cast<size_t>(stations));
  for (size_t i = 0; i < next.size(); ++i) next[i] = 6 * 3600 + 17 * i;
  uint32_t random = seed;
  auto draw = [&](uint32_t range) {
    random = random * 1664525u + 1013904223u;
    return (random >> 8) % range;
  };
  unsigned number = 1;
  for (size_t written = 0; written < lines;) {
    size_t s = 0;
    for (size_t i = 1; i < next.size(); ++i) s = next[i] < next[s] ? i : s;
    uint64_t& t = next[s];
    const std::string station = "ST" + std::to_string(s + 1);
    if (s == 2 && t % 86400 >= 9 * 3600 && t % 86400 < 10 * 3600) {
      t += 3600;
      continue;
    }
    auto row = [&](const char* command, const std::string& serial, int result, const char* message,
                   const char* pool) {
      OperationRecord record{command, static_cast<int>(s), result, message, 1.5};
      if (!serial.empty()) record.serial = serial;
      log += FormatCsvLine(record, LogContext{DecemberTime(t), station, "1.0.0.0"}, pool);
      t += 4 + draw(6);
      ++written;
    };
    const uint32_t update = draw(60);
    if (update == 0) row("update", "", 19, "It failed in verify with the flash memory.", "");
    if (update == 1)
      row("update", "", 17, "It failed in the data transfer to the flash memory.", "");
    row("update", "", 0, "Updating Firmware of Velkoro succeeded.", "");
    char serial[16];
    std::snprintf(serial, sizeof serial, "SN%06u", number++);
    for (bool again = true; again;) {
      again = false;
      log += Claim(DecemberTime(t).c_str(), station.c_str(), serial);
      ++written;
      const uint32_t write = draw(100);
      if (write < 2) {
        row("write-serial", serial, 11, "It failed in the verify of Serial No..", "spent");
      } else if (write < 3) {
        row("write-serial", serial, 4, "The USB data reception failed.", "spent");
      } else if (write < 5) {
        row("write-serial", serial, 8, "The firmware is too old for a Serial No.", "free");
        again = true;
      } else {
        row("write-serial", serial, 0, "Writing Serial No. of Velkoro succeeded.", "written");
      }
    }
    t += 30 + draw(40);
  }
  return log;
}

}  // namespace report_logs
