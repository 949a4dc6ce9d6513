// audit run by the console program over an in-memory log: its exit status
// and what it names for a log that holds, one edited, one cut under a
// witness, and one that cannot be read.
#include <functional>

#include "cli/cli_options.h"
#include "cli_test_fixture.h"
#include "tests/support/chain_logs.h"

namespace {

struct AuditCase {
  const char* name;
  // The log's text from four chained records, and the witness file's.
  std::function<std::string(const std::string&)> log;
  bool witness;
  int status;
  const char* says;  // in the JSON object
};

class AuditTest : public CliTest, public ::testing::WithParamInterface<AuditCase> {};

TEST_P(AuditTest, SaysWhetherTheChainHolds) {
  MemoryLogState made;
  chain_logs::Append(made, 4);
  const std::vector<std::string> chains = chain_logs::Walk(made.text).chains;
  ASSERT_EQ(chains.size(), 4u);
  logs_.text = GetParam().log(made.text);
  std::vector<std::u16string> args = {u"audit", u"--log", u"line.csv", u"--json"};
  if (GetParam().witness) {
    args.push_back(u"--witness");
    args.push_back(WriteFile(chains[2] + "\r\n" + chains[3] + "\r\n", "mes.txt"));
  }
  EXPECT_EQ(Run(args), GetParam().status) << console_.err;
  EXPECT_NE(console_.out.find(GetParam().says), std::string::npos) << console_.out;
}

std::string Same(const std::string& log) {
  return log;
}
std::string WithoutLine(const std::string& log, size_t index) {
  std::vector<std::string> lines = chain_logs::SplitLines(log);
  lines.erase(lines.begin() + static_cast<long>(index));
  return chain_logs::JoinLines(lines);
}

INSTANTIATE_TEST_SUITE_P(
    Audit, AuditTest,
    ::testing::Values(
        AuditCase{"Holds", Same, true, kExitOk, R"("records":4,"chained":4,"first_chained":2)"},
        AuditCase{"ALineRemoved", [](const std::string& l) { return WithoutLine(l, 2); }, false,
                  kExitChainBroken, R"("broken":{"line":3,"kind":"removed"})"},
        AuditCase{"TailCutUnderAWitness", [](const std::string& l) { return WithoutLine(l, 4); },
                  true, kExitChainBroken, R"("missing_witness":")"},
        AuditCase{"TailCutWithoutOne", [](const std::string& l) { return WithoutLine(l, 4); },
                  false, kExitOk, R"("records":3)"},
        AuditCase{"NotALog", [](const std::string&) { return std::string("name,age\r\n"); }, false,
                  kExitLogFailed, "not a log of this program"}),
    [](const ::testing::TestParamInfo<AuditCase>& info) { return std::string(info.param.name); });

}  // namespace
