// The pool in the CSV log over an in-memory file: the claim rule over logs of
// both formats, damaged and foreign files, stations sharing one log through
// its tail, and a log another program holds.
#include <gtest/gtest.h>

#include "tests/support/ledger_conformance.h"
#include "tests/support/log_lines.h"
#include "tests/support/memory_log_file.h"

namespace {

using log_lines::kAt;
const std::string kHeader = CsvHeader();
const std::string kEarlier = log_lines::EarlierHeader();

class Waiter : public LedgerWaiter {
 public:
  std::string said;
  int waits = 0, ctrlCAt = 0;
  unsigned longestMs = kHeldStoreWaitMs;
  void Say(const std::string& text) override { said += text; }
  bool Wait(unsigned) override { return ++waits != ctrlCAt; }
  unsigned LongestWaitMs() const override { return longestMs; }
};

std::string L(const std::string& serial, const char* pool, int result = 0) {
  return log_lines::Line(serial, pool, result);
}
std::string Claimed(const std::string& serial) {
  return log_lines::Line(serial, "claimed", 0, "claim");
}

TEST(CsvLedgerTest, ClaimRule) {
  struct Case {
    const char* what;
    std::string log, from;
    bool countUp;
    ClaimStatus status;
    std::string serial;
  };
  const std::string pool = kHeader + L("SN0001", "written") + Claimed("SN0002") +
                           L("SN0003", "spent", 4) + Claimed("SN0004") + L("SN0004", "free", 1);
  using enum ClaimStatus;
  const Case cases[] = {
      {"an empty file", "", "SN0001", true, kClaimed, "SN0001"},
      {"counting up skips written, claimed, spent", pool, "SN0001", true, kClaimed, "SN0004"},
      {"an exact claimed one", pool, "SN0002", false, kTaken, "SN0002"},
      {"an exact spent one", pool, "SN0003", false, kTaken, "SN0003"},
      {"a released one is free again", pool, "SN0004", false, kClaimed, "SN0004"},
      {"earlier format, result 0", kEarlier + L("SN1", nullptr), "SN1", true, kClaimed, "SN2"},
      {"earlier format, a failure", kEarlier + L("SN1", nullptr, 11), "SN1", false, kClaimed,
       "SN1"},
      {"a claim in an earlier log", kEarlier + Claimed("SN1"), "SN1", false, kTaken, "SN1"},
      {"all nines", kHeader + L("SN98", "written") + L("SN99", "written"), "SN98", true, kExhausted,
       "SN98"},
      {"a formula-like number", kHeader + L("-0001", "written"), "-0001", false, kTaken, "-0001"},
      {"a byte order mark", "\xEF\xBB\xBF" + kHeader + Claimed("SN1"), "SN1", false, kTaken, "SN1"},
      {"LF line ends", kEarlier.substr(0, kEarlier.size() - 2) + "\n" + L("SN1", nullptr), "SN1",
       false, kTaken, "SN1"},
      {"a stray quote swallows no later line",
       kHeader + "x,y,z,write-serial,,,\"SN5,,,0\r\n" + Claimed("SN6"), "SN6", false, kTaken,
       "SN6"},
      {"a damaged line holds its number", kHeader + "x,y,z,claim,,,\"SN5,,,0\r\n", "SN5", false,
       kTaken, "SN5"},
      {"a cut last line holds its number", kHeader + Claimed("SN0005").substr(0, 55), "SN0005",
       false, kTaken, "SN0005"},
      {"a cut last line naming nothing", kHeader + "2024-05", "SN5", false, kClaimed, "SN5"},
      {"an empty pool cell on a write that succeeded", kHeader + L("SN7", ""), "SN7", false, kTaken,
       "SN7"},
      {"an empty pool cell on a failed write", kHeader + L("SN7", "", 4), "SN7", false, kClaimed,
       "SN7"},
      {"a misspelt pool word", kHeader + L("SN7", "writen"), "SN7", false, kTaken, "SN7"},
      {"a pool word in capitals", kHeader + L("SN7", "WRITTEN"), "SN7", false, kTaken, "SN7"},
      {"a release after a write", kHeader + L("SN7", "written") + L("SN7", "free", 1), "SN7", false,
       kTaken, "SN7"},
      {"a release after spent", kHeader + L("SN7", "spent", 4) + L("SN7", "free", 1), "SN7", false,
       kTaken, "SN7"},
      {"a release by another station",
       kHeader + Claimed("SN7") + log_lines::Line("SN7", "free", 1, "write-serial", "BENCH-9"),
       "SN7", false, kTaken, "SN7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryLogState file{c.log};
    Waiter waiter;
    std::unique_ptr<CsvLedger> ledger = NewMemoryLedger(file, waiter);
    std::string error;
    ASSERT_TRUE(ledger->Load(&error)) << error;
    const Claim claim = ledger->ClaimSerial(c.from, c.countUp, kAt);
    EXPECT_EQ(claim.status, c.status) << claim.error;
    EXPECT_EQ(claim.serial, c.serial);
    // The claim is a whole line of its own, after a cut last line is closed.
    if (claim.status != kClaimed || c.log.empty()) continue;
    const std::string added = file.text.substr(c.log.size());
    EXPECT_EQ(added.find("\r\n"), c.log.back() != '\n' ? 0u : added.size() - 2) << added;
    EXPECT_NE(added.find("," + c.serial + ","), std::string::npos) << added;
  }
}

// Not this program's log: refused, and nothing is written to it.
TEST(CsvLedgerTest, ForeignFilesAreRefused) {
  for (const std::string& text :
       {std::string("time;station;tool_version;command\r\n"), std::string("\xFF\xFEt\0i\0", 6),
        std::string("serial,result\r\nSN1,0\r\n"), std::string("S00F000068656C6C6F20\r\n"),
        kHeader.substr(0, kHeader.size() - 2) + ",extra\r\n", std::string("time,stat")}) {
    SCOPED_TRACE(text);
    MemoryLogState file{text};
    Waiter waiter;
    std::unique_ptr<CsvLedger> ledger = NewMemoryLedger(file, waiter);
    std::string error;
    ledger->Load(&error);
    EXPECT_EQ(ledger->ClaimSerial("SN1", false, kAt).status, ClaimStatus::kFailed);
    EXPECT_EQ(file.text, text);
  }
}

// Two stations on one log see each other's lines; a released number is free
// for either; a file replaced or cut under them stops them, saying so.
TEST(CsvLedgerTest, StationsShareTheLogThroughItsTail) {
  MemoryLogState file;
  Waiter waiter;
  std::unique_ptr<CsvLedger> a = NewMemoryLedger(file, waiter), b = NewMemoryLedger(file, waiter);
  std::string error;
  EXPECT_EQ(a->ClaimSerial("SN0001", true, kAt).serial, "SN0001");
  EXPECT_EQ(b->ClaimSerial("SN0001", true, kAt).serial, "SN0002");
  const OperationRecord outcome{"write-serial"};
  ASSERT_TRUE(a->Settle("SN0001", Settlement::kReleased, outcome, kAt, &error)) << error;
  ASSERT_TRUE(b->Settle("SN0002", Settlement::kWritten, outcome, kAt, &error)) << error;
  EXPECT_EQ(b->ClaimSerial("SN0001", true, kAt).serial, "SN0001");
  EXPECT_EQ(a->ClaimSerial("SN0001", true, kAt).serial, "SN0003");
  std::vector<SerialEntry> entries;
  ASSERT_TRUE(a->Entries(&entries, &error));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].serial + " " + PoolWord(entries[1].state), "SN0002 written");

