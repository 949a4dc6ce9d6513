// The claim, the write's settlement and the record, in the order the pool's
// promise needs: the claim is durable before the request can leave, and
// only proof that the request never left gives a number back.
#include "line/line_recorder.h"

#include <algorithm>

#include "ledger/serial_pool.h"
#include "line/line_status.h"

namespace {

constexpr char kWriteSerialCommand[] = "write-serial";
constexpr char kPastRangeText[] = "Given back: counted up past the end of the job's range.";

Settlement SettlementOf(const OperationRecord& record, bool requestSent) {
  if (!requestSent) return Settlement::kReleased;
  return record.result == 0 ? Settlement::kWritten : Settlement::kSpent;
}

}  // namespace

LineRecorder::LineRecorder(Ledger& ledger, LogContext context, std::function<std::string()> timeUtc,
                           std::optional<std::string> jobTag)
    : ledger_(ledger),
      context_(std::move(context)),
      timeUtc_(std::move(timeUtc)),
      jobTag_(std::move(jobTag)) {
  if (jobTag_) context_.job = *jobTag_;
}

LogContext LineRecorder::Now() const {
  LogContext now = context_;
  now.timeUtc = timeUtc_();
  return now;
}

bool LineRecorder::Record(OperationRecord& record, bool requestSent, std::string* error) {
  if (jobTag_) record.job = jobTag_;
  std::string chain;
  bool recorded = false;
  if (!claimed_ || record.command != kWriteSerialCommand || record.serial != *claimed_) {
    recorded = ledger_.Record(record, Now(), error, &chain);
  } else {
    const Settlement settlement = SettlementOf(record, requestSent);
    recorded = ledger_.Settle(*claimed_, settlement, record, Now(), error, &chain);
    lastSettlement_ = recorded ? settlement : Settlement::kSpent;
    claimed_.reset();
  }
  if (recorded && !chain.empty()) record.chain = chain;
  return recorded;
}

Claim LineRecorder::ClaimSerial(const std::string& from, bool countUp) {
  LogContext now = Now();
  Claim claim = ledger_.ClaimSerial(from, countUp, now);
  if (claim.status == ClaimStatus::kClaimed) claimed_ = claim.serial;
  return claim;
}

RangeClaim LineRecorder::ClaimInRange(const LineJob& job) {
  RangeClaim range;
  std::optional<std::string> next;
  if (!NextFreeInRange(ledger_, job, &next, &range.error)) return range;
  if (!next) {
    range.status = ClaimStatus::kExhausted;
    range.rangeUsedUp = true;
    return range;
  }
  // Another station may take the last numbers between the look and the
  // claim: the claim counts up, and one past the range goes back.
  const Claim claim = ClaimSerial(*next, true);
  range.status = claim.status;
  range.serial = claim.serial;
  range.heldAs = claim.heldAs;
  range.error = claim.error;
  if (claim.status == ClaimStatus::kExhausted) range.rangeUsedUp = true;
  if (claim.status != ClaimStatus::kClaimed || InJobRange(job, claim.serial)) return range;
  range.status = ClaimStatus::kExhausted;
  range.rangeUsedUp = true;
  if (!ReleaseClaim(kWriteSerialCommand, kPastRangeText, kJobRangeUsedUp, &range.error)) {
    range.status = ClaimStatus::kFailed;
  }
  return range;
}

bool LineRecorder::ReleaseClaim(const std::string& command, const std::string& why, int result,
                                std::string* error) {
  if (!claimed_) return true;
  OperationRecord record;
  record.command = command;
  record.serial = *claimed_;
  record.result = result;
  record.message = why;
  if (jobTag_) record.job = jobTag_;
  const bool released = ledger_.Settle(*claimed_, Settlement::kReleased, record, Now(), error);
  claimed_.reset();
  return released;
}

bool NextFreeFrom(Ledger& ledger, const std::string& from, std::optional<std::string>* next,
                  std::string* error) {
  std::vector<SerialEntry> entries;
  if (!ledger.Entries(&entries, error)) return false;
  SerialPool pool;
  pool.Reserve(entries.size());
  for (const SerialEntry& entry : entries) pool.Apply(entry);
  *next = pool.NextFree(from);
  return true;
}

bool NextFreeInRange(Ledger& ledger, const LineJob& job, std::optional<std::string>* next,
                     std::string* error) {
  next->reset();
  if (job.serialFirst.empty()) return true;
  if (!NextFreeFrom(ledger, job.serialFirst, next, error)) return false;
  if (*next && !InJobRange(job, **next)) next->reset();
  return true;
}

std::string HeldNumberText(const std::string& serial, SerialState state) {
  switch (state) {
    case SerialState::kWritten:
      return serial + " is already written: the log records it as written.";
    case SerialState::kSpent:
      return serial + " is spent: a write request for it was sent, so a probe may hold it.";
    case SerialState::kClaimed:
    case SerialState::kFree:
      break;
  }
  return serial + " is claimed by a station for its write.";
}

std::string RangeUsedUpText(const LineJob& job) {
  const uint64_t size = JobRangeSize(job);
  return "Every number of the job's range " + job.serialFirst + "-" + job.serialLast + " (" +
         std::to_string(size) + (size == 1 ? " number" : " numbers") + ") is held.";
}

uint64_t JobRangeLeft(const LineJob& job, const std::vector<SerialEntry>& entries) {
  uint64_t held = 0;
  for (const SerialEntry& entry : entries)
    held += Held(entry.state) && InJobRange(job, entry.serial);
  const uint64_t size = JobRangeSize(job);
  return size - std::min(held, size);
}

bool NumbersLeftInRange(Ledger& store, const LineJob& job, int64_t* left, std::string* error) {
  std::vector<SerialEntry> entries;
  if (!store.Entries(&entries, error)) return false;
  *left = static_cast<int64_t>(JobRangeLeft(job, entries));
  return true;
}
