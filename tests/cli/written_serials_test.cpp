// The log read back: RFC 4180 records from awkward text, and which serial
// numbers count as written (only whole write-serial lines with result 0).
#include "cli/written_serials.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ledger/operation_record.h"

namespace {

using Fields = std::vector<std::string>;

TEST(WrittenSerialsTest, CsvRecordsFromAwkwardText) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<Fields> records;
    std::vector<bool> whole;
  };
  const Case cases[] = {
      {"plain CRLF lines", "a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}, {true, true}},
      {"LF alone ends a line too", "a,b\nc\n", {{"a", "b"}, {"c"}}, {true, true}},
      {"empty fields", ",,\r\n", {{"", "", ""}}, {true}},
      {"quoted comma", "\"a,b\",c\r\n", {{"a,b", "c"}}, {true}},
      {"doubled quote", "\"say \"\"hi\"\"\",x\r\n", {{"say \"hi\"", "x"}}, {true}},
      {"line break inside quotes", "\"two\r\nlines\",x\r\n", {{"two\r\nlines", "x"}}, {true}},
      {"empty quoted field", "\"\",x\r\n", {{"", "x"}}, {true}},
      {"blank lines are no records", "\r\n\r\na\r\n\n", {{"a"}}, {true}},
      {"last line without its end", "a,b\r\nc,d", {{"a", "b"}, {"c", "d"}}, {true, false}},
      {"cut inside a quoted field", "a\r\nb,\"half", {{"a"}, {"b", "half"}}, {true, false}},
      {"cut right after a comma", "a,", {{"a", ""}}, {false}},
      {"nothing", "", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<CsvRecord> records = ParseCsvRecords(c.text);
    ASSERT_EQ(records.size(), c.records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i].fields, c.records[i]) << i;
      EXPECT_EQ(records[i].whole, c.whole[i]) << i;
    }
  }
}

// A log line as the program writes it.
std::string Line(const std::string& command, const std::string& serial, int result,
                 const std::string& message = "m") {
  OperationRecord record;
  record.command = command;
  record.serial = serial;
  record.result = result;
  record.message = message;
  return FormatCsvLine(record, {"2024-05-06T07:08:09Z", "BENCH-7", "1.0.0.0"});
}

TEST(WrittenSerialsTest, OnlyWholeSuccessfulWritesCount) {
  struct Case {
    const char* what;
    std::string log;
    std::vector<std::string> written;
    std::vector<std::string> notWritten;
    std::optional<std::string> last;
  };
  const std::string header = CsvHeader();
  // Cut just after the result digit, and a little past it in the message.
  const std::string whole = Line("write-serial", "SN0009", 0);
  const size_t result = whole.find(",0,m,");
  ASSERT_NE(result, std::string::npos);
  const std::string cutInResult = whole.substr(0, result + 2);
  const std::string cutPastResult = whole.substr(0, result + 4);
  const Case cases[] = {
      {"empty log", "", {}, {"SN0001"}, std::nullopt},
      {"the header alone", header, {}, {"serial"}, std::nullopt},
      {"written and failed",
       header + Line("write-serial", "SN0001", 0) + Line("write-serial", "SN0002", 11),
       {"SN0001"},
       {"SN0002"},
       "SN0001"},
      {"the last in the file's order",
       header + Line("write-serial", "SN0007", 0) + Line("write-serial", "SN0003", 0) +
           Line("write-serial", "SN0004", 12),
       {"SN0007", "SN0003"},
       {"SN0004"},
       "SN0003"},
      {"other commands do not write numbers",
       Line("read-serial", "SN0005", 0) + Line("list", "SN0006", 0),
       {},
       {"SN0005", "SN0006"},
       std::nullopt},
      {"quoted numbers and messages",
       Line("write-serial", "A,\"B\"", 0, "x, \"y\"") + Line("write-serial", " SP ", 0),
       {"A,\"B\"", " SP "},
       {"A", "SP"},
       " SP "},
      {"letter case is exact", Line("write-serial", "sn0001", 0), {"sn0001"}, {"SN0001"}, "sn0001"},
      {"half-written last line past its result",
       Line("write-serial", "SN0008", 0) + cutPastResult,
       {"SN0008", "SN0009"},
       {},
       "SN0009"},
      {"half-written last line inside its result",
       Line("write-serial", "SN0008", 0) + cutInResult,
       {"SN0008"},
       {"SN0009"},
       "SN0008"},
      {"a line of 65 (refused) writes nothing",
       Line("write-serial", "SN0010", 65),
       {},
       {"SN0010"},
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const WrittenSerials written(c.log);
    for (const std::string& serial : c.written) EXPECT_TRUE(written.Contains(serial)) << serial;
    for (const std::string& serial : c.notWritten) EXPECT_FALSE(written.Contains(serial)) << serial;
    EXPECT_EQ(written.Last(), c.last);
  }
}

}  // namespace
