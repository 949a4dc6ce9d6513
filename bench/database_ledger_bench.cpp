// Benchmark of the line's database per probe: a claim and its settlement
// through the database store, and one count-up past a run of held numbers.
//   database_ledger_bench.exe [CONNECTION-STRING] [PROBES] [HELD]
// The connection string defaults to VELKORO_TEST_ODBC (scripts/test-db.sh).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/database_ledger_measure.h"
#include "ledger/connection_string.h"

namespace {

constexpr int kDefaultProbes = 500;
constexpr int kDefaultHeld = 2000;

}  // namespace

int main(int argc, char** argv) {
  const char* fromEnvironment = std::getenv("VELKORO_TEST_ODBC");
  const std::string connection =
      argc > 1 ? argv[1] : (fromEnvironment != nullptr ? fromEnvironment : "");
  if (connection.empty()) {
    std::printf(
        "usage: database_ledger_bench CONNECTION-STRING [PROBES] [HELD]\n"
        "(or VELKORO_TEST_ODBC set, as scripts/test-db.sh env prints it)\n");
    return 64;
  }
  const int probes = argc > 2 ? std::atoi(argv[2]) : kDefaultProbes;
  const int held = argc > 3 ? std::atoi(argv[3]) : kDefaultHeld;
  const DatabaseLedgerFigures f = MeasureDatabaseLedger(connection, probes, held);
  std::printf("database: %s\n", MaskConnectionSecret(connection).c_str());
  if (!f.ok) {
    std::printf("stopped: %s\n", f.error.c_str());
    return 1;
  }
  std::printf("open (connect, tables):        %8.1f ms\n", f.openMs);
  std::printf(
      "per probe, claim + settle:     mean %.2f ms, median %.2f, p95 %.2f, max %.2f "
      "(%d probes)\n",
      f.meanMs, f.medianMs, f.p95Ms, f.maxMs, f.probes);
  std::printf("  of which claim / settle:     %.2f ms / %.2f ms\n", f.claimMeanMs, f.settleMeanMs);
  std::printf("count-up past %d held numbers: %8.1f ms (one claim)\n", f.held, f.pastHeldMs);
  return 0;
}
