// The job's unit series, and the recorder's claim and settlement of a unit:
// the same pool rule as a serial number, kept apart from it because one
// probe holds both at once.
#include "line/job_units.h"

#include "common/sha256.h"
#include "line/line_recorder.h"
#include "line/line_status.h"

std::string JobUnitFirst(const LineJob& job) {
  if (!job.units) return std::string();
  const std::string key = job.signature ? Sha256Hex(job.signature->signedBytes) : job.fileSha256;
  return UnitSeriesFirst(key, *job.units);
}

UnitCounts JobUnitCounts(const LineJob& job, const std::vector<SerialEntry>& entries) {
  if (!job.units) return UnitCounts{};
  return CountUnits(entries, JobUnitFirst(job), *job.units);
}

std::string UnitsUsedUpText(const LineJob& job) {
  const uint64_t cap = job.units.value_or(0);
  return "Every unit of the job " + job.name + " is held: " + std::to_string(cap) +
         (cap == 1 ? " probe" : " probes") + " made or being made of its cap of " +
         std::to_string(cap) + ".";
}

RangeClaim LineRecorder::ClaimUnit(const LineJob& job) {
  RangeClaim range;
  range.status = ClaimStatus::kClaimed;
  if (!job.units || unit_) return range;
  const Claim claim = ::ClaimUnit(ledger_, JobUnitFirst(job), *job.units, Now(), kJobUnitsUsedUp);
  range.status = claim.status;
  range.serial = claim.serial;
  range.error = claim.error;
  range.rangeUsedUp = claim.status == ClaimStatus::kExhausted;
  if (claim.status == ClaimStatus::kClaimed) {
    unit_ = claim.serial;
    unitReached_ = false;
  }
  return range;
}

bool LineRecorder::SettleUnit(int result, std::string* error) {
  if (!unit_) return true;
  const Settlement settlement = !unitReached_ ? Settlement::kReleased
                                : result == 0 ? Settlement::kWritten
                                              : Settlement::kSpent;
  OperationRecord record;
  record.command = kUnitCommand;
  record.serial = *unit_;
  record.result = result;
  record.message = settlement == Settlement::kReleased
                       ? "Given back: no request of the probe's steps left."
                   : settlement == Settlement::kWritten
                       ? "Made: the probe's steps ended well."
                       : "Counted: a request reached the probe and its steps failed.";
  if (jobTag_) record.job = jobTag_;
  const bool settled = ledger_.Settle(*unit_, settlement, record, Now(), error);
  unit_.reset();
  unitReached_ = false;
  return settled;
}
