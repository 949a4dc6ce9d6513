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
#include "tests/support/probe_session_fixture.h"
#include "tests/support/srecord_writer.h"

using probe_model::FaultKind;
namespace sw = srecord_writer;

namespace {

constexpr uint32_t kFileBase = 0x08000000;
constexpr size_t kFileBytes = 2000;
constexpr int kMaxPolls = 240;

class ImageStepsTest : public ProbeSessionTest {
 protected:
  void SetUp() override {
    data_ = sw::Pattern(kFileBytes, 7);
    const std::string file = sw::File(kFileBase, data_);
    auto image = std::make_shared<FirmwareImage>();
    const FirmwareReadStatus status =
        image->Read(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    ASSERT_FALSE(status.sizeError || status.formatError);
    image_ = image;
    ProbeSessionTest::SetUp();
  }
  // Each case's session walks the one image.
  void ForgetProbeState() override {
    ProbeSessionTest::ForgetProbeState();
    session_.image = image_;
  }

  // Runs the steps in the update's order; the first failure's code, or 0.
  int RunUpdate() {
    int result = 0;
    if (OpenProbe(session_.link) != 0) return kResultNoProbe;
    if (const int code = StartEraseCommand(session_.link); code != 0) return code;
    int answer = kErasePending;
    for (int poll = 0; poll < kMaxPolls && answer == kErasePending; ++poll) {
      model_link::AdvanceClock(500);
      answer = PollProbeErase(session_.link, &result);
    }
    StopReplyWatch(session_.link);
    if (answer != 0) return answer == 1 ? result : answer;
    Rewind(session_.cursor);
    for (int unit = image_->CountTransferUnits(); unit > 0; --unit) {
      if (ProgramNextUnit(session_, &result) != 0) return result;
    }
    Rewind(session_.cursor);
    for (int unit = image_->CountTransferUnits(); unit > 0; --unit) {
      if (VerifyNextUnit(session_, &result) != 0) return result;
    }
    if (ExecuteProbeUpdate(session_.link, &result) != 0) return result;
    if (CloseProbeAfterUpdate(session_.link, &result) != 0) return result;
    return 0;
  }

  std::vector<uint8_t> data_;
  std::shared_ptr<const FirmwareImage> image_;
};

}  // namespace

TEST_F(ImageStepsTest, WholeUpdateLeavesTheImageInTheFlash) {
  for (uint8_t version : {0x22, 0x21}) {
    SCOPED_TRACE(version);
    auto& probe = AttachAfresh({.versionByte = version, .eraseMs = 1800});
    probe.MutableFlash()[3000] = 0x00;  // gone after the erase
    session_.link.version = version;
    ASSERT_EQ(RunUpdate(), 0);
    EXPECT_TRUE(std::equal(data_.begin(), data_.end(), probe.Flash().begin()));
    EXPECT_EQ(probe.Flash()[kFileBytes], 0xFF);
    EXPECT_EQ(probe.Flash()[3000], 0xFF);
    EXPECT_TRUE(probe.UpdateExecuted());
    EXPECT_FALSE(IsProbeOpen(session_.link));
    // Every unit is in the flash, sent in requests of the version's size.
    const uint32_t requestBytes = version == 0x22 ? 1024 : 128;
    size_t requests = 0;
    size_t units = 0;
    ImageCursor cursor;
    uint8_t unit[kMaxUnitBytes];
    uint32_t offset = 0;
    while (const uint32_t length = NextProgramUnit(*image_, cursor, unit, &offset)) {
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
  ASSERT_EQ(OpenProbe(session_.link), 0);
  int result = -1;
  for (int unit = image_->CountTransferUnits(); unit > 0; --unit)
    ASSERT_EQ(ProgramNextUnit(session_, &result), 0);
  const size_t requests = probe.RequestsReceived().size();
  EXPECT_EQ(ProgramNextUnit(session_, &result), 0);
  EXPECT_EQ(VerifyNextUnit(session_, &result), 0);
  session_.image = std::make_shared<FirmwareImage>();
  EXPECT_EQ(ProgramNextUnit(session_, &result), 0);
  EXPECT_EQ(VerifyNextUnit(session_, &result), 0);
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
    session_.link.version = 0x22;
    EXPECT_EQ(RunUpdate(), c.code);
  }
}
