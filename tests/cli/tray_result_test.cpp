// A tray's report: the exit status is the lowest-indexed failure's whatever
// order the probes finished in, every line comes in index order, and the
// summary names each failure with its message.
#include "cli/tray_result.h"

#include <gtest/gtest.h>

namespace {

struct TrayCase {
  const char* name;
  std::vector<TrayOutcome> outcomes;  // in the order the probes finished
  bool withSerial;
  int status;
  const char* lines;
  const char* summary;
};

class TrayResultTest : public ::testing::TestWithParam<TrayCase> {};

TEST_P(TrayResultTest, ReportsInIndexOrder) {
  const TrayCase& c = GetParam();
  EXPECT_EQ(TrayExitStatus(c.outcomes), c.status);
  EXPECT_EQ(TrayLines(c.outcomes, c.withSerial), c.lines);
  EXPECT_EQ(TraySummary(c.outcomes, c.withSerial), c.summary);
}

const TrayCase kCases[] = {
    {"Empty", {}, false, 1, "", "Tray: 0 probes, 0 succeeded, 0 failed.\n"},
    {"AllSucceededOutOfOrder",
     {{7, "SN0003", 0, "ok"}, {0, "SN0001", 0, "ok"}, {3, "SN0002", 0, "ok"}},
     true,
     0,
     "0 SN0001 0\n3 SN0002 0\n7 SN0003 0\n",
     "Tray: 3 probes, 3 succeeded, 0 failed.\n"},
    {"LowestIndexDecidesNotFirstFinished",
     {{5, {}, 9, "erase never ended"}, {2, {}, 0, ""}, {1, {}, 130, "Stopped by Ctrl+C."}},
     false,
     130,
     "1 130\n2 0\n5 9\n",
     "Tray: 3 probes, 1 succeeded, 2 failed.\n"
     "failed 1 130: Stopped by Ctrl+C.\n"
     "failed 5 9: erase never ended\n"},
    {"OneProbeFailedWithoutSerial",
     {{4, {}, 1, "It failed in the connection with USB."}},
     true,
     1,
     "4 - 1\n",
     "Tray: 1 probe, 0 succeeded, 1 failed.\n"
     "failed 4 - 1: It failed in the connection with USB.\n"},
    {"SerialWithBlanksKeepsResultLast",
     {{0, "A B", 0, ""}, {1, "SN0002", 74, "The log could not record it."}},
     true,
     74,
     "0 A B 0\n1 SN0002 74\n",
     "Tray: 2 probes, 1 succeeded, 1 failed.\n"
     "failed 1 SN0002 74: The log could not record it.\n"},
};

INSTANTIATE_TEST_SUITE_P(Tray, TrayResultTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
