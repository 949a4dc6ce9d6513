// The version wait begun after the reset may be over already (the window's):
// the version before the update tells an answer after the reset from one
// before it.
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
    const char* what;
    uint8_t answers;
    std::optional<std::string> before;
    int status;
    std::optional<std::string> seen;
  };
  const Row rows[] = {
      {"back with another version", 0x24, "2.2", kVersionOther, "2.4"},
      {"another version, the version before unknown", 0x24, std::nullopt, kVersionNeverAnswered,
       std::nullopt},
      {"still the version before", 0x22, "2.2", kVersionNeverAnswered, std::nullopt},
      {"back with the version expected", 0x23, "2.2", 0, "2.3"},
  };
  for (const Row& row : rows) {
    model_link::Reset();
    model_link::Attach(0, {.versionByte = row.answers});
    ModelClock clock;
    const VersionWait wait = WaitForProbeVersion(0, "2.3", 3, clock, row.before);
    EXPECT_EQ(wait.status, row.status) << row.what << ": " << wait.message;
    EXPECT_EQ(wait.seen, row.seen) << row.what;
  }
  model_link::Reset();
}

}  // namespace
