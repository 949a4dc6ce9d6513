// One operation as the console program reports it: the JSON object on
// standard output and the CSV line of the log are both made from this.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct OperationRecord {
  std::string command;
  std::optional<int> probe;  // the device index used, when known
  int result = 0;            // the exit status
  std::string message;       // one line
  double seconds = 0;
  std::optional<std::string> serial;
  std::optional<std::string> next;
  std::optional<std::string> firmwareBefore;  // such as 2.2
  std::optional<std::string> file;
  std::optional<uint32_t> imageCrc32;
  std::optional<int> units;
  std::optional<std::string> led;  // yes, no or skipped
  std::optional<uint32_t> base;
  std::optional<uint32_t> span;
  std::optional<int> blocks;
  std::optional<std::string> firmwareAfter;  // the version answered after the reset
  // The line job that ran it: its name, '@' and the first 8 hexadecimal
  // digits of the job file's SHA-256, so the record proves which job it was.
  std::optional<std::string> job;
  bool alreadyThere = false;  // --if-different found the image in place
  // The chain value the store gave the record's line, once it is written;
  // never part of the record's own text.
  std::optional<std::string> chain;
  // list: the record's layout version, the device path and what became of
  // the serial number (read, firmware too old, unreadable).
  std::optional<int> schema;
  std::optional<std::string> device;
  std::optional<std::string> serialState;
};

// What the log's two columns beside the record hold.
struct LogContext {
  std::string timeUtc;  // ISO 8601, ending in Z
  std::string station;  // the computer's name
  std::string toolVersion;
  // The line job the station runs (JobTag), for the lines a store writes of
  // its own (a claim); a record's own job goes first.
  std::string job;
};

// UTF-8 of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string Utf8(const std::u16string& text);
// 8 upper-case hexadecimal digits.
std::string Hex32(uint32_t value);
// A catalogue text on one line: its line break becomes a space.
std::string OneLine(const std::u16string& text);

// The text with each byte that is not part of valid UTF-8 replaced by
// U+FFFD; valid text comes back as it is.
std::string ValidUtf8(std::string_view text);
// A JSON string with its quotes, always valid UTF-8.
std::string JsonString(const std::string& text);
// One JSON object, no line end; absent fields are left out, probe is null
// when unknown.
std::string FormatJson(const OperationRecord& record);

// The log's header and one record, each with its CRLF line end. A field is
// quoted as RFC 4180 says when it holds a comma or a quote; a line break in
// it is written as \r or \n, so a record is always one line; a field a
// spreadsheet would take for a formula (=, +, -, @, tab, CR) or that starts
// with the text mark ' gets a leading '. pool: the record's pool event
// (claimed, written, spent, free) or empty.
std::string CsvHeader();
std::string FormatCsvLine(const OperationRecord& record, const LogContext& context,
                          const std::string& pool = "");
std::string JoinCsvFields(const std::vector<std::string>& fields);
std::string CsvField(const std::string& value);
// The text mark a spreadsheet reads as "this cell is text".
inline constexpr char kTextMark = '\'';
