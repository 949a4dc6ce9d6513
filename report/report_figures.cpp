// The report's figures. A probe is known by its serial number when its
// record has one; an operation that never reached a probe (none attached,
// two attached, the question declined, the number refused) makes no probe.
#include "report/report_figures.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "ledger/csv_log_reader.h"
#include "ledger/serial_pool.h"
#include "ledger/unit_series.h"

namespace {

// Results that say no probe was reached: none, two or more, declined, every
// unit of the job held, a usage error, a number the pool holds.
constexpr int kUnreachedResults[] = {1, 2, 23, 28, 64, 65};
// The commands that make or prove a probe, and so count it.
constexpr const char* kProbeCommands[] = {"update", "write-serial", "verify"};
constexpr size_t kTimeChars = 20;  // YYYY-MM-DDTHH:MM:SSZ
constexpr int kHoursPerDay = 24;
constexpr int kMostDigitsCounted = 19;

bool Digits(const std::string& text, size_t at, size_t count, int* value) {
  *value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
int64_t DaysOf(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void DateOf(int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shifted = (5 * dayOfYear + 2) / 153;
  *day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
  *month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
  *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

int DaysInMonth(int year, int month) {
  return static_cast<int>(DaysOf(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
                          DaysOf(year, month, 1));
}

// The hour number of a record's time; nullopt when it is no such time.
std::optional<int64_t> HourOf(const std::string& time) {
  int year = 0, month = 0, day = 0, hour = 0;
  if (time.size() < 13 || time[4] != '-' || time[7] != '-' || time[10] != 'T' ||
      !Digits(time, 0, 4, &year) || !Digits(time, 5, 2, &month) || !Digits(time, 8, 2, &day) ||
      !Digits(time, 11, 2, &hour) || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour >= kHoursPerDay) {
    return std::nullopt;
  }
  return DaysOf(year, month, day) * kHoursPerDay + hour;
}

bool Reached(int result) {
  return std::find(std::begin(kUnreachedResults), std::end(kUnreachedResults), result) ==
         std::end(kUnreachedResults);
}

bool MakesProbes(const std::string& command) {
  return std::any_of(std::begin(kProbeCommands), std::end(kProbeCommands),
                     [&](const char* name) { return command == name; });
}

}  // namespace

std::optional<std::string> ReportTime(const std::string& text) {
  static const std::string kStart = "0000-00-00T00:00:00Z";
  std::string time = text;
  if (time.size() == 10) time += "T00:00:00Z";
  if (time.size() == 17 && time.back() == 'Z') time.insert(16, ":00");
  int minute = 0, second = 0;
  if (time.size() != kTimeChars || time[13] != ':' || time[16] != ':' || time[19] != 'Z' ||
      !HourOf(time) || !Digits(time, 14, 2, &minute) || !Digits(time, 17, 2, &second) ||
      minute > 59 || second > 59) {
    return std::nullopt;
  }
  return time;
}

std::string HourText(int64_t hour) {
  int64_t days = hour / kHoursPerDay;
  int64_t within = hour % kHoursPerDay;
  if (within < 0) {
    within += kHoursPerDay;
    --days;
  }
  int year = 0, month = 0, day = 0;
  DateOf(days, &year, &month, &day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:00:00Z", year, month, day,
                static_cast<int>(within));
  return text;
}

ReportTally::ReportTally(ReportFilter filter) : filter_(std::move(filter)) {}

void ReportTally::Restart() {
  *this = ReportTally(std::move(filter_));
}

uint32_t ReportTally::CommandBit(const std::string& command) {
  constexpr size_t kBits = 32;
  auto at = std::find(commands_.begin(), commands_.end(), command);
  size_t index = static_cast<size_t>(at - commands_.begin());
  if (at == commands_.end()) {
    index = commands_.size();
    if (index < kBits) commands_.push_back(command);
  }
  return uint32_t{1} << std::min(index, kBits - 1);
}

void ReportTally::Count(Tally& tally, const LogRow& row, uint32_t command, bool reachedProbe,
                        bool timed) {
  StationFigures& figures = tally.figures;
  ++figures.commands[row.command];
  ++figures.operations;
  const bool ok = *row.result == 0;
  ++(ok ? figures.succeeded : figures.failed);
  if (timed) {
    if (figures.first.empty() || row.timeUtc < figures.first) figures.first = row.timeUtc;
    if (figures.last.empty() || row.timeUtc > figures.last) figures.last = row.timeUtc;
  }
  if (!reachedProbe) return;
  auto mark = [&](ProbeMarks& marks) {
    if ((marks.seen & command) != 0) return;
    marks.seen |= command;
    if (ok) marks.ok |= command;
  };
  const std::pair<std::string, int> where{row.station, row.probe.value_or(-1)};
  if (row.serial.empty()) {
    mark(tally.waiting[where]);
    return;
  }
  ProbeMarks& marks = tally.probes[row.serial];
  const auto waiting = tally.waiting.find(where);
  if (waiting != tally.waiting.end()) {
    const uint32_t earlier = waiting->second.seen & ~marks.seen;
    marks.seen |= earlier;
    marks.ok |= waiting->second.ok & earlier;
    tally.waiting.erase(waiting);
  }
  mark(marks);
}

void ReportTally::Take(const LogRow& row) {
  // A unit's settlement is no operation on a probe: its steps' records are.
  if (!row.result || row.command == kClaimCommand || IsUnitSerial(row.serial)) return;
  if (filter_.job && row.job != *filter_.job) return;
  if (filter_.since && !(row.timeUtc >= *filter_.since)) return;
  if (filter_.until && !(row.timeUtc < *filter_.until)) return;
  const uint32_t command = CommandBit(row.command);
  const bool reachedProbe = MakesProbes(row.command) && Reached(*row.result);
  auto [station, added] = stations_.try_emplace(row.station);
  if (added) station->second.figures.station = row.station;
  const std::optional<int64_t> hour = HourOf(row.timeUtc);
  Count(station->second, row, command, reachedProbe, hour.has_value());
  Count(line_, row, command, reachedProbe, hour.has_value());
  if (*row.result != 0) {
    FailureFigures& failure = failures_[*row.result];
    if (failure.count == 0) {
      failure.result = *row.result;
      failure.message = row.message;
    }
    ++failure.count;
    ++failure.stations[row.station];
  }
  if (hour) {
    hours_[{*hour, row.station}] += *row.result == 0 ? 1 : 0;
  }
}

StationFigures ReportTally::Close(const Tally& tally) {
  StationFigures figures = tally.figures;
  figures.probes = static_cast<long>(tally.probes.size() + tally.waiting.size());
  for (const auto& [serial, marks] : tally.probes) figures.firstPass += marks.ok == marks.seen;
  for (const auto& [where, marks] : tally.waiting) figures.firstPass += marks.ok == marks.seen;
  return figures;
}

ReportFigures ReportTally::Figures(const std::vector<SerialEntry>& pool) const {
  ReportFigures report;
  report.chain = chain_;
  report.line = Close(line_);
  for (const auto& [name, tally] : stations_) report.stations.push_back(Close(tally));
  for (const auto& [result, failure] : failures_) report.failures.push_back(failure);
  std::stable_sort(
      report.failures.begin(), report.failures.end(),
      [](const FailureFigures& a, const FailureFigures& b) { return a.count > b.count; });
  for (const auto& [key, succeeded] : hours_) {
    report.perHour.push_back({key.first, key.second, succeeded});
  }
  report.pool = PoolFigures(pool);
  report.from = filter_.since.value_or(report.line.first);
  report.to = filter_.until.value_or(report.line.last);
  report.damaged = damaged_;
  return report;
}

std::vector<SeriesFigures> PoolFigures(const std::vector<SerialEntry>& entries) {
  struct Series {
    SeriesFigures figures;
    size_t digits = 0;
    std::string lowest;
    std::vector<uint64_t> held;  // the trailing digits' values of the numbers held
  };
  std::map<std::string, Series> series;
  for (const SerialEntry& entry : entries) {
    if (IsUnitSerial(entry.serial)) continue;
    const size_t digits = DigitsAtEnd(entry.serial);
    const std::string prefix = entry.serial.substr(0, entry.serial.size() - digits);
    Series& one = series[prefix + std::string(digits, '#')];
    one.figures.series = prefix + std::string(digits, '#');
    one.digits = digits;
    const std::string_view state = ReportedState(entry);
    one.figures.written += state == "written";
    one.figures.spentFailed += state == "spent-failed";
    one.figures.spentUnknown += state == "spent-unknown";
    one.figures.claimed += state == "claimed";
    if (one.lowest.empty() || SeriesLess(entry.serial, one.lowest)) one.lowest = entry.serial;
    if (!Held(entry.state)) continue;
    if (one.figures.highest.empty() || SeriesLess(one.figures.highest, entry.serial))
      one.figures.highest = entry.serial;
    if (digits > 0 && digits < kMostDigitsCounted) {
      one.held.push_back(std::stoull(entry.serial.substr(entry.serial.size() - digits)));
    }
  }
  std::vector<SeriesFigures> list;
  for (auto& [name, one] : series) {
    SeriesFigures& figures = one.figures;
    if (one.digits == 0 || one.digits >= kMostDigitsCounted) {
      // No digits to count up, or too many for a number: the pool's own walk.
      SerialPool pool;
      for (const SerialEntry& entry : entries) {
        if (DigitsAtEnd(entry.serial) == one.digits) pool.Apply(entry);
      }
      figures.next = pool.NextFree(one.lowest).value_or("");
      list.push_back(figures);
      continue;
    }
    uint64_t all = 1;
    for (size_t i = 0; i < one.digits; ++i) all *= 10;
    // The first number from the lowest seen that no one holds, as a station
    // counting up from there would take it.
    std::sort(one.held.begin(), one.held.end());
    uint64_t next = std::stoull(one.lowest.substr(one.lowest.size() - one.digits));
    for (uint64_t value : one.held) {
      if (value == next) ++next;
      if (value > next) break;
    }
    if (next < all) {
      std::string digits = std::to_string(next);
      figures.next = one.lowest.substr(0, one.lowest.size() - one.digits) +
                     std::string(one.digits - digits.size(), '0') + digits;
    }
    if (!one.held.empty()) figures.above = all - 1 - one.held.back();
    list.push_back(figures);
  }
  return list;
}

std::string ChainLine(const ChainVerdict& chain) {
  if (chain.broken != ChainBreak::kNone) {
    return "Chain broken at line (row) " + std::to_string(chain.brokenAt) + " (" +
           ChainBreakWord(chain.broken) + "): run audit.";
  }
  if (chain.chained == 0) return "Chain: no record is chained yet.";
  return "Chain holds over " + std::to_string(chain.chained) + " records; head " + chain.head + ".";
}
