// One station's hold on the line's record and serial pool, written once for
// both programs: every record carries the job that made it, a number is
// claimed before its write request can leave, and the claim is settled by
// what the write did (never sent: free again; read back equal: written;
// anything else: spent). A claim whose settlement cannot be recorded stays
// as it is on disk, which the pool counts as spent.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ledger/ledger.h"
#include "line/job_file.h"

// How a claim from a job's range went.
struct RangeClaim {
  ClaimStatus status = ClaimStatus::kFailed;
  std::string serial;  // kClaimed: the number; kTaken: the number refused
  SerialState heldAs = SerialState::kFree;
  bool rangeUsedUp = false;  // every number of the range is held
  std::string error;
};

class LineRecorder {
 public:
  // timeUtc gives the record's time at each line; jobTag goes into every
  // record (JobTag), or none outside a job.
  LineRecorder(Ledger& ledger, LogContext context, std::function<std::string()> timeUtc,
               std::optional<std::string> jobTag = std::nullopt);

  Ledger& ledger() const { return ledger_; }
  // The station, tool version and job each record goes with.
  const LogContext& context() const { return context_; }
  // The time a record made now would carry (ISO 8601 UTC).
  std::string NowUtc() const { return timeUtc_(); }
  const std::optional<std::string>& jobTag() const { return jobTag_; }
  // The number claimed and not yet settled.
  const std::optional<std::string>& claimed() const { return claimed_; }

  // Records one operation; the write-serial of the open claim settles it by
  // requestSent and the result. false with *error when the store refused it;
  // once written, record.chain holds the chain value of its line.
  bool Record(OperationRecord& record, bool requestSent, std::string* error);
  // The settlement the last settled claim got; kSpent when it could not be
  // recorded.
  std::optional<Settlement> lastSettlement() const { return lastSettlement_; }

  Claim ClaimSerial(const std::string& from, bool countUp);
  // The first free number of the job's range, claimed; a number counted up
  // past the range's end is given back at once and the range is used up.
  RangeClaim ClaimInRange(const LineJob& job);
  // Gives the open claim back unused: its request never left. result: the
  // run's status for the line (130 after Ctrl+C), never 0.
  bool ReleaseClaim(const std::string& command, const std::string& why, int result,
                    std::string* error);

  // The job's unit (line/job_units.h) held for the probe now run, claimed
  // before any step touches it; none for a job without a cap.
  const std::optional<std::string>& unit() const { return unit_; }
  // Claims the first free unit of the job's cap, unless one is open or the
  // job has none (then kClaimed with no number). rangeUsedUp: all are held.
  RangeClaim ClaimUnit(const LineJob& job);
  // A request of one of the probe's steps left (the update's erase, the
  // write): the open unit can no longer be given back.
  void UnitReached() { unitReached_ = unit_.has_value(); }
  bool unitReached() const { return unitReached_; }
  // Settles the open unit by the probe's steps: written when a request
  // reached the probe and they ended with 0, spent when one reached it and
  // they failed, given back when none did. result: the probe's status.
  bool SettleUnit(int result, std::string* error);

 private:
  LogContext Now() const;

  Ledger& ledger_;
  LogContext context_;
  std::function<std::string()> timeUtc_;
  std::optional<std::string> jobTag_;
  std::optional<std::string> claimed_;
  std::optional<Settlement> lastSettlement_;
  std::optional<std::string> unit_;
  bool unitReached_ = false;
};

// The first number counting up from `from` that the pool holds neither
// claimed, written nor spent; nullopt in *next when counting up ends on a
// held one. false with *error when the store could not be read.
bool NextFreeFrom(Ledger& ledger, const std::string& from, std::optional<std::string>* next,
                  std::string* error);

// What the operator is told of a number the pool holds, and of a job's
// range with every number held.
std::string HeldNumberText(const std::string& serial, SerialState state);
std::string RangeUsedUpText(const LineJob& job);

// The next number of the job's range that the pool holds neither claimed,
// written nor spent; nullopt in *next when the range is used up. false with
// *error when the store could not be read.
bool NextFreeInRange(Ledger& ledger, const LineJob& job, std::optional<std::string>* next,
                     std::string* error);

// How many numbers of the job's range the pool holds neither claimed,
// written nor spent, of the entries the pool gave.
uint64_t JobRangeLeft(const LineJob& job, const std::vector<SerialEntry>& entries);
// The same read from the store now; false with *error when it cannot be read.
bool NumbersLeftInRange(Ledger& store, const LineJob& job, int64_t* left, std::string* error);
