// The reserved series of a job's units and its claim, over the pool's rule.
#include "ledger/unit_series.h"

#include <algorithm>

#include "ledger/serial_pool.h"

namespace {

constexpr size_t kLeastUnitDigits = 6;
constexpr char kPastCapText[] = "Given back: counted up past the job's unit cap.";

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

}  // namespace

std::string UnitSeriesFirst(std::string_view key, uint64_t cap) {
  const size_t digits = std::max(kLeastUnitDigits, std::to_string(cap).size());
  return kUnitSeriesPrefix + std::string(key.substr(0, kUnitKeyDigits)) + "-" +
         std::string(digits - 1, '0') + "1";
}

uint64_t UnitIndex(const std::string& first, const std::string& serial) {
  if (!SameSeries(first, serial)) return 0;
  const size_t digits = DigitsAtEnd(serial);
  return std::stoull(serial.substr(serial.size() - digits));
}

bool IsUnitSerial(std::string_view serial) {
  const size_t prefix = sizeof kUnitSeriesPrefix - 1;
  if (serial.substr(0, prefix) != kUnitSeriesPrefix) return false;
  if (serial.size() <= prefix + kUnitKeyDigits + 1 || serial[prefix + kUnitKeyDigits] != '-') {
    return false;
  }
  const std::string_view key = serial.substr(prefix, kUnitKeyDigits);
  const std::string_view count = serial.substr(prefix + kUnitKeyDigits + 1);
  return std::all_of(key.begin(), key.end(), IsHex) &&
         std::all_of(count.begin(), count.end(), [](char c) { return c >= '0' && c <= '9'; });
}

UnitCounts CountUnits(const std::vector<SerialEntry>& entries, const std::string& first,
                      uint64_t cap) {
  UnitCounts counts;
  counts.cap = cap;
  for (const SerialEntry& entry : entries) {
    const uint64_t index = UnitIndex(first, entry.serial);
    if (index == 0 || index > cap || !Held(entry.state)) continue;
    ++counts.held;
    counts.made += entry.state == SerialState::kWritten;
  }
  return counts;
}

Claim ClaimUnit(Ledger& ledger, const std::string& first, uint64_t cap, const LogContext& context,
                int pastCapResult) {
  // No look at the pool first: the claim itself counts up from the first
  // unit past every held one, so a probe costs the store one session, not
  // two; only a claim past the cap (all held, or the last unit taken by
  // another station meanwhile) is given back at once.
  Claim claim = ledger.ClaimSerial(first, true, context);
  if (claim.status != ClaimStatus::kClaimed || UnitIndex(first, claim.serial) <= cap) return claim;
  OperationRecord record;
  record.command = kUnitCommand;
  record.serial = claim.serial;
  record.result = pastCapResult;
  record.message = kPastCapText;
  record.job = context.job.empty() ? std::nullopt : std::optional(context.job);
  if (!ledger.Settle(claim.serial, Settlement::kReleased, record, context, &claim.error)) {
    claim.status = ClaimStatus::kFailed;
    return claim;
  }
  claim.status = ClaimStatus::kExhausted;
  return claim;
}
