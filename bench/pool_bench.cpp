// Benchmark of the serial pool: the cost per probe (a claim and its
// outcome, each decided under the log's lock after reading the tail) with
// logs of 0, 20,000 and 200,000 lines, and the first read of each log. On
// Windows the log is the program's own Win32 log file; natively a plain
// file behind the same interface (no lock, no flush to disk).
//   pool_bench [DIR]                 CSV logs written into DIR (default .)
//   pool_bench --log VALUE           one store as --log names it (odbc:...),
//                                    as it stands (Windows build)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_store.h"
#include "ledger/connection_string.h"
#include "ledger/csv_ledger.h"

#ifdef _WIN32
#include "ledger/ledger_opener_win32.h"
#include "tests/support/wall_clock.h"
#endif

namespace {

constexpr int kProbes = 200;
constexpr int kLogLines[] = {0, 20000, 200000};
const LogContext kContext{"2024-05-06T07:08:09Z", "BENCH-7", "1.0.0.0"};

double Seconds() {
#ifdef _WIN32
  return wall_clock::Seconds();
#else
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#endif
}

using bench_store::PlainLogFile;
using bench_store::QuietWaiter;
using bench_store::Serial;

std::unique_ptr<Ledger> OpenStore(const std::string& where, LedgerWaiter& waiter,
                                  std::string* error) {
#ifdef _WIN32
  Win32LedgerOpener opener;
  return opener.Open(std::u16string(where.begin(), where.end()), waiter, error);
#else
  auto ledger = std::make_unique<CsvLedger>(std::make_unique<PlainLogFile>(where), where, waiter);
  if (!ledger->Load(error)) return nullptr;
  return ledger;
#endif
}

// A log of lines lines: claims and outcomes of numbers 1 to lines / 2.
void WriteLog(const std::string& path, int lines) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << CsvHeader();
  OperationRecord record = bench_store::WrittenRecord();
  record.seconds = 0.031;
  LogContext at = kContext;
  for (int i = 0; i < lines / 2; ++i) {
    // One number a second, as a fast line would log them.
    char time[32];
    std::snprintf(time, sizeof time, "2024-05-%02dT%02d:%02d:%02dZ", 1 + i / 86400, i / 3600 % 24,
                  i / 60 % 60, i % 60);
    at.timeUtc = time;
    record.serial = Serial(i + 1);
    out << JoinCsvFields({at.timeUtc, at.station, at.toolVersion, "claim", "", "", *record.serial,
                          "", "", "", "Claimed.", "", "claimed", ""})
        << FormatCsvLine(record, at, "written");
  }
}

bool Measure(const std::string& where, const char* label) {
  QuietWaiter waiter;
  std::string error;
  const double opening = Seconds();
  std::unique_ptr<Ledger> ledger = OpenStore(where, waiter, &error);
  const double opened = Seconds();
  if (!ledger) {
    std::printf("%s: cannot be opened (%s)\n", label, error.c_str());
    return false;
  }
  double slowest = 0, first = 0;
  std::string next = Serial(1);
  OperationRecord outcome;
  outcome.command = "write-serial";
  outcome.message = "Writing Serial No. of Velkoro succeeded.";
  double start = Seconds();
  for (int i = 0; i < kProbes; ++i) {
    const double before = Seconds();
    const Claim claim = ledger->ClaimSerial(next, true, kContext);
    if (claim.status != ClaimStatus::kClaimed ||
        !ledger->Settle(claim.serial, Settlement::kWritten, outcome, kContext, &error)) {
      std::printf("%s: probe %d failed (%s%s)\n", label, i, claim.error.c_str(), error.c_str());
      return false;
    }
    next = claim.serial;
    const double took = Seconds() - before;
    // The first claim counts up past every number the log holds already.
    if (i == 0) {
      first = took;
      start = Seconds();
    } else if (took > slowest) {
      slowest = took;
    }
  }
  const double perProbe = (Seconds() - start) / (kProbes - 1);
  std::printf(
      "%-24s first read %7.1f ms  first probe %6.1f ms  then per probe %5.2f ms "
      "(slowest %5.2f ms)\n",
      label, (opened - opening) * 1000, first * 1000, perProbe * 1000, slowest * 1000);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--log") {
    // A connection string's password is never printed.
    const std::string label = MaskConnectionSecret(argv[2]);
    return Measure(argv[2], label.c_str()) ? 0 : 1;
  }
  const std::string dir = argc == 2 ? argv[1] : ".";
  // A fresh build folder is a usual place for the logs; it need not exist.
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "pool_bench: %s cannot be made (%s)\n", dir.c_str(),
                 error.message().c_str());
    return 1;
  }
  bool ok = true;
  for (int lines : kLogLines) {
    const std::string path = dir + "/pool-bench-" + std::to_string(lines) + ".csv";
    WriteLog(path, lines);
    ok = Measure(path, ("CSV log, " + std::to_string(lines) + " lines").c_str()) && ok;
  }
  return ok ? 0 : 1;
}
