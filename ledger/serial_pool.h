// The pool's rule over the events a store has seen: what state each number
// is in (its last event decides), which number a claim gets, and the
// highest of a series for --resume. Both stores share it: the CSV store
// feeds it the log's lines, the database store its rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ledger/ledger.h"

// How many decimal digits end the text (a series' numbers all end in as
// many).
size_t DigitsAtEnd(const std::string& text);
// a and b are of one series: the same text before their trailing digits and
// as many trailing digits (at least one).
bool SameSeries(const std::string& a, const std::string& b);
// a before b in numeric order, for two numbers of one series.
bool SeriesLess(const std::string& a, const std::string& b);
// The first and last number of like's series (its trailing digits all 0, all
// 9; like itself when it ends in no digit), for a store that reads a range.
// Within a series text order is numeric order.
std::string SeriesFirst(const std::string& like);
std::string SeriesLast(const std::string& like);

class SerialPool {
 public:
  // One event for a number; it replaces whatever the number held, except a
  // release (kFree), which frees only an open claim of the same station.
  void Apply(const SerialEntry& entry);
  void Apply(std::string_view serial, SerialState state, std::string_view station,
             std::string_view timeUtc, std::optional<int> result, std::string_view message);
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
  // A number as the pool keeps it: its station and message are kept once
  // each in texts_ (a log repeats a handful of them), its time in place (one
  // longer than ours goes to texts_ too), so a long log's first read
  // allocates little beyond the numbers themselves.
  static constexpr size_t kTimeChars = 23;
  struct Slot {
    std::string serial;
    SerialState state;
    std::optional<int> result;
    uint32_t station, message;
    uint32_t longTime;  // kNoText: the time is in time
    uint8_t timeLength;
    char time[kTimeChars];
  };
  static constexpr uint32_t kNoText = UINT32_MAX;
  uint32_t Text(std::string_view text);

  std::unordered_map<std::string, size_t> index_;
  std::vector<Slot> slots_;
  std::unordered_map<std::string, uint32_t> textIndex_;
  std::vector<std::string> texts_;
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

// The console program's exit statuses that leave a sent write's outcome
// unknown, beside the result codes: its record could not be written, or
// Ctrl+C stopped the run.
inline constexpr int kOutcomeNotRecorded = 74;
inline constexpr int kOutcomeStopped = 130;
// A number's state as the reports word it: written; spent-failed (the probe
// answered a failure) apart from spent-unknown (the request or its answer
// was lost, the run stopped, the outcome unrecorded, or no outcome line);
// claimed (a station is writing it or died doing so); free-again.
const char* ReportedState(const SerialEntry& entry);
