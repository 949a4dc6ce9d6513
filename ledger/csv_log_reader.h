// Reading the CSV log as it grows: the bytes appended since the last look go
// in, the pool's events come out. Records are split at line ends first, so a
// damaged line (cut short, an unterminated quote) is skipped alone and never
// swallows the lines after it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/record_chain.h"
#include "ledger/serial_pool.h"

// The command column of a claim line.
inline constexpr char kClaimCommand[] = "claim";

// The fields of one line without its line end, unquoted and with the text
// mark taken off (marked: the line was written by a program that marks
// them); nullopt when a quote is left open or stray text follows one,
// unless lenient, which reads on as well as it can.
std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line, bool marked,
                                                     bool lenient);

// The pool event one line of the log records, if any. A line with the pool
// column says it there; a line of the earlier format (no such column) only
// as a write-serial with result 0, which wrote the number.
std::optional<SerialEntry> PoolEventOf(const std::vector<std::string>& fields);

// A damaged line (cut short, a quote left open, too few fields) that names a
// write-serial or a claim leaves the number spent unless it is written: a
// damaged line never frees a number.
class CsvLogReader {
 public:
  enum class Fed { kRead, kForeign };
  // The next bytes of the file, from where the last call ended. Whole lines
  // go into the pool; a last line without its line end waits for the rest.
  // kForeign: the file does not start with the log's header (a UTF-8 byte
  // order mark before it is fine); nothing of it is taken.
  Fed Feed(std::string_view bytes, SerialPool& pool);
  // The bytes taken so far (whole lines), and whether the file's text ends
  // with a line end there (nothing left waiting).
  unsigned long long taken() const { return taken_; }
  bool endsWithLine() const { return pending_.empty(); }
  size_t pendingBytes() const { return pending_.size(); }
  bool foreign() const { return foreign_; }
  // Whether what was fed so far may still become the header.
  bool sawHeader() const { return header_; }
  // From now on every record line read also goes to rows (nullptr: no
  // longer), an operation only with its result; a line that cannot be read
  // as a record is said to be damaged instead.
  void KeepRows(RowSink* rows) { rows_ = rows; }
  // From now on every record line read also goes to walk (nullptr: no
  // longer), which Reset restarts.
  void KeepChain(ChainWalk* walk) { walk_ = walk; }
  // The last chained line's place and value, which the next line written
  // follows; 0 and the origin when none is chained yet.
  uint64_t lastSeq() const { return lastSeq_; }
  std::string_view lastChain() const { return lastChain_; }
  // Back to the file's start; the rows' destination stays.
  void Reset();
  // The last line while its line end is missing, read as a damaged line:
  // a decision made now counts its number as held.
  void ApplyUnfinished(SerialPool& pool) const;

 private:
  bool TakeLine(std::string_view line, SerialPool& pool);
  bool TakePlainLine(std::string_view line, SerialPool& pool);
  void KeepRow(const std::string_view* fields, size_t count, bool marked);
  void Link(std::string_view line, const std::string_view* fields, size_t count);

  std::string pending_;
  unsigned long long taken_ = 0;
  bool header_ = false;
  bool foreign_ = false;
  RowSink* rows_ = nullptr;
  ChainWalk* walk_ = nullptr;
  uint64_t line_ = 0;  // the line's number, the header's 1
  uint64_t lastSeq_ = 0;
  std::string lastChain_ = kChainOrigin;
  LogRow row_;  // reused, so its texts keep their room from line to line
};
