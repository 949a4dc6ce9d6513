// The pool in the CSV log, over an in-memory file: which number a claim gets
// from logs of both formats, damaged and foreign files, stations sharing one
// log through its tail, and a log another program holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ledger/csv_ledger.h"
#include "tests/support/memory_log_file.h"

namespace {

const LogContext kContext{"2024-05-06T07:08:09Z", "BENCH-7", "1.0.0.0"};

class CountingWaiter : public LedgerWaiter {
 public:
  std::string said;
  int waits = 0;
  int ctrlCAt = 0;  // the wait Ctrl+C ends; 0: never
  void Say(const std::string& text) override { said += text; }
  bool Wait(unsigned) override { return ++waits != ctrlCAt; }
};

std::string Header() {
  return CsvHeader();
}

std::string EarlierHeader() {
  const std::string header = CsvHeader();
  return header.substr(0, header.find(",pool")) + "\r\n";
}

// A line as this version writes it (with its pool event), or as the earlier
// version did (pool null: no pool column).
std::string Line(const std::string& command, const std::string& serial, int result,
                 const char* pool) {
  OperationRecord record;
  record.command = command;
  record.serial = serial;
  record.result = result;
  const std::string line = FormatCsvLine(record, kContext, pool ? pool : "");
  return pool ? line : line.substr(0, line.rfind(",,")) + "\r\n";
}

std::string Written(const std::string& serial) {
  return Line("write-serial", serial, 0, "written");
}

TEST(CsvLedgerTest, ClaimRule) {
  struct Case {
    const char* what;
    std::string log;
    std::string from;
    bool countUp;
    ClaimStatus status;
    std::string serial;
  };
  const std::string pool = Header() + Written("SN0001") + Line("claim", "SN0002", 0, "claimed") +
                           Line("write-serial", "SN0003", 4, "spent") +
                           Line("claim", "SN0004", 0, "claimed") +
                           Line("write-serial", "SN0004", 1, "free");
  const Case cases[] = {
      {"an empty file", "", "SN0001", true, ClaimStatus::kClaimed, "SN0001"},
      {"counting up skips written, claimed, spent", pool, "SN0001", true, ClaimStatus::kClaimed,
       "SN0004"},
      {"counting up from a free one takes it", pool, "SN0007", true, ClaimStatus::kClaimed,
       "SN0007"},
      {"an exact claimed one is refused", pool, "SN0002", false, ClaimStatus::kTaken, "SN0002"},
      {"an exact spent one is refused", pool, "SN0003", false, ClaimStatus::kTaken, "SN0003"},
      {"a released one is free again", pool, "SN0004", false, ClaimStatus::kClaimed, "SN0004"},
      {"earlier format: result 0 wrote it",
       EarlierHeader() + Line("write-serial", "SN0001", 0, nullptr), "SN0001", true,
       ClaimStatus::kClaimed, "SN0002"},
      {"earlier format: a failure left it free",
       EarlierHeader() + Line("write-serial", "SN0001", 11, nullptr), "SN0001", false,
       ClaimStatus::kClaimed, "SN0001"},
      {"a current line in an earlier-format log",
       EarlierHeader() + Line("claim", "SN0001", 0, "claimed"), "SN0001", false,
       ClaimStatus::kTaken, "SN0001"},
      {"all nines held", Header() + Written("SN98") + Written("SN99"), "SN98", true,
       ClaimStatus::kExhausted, "SN98"},
      {"a formula-like number keeps its text", Header() + Written("-0001"), "-0001", false,
       ClaimStatus::kTaken, "-0001"},
      {"a byte order mark before the header", "\xEF\xBB\xBF" + Header() + Written("SN1"), "SN1",
       false, ClaimStatus::kTaken, "SN1"},
      {"LF line ends",
       "time,station,tool_version,command,probe,firmware_before,serial,file,"
       "image_crc32,result,message,seconds\n" +
           Line("write-serial", "SN1", 0, nullptr).substr(0, 66) + "\n",
       "SN1", false, ClaimStatus::kTaken, "SN1"},
      {"a stray quote swallows no later line",
       Header() + "x,y,z,write-serial,,,\"SN0005,,,0\r\n" + Written("SN0006"), "SN0006", false,
       ClaimStatus::kTaken, "SN0006"},
      {"a damaged line naming a number holds it",
       Header() + "x,y,z,write-serial,,,\"SN0005,,,0\r\n", "SN0005", false, ClaimStatus::kTaken,
       "SN0005"},
      {"a cut last line naming a claim holds it",
       Header() + Line("claim", "SN0005", 0, "claimed").substr(0, 55), "SN0005", false,
       ClaimStatus::kTaken, "SN0005"},
      {"a cut last line naming nothing", Header() + "2024-05-06T07", "SN0005", false,
       ClaimStatus::kClaimed, "SN0005"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryLogState file;
    file.text = c.log;
    CountingWaiter waiter;
    std::unique_ptr<CsvLedger> ledger = NewMemoryLedger(file, waiter);
    std::string error;
    ASSERT_TRUE(ledger->Load(&error)) << error;
    const Claim claim = ledger->ClaimSerial(c.from, c.countUp, kContext);
    EXPECT_EQ(claim.status, c.status) << claim.error;
    EXPECT_EQ(claim.serial, c.serial);
    // A claim is a whole line of its own, after a cut last line is closed.
    if (claim.status == ClaimStatus::kClaimed && !c.log.empty()) {
      EXPECT_EQ(file.text.compare(0, c.log.size(), c.log), 0);
      const std::string added = file.text.substr(c.log.size());
      const bool cut = !c.log.empty() && c.log.back() != '\n';
      EXPECT_EQ(added.find("\r\n"), cut ? 0u : added.size() - 2) << added;
      EXPECT_NE(added.find("," + c.serial + ","), std::string::npos) << added;
    }
  }
}

// A file that is not this program's log is refused whole: nothing is
// written to it.
TEST(CsvLedgerTest, ForeignFilesAreRefused) {
  const std::string cases[] = {
      "time;station;tool_version;command\r\n",
      std::string("\xFF\xFEt\0i\0m\0e\0", 10),
      "serial,result\r\nSN1,0\r\n",
      "S00F000068656C6C6F202020202000003C\r\nS9030000FC\r\n",
      "time,station,tool_version,command,probe,firmware_before,serial,file,image_crc32,result,"
      "message,seconds,extra\r\n",
      "time,stat",
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    MemoryLogState file;
    file.text = text;
    CountingWaiter waiter;
    std::unique_ptr<CsvLedger> ledger = NewMemoryLedger(file, waiter);
    std::string error;
    const bool loaded = ledger->Load(&error);
    const Claim claim = ledger->ClaimSerial("SN1", false, kContext);
    EXPECT_FALSE(loaded && claim.status == ClaimStatus::kClaimed);
    EXPECT_EQ(claim.status, ClaimStatus::kFailed);
    EXPECT_FALSE(claim.error.empty());
    EXPECT_EQ(file.text, text) << "the file was written to";
  }
}

// Two stations on one log: each sees what the other appended since its last
// look, a released number is free for either, and a file replaced under
// them is read again from its start.
TEST(CsvLedgerTest, StationsShareTheLogThroughItsTail) {
  MemoryLogState file;
  CountingWaiter waiter;
  std::unique_ptr<CsvLedger> a = NewMemoryLedger(file, waiter);
  std::unique_ptr<CsvLedger> b = NewMemoryLedger(file, waiter);
  std::string error;
  ASSERT_TRUE(a->Load(&error) && b->Load(&error)) << error;
  EXPECT_EQ(a->ClaimSerial("SN0001", true, kContext).serial, "SN0001");
  EXPECT_EQ(b->ClaimSerial("SN0001", true, kContext).serial, "SN0002");
  OperationRecord outcome;
  outcome.command = "write-serial";
  outcome.result = 1;
  ASSERT_TRUE(a->Settle("SN0001", Settlement::kReleased, outcome, kContext, &error)) << error;
  outcome.result = 0;
  ASSERT_TRUE(b->Settle("SN0002", Settlement::kWritten, outcome, kContext, &error)) << error;
  EXPECT_EQ(b->ClaimSerial("SN0001", true, kContext).serial, "SN0001");
  EXPECT_EQ(a->ClaimSerial("SN0001", true, kContext).serial, "SN0003");

  std::vector<SerialEntry> entries;
  ASSERT_TRUE(a->Entries(&entries, &error));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].serial, "SN0002");
  EXPECT_EQ(entries[1].state, SerialState::kWritten);
  EXPECT_EQ(entries[1].result, 0);

