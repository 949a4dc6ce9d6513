// The record's hash chain. Every record written carries its place in the
// chain (seq, counting from 1) and its chain value:
//   chain = SHA-256, in lower-case hexadecimal, of the previous record's
//           chain value, a line feed, then the record's text
// where the first record's previous value is 64 zeros and the record's text
// is its line as written, without its line end and without ",CHAIN" (so seq
// is covered): in the CSV log the line's own bytes, in the database the same
// line made again from the row's columns (CanonicalRowText). An edit, a
// removal, an insertion or a reordering breaks the chain from that record
// on; a tail cut off or written again with new values is found by the chain
// values an outside system kept (witnesses).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "ledger/ledger.h"

inline constexpr size_t kChainDigits = 64;
// The chain value before the first chained record.
inline constexpr char kChainOrigin[] =
    "0000000000000000000000000000000000000000000000000000000000000000";

// Empty when the system's hash could not be had.
std::string ChainValue(std::string_view previous, std::string_view text);
bool IsChainValue(std::string_view text);
// A record line (with its CRLF) chained after `previous` as record `seq`;
// empty when the hash could not be had.
std::string ChainedLine(std::string_view line, uint64_t seq, std::string_view previous);
// A database row's text as the log would write it, seq included.
std::string CanonicalRowText(const LogRow& row, uint64_t seq);
// UTF-8 text cut to at most mostChars UTF-16 units, never inside a
// character, as a database column of that width keeps it.
std::string FitToColumn(const std::string& utf8, size_t mostChars);

enum class ChainBreak { kNone, kChanged, kRemoved, kInserted, kOutOfOrder };
const char* ChainBreakWord(ChainBreak kind);

// What a walk over the record found. Places are line numbers in a log
// (its header is line 1) and seq in the database.
struct ChainVerdict {
  uint64_t records = 0;
  uint64_t chained = 0;
  uint64_t firstChained = 0;  // 0: no record is chained
  std::string head;           // the last chain value
  ChainBreak broken = ChainBreak::kNone;
  uint64_t brokenAt = 0;
};

// Walks the records in their order, hashing each chained one once, so the
// report and audit read a long log in one pass. After the first break it
// only reads the places, to tell which kind of break it was.
class ChainWalk {
 public:
  void Restart() { *this = ChainWalk(); }
  // A record without a chain value: of the earlier format before the chain
  // starts; after it, one that no writer of the chain wrote.
  void Unchained(uint64_t place);
  void Chained(uint64_t place, uint64_t seq, std::string_view chain, std::string_view text);
  ChainVerdict Verdict() const;

 private:
  void Break(uint64_t place, ChainBreak kind);

  ChainVerdict verdict_;
  uint64_t expected_ = 1;
  std::string previous_ = kChainOrigin;
  // A break's kind can hang on the records after it: the next one's seq, and
  // whether the seq missing comes later (out of order, not removed).
  enum class Pending {
    kNone,
    kChangedUnlessRepeated,
    kRemovedUnlessLater
  } pending_ = Pending::kNone;
  bool sawNext_ = false;
};

// Chain values an outside system received (the factory's MES), each of
// which must still be in the record: a tail cut off, or written again with
// new values, leaves one missing.
class ChainWitnesses {
 public:
  explicit ChainWitnesses(std::vector<std::string> values);
  void See(std::string_view chain);
  // The first value, in the witnesses' order, never seen; empty when none.
  std::string FirstMissing() const;

 private:
  std::vector<std::string> values_;
  std::unordered_set<std::string> unseen_;
};
