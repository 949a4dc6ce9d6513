// Benchmark of the record's hash chain over the CSV log, as figures:
//   (a) audit's walk of a chained log of 200,000 lines (the store opened for
//       reading, every line read, each chain value hashed once), target 1 s;
//   (b) a probe's record (a claim and its settlement, each under the log's
//       lock after reading the tail) with the chain beside the same store
//       writing the earlier format's lines, target at most 5 % more.
// The log is a plain file behind the log file's interface (no lock, no flush
// to disk), where the chain's share is the largest; on Windows (b) is
// measured over the program's own log file instead, locked and flushed per
// session as a station's is.
//   chain_bench [DIR]           logs written into DIR (default .)
//   chain_bench --log VALUE     (b) only, in the line's database (odbc:...),
//                               beside the same store inserting its records
//                               without seq and chain (Windows build)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_store.h"
#include "ledger/csv_ledger.h"
#include "ledger/record_chain.h"

#ifdef _WIN32
#include "ledger/database_ledger_odbc.h"
#include "ledger/log_file_win32.h"
#include "ledger/log_target.h"
#endif

namespace {

constexpr int kAuditLines = 200000;
constexpr int kAuditRounds = 3;
constexpr int kPlainProbes = 2000;
// A session's flush to disk takes milliseconds.
constexpr int kWin32Probes = 200;
// Rounds of each kind taken in turn, so the machine's drift falls on both.
constexpr int kProbeRounds = 9;
const LogContext kContext{"2024-05-06T07:08:09Z", "BENCH-7", "1.0.0.0"};

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

using bench_store::PlainLogFile;
using bench_store::QuietWaiter;
using bench_store::Serial;
using bench_store::WrittenRecord;

// Claims and outcomes of numbers 1 to lines / 2, chained as a station writes them.
void WriteChainedLog(const std::string& path, int lines) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << CsvHeader();
  OperationRecord record = WrittenRecord();
  record.seconds = 0.031;
  std::string previous = kChainOrigin;
  uint64_t seq = 0;
  auto put = [&](const std::string& line) {
    const std::string chained = ChainedLine(line, ++seq, previous);
    previous = chained.substr(chained.size() - 2 - kChainDigits, kChainDigits);
    out << chained;
  };
  for (int i = 0; i < lines / 2; ++i) {
    record.serial = Serial(i + 1);
    put(JoinCsvFields({kContext.timeUtc, kContext.station, kContext.toolVersion, "claim", "", "",
                       *record.serial, "", "", "", "Claimed.", "", "claimed", "", ""}));
    put(FormatCsvLine(record, kContext, "written"));
  }
}

class VerdictSink : public RowSink {
 public:
  void Restart() override { rows = 0; }
  void Take(const LogRow&) override { ++rows; }
  void Damaged() override {}
  void ChainNow(const ChainVerdict& now) override { verdict = now; }
  size_t rows = 0;
  ChainVerdict verdict;
};

bool MeasureAudit(const std::string& path) {
  WriteChainedLog(path, kAuditLines);
  std::vector<double> ms;
  VerdictSink sink;
  for (int round = 0; round < kAuditRounds; ++round) {
    QuietWaiter waiter;
    std::string error;
    const double start = Seconds();
    CsvLedger ledger(std::make_unique<PlainLogFile>(path), path, waiter);
    ledger.KeepRows();
    if (!ledger.ReadRows(sink, &error)) {
      std::printf("audit: %s cannot be read (%s)\n", path.c_str(), error.c_str());
      return false;
    }
    ms.push_back((Seconds() - start) * 1000);
  }
  std::sort(ms.begin(), ms.end());
  std::printf(
      "(a) audit of a %d-line log (%.1f MiB): best %.0f ms, median %.0f ms of %d (target 1000 ms); "
      "%llu records chained, broken: %s\n",
      kAuditLines, static_cast<double>(std::filesystem::file_size(path)) / (1 << 20), ms.front(),
      ms[ms.size() / 2], kAuditRounds, static_cast<unsigned long long>(sink.verdict.chained),
      ChainBreakWord(sink.verdict.broken));
  return sink.verdict.chained == static_cast<uint64_t>(kAuditLines) &&
         sink.verdict.broken == ChainBreak::kNone;
}

// Microseconds per probe: probes numbers claimed counting up from `first`,
// each settled written; -1 when a probe failed.
double ClaimAndSettle(Ledger& ledger, std::string first, int probes) {
  const OperationRecord outcome = WrittenRecord();
  std::string next = std::move(first), error;
  const double start = Seconds();
  for (int i = 0; i < probes; ++i) {
    const Claim claim = ledger.ClaimSerial(next, true, kContext);
    if (claim.status != ClaimStatus::kClaimed ||
        !ledger.Settle(claim.serial, Settlement::kWritten, outcome, kContext, &error)) {
      std::printf("probe %d failed (%s%s)\n", i, claim.error.c_str(), error.c_str());
      return -1;
    }
    next = claim.serial;
  }
  return (Seconds() - start) * 1e6 / probes;
}