  // Replaced by a longer log that holds other numbers.
  file.text = Header() + Written("SN0001") + std::string(400, ' ') + "\r\n";
  EXPECT_EQ(a->ClaimSerial("SN0001", true, kContext).serial, "SN0002");
  // Cut shorter than what was read.
  file.text = Header();
  EXPECT_EQ(b->ClaimSerial("SN0001", true, kContext).serial, "SN0001");
}

TEST(CsvLedgerTest, HeldLogIsWaitedForThenGivenUp) {
  struct Case {
    const char* what;
    int heldSessions;
    int ctrlCAt;
    bool claimed;
    int waits;
  };
  const int most = static_cast<int>(kHeldLogWaitMs / kHeldLogRetryMs);
  const Case cases[] = {
      {"released after three looks", 3, 0, true, 3},
      {"held longer than the wait", 1000, 0, false, most},
      {"Ctrl+C ends the wait", 1000, 2, false, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryLogState file;
    CountingWaiter waiter;
    waiter.ctrlCAt = c.ctrlCAt;
    std::unique_ptr<CsvLedger> ledger = NewMemoryLedger(file, waiter);
    file.heldSessions = c.heldSessions;
    const Claim claim = ledger->ClaimSerial("SN1", false, kContext);
    EXPECT_EQ(claim.status == ClaimStatus::kClaimed, c.claimed) << claim.error;
    EXPECT_EQ(waiter.waits, c.waits);
    EXPECT_EQ(waiter.said.find("is held by another program"), waiter.said.rfind("is held by"))
        << "said more than once";
    EXPECT_NE(waiter.said.find("line.csv is held by another program"), std::string::npos);
    EXPECT_EQ(file.text.empty(), !c.claimed);
  }
}

}  // namespace
