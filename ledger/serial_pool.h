// The pool's rule over the events a store has seen: what state each number
// is in (its last event decides), which number a claim gets, and the
// highest of a series for --resume. Both stores share it: the CSV store
// feeds it the log's lines, the database store its rows.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ledger/ledger.h"

// a and b are of one series: the same text before their trailing digits and
// as many trailing digits (at least one).
bool SameSeries(const std::string& a, const std::string& b);
// a before b in numeric order, for two numbers of one series.
bool SeriesLess(const std::string& a, const std::string& b);

class SerialPool {
 public:
  // One event for a number; it replaces whatever the number held.
  void Apply(SerialEntry entry);
  void Clear();
  // Room for this many numbers, so a long log's first read grows nothing.
  void Reserve(size_t numbers);
  // kFree for a number the pool has never seen.
  SerialState StateOf(const std::string& serial) const;
  // The number a claim from `from` gets: `from` itself when countUp is
  // false, or the first free one counting up; the Claim says kTaken or
  // kExhausted when there is none (serial: the number refused or last held).
  Claim Choose(const std::string& from, bool countUp) const;
  std::optional<std::string> HighestInSeries(const std::string& like) const;
  std::vector<SerialEntry> Entries() const;
  // The first free number counting up from `from` (itself when free);
  // nullopt when counting up ends on a held one.
  std::optional<std::string> NextFree(const std::string& from) const;

 private:
  std::unordered_map<std::string, size_t> index_;
  std::vector<SerialEntry> entries_;
};

// Whether a state holds the number (claimed, written or spent).
inline bool Held(SerialState state) {
  return state != SerialState::kFree;
}

// The pool column's words, and the word of a state ("free" for kFree).
inline constexpr char kPoolClaimed[] = "claimed";
inline constexpr char kPoolWritten[] = "written";
inline constexpr char kPoolSpent[] = "spent";
inline constexpr char kPoolFree[] = "free";
const char* PoolWord(SerialState state);
std::optional<SerialState> PoolStateOf(std::string_view word);
