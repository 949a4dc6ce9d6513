// The JSON and CSV forms of a record: escaping and quoting of awkward text,
// absent fields, and a catalogue text on one line.
#include "ledger/operation_record.h"

#include <gtest/gtest.h>

namespace {

// A field is quoted only when it must be, never holds a line break, and
// never starts as a spreadsheet formula would.
TEST(OperationRecordTest, CsvFieldsAreQuotedOnlyWhenTheyMustBe) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "two\\nlines"},
      {"cr\r", "cr\\r"},
      {"semi;colon", "semi;colon"},
      {"=SUM(A1)", "'=SUM(A1)"},
      {"-1", "'-1"},
      {"+1", "'+1"},
      {"@x", "'@x"},
      {"\tx", "'\tx"},
      {"\rx", "'\\rx"},
      {"'x", "''x"},
      {"a=b", "a=b"},
      {"=a,b", "\"'=a,b\""},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(CsvField(value), expected) << value;
}

TEST(OperationRecordTest, JsonEscapesAndLeavesOutAbsentFields) {
  OperationRecord record;
  record.command = "write-serial";
  record.result = 11;
  record.message = "q\"b\\s\tc\x01";
  record.seconds = 1.23456;
  record.serial = "";
  EXPECT_EQ(FormatJson(record),
            R"({"command":"write-serial","probe":null,"result":11,"message":"q\"b\\s\tc\u0001",)"
            R"("seconds":1.235,"serial":""})");
  record.probe = 0;
  record.imageCrc32 = 0xAB;
  record.base = 0xFFFFFFFF;
  EXPECT_EQ(FormatJson(record),
            R"({"command":"write-serial","probe":0,"result":11,"message":"q\"b\\s\tc\u0001",)"
            R"("seconds":1.235,"serial":"","image_crc32":"000000AB","base":4294967295})");
}

TEST(OperationRecordTest, TextsBecomeUtf8OnOneLine) {
  EXPECT_EQ(OneLine(u"First.\n\rSecond."), "First. Second.");
  EXPECT_EQ(Utf8(u"S\u00E9\u20AC"), "S\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(Utf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

}  // namespace