// The median microseconds per probe with the chain and without, of
// kProbeRounds rounds of each. Which goes first changes from round to round,
// so the machine's drift, and a server met just after the other's writes,
// fall on both. false when a round failed.
bool AlternatingRounds(const std::function<double(bool chained, int round)>& round, int firstRound,
                       double* chained, double* plain) {
  std::vector<double> with, without;
  for (int n = firstRound; n < firstRound + kProbeRounds; ++n) {
    const bool chainedFirst = n % 2 == 0;
    const double first = round(chainedFirst, n);
    const double second = round(!chainedFirst, n);
    if (first < 0 || second < 0) return false;
    with.push_back(chainedFirst ? first : second);
    without.push_back(chainedFirst ? second : first);
  }
  std::sort(with.begin(), with.end());
  std::sort(without.begin(), without.end());
  *chained = with[with.size() / 2];
  *plain = without[without.size() / 2];
  return true;
}

enum class FileKind { kPlain, kWin32 };

std::unique_ptr<LogFile> NewFile(const std::string& path, FileKind kind) {
#ifdef _WIN32
  if (kind == FileKind::kWin32) return NewWin32LogFile(std::u16string(path.begin(), path.end()));
#endif
  (void)kind;
  return std::make_unique<PlainLogFile>(path);
}

// Microseconds per probe on a new log; -1 when a probe failed.
double ProbeRound(const std::string& path, FileKind kind, bool chained) {
  std::filesystem::remove(path);
  QuietWaiter waiter;
  std::string error;
  CsvLedger ledger(NewFile(path, kind), path, waiter);
  if (!ledger.Load(&error)) return -1;
  if (!chained) ledger.LeaveChainOut();
  return ClaimAndSettle(ledger, Serial(1), kind == FileKind::kPlain ? kPlainProbes : kWin32Probes);
}

// The chain's own work on a probe's two lines (its claim and its outcome),
// in microseconds: what the chain adds to a probe beside its file's noise.
double ChainWorkPerProbe() {
  OperationRecord record = WrittenRecord();
  record.serial = Serial(1);
  const std::string line = FormatCsvLine(record, kContext, "written");
  std::string previous = kChainOrigin;
  constexpr int kLines = 20000;
  const double start = Seconds();
  for (int i = 0; i < kLines; ++i) {
    const std::string chained = ChainedLine(line, static_cast<uint64_t>(i) + 1, previous);
    previous.assign(chained, chained.size() - 2 - kChainDigits, kChainDigits);
  }
  return (Seconds() - start) * 1e6 / kLines * 2;
}

bool MeasureProbes(const std::string& dir, FileKind kind, const char* label) {
  double chained = 0, plain = 0;
  const auto round = [&](bool chainedRound, int) {
    return ProbeRound(dir + "/chain-bench-probes.csv", kind, chainedRound);
  };
  if (!AlternatingRounds(round, 0, &chained, &plain)) return false;
  std::printf(
      "(b) per probe over %s (claim + settlement, %d probes a round, median of %d rounds): "
      "chained %.1f us, without the chain %.1f us: %+.1f %% (target at most +5 %%)\n",
      label, kind == FileKind::kPlain ? kPlainProbes : kWin32Probes, kProbeRounds, chained, plain,
      (chained / plain - 1) * 100);
  const double work = ChainWorkPerProbe();
  std::printf(
      "    the chain's own work on a probe's two lines: %.1f us, %.2f %% of a probe without it\n",
      work, work / plain * 100);
  return true;
}

#ifdef _WIN32
// Microseconds per probe in the database, counting up from a series of the
// round's own; -1 when a probe failed.
double DatabaseRound(const std::string& connection, bool chained, int round) {
  QuietWaiter waiter;
  std::string error;
  std::unique_ptr<Ledger> ledger = chained
                                       ? OpenDatabaseLedger(connection, waiter, &error)
                                       : OpenDatabaseLedgerWithoutChain(connection, waiter, &error);
  if (!ledger) {
    std::printf("the database cannot be opened (%s)\n", error.c_str());
    return -1;
  }
  return ClaimAndSettle(*ledger,
                        "CB" + std::string(chained ? "C" : "P") + std::to_string(round) + "-00001",
                        kWin32Probes);
}

int MeasureDatabase(const std::string& value) {
  const LogTarget target = ParseLogTarget(value);
  if (target.kind != LogKind::kDatabase) {
    std::printf("usage: chain_bench --log odbc:CONNECTION-STRING\n");
    return 64;
  }
  // A round of each first, unmeasured: the tables are made, the server warm.
  if (DatabaseRound(target.connection, true, 0) < 0 ||
      DatabaseRound(target.connection, false, 0) < 0) {
    return 1;
  }
  double chained = 0, plain = 0;
  const auto round = [&](bool chainedRound, int n) {
    return DatabaseRound(target.connection, chainedRound, n);
  };
  if (!AlternatingRounds(round, 1, &chained, &plain)) return 1;
  std::printf(
      "(b) per probe in %s (claim + settlement, %d probes a round, median of %d rounds): "
      "chained %.0f us, without the chain %.0f us: %+.1f %% (target at most +5 %%)\n",
      target.shown.c_str(), kWin32Probes, kProbeRounds, chained, plain,
      (chained / plain - 1) * 100);
  return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  if (argc == 3 && std::string(argv[1]) == "--log") return MeasureDatabase(argv[2]);
#endif
  const std::string dir = argc == 2 ? argv[1] : ".";
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "chain_bench: %s cannot be made (%s)\n", dir.c_str(),
                 error.message().c_str());
    return 1;
  }
  const bool audited = MeasureAudit(dir + "/chain-bench-audit.csv");
#ifdef _WIN32
  const bool probed = MeasureProbes(dir, FileKind::kWin32, "the program's log file");
#else
  const bool probed = MeasureProbes(dir, FileKind::kPlain, "a plain file");
#endif
  return audited && probed ? 0 : 1;
}