  const std::string before = file.text;
  file.text = kHeader + L("SN0001", "written") + std::string(400, ' ') + "\r\n";
  const Claim replaced = a->ClaimSerial("SN0001", true, kAt);
  EXPECT_EQ(replaced.status, ClaimStatus::kFailed);
  EXPECT_NE(replaced.error.find("cut short or replaced"), std::string::npos) << replaced.error;
  file.text = before.substr(0, kHeader.size() + 10);
  EXPECT_EQ(b->ClaimSerial("SN0009", false, kAt).status, ClaimStatus::kFailed);
}

// The CSV log over the in-memory file as the stores' shared table sees it.
class MemoryStore : public LedgerStore {
 public:
  void Empty() override {
    file_.text.clear();
    file_.failBegin = false;
  }
  std::unique_ptr<Ledger> Open(std::string* error) override { return Load(file_, error); }
  std::unique_ptr<Ledger> OpenRefused(std::string* error) override { return Load(refused_, error); }
  void Cut() override { file_.failBegin = true; }
  void Restore() override { file_.failBegin = false; }
  void MakeEarlierLayout() override {
    file_.text = kHeader.substr(0, kHeader.find(",job")) + "\r\n";
  }
  std::optional<std::string> LastJob() override {
    const std::string& text = file_.text;
    const size_t start = text.rfind('\n', text.size() - 2) + 1;
    const auto fields =
        SplitCsvLine(std::string_view(text).substr(start, text.size() - 2 - start), true, false);
    if (!fields || fields->size() <= kJobColumn) return std::nullopt;
    return (*fields)[kJobColumn];
  }
  std::string Secret() const override { return ""; }

