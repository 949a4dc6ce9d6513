// Several probes updated at once, each by a session of its own on a thread of
// its own, over one image read once and shared: nothing of one probe's state
// reaches another's.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/probe_session.h"
#include "firmware/update_procedure.h"
#include "messages/message_catalogue.h"
#include "tests/support/fake_window.h"
#include "tests/support/probe_link_fixture.h"
#include "tests/support/srecord_writer.h"

namespace {

namespace sw = srecord_writer;
using probe_model::FaultKind;

constexpr int kProbes = 4;
constexpr int kTickCap = 20000;
constexpr uint32_t kImageBase = 0x08000000;

bool FlashHoldsImage(const probe_model::ProbeModel& probe, const FirmwareImage& image) {
  ImageCursor cursor;
  uint8_t unit[kMaxUnitBytes];
  uint32_t offset = 0;
  while (const uint32_t length = NextProgramUnit(image, cursor, unit, &offset)) {
    if (!std::equal(unit, unit + length, probe.Flash().begin() + offset)) return false;
  }
  return true;
}

// UPDATE and its ticks, each period passing on the shared clock first.
void RunUpdate(FakeWindow& window, ProbeSession& session) {
  StartUpdate(window, session);
  for (int tick = 0; tick < kTickCap && window.timerRunning; ++tick) {
    model_link::AdvanceClock(window.timerPeriod);
    UpdateTimerTick(window, session, kUpdateTimerId);
  }
}

}  // namespace

TEST_F(ProbeLinkTest, SessionsOnThreadsUpdateTheirOwnProbesFromOneImage) {
  const std::string file = sw::File(kImageBase, sw::Pattern(3000, 9));
  auto image = std::make_shared<FirmwareImage>();
  const FirmwareReadStatus read =
      image->Read(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  ASSERT_FALSE(read.sizeError || read.formatError);
  const struct {
    const char* name;
    int eraseFailsAt;  // -1: no probe's erase fails
  } rows[] = {{"every probe updated", -1}, {"probe 2's erase fails", 2}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ResetLinkAndModels();
    std::vector<probe_model::ProbeModel*> probes;
    for (int index = 0; index < kProbes; ++index) {
      probe_model::ProbeSettings settings{.eraseMs = 1200};
      if (index == row.eraseFailsAt) settings.faults = {Fault(FaultKind::kEraseFails)};
      probes.push_back(&model_link::Attach(index, settings));
    }
    std::vector<FakeWindow> windows(kProbes);
    std::vector<ProbeSession> sessions(kProbes);
    std::vector<std::thread> threads;
    for (int index = 0; index < kProbes; ++index) {
      windows[index].chosen = ProbeChoice{index};
      sessions[index].image = image;
      sessions[index].imagePinned = true;
      threads.emplace_back(RunUpdate, std::ref(windows[index]), std::ref(sessions[index]));
    }
    for (std::thread& thread : threads) thread.join();
    for (int index = 0; index < kProbes; ++index) {
      SCOPED_TRACE(index);
      const bool fails = index == row.eraseFailsAt;
      EXPECT_EQ(FlashHoldsImage(*probes[index], *image), !fails);
      EXPECT_EQ(probes[index]->UpdateExecuted(), !fails);
      const std::u16string last =
          windows[index].boxes.empty() ? u"" : windows[index].boxes.back().text;
      const MessageChoice expected = fails ? ChooseMessage(kResultErase, CodeKind::kResult)
                                           : ChooseMessage(kMsgUpdateSucceeded, CodeKind::kMessage);
      EXPECT_EQ(last, expected.text);
      EXPECT_EQ(model_link::CloseCount(index), model_link::OpenCount(index));
    }
  }
}

// A session pinned to no image has nothing to program: no file, and the
// probe is never erased.
TEST_F(ProbeLinkTest, APinWithoutAnImageIsNoFileAndLeavesTheProbe) {
  probe_model::ProbeModel& probe = model_link::Attach(0, {});
  FakeWindow window;
  window.chosen = ProbeChoice{0};
  ProbeSession session;
  session.imagePinned = true;
  RunUpdate(window, session);
  ASSERT_FALSE(window.boxes.empty());
  EXPECT_EQ(window.boxes.back().text, ChooseMessage(kResultNoFile, CodeKind::kResult).text);
  EXPECT_FALSE(probe.UpdateExecuted());
  EXPECT_EQ(model_link::OpenCount(0), 0);
}
