// The update steps over the real firmware image, against an emulated probe:
// erase, program and verify every unit, execute, close; and the faults that
// make verifying fail.
#include "firmware/unit_steps.h"

#include <string>

#include "firmware/firmware_image.h"
#include "probe/commands.h"
#include "probe/discovery.h"
#include "probe/operations.h"
#include "probe/transport.h"
#include "tests/support/probe_link_fixture.h"
#include "tests/support/srecord_writer.h"

using probe_model::FaultKind;
namespace sw = srecord_writer;

namespace {

constexpr uint32_t kFileBase = 0x08000000;
constexpr size_t kFileBytes = 2000;
constexpr int kMaxPolls = 240;

class ImageStepsTest : public ProbeLinkTest {
 protected:
  void SetUp() override {
    ProbeLinkTest::SetUp();
    ResetFirmwareImage();
    data_ = sw::Pattern(kFileBytes, 7);
    const std::string file = sw::File(kFileBase, data_);
    const FirmwareReadStatus status =
        ReadFirmwareBytes(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    ASSERT_FALSE(status.sizeError || status.formatError);
  }

  // Runs the steps in the update's order; the first failure's code, or 0.
  int RunUpdate() {
    int result = 0;
    if (OpenProbe() != 0) return kResultNoProbe;
    if (const int code = StartEraseCommand(); code != 0) return code;
    int answer = kErasePending;
    for (int poll = 0; poll < kMaxPolls && answer == kErasePending; ++poll) {
      model_link::AdvanceClock(500);
      answer = PollProbeErase(&result);
    }
    StopReplyWatch();
    if (answer != 0) return answer == 1 ? result : answer;
    RewindTransferUnits();
    for (int unit = CountTransferUnits(); unit > 0; --unit) {
      if (ProgramNextUnit(&result) != 0) return result;
    }
    RewindTransferUnits();
    for (int unit = CountTransferUnits(); unit > 0; --unit) {
      if (VerifyNextUnit(&result) != 0) return result;
    }
    if (ExecuteProbeUpdate(&result) != 0) return result;
    if (CloseProbeAfterUpdate(&result) != 0) return result;
    return 0;
  }

  std::vector<uint8_t> data_;
};

}  // namespace

TEST_F(ImageStepsTest, WholeUpdateLeavesTheImageInTheFlash) {
  for (uint8_t version : {0x22, 0x21}) {
    SCOPED_TRACE(version);
    auto& probe = AttachAfresh({.versionByte = version, .eraseMs = 1800});
    probe.MutableFlash()[3000] = 0x00;  // gone after the erase
    g_probeVersion = version;
    ASSERT_EQ(RunUpdate(), 0);
    EXPECT_TRUE(std::equal(data_.begin(), data_.end(), probe.Flash().begin()));
    EXPECT_EQ(probe.Flash()[kFileBytes], 0xFF);
    EXPECT_EQ(probe.Flash()[3000], 0xFF);
    EXPECT_TRUE(probe.UpdateExecuted());
    EXPECT_FALSE(IsProbeOpen());
    // Every unit is in the flash, sent in requests of the version's size.
    const uint32_t requestBytes = version == 0x22 ? 1024 : 128;
    size_t requests = 0;
    size_t units = 0;
    RewindTransferUnits();
    uint8_t unit[kMaxUnitBytes];
    uint32_t offset = 0;
    while (const uint32_t length = NextProgramUnit(unit, &offset)) {
      ++units;
      requests += (length + requestBytes - 1) / requestBytes;
      EXPECT_TRUE(std::equal(unit, unit + length, probe.Flash().begin() + offset));
    }
    EXPECT_GE(units, 2u);
    EXPECT_EQ(Requests(probe, kCmdWriteFlash).size(), requests);
    EXPECT_EQ(Requests(probe, kCmdReadFlash).size(), units);
  }
}

TEST_F(ImageStepsTest, NoUnitLeftSucceedsWithoutAnExchange) {
  auto& probe = Attach();
  ASSERT_EQ(OpenProbe(), 0);
  int result = -1;
  RewindTransferUnits();
  for (int unit = CountTransferUnits(); unit > 0; --unit) ASSERT_EQ(ProgramNextUnit(&result), 0);
  const size_t requests = probe.RequestsReceived().size();
  EXPECT_EQ(ProgramNextUnit(&result), 0);
  EXPECT_EQ(VerifyNextUnit(&result), 0);
  ResetFirmwareImage();
  EXPECT_EQ(ProgramNextUnit(&result), 0);
  EXPECT_EQ(VerifyNextUnit(&result), 0);
  EXPECT_EQ(probe.RequestsReceived().size(), requests);
  EXPECT_EQ(result, -1);
}

TEST_F(ImageStepsTest, FaultsStopTheUpdateWithTheirCode) {
  const probe_model::Fault flip{.kind = FaultKind::kFlipBit, .offset = 1500};
  const struct {
    const char* name;
    probe_model::Fault fault;
    int code;
  } cases[] = {
      {"flipped bit", flip, kResultFlashVerify},
      {"short second read-back", Fault(FaultKind::kShortReply, kCmdReadFlash, 2), kResultFlashRead},
      {"erase fails", Fault(FaultKind::kEraseFails), kResultErase},
      {"erase never ends", Fault(FaultKind::kEraseNeverEnds), kErasePending},
      {"refused block", Fault(FaultKind::kBadStatus, kCmdWriteFlash, 2), kResultFlashWrite},
      {"execute refused", Fault(FaultKind::kBadStatus, kCmdExecuteUpdate), kResultExecute},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AttachAfresh({.eraseMs = 500, .faults = {c.fault}});
    g_probeVersion = 0x22;
    EXPECT_EQ(RunUpdate(), c.code);
  }
}
