// Benchmark of the line's report: logs of 20,000 and 200,000 lines, each
// reported once from nothing (the store opened for reading, every row read,
// the figures, their JSON and the page), then again after a short tail was
// appended, as --every does. On Windows the log is the program's own Win32
// file opened for reading; natively a plain file behind the same interface.
//   report_bench [DIR]          logs written into DIR (default .)
//   report_bench --log VALUE    one store as --log names it (odbc:...), as it
//                               stands (Windows build)
//   report_bench --sample FILE  writes a busy shift's log (three stations, a
//                               day's morning) for the guide's picture
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "bench_store.h"
#include "report/report_formats.h"
#include "tests/support/report_logs.h"

#ifdef _WIN32
#include "ledger/ledger_opener_win32.h"
#else
#include "ledger/csv_ledger.h"
#endif

namespace {

constexpr size_t kLogLines[] = {20000, 200000};
constexpr int kStations = 4;
constexpr size_t kTailLines = 100;
constexpr int kSampleStations = 3;
constexpr size_t kSampleLines = 4300;

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

using bench_store::PlainLogFile;
using bench_store::QuietWaiter;

std::unique_ptr<Ledger> OpenForReading(const std::string& where, LedgerWaiter& waiter,
                                       [[maybe_unused]] std::string* error) {
#ifdef _WIN32
  Win32LedgerOpener opener;
  return opener.OpenForReading(std::u16string(where.begin(), where.end()), waiter, error);
#else
  auto ledger = std::make_unique<CsvLedger>(std::make_unique<PlainLogFile>(where), where, waiter);
  ledger->KeepRows();
  return ledger;
#endif
}

// One round as the command makes it: the rows since the last look, the
// pool, the figures, the JSON and the page. Milliseconds; -1 on failure.
double Round(Ledger& ledger, ReportTally& tally, ReportFigures* figures, size_t* bytes) {
  const double start = Seconds();
  std::vector<SerialEntry> entries;
  std::string error;
  if (!ledger.ReadRows(tally, &error) || !ledger.Entries(&entries, &error)) {
    std::printf("  cannot be read: %s\n", error.c_str());
    return -1;
  }
  *figures = tally.Figures(entries);
  *bytes = FormatReportJson(*figures).size() +
           FormatReportPage(*figures, {ledger.Where(), "2026-12-09T14:00:00Z", 10}).size();
  return (Seconds() - start) * 1000.0;
}

bool Measure(const std::string& where, const char* label, const std::string& tail) {
  QuietWaiter waiter;
  std::string error;
  const double start = Seconds();
  std::unique_ptr<Ledger> ledger = OpenForReading(where, waiter, &error);
  if (!ledger) {
    std::printf("%s: cannot be opened (%s)\n", label, error.c_str());
    return false;
  }
  const double opened = Seconds();
  ReportTally tally({});
  ReportFigures figures;
  size_t bytes = 0;
  const double first = Round(*ledger, tally, &figures, &bytes);
  if (first < 0) return false;
  std::printf(
      "%s: %ld operations, %ld probes; first report %.0f ms (opening %.0f ms, every row "
      "read to the JSON and the page %.0f ms), %zu bytes of JSON and page\n",
      label, figures.line.operations, figures.line.probes, (opened - start) * 1000.0 + first,
      (opened - start) * 1000.0, first, bytes);
  if (tail.empty()) {
    const double again = Round(*ledger, tally, &figures, &bytes);
    std::printf("  again, nothing appended: %.1f ms\n", again);
    return again >= 0;
  }
  std::ofstream(where, std::ios::binary | std::ios::app) << tail;
  const double again = Round(*ledger, tally, &figures, &bytes);
  std::printf("  again after %zu lines appended: %.1f ms (%ld operations)\n", kTailLines, again,
              figures.line.operations);
  return again >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--log") {
    return Measure(argv[2], "the store", "") ? 0 : 1;
  }
  if (argc == 3 && std::string(argv[1]) == "--sample") {
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << report_logs::BusyShift(kSampleStations, kSampleLines);
    return out.good() ? 0 : 1;
  }
  const std::string dir = argc > 1 ? argv[1] : ".";
  const std::string tail = report_logs::BusyShift(1, kTailLines, 7).substr(CsvHeader().size());
  bool ok = true;
  for (size_t lines : kLogLines) {
    const std::string path = dir + "/report-" + std::to_string(lines) + ".csv";
    const std::string log = report_logs::BusyShift(kStations, lines);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << log;
    const std::string label =
        std::to_string(lines) + " lines (" + std::to_string(log.size() / 1024) + " KiB)";
    ok = Measure(path, label.c_str(), tail) && ok;
  }
  return ok ? 0 : 1;
}