 private:
  static constexpr size_t kJobColumn = 14;
  std::unique_ptr<Ledger> Load(MemoryLogState& file, std::string* error) {
    auto ledger = NewMemoryLedger(file, waiter_);
    if (!ledger->Load(error)) return nullptr;
    return ledger;
  }
  MemoryLogState file_, refused_{"", 0, true};
  Waiter waiter_;
};

TEST(LedgerConformanceTest, CsvLogInMemory) {
  MemoryStore store;
  ledger_conformance::RunAll(store);
}

TEST(CsvLedgerTest, HeldLogIsWaitedForThenGivenUp) {
  const int most = static_cast<int>(kHeldStoreWaitMs / kHeldLogRetryMs);
  struct {
    int heldSessions, ctrlCAt;
    unsigned longestMs;  // the waiter's cap: a console's, or a tray's short one
    bool claimed;
    int waits;
    const char* error;
  } const cases[] = {
      {3, 0, kHeldStoreWaitMs, true, 3, ""},
      {1000, 0, kHeldStoreWaitMs, false, most, "another program held it for 60 s"},
      {1000, 2, kHeldStoreWaitMs, false, 2, "stopped by Ctrl+C while another program held it"},
      {1000, 0, 2000, false, 2, "another program held it for 2 s"},
      {1, 0, 2000, true, 1, ""},
  };
  for (const auto& c : cases) {
    MemoryLogState file{"", c.heldSessions};
    Waiter waiter;
    waiter.ctrlCAt = c.ctrlCAt;
    waiter.longestMs = c.longestMs;
    const Claim claim = NewMemoryLedger(file, waiter)->ClaimSerial("SN1", false, kAt);
    EXPECT_EQ(claim.status == ClaimStatus::kClaimed, c.claimed) << claim.error;
    if (!c.claimed) {
      EXPECT_EQ(claim.error, c.error);
    }
    EXPECT_EQ(waiter.waits, c.waits);
    EXPECT_EQ(waiter.said.find("The log line.csv is held by another program"), 0u);
    EXPECT_NE(waiter.said.find("up to " + std::to_string(c.longestMs / 1000) + " s"),
              std::string::npos)
        << waiter.said;
    EXPECT_EQ(waiter.said.find('\n'), waiter.said.size() - 1) << "said more than once";
    EXPECT_EQ(file.text.empty(), !c.claimed);
  }
}

}  // namespace
