// The line's report: the record's rows in, its figures out, for each station
// and for the whole line, with the pool per series. Pure: it reads nothing
// and prints nothing, so the console, a test and a benchmark feed it alike,
// and --every feeds it only the rows appended since the last look.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ledger/ledger.h"
#include "ledger/record_chain.h"
#include "ledger/unit_series.h"

// Which rows count: at or after since, before until (ISO 8601 UTC), of one
// job (its tag in the record's job column).
struct ReportFilter {
  std::optional<std::string> since;
  std::optional<std::string> until;
  std::optional<std::string> job;
};

// Times as the record writes them, YYYY-MM-DDTHH:MM:SSZ; a date alone, or a
// time without seconds, is taken as its start. nullopt when it is no such
// time (a usage error for --since and --until).
std::optional<std::string> ReportTime(const std::string& text);

struct StationFigures {
  std::string station;                   // empty for the whole line
  std::map<std::string, long> commands;  // operations by command
  long operations = 0;
  long probes = 0;     // distinct probes an update, verify or write-serial reached
  long firstPass = 0;  // of them, those whose first attempt of each command succeeded
  long succeeded = 0;
  long failed = 0;
  std::string first;
  std::string last;
  std::optional<double> Yield() const {
    if (probes == 0) return std::nullopt;
    return static_cast<double>(firstPass) / static_cast<double>(probes);
  }
};

struct FailureFigures {
  int result = 0;
  std::string message;  // the first one seen for the code
  long count = 0;
  std::map<std::string, long> stations;
};

struct HourFigures {
  int64_t hour = 0;  // hours since 1970-01-01T00:00:00Z
  std::string station;
  long succeeded = 0;
};

struct SeriesFigures {
  std::string series;  // the text before the trailing digits, then one # per digit
  long written = 0;
  long spentFailed = 0;
  long spentUnknown = 0;
  long claimed = 0;  // open, or left by a station that was killed
  std::string highest;
  std::string next;    // the first free number counting up from the lowest seen
  uint64_t above = 0;  // numbers after the highest, up to all nines
};

// With a job: its tag and how many numbers of its range no record holds.
struct JobFigures {
  std::string tag;
  uint64_t rangeSize = 0;
  uint64_t rangeLeft = 0;
  // A capped job's units: made, held and left of its cap.
  std::optional<UnitCounts> units;
};

struct ReportFigures {
  std::string from;  // --since, or the first time seen
  std::string to;    // --until, or the last time seen
  StationFigures line;
  std::vector<StationFigures> stations;  // by name
  std::vector<FailureFigures> failures;  // by count, most first
  std::vector<HourFigures> perHour;      // by hour, then station; hours with an operation
  std::vector<SeriesFigures> pool;       // by series
  std::optional<JobFigures> job;
  long damaged = 0;    // lines skipped because they could not be read
  ChainVerdict chain;  // the record's hash chain, walked with the rows
  // With a job that names an MES: how its outbox stands, one line; empty
  // otherwise.
  std::string mes;
};

// One short line of how the chain stands, for the text and the page.
std::string ChainLine(const ChainVerdict& chain);

// "2026-12-09T10:00:00Z" of an hour number.
std::string HourText(int64_t hour);

// Takes the rows as a store reads them, tail after tail.
class ReportTally : public RowSink {
 public:
  explicit ReportTally(ReportFilter filter);
  void Restart() override;
  void Take(const LogRow& row) override;
  void Damaged() override { ++damaged_; }
  void ChainNow(const ChainVerdict& chain) override { chain_ = chain; }

  // The figures of the rows taken, and of the pool as the store holds it now.
  ReportFigures Figures(const std::vector<SerialEntry>& pool) const;

 private:
  struct ProbeMarks {
    uint32_t seen = 0;  // a bit per command tried
    uint32_t ok = 0;    // its first attempt succeeded
  };
  struct Tally {
    StationFigures figures;
    std::unordered_map<std::string, ProbeMarks> probes;  // by serial number
    // A probe without its number yet (updated before its write), by station
    // and device index: the number that station writes there next is its.
    std::map<std::pair<std::string, int>, ProbeMarks> waiting;
  };
  void Count(Tally& tally, const LogRow& row, uint32_t command, bool reachedProbe, bool timed);
  static StationFigures Close(const Tally& tally);
  uint32_t CommandBit(const std::string& command);

  ReportFilter filter_;
  Tally line_;
  std::map<std::string, Tally> stations_;
  std::map<int, FailureFigures> failures_;
  std::map<std::pair<int64_t, std::string>, long> hours_;
  std::vector<std::string> commands_;
  long damaged_ = 0;
  ChainVerdict chain_;
};

// The pool per series, from the store's numbers; a job's units
// (ledger/unit_series.h) are no serial numbers and are left out.
std::vector<SeriesFigures> PoolFigures(const std::vector<SerialEntry>& entries);
