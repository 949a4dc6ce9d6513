// The record's chain over logs edited by hand: each kind of edit is found
// at its line, a log of the earlier format is chained from its first new
// line, and witnesses find a tail cut off or written again.
#include <functional>

#include "tests/support/chain_logs.h"

namespace {

using chain_logs::JoinLines;
using chain_logs::SplitLines;
using chain_logs::Walk;
using Lines = std::vector<std::string>;

// Six records: the header is line 1, the records lines 2 to 7.
std::string SixRecords() {
  MemoryLogState log;
  chain_logs::Append(log, 6);
  return log.text;
}

struct EditCase {
  const char* name;
  std::function<void(Lines&)> edit;
  ChainBreak kind;
  uint64_t at;
};

class ChainEditTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(ChainEditTest, FindsTheEditAtItsLine) {
  Lines lines = SplitLines(SixRecords());
  ASSERT_EQ(lines.size(), 7u);
  ASSERT_EQ(Walk(JoinLines(lines)).verdict.broken, ChainBreak::kNone);
  GetParam().edit(lines);
  const ChainVerdict verdict = Walk(JoinLines(lines)).verdict;
  EXPECT_EQ(ChainBreakWord(verdict.broken), std::string(ChainBreakWord(GetParam().kind)));
  EXPECT_EQ(verdict.brokenAt, GetParam().at);
}

INSTANTIATE_TEST_SUITE_P(
    Chain, ChainEditTest,
    ::testing::Values(
        EditCase{"OneByteOfAFieldChanged",
                 [](Lines& l) { l[3].replace(l[3].find("Written"), 1, "w"); }, ChainBreak::kChanged,
                 4},
        EditCase{"ItsPlaceChanged", [](Lines& l) { l[3].replace(l[3].rfind(",3,"), 3, ",9,"); },
                 ChainBreak::kChanged, 4},
        EditCase{"ALineRemoved", [](Lines& l) { l.erase(l.begin() + 3); }, ChainBreak::kRemoved, 4},
        EditCase{"TheFirstChainedLineRemoved", [](Lines& l) { l.erase(l.begin() + 1); },
                 ChainBreak::kRemoved, 2},
        EditCase{"ACopyInserted", [](Lines& l) { l.insert(l.begin() + 5, l[2]); },
                 ChainBreak::kInserted, 6},
        EditCase{"ALineWithoutChainInserted",
                 [](Lines& l) { l.insert(l.begin() + 4, log_lines::Line("SN9", "written")); },
                 ChainBreak::kInserted, 5},
        EditCase{"ALineWithAMadeUpChainInserted",
                 [](Lines& l) {
                   std::string made = l[3];
                   made.replace(made.find("SN"), 6, "SN7777");
                   l.insert(l.begin() + 3, made);
                 },
                 ChainBreak::kInserted, 4},
        EditCase{"TwoLinesSwapped", [](Lines& l) { std::swap(l[3], l[4]); },
                 ChainBreak::kOutOfOrder, 4},
        EditCase{"TheTailCut", [](Lines& l) { l.resize(5); }, ChainBreak::kNone, 0}),
    [](const ::testing::TestParamInfo<EditCase>& info) { return std::string(info.param.name); });

struct WitnessCase {
  const char* name;
  std::function<std::string(const std::string&)> edit;
  bool missing;
};

class ChainWitnessTest : public ::testing::TestWithParam<WitnessCase> {};

// The MES kept the last two values; the log is then cut or written again.
TEST_P(ChainWitnessTest, FindsATailNoLongerThere) {
  const std::string log = SixRecords();
  const std::vector<std::string> kept = Walk(log).chains;
  ASSERT_EQ(kept.size(), 6u);
  const std::vector<std::string> witnesses(kept.end() - 2, kept.end());
  const chain_logs::VerdictSink walked = Walk(GetParam().edit(log));
  ChainWitnesses check(witnesses);
  for (const std::string& chain : walked.chains) check.See(chain);
  EXPECT_EQ(walked.verdict.broken, ChainBreak::kNone);
  EXPECT_EQ(check.FirstMissing(), GetParam().missing ? witnesses[0] : "");
}

INSTANTIATE_TEST_SUITE_P(
    Chain, ChainWitnessTest,
    ::testing::Values(WitnessCase{"Untouched", [](const std::string& l) { return l; }, false},
                      WitnessCase{"TailCut",
                                  [](const std::string& l) {
                                    Lines lines = SplitLines(l);
                                    lines.resize(5);
                                    return JoinLines(lines);
                                  },
                                  true},
                      WitnessCase{"TailWrittenAgain",
                                  [](const std::string& l) {
                                    Lines lines = SplitLines(l);
                                    lines.resize(5);
                                    MemoryLogState log;
                                    log.text = JoinLines(lines);
                                    chain_logs::Append(log, 2);
                                    return log.text;
                                  },
                                  true}),
    [](const ::testing::TestParamInfo<WitnessCase>& info) { return std::string(info.param.name); });

struct FormatCase {
  const char* name;
  std::string before;  // the log as an earlier version left it
  uint64_t records;
  uint64_t firstChained;
};

class ChainFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ChainFormatTest, ChainsFromTheFirstNewLine) {
  MemoryLogState log;
  log.text = GetParam().before;
  chain_logs::Append(log, 3);
  const ChainVerdict verdict = Walk(log.text).verdict;
  EXPECT_EQ(verdict.broken, ChainBreak::kNone);
  EXPECT_EQ(verdict.records, GetParam().records);
  EXPECT_EQ(verdict.chained, 3u);
  EXPECT_EQ(verdict.firstChained, GetParam().firstChained);
  EXPECT_EQ(verdict.head, Walk(log.text).chains.back());
}

INSTANTIATE_TEST_SUITE_P(
    Chain, ChainFormatTest,
    ::testing::Values(FormatCase{"NewLog", "", 3, 2},
                      FormatCase{"EarlierFormat",
                                 log_lines::EarlierHeader() + log_lines::Line("SN1", nullptr) +
                                     log_lines::Line("SN2", nullptr),
                                 5, 4},
                      FormatCase{"PoolColumnsWithoutChain",
                                 CsvHeader().substr(0, CsvHeader().find(",seq")) + "\r\n" +
                                     log_lines::Line("SN1", "written"),
                                 4, 3}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

// A database row's text is hashed as its column keeps it: cut to the
// column's width in UTF-16 units, as the ODBC wrapper cuts what it binds,
// never inside a character.
TEST(ChainColumnTest, TextIsCutAsItsColumnKeepsIt) {
  struct Case {
    const char* what;
    std::string text;
    size_t most;
    std::string kept;
  };
  const Case cases[] = {
      {"shorter than the column", "SN0001", 8, "SN0001"},
      {"longer: cut at the width", "SN000123", 6, "SN0001"},
      {"a two-byte character counts as one", "\xC3\xA9t\xC3\xA9", 2, "\xC3\xA9t"},
      {"a pair of UTF-16 units is never split", "ab\xF0\x9F\x98\x80", 3, "ab"},
      {"the pair kept whole when it fits", "ab\xF0\x9F\x98\x80", 4, "ab\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FitToColumn(c.text, c.most), c.kept);
  }
}

}  // namespace
