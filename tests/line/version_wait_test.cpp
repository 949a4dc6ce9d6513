// A version wait begun after the reset may find it over (the window's): the
// version before the update tells an answer after the reset from one before.
#include "line/version_wait.h"

#include <gtest/gtest.h>

#include "emulator/model_transport.h"
#include "line/line_status.h"

namespace {

class ModelClock : public LineClock {
 public:
  double Seconds() override { return static_cast<double>(model_link::NowMs()) / 1000.0; }
  void Wait(unsigned ms) override { model_link::AdvanceClock(ms); }
  bool Interrupted() override { return false; }
};

TEST(VersionWaitTest, TheVersionBeforeTellsAnAnswerAfterTheReset) {
  struct Row {
    uint8_t answers;
    std::optional<std::string> before, seen;
    int status;
  };
  const Row rows[] = {{0x24, "2.2", "2.4", kVersionOther},
                      {0x24, std::nullopt, std::nullopt, kVersionNeverAnswered},
                      {0x22, "2.2", std::nullopt, kVersionNeverAnswered},
                      {0x23, "2.2", "2.3", 0}};
  for (const Row& row : rows) {
    model_link::Reset();
    model_link::Attach(0, {.versionByte = row.answers});
    ModelClock clock;
    ProbeLink link;
    const VersionWait wait = WaitForProbeVersion(link, 0, "2.3", 3, clock, row.before);
    EXPECT_EQ(wait.status, row.status) << wait.message;
    EXPECT_EQ(wait.seen, row.seen) << int{row.answers};
  }
  model_link::Reset();
}

}  // namespace
