// A station's claims from a job's range over the CSV log in memory: the
// first free number, a range used up before and during the claim, and the
// job's tag on every line the station adds.
#include "line/line_recorder.h"

#include <gtest/gtest.h>

#include "line/line_status.h"
#include "tests/support/log_lines.h"
#include "tests/support/memory_log_file.h"

namespace {

// Another station's claim lands between this station's look at the pool
// and its claim, as on a busy line.
class RacedLedger : public Ledger {
 public:
  RacedLedger(Ledger& inner, std::string taken) : inner_(inner), taken_(std::move(taken)) {}
  std::string Where() const override { return inner_.Where(); }
  bool Record(const OperationRecord& r, const LogContext& c, std::string* e,
              std::string* chain = nullptr) override {
    return inner_.Record(r, c, e, chain);
  }
  Claim ClaimSerial(const std::string& from, bool countUp, const LogContext& c) override {
    if (!taken_.empty()) inner_.ClaimSerial(taken_, false, LogContext{c.timeUtc, "OTHER", "1"});
    return inner_.ClaimSerial(from, countUp, c);
  }
  bool Settle(const std::string& s, Settlement st, const OperationRecord& r, const LogContext& c,
              std::string* e, std::string* chain = nullptr) override {
    return inner_.Settle(s, st, r, c, e, chain);
  }
  bool HighestInSeries(const std::string& l, std::optional<std::string>* h,
                       std::string* e) override {
    return inner_.HighestInSeries(l, h, e);
  }
  bool Entries(std::vector<SerialEntry>* out, std::string* e) override {
    return inner_.Entries(out, e);
  }
  bool ReadRows(RowSink& sink, std::string* e) override { return inner_.ReadRows(sink, e); }

 private:
  Ledger& inner_;
  std::string taken_;
};

TEST(LineRecorderTest, ClaimsFromTheJobsRange) {
  struct Case {
    const char* what;
    std::string log;
    std::string takenMeanwhile;  // another station's claim during this one's
    ClaimStatus status;
    std::string serial;  // claimed
    bool usedUp;
  };
  const std::string header = CsvHeader();
  const Case cases[] = {
      {"first free after held ones",
       header + log_lines::Line("SN0001", "written") + log_lines::Line("SN0002", "spent", 4), "",
       ClaimStatus::kClaimed, "SN0003", false},
      {"a number given back is free again",
       header + log_lines::Line("SN0001", "claimed", 0, "claim") +
           log_lines::Line("SN0001", "free", 1),
       "", ClaimStatus::kClaimed, "SN0001", false},
      {"used up before the claim",
       header + log_lines::Line("SN0001", "written") + log_lines::Line("SN0002", "written") +
           log_lines::Line("SN0003", "claimed", 0, "claim"),
       "", ClaimStatus::kExhausted, "", true},
      {"the last number taken meanwhile: one past the range goes back",
       header + log_lines::Line("SN0001", "written") + log_lines::Line("SN0002", "written"),
       "SN0003", ClaimStatus::kExhausted, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryLogState file;
    file.text = c.log;
    NoLedgerWait waiter;
    std::unique_ptr<CsvLedger> csv = NewMemoryLedger(file, waiter);
    std::string error;
    ASSERT_TRUE(csv->Load(&error)) << error;
    RacedLedger ledger(*csv, c.takenMeanwhile);
    LineRecorder recorder(
        ledger, log_lines::kAt, [] { return "2024-05-06T07:08:10Z"; }, "line3@ab12cd34");
    LineJob job;
    job.serialFirst = "SN0001";
    job.serialLast = "SN0003";

    const RangeClaim claim = recorder.ClaimInRange(job);
    EXPECT_EQ(claim.status, c.status);
    EXPECT_EQ(claim.rangeUsedUp, c.usedUp);
    EXPECT_EQ(recorder.claimed().value_or(""), c.serial);
    const std::string added = file.text.substr(c.log.size());
    if (!c.takenMeanwhile.empty()) {
      EXPECT_NE(added.find(",SN0004,"), std::string::npos) << added;
      EXPECT_NE(added.find(",27,Given back:"), std::string::npos) << added;
      EXPECT_NE(added.find(",free,,line3@ab12cd34,"), std::string::npos) << added;
    } else if (c.usedUp) {
      EXPECT_TRUE(added.empty()) << "nothing is claimed from a used-up range: " << added;
    } else {
      EXPECT_NE(added.find(",claim,,," + c.serial + ","), std::string::npos) << added;
      EXPECT_NE(added.find(",claimed,,line3@ab12cd34,"), std::string::npos) << added;
    }
  }
}

}  // namespace
