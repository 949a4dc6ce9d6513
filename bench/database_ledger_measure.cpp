// A series no other run uses (this process and this moment in its prefix),
// so the figures never meet numbers of another run or of the tests.
#include "bench/database_ledger_measure.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ledger/database_ledger_odbc.h"
#include "tests/support/wall_clock.h"

namespace {

class QuietWaiter : public LedgerWaiter {
 public:
  void Say(const std::string&) override {}
  bool Wait(unsigned ms) override {
    Sleep(ms);
    return true;
  }
};

double Ms(double from) {
  return (wall_clock::Seconds() - from) * 1000.0;
}

std::string SeriesPrefix() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  char prefix[48];
  std::snprintf(prefix, sizeof prefix, "B%luT%llu-", GetCurrentProcessId(),
                static_cast<unsigned long long>(now.QuadPart % 100000000));
  return prefix;
}

std::string Number(const std::string& prefix, int n) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%06d", n);
  return prefix + digits;
}

bool ClaimAndSettle(Ledger& ledger, const std::string& from, bool countUp,
                    const LogContext& context, std::string* serial, double* claimMs,
                    double* settleMs, std::string* error) {
  double start = wall_clock::Seconds();
  const Claim claim = ledger.ClaimSerial(from, countUp, context);
  *claimMs = Ms(start);
  if (claim.status != ClaimStatus::kClaimed) {
    *error = claim.error.empty() ? "the claim of " + from + " was refused" : claim.error;
    return false;
  }
  *serial = claim.serial;
  OperationRecord record;
  record.command = "write-serial";
  record.probe = 0;
  record.serial = claim.serial;
  record.message = "Writing Serial No. of Velkoro succeeded.";
  record.seconds = 0.008;
  start = wall_clock::Seconds();
  const bool settled = ledger.Settle(claim.serial, Settlement::kWritten, record, context, error);
  *settleMs = Ms(start);
  return settled;
}

}  // namespace

DatabaseLedgerFigures MeasureDatabaseLedger(const std::string& connection, int probes, int held) {
  DatabaseLedgerFigures figures;
  QuietWaiter waiter;
  double start = wall_clock::Seconds();
  std::unique_ptr<Ledger> ledger = OpenDatabaseLedger(connection, waiter, &figures.error);
  figures.openMs = Ms(start);
  if (!ledger) return figures;
  figures.where = ledger->Where();
  const LogContext context{"2026-01-01T00:00:00Z", "BENCH", "1.0.0.0"};
  const std::string prefix = SeriesPrefix();

  std::vector<double> totals;
  double claims = 0, settles = 0;
  std::string serial = Number(prefix, 1);
  for (int i = 0; i < probes; ++i) {
    double claimMs = 0, settleMs = 0;
    std::string got;
    if (!ClaimAndSettle(*ledger, serial, true, context, &got, &claimMs, &settleMs,
                        &figures.error)) {
      return figures;
    }
    totals.push_back(claimMs + settleMs);
    claims += claimMs;
    settles += settleMs;
    serial = Number(prefix, i + 2);
  }
  // A station started at the series' first number, with `held` already held.
  for (int i = probes; i < held; ++i) {
    double claimMs = 0, settleMs = 0;
    std::string got;
    if (!ClaimAndSettle(*ledger, Number(prefix, i + 1), false, context, &got, &claimMs, &settleMs,
                        &figures.error)) {
      return figures;
    }
  }
  figures.held = std::max(held, probes);
  double claimMs = 0, settleMs = 0;
  std::string got;
  if (!ClaimAndSettle(*ledger, Number(prefix, 1), true, context, &got, &claimMs, &settleMs,
                      &figures.error)) {
    return figures;
  }
  if (got != Number(prefix, figures.held + 1)) {
    figures.error = "counting up past the held numbers gave " + got;
    return figures;
  }
  figures.pastHeldMs = claimMs;

  figures.probes = probes;
  if (probes > 0) {
    std::vector<double> sorted = totals;
    std::sort(sorted.begin(), sorted.end());
    figures.meanMs = (claims + settles) / probes;
    figures.claimMeanMs = claims / probes;
    figures.settleMeanMs = settles / probes;
    figures.medianMs = sorted[sorted.size() / 2];
    figures.p95Ms = sorted[std::min(sorted.size() - 1, sorted.size() * 95 / 100)];
    figures.maxMs = sorted.back();
  }
  figures.ok = true;
  return figures;
}
