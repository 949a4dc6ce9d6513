// UPDATE and the timer steps against the recording window and the emulated
// probe: the step table with its timer periods and progress positions, the
// operator's answers, and every failure ending with its message, the probe
// closed and the window idle.
#include "firmware/update_procedure.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "messages/message_catalogue.h"
#include "probe/transport.h"
#include "tests/support/fake_window.h"
#include "tests/support/probe_session_fixture.h"
#include "tests/support/srecord_writer.h"

namespace {

using probe_model::Fault;
using probe_model::FaultKind;
using probe_model::ProbeModel;
using probe_requests::FlashSpan;
using probe_requests::FlashSpans;
using Spans = std::vector<FlashSpan>;
using Texts = std::vector<std::u16string>;
// Ticks at each period, in order: {period, ticks}.
using Runs = std::vector<std::pair<unsigned, int>>;

constexpr int kTickCap = 20000;
// Long enough for two polls that find the erase still pending.
constexpr uint32_t kEraseMs = 1200;

// Data in one block below 0x40000 at a base that is no multiple of 256: with
// the filler block it makes two units.
constexpr uint32_t kSmallBase = 0x1234;
constexpr size_t kSmallLength = 16;

struct Tick {
  UpdateState from;
  UpdateState to;
  unsigned period;  // the period that brought this tick
  bool runningAfter;
};

class UpdateTest : public ProbeSessionTest {
 protected:
  void SetUp() override {
    ProbeSessionTest::SetUp();
    // Other builds and worktrees on the machine may run this suite at the
    // same time: a folder of each run's own keeps them from removing our files.
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = std::filesystem::temp_directory_path() / ("velkoro_update_" + std::to_string(stamp));
    ASSERT_TRUE(std::filesystem::create_directories(dir_));
  }
  void TearDown() override {
    ProbeSessionTest::TearDown();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::u16string WriteFile(const std::string& text, const char* name = "image.saf") {
    const std::filesystem::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.u16string();
  }
  std::u16string SmallImage() {
    return WriteFile(srecord_writer::File(kSmallBase, srecord_writer::Pattern(kSmallLength)));
  }

  static ProbeModel& Probe(uint8_t versionByte = 0x22, uint32_t eraseMs = kEraseMs,
                           std::vector<probe_model::Fault> faults = {}) {
    return Attach({.versionByte = versionByte, .eraseMs = eraseMs, .faults = std::move(faults)});
  }

  void PressUpdate(const std::u16string& file) {
    window_.fileNameBox = file;
    StartUpdate(window_, session_);
  }

  // Ticks timer 0 for as long as it runs, letting each period pass on the
  // probe's clock first; before each tick the hook may change the world.
  void RunTimer(const std::function<void(UpdateState)>& beforeTick = {}) {
    for (int i = 0; i < kTickCap && window_.timerRunning; ++i) {
      const unsigned period = window_.timerPeriod;
      model_link::AdvanceClock(period);
      const UpdateState from = CurrentUpdateState(session_);
      if (beforeTick) beforeTick(from);
      ASSERT_TRUE(UpdateTimerTick(window_, session_, 0));
      ticks_.push_back({from, CurrentUpdateState(session_), period, window_.timerRunning});
    }
    ASSERT_FALSE(window_.timerRunning) << "the update never ended";
  }

  Runs PeriodRuns() const {
    Runs runs;
    for (const Tick& t : ticks_) {
      if (runs.empty() || runs.back().first != t.period) runs.push_back({t.period, 0});
      ++runs.back().second;
    }
    return runs;
  }

  // The update is over and no box or dialog came up while timer 0 ran.
  void ExpectIdle() {
    EXPECT_FALSE(window_.timerRunning);
    EXPECT_FALSE(IsUpdateRunning(session_));
    EXPECT_TRUE(window_.Idle());
    for (bool running : window_.timerRunningAtBox) EXPECT_FALSE(running);
    for (bool running : window_.timerRunningAtConfirm) EXPECT_FALSE(running);
  }
  void ExpectIdleAndClosed() {
    ExpectIdle();
    EXPECT_FALSE(IsProbeOpen(session_.link));
    EXPECT_EQ(model_link::CloseCount(0), model_link::OpenCount(0));
  }

  std::filesystem::path dir_;
  FakeWindow window_;
  std::vector<Tick> ticks_;
};

TEST_F(UpdateTest, TwoUnitImageRunsTheBarThroughEveryStep) {
  ProbeModel& probe = Probe();
  PressUpdate(SmallImage());
  ASSERT_TRUE(window_.timerRunning);
  RunTimer();

  EXPECT_EQ(window_.rangeLower, 0);
  EXPECT_EQ(window_.rangeUpper, 346);
  // 0 from the busy window, 2 at Start, two pending polls, then the erase.
  std::vector<int> expected{0, 2, 3, 4};
  for (int p = 242; p <= 346; ++p) expected.push_back(p);
  EXPECT_EQ(window_.positions, expected);
  EXPECT_EQ(window_.timerStarts, (std::vector<unsigned>{1, 500, 1, 50}));
  EXPECT_EQ(PeriodRuns(), (Runs{{1, 1}, {500, 3}, {1, 5}, {50, 100}}));

  EXPECT_EQ(Requests(probe, kCmdEraseFlash).size(), 1u);
  // Reads name the same image bytes as the writes, through the read address.
  const Spans units{{0, kSmallLength}, {0x40000, 2}};
  EXPECT_EQ(FlashSpans(probe, kCmdWriteFlash), units);
  EXPECT_EQ(FlashSpans(probe, kCmdReadFlash), units);
  EXPECT_EQ(probe_requests::Decode(probe).back().command, kCmdExecuteUpdate);
  EXPECT_TRUE(probe.UpdateExecuted());

  EXPECT_EQ(window_.BoxTexts(), (Texts{u"May I update Firmware Ver. 2.2 of Velkoro?",
                                       GetMessageText(2), GetMessageText(3)}));
  EXPECT_EQ(window_.confirmShown, 1);
  EXPECT_EQ(window_.states, (std::vector<ControlState>{Updating, Idle}));
  ExpectIdleAndClosed();
}

// A window that waits after the reset instruction and says why it failed
// ends the update there: no success is said.
TEST_F(UpdateTest, AWaitAfterTheResetInstructionMayEndTheUpdate) {
  Probe();
  window_.afterResetStatus = 24;
  PressUpdate(SmallImage());
  RunTimer();
  EXPECT_EQ(window_.afterResetCalls, 1);
  EXPECT_EQ(window_.BoxTexts(),
            (Texts{u"May I update Firmware Ver. 2.2 of Velkoro?", GetMessageText(2)}));
  ExpectIdleAndClosed();
}

TEST_F(UpdateTest, StepsFollowTheStepTable) {
  Probe();
  PressUpdate(SmallImage());
  EXPECT_EQ(CurrentUpdateState(session_), UpdateState::Start);
  EXPECT_TRUE(IsUpdateRunning(session_));
  RunTimer();

  struct Row {
    UpdateState from, to;
    unsigned period;
    bool runningAfter;
    int times;
  };
  using S = UpdateState;
  const std::vector<Row> table{
      {S::Start, S::EraseWait, 1, true, 1},     {S::EraseWait, S::EraseWait, 500, true, 2},
      {S::EraseWait, S::Program, 500, true, 1}, {S::Program, S::Program, 1, true, 1},
      {S::Program, S::Verify, 1, true, 1},      {S::Verify, S::Verify, 1, true, 1},
      {S::Verify, S::Finish, 1, true, 1},       {S::Finish, S::Confirm, 1, true, 1},
      {S::Confirm, S::Confirm, 50, true, 99},   {S::Confirm, S::Confirm, 50, false, 1},
  };
  size_t at = 0;
  for (const Row& row : table) {
    for (int i = 0; i < row.times; ++i, ++at) {
      ASSERT_LT(at, ticks_.size());
      EXPECT_EQ(ticks_[at].from, row.from) << "tick " << at;
      EXPECT_EQ(ticks_[at].to, row.to) << "tick " << at;
      EXPECT_EQ(ticks_[at].period, row.period) << "tick " << at;
      EXPECT_EQ(ticks_[at].runningAfter, row.runningAfter) << "tick " << at;
    }
  }
  EXPECT_EQ(at, ticks_.size());
}

TEST_F(UpdateTest, EraseAnsweredBeforeTheFirstPollJumpsTo242) {
  Probe(0x22, 0);
  PressUpdate(SmallImage());
  RunTimer();
  ASSERT_GE(window_.positions.size(), 3u);
  EXPECT_EQ(window_.positions[1], 2);
  EXPECT_EQ(window_.positions[2], 242);
  EXPECT_EQ(window_.positions.back(), 346);
}

TEST_F(UpdateTest, EraseStillPendingAtThe240thPollEndsTheUpdate) {
  ProbeModel& probe = Probe(0x22, kEraseMs, {Fault(FaultKind::kEraseNeverEnds, kCmdEraseFlash)});
  PressUpdate(SmallImage());
  RunTimer();

  std::vector<int> expected{0};
  for (int p = 2; p <= 242; ++p) expected.push_back(p);
  EXPECT_EQ(window_.positions, expected);
  EXPECT_EQ(PeriodRuns(), (Runs{{1, 1}, {500, 240}}));
  EXPECT_EQ(window_.boxes.back().text, ChooseMessage(kResultNotReceived, CodeKind::kResult).text);
  EXPECT_EQ(PollReplyWatch(session_.link), kWatchNone);
  EXPECT_TRUE(Requests(probe, kCmdWriteFlash).empty());
  ExpectIdleAndClosed();
}

TEST_F(UpdateTest, CancelOnTheQuestionSendsNothingMore) {
  ProbeModel& probe = Probe();
  window_.boxAnswers = {kAnswerCancel};
  PressUpdate(SmallImage());

  EXPECT_TRUE(window_.timerStarts.empty());
  EXPECT_EQ(window_.boxes.size(), 1u);
  for (const auto& r : probe_requests::Decode(probe)) EXPECT_EQ(r.command, kCmdReadVersion);
  ExpectIdleAndClosed();
}

TEST_F(UpdateTest, TicksOfOtherTimersChangeNothing) {
  ProbeModel& probe = Probe();
  PressUpdate(SmallImage());
  const size_t requests = probe.RequestsReceived().size();
  const size_t positions = window_.positions.size();
  const int pulls = window_.pulls;
  for (uintptr_t id : {uintptr_t{1}, uintptr_t{2}, uintptr_t{0xFFFF}}) {
    EXPECT_FALSE(UpdateTimerTick(window_, session_, id));
  }
  EXPECT_EQ(CurrentUpdateState(session_), UpdateState::Start);
  EXPECT_EQ(probe.RequestsReceived().size(), requests);
  EXPECT_EQ(window_.positions.size(), positions);
  EXPECT_EQ(window_.pulls, pulls);
  EXPECT_TRUE(window_.timerRunning);
}

// A table of cases over the update's fixture.
template <typename Case>
class UpdateCases : public UpdateTest, public ::testing::WithParamInterface<Case> {};

struct ConfirmCase {
  const char* name;
  int answer;
  int lastMessage;
};
using ConfirmationAnswer = UpdateCases<ConfirmCase>;

TEST_P(ConfirmationAnswer, ChoosesTheLastMessage) {
  const ConfirmCase& c = GetParam();
  Probe();
  window_.confirmAnswers = {c.answer};
  PressUpdate(SmallImage());
  RunTimer();
  ASSERT_EQ(window_.boxes.size(), 3u);
  EXPECT_EQ(window_.boxes[1].text, GetMessageText(2));
  EXPECT_EQ(window_.boxes[2].text, GetMessageText(c.lastMessage));
  EXPECT_EQ(window_.boxes[2].caption, GetMessageCaption(c.lastMessage));
  ExpectIdleAndClosed();
}

INSTANTIATE_TEST_SUITE_P(Answers, ConfirmationAnswer,
                         ::testing::Values(ConfirmCase{"LedAsPictured", 1, 3},
                                           ConfirmCase{"LedNotAsPictured", 2, 26}),
                         CaseName());

struct QuestionCase {
  const char* name;
  uint8_t versionByte;
  std::u16string text;
};
using Question = UpdateCases<QuestionCase>;

TEST_P(Question, ShowsTheProbesVersion) {
  const QuestionCase& c = GetParam();
  Probe(c.versionByte);
  window_.boxAnswers = {kAnswerCancel};
  PressUpdate(SmallImage());
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, c.text);
  EXPECT_EQ(window_.boxes[0].caption, GetMessageCaption(0));
  EXPECT_EQ(window_.boxes[0].style, GetMessageStyle(0));
}

INSTANTIATE_TEST_SUITE_P(
    VersionBytes, Question,
    ::testing::Values(
        QuestionCase{"Version23", 0x23, u"May I update Firmware Ver. 2.3 of Velkoro?"},
        QuestionCase{"Version1A", 0x1A, u"May I update Firmware Ver. 1.A of Velkoro?"},
        QuestionCase{"HighBitIgnored", 0xA2, u"May I update Firmware Ver. 2.2 of Velkoro?"}),
    CaseName());

struct RequestSizeCase {
  const char* name;
  uint8_t versionByte;
  Spans writes;
};
using RequestSize = UpdateCases<RequestSizeCase>;

TEST_P(RequestSize, FollowsTheProbesVersion) {
  const RequestSizeCase& c = GetParam();
  // Six blocks (units of 1024 and 300 bytes) and the filler unit.
  const std::vector<uint8_t> data = srecord_writer::Pattern(1324);
  ProbeModel& probe = Probe(c.versionByte);
  PressUpdate(WriteFile(srecord_writer::File(0x8000, data)));
  RunTimer();
  EXPECT_EQ(FlashSpans(probe, kCmdWriteFlash), c.writes);
  EXPECT_EQ(window_.boxes.back().text, GetMessageText(3));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), probe.Flash().begin()));
}

// 1324 bytes from offset 0 in requests of 128 bytes, then the filler unit.
const Spans kWritesOf128{{0, 128},    {128, 128},  {256, 128}, {384, 128},
                         {512, 128},  {640, 128},  {768, 128}, {896, 128},
                         {1024, 128}, {1152, 128}, {1280, 44}, {0x40000, 2}};

INSTANTIATE_TEST_SUITE_P(VersionBytes, RequestSize,
                         ::testing::Values(RequestSizeCase{"Version21SendsBlocksOf128", 0x21,
                                                           kWritesOf128},
                                           RequestSizeCase{"Version22SendsWholeUnits",
                                                           0x22,
                                                           {{0, 1024}, {1024, 300}, {0x40000, 2}}}),
                         CaseName());

TEST_F(UpdateTest, ImageAboveAndBelow0x40000LandsAtItsOffsets) {
  const uint32_t base = 0xC01010;
  const std::vector<uint8_t> low = srecord_writer::Pattern(5000, 3);
  const std::vector<uint8_t> high = srecord_writer::Pattern(4000, 91);
  const std::string text = srecord_writer::Header() + srecord_writer::DataRecords(base, low) +
                           srecord_writer::DataRecords(base + 0x60000, high) +
                           srecord_writer::End() + "\r\n";
  ProbeModel& probe = Probe();
  PressUpdate(WriteFile(text));
  RunTimer();

  EXPECT_EQ(window_.boxes.back().text, GetMessageText(3));
  const std::vector<uint8_t>& flash = probe.Flash();
  EXPECT_TRUE(std::equal(low.begin(), low.end(), flash.begin()));
  EXPECT_TRUE(std::equal(high.begin(), high.end(), flash.begin() + 0x60000));
  for (const FlashSpan& write : FlashSpans(probe, kCmdWriteFlash)) {
    EXPECT_NE(write.offset, 0x40000u) << "no filler when data lie beyond 0x40000";
  }
  // 20 blocks below and 16 above 0x60000: nine units of four blocks.
  EXPECT_EQ(window_.rangeUpper, 240 + 2 * 9 + 102);
  ExpectIdleAndClosed();
}

TEST_F(UpdateTest, FileThatCannotBeOpenedIsNamedAndTheWindowRecovers) {
  ProbeModel& probe = Probe();
  const std::u16string folder = dir_.u16string();
  PressUpdate(folder);

  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, u"The file could not be opened: " + folder);
  EXPECT_EQ(window_.boxes[0].caption, u"ERROR");
  EXPECT_EQ(window_.boxes[0].style, kStyleOk | kStyleExclamation);
  EXPECT_TRUE(probe.RequestsReceived().empty());
  EXPECT_TRUE(window_.timerStarts.empty());
  ExpectIdleAndClosed();

  // Nothing is left behind that keeps the next UPDATE from running.
  PressUpdate(SmallImage());
  RunTimer();
  EXPECT_EQ(window_.boxes.back().text, GetMessageText(3));
}

TEST_F(UpdateTest, ClosingTheWindowDuringTheEraseWaitReleasesTheProbe) {
  ProbeModel& probe = Probe(0x22, kEraseMs, {Fault(FaultKind::kEraseNeverEnds, kCmdEraseFlash)});
  PressUpdate(SmallImage());
  for (int i = 0; i < 5; ++i) {
    model_link::AdvanceClock(window_.timerPeriod);
    UpdateTimerTick(window_, session_, 0);
  }
  ASSERT_EQ(CurrentUpdateState(session_), UpdateState::EraseWait);
  ASSERT_TRUE(IsProbeOpen(session_.link));
  ASSERT_EQ(PollReplyWatch(session_.link), kWatchPending);

  ResetUpdateState(session_);
  EXPECT_FALSE(IsProbeOpen(session_.link));
  EXPECT_EQ(model_link::CloseCount(0), model_link::OpenCount(0));
  EXPECT_EQ(PollReplyWatch(session_.link), kWatchNone);
  EXPECT_FALSE(IsUpdateRunning(session_));

  // A tick still queued for the gone window finds nothing to do.
  const size_t requests = probe.RequestsReceived().size();
  const size_t boxes = window_.boxes.size();
  EXPECT_TRUE(UpdateTimerTick(window_, session_, 0));
  EXPECT_EQ(probe.RequestsReceived().size(), requests);
  EXPECT_EQ(window_.boxes.size(), boxes);
}

// Every way an update can fail: the message for its result code, the step
// it failed in, and the same clean end.
enum class FileKind { kGood, kMissing, kSpanTooLarge, kBadChecksum };
enum class LinkFault { kNone, kCloseFails, kEventsFail, kWatchFails, kProbeGone, kSecondProbe };

struct FailureCase {
  const char* name;
  int result;
  std::optional<UpdateState> failsIn = std::nullopt;  // none: UPDATE itself fails
  FileKind file = FileKind::kGood;
  int probes = 1;
  uint8_t versionByte = 0x22;
  std::vector<Fault> faults = {};
  LinkFault link = LinkFault::kNone;
  std::optional<UpdateState> linkAt = std::nullopt;  // none: before UPDATE
  int confirmAnswer = 1;
};

class UpdateFailureTest : public UpdateTest, public ::testing::WithParamInterface<FailureCase> {
 protected:
  std::string FileText(FileKind kind) {
    namespace sw = srecord_writer;
    const std::vector<uint8_t> data = sw::Pattern(600);
    switch (kind) {
      case FileKind::kSpanTooLarge:
        return sw::Header() + sw::DataRecords(0x1000, data) +
               sw::DataRecord(0x1000 + 0xA0000, {1}) + "\r\n" + sw::End();
      case FileKind::kBadChecksum:
        return sw::Header() + sw::DataRecords(0x1000, data) +
               sw::SpoilChecksum(sw::DataRecord(0x1300, {1, 2})) + "\r\n" + sw::End();
      default:
        return sw::File(0x1000, data);
    }
  }
  static void Apply(LinkFault fault) {
    switch (fault) {
      case LinkFault::kCloseFails:
        model_link::SetCloseFails(true);
        break;
      case LinkFault::kEventsFail:
        model_link::SetEventCreationFails(true);
        break;
      case LinkFault::kWatchFails:
        model_link::SetReplyWatchFails(true);
        break;
      case LinkFault::kProbeGone:
        model_link::Detach(0);
        break;
      case LinkFault::kSecondProbe:
        model_link::Attach(7);
        break;
      case LinkFault::kNone:
        break;
    }
  }
};

TEST_P(UpdateFailureTest, ReportsItsCodeAndLeavesTheWindowIdle) {
  const FailureCase& c = GetParam();
  ProbeModel* probe = nullptr;
  if (c.probes >= 1) probe = &Probe(c.versionByte, kEraseMs, c.faults);
  if (c.probes >= 2) model_link::Attach(3);
  const std::u16string file = c.file == FileKind::kMissing ? (dir_ / "missing.saf").u16string()
                                                           : WriteFile(FileText(c.file));
  if (!c.linkAt) Apply(c.link);
  window_.confirmAnswers = {c.confirmAnswer};

  PressUpdate(file);
  if (c.failsIn) {
    ASSERT_TRUE(window_.timerRunning) << "UPDATE should have started the timer";
    bool applied = false;
    RunTimer([&](UpdateState state) {
      if (c.linkAt && state == *c.linkAt && !applied) {
        Apply(c.link);
        applied = true;
        if (c.link == LinkFault::kProbeGone) probe = nullptr;
      }
    });
    ASSERT_FALSE(ticks_.empty());
    EXPECT_EQ(ticks_.back().from, *c.failsIn);
  } else {
    EXPECT_TRUE(window_.timerStarts.empty());
  }

  ASSERT_FALSE(window_.boxes.empty());
  const MessageChoice expected = ChooseMessage(c.result, CodeKind::kResult);
  EXPECT_EQ(window_.boxes.back().text, expected.text);
  EXPECT_EQ(window_.boxes.back().caption, expected.caption);
  EXPECT_EQ(window_.boxes.back().style, expected.style);
  ExpectIdle();
  if (c.link == LinkFault::kCloseFails) {
    // The close itself is what failed: the handle cannot be given up.
    EXPECT_TRUE(IsProbeOpen(session_.link));
  } else {
    EXPECT_FALSE(IsProbeOpen(session_.link));
    if (c.probes >= 1) {
      EXPECT_EQ(model_link::CloseCount(0), model_link::OpenCount(0));
    }
  }
  if (c.result >= 13 && c.result <= 15) {
    // The file is checked before the probe is touched.
    EXPECT_TRUE(model_link::OpenAttempts().empty());
  }

  // The update is over: a late tick of timer 0 does nothing more.
  const size_t boxes = window_.boxes.size();
  const size_t sent = probe ? probe->RequestsReceived().size() : 0;
  EXPECT_TRUE(UpdateTimerTick(window_, session_, 0));
  EXPECT_EQ(window_.boxes.size(), boxes);
  if (probe) {
    EXPECT_EQ(probe->RequestsReceived().size(), sent);
  }
}

using S = UpdateState;
const FailureCase kFailures[] = {
    {.name = "NoFile", .result = 13, .file = FileKind::kMissing},
    {.name = "SpanAbove640KiB", .result = 14, .file = FileKind::kSpanTooLarge},
    {.name = "NotSRecordText", .result = 15, .file = FileKind::kBadChecksum},
    {.name = "NoProbe", .result = 1, .probes = 0},
    {.name = "TwoProbes", .result = 2, .probes = 2},
    {.name = "VersionRequestNotSent", .result = 3, .link = LinkFault::kEventsFail},
    {.name = "VersionReplyMissing",
     .result = 4,
     .faults = {{FaultKind::kNoReply, kCmdReadVersion}}},
    {.name = "VersionCheckCloseFails", .result = 5, .link = LinkFault::kCloseFails},
    {.name = "NotAVersionReply", .result = 6, .faults = {{FaultKind::kWrongEcho, kCmdReadVersion}}},
    {.name = "Version10", .result = 22, .versionByte = 0x10},
    {.name = "ProbeGoneAtStart",
     .result = 1,
     .failsIn = S::Start,
     .link = LinkFault::kProbeGone,
     .linkAt = S::Start},
    {.name = "SecondProbeAtStart",
     .result = 2,
     .failsIn = S::Start,
     .link = LinkFault::kSecondProbe,
     .linkAt = S::Start},
    {.name = "EraseNotSent",
     .result = 3,
     .failsIn = S::Start,
     .link = LinkFault::kEventsFail,
     .linkAt = S::Start},
    {.name = "EraseWatchNotStarted",
     .result = 4,
     .failsIn = S::Start,
     .link = LinkFault::kWatchFails,
     .linkAt = S::Start},
    {.name = "EraseFails",
     .result = 16,
     .failsIn = S::EraseWait,
     .faults = {{FaultKind::kEraseFails, kCmdEraseFlash}}},
    {.name = "EraseReplyBroken",
     .result = 4,
     .failsIn = S::EraseWait,
     .faults = {{FaultKind::kBadCheck, kCmdEraseFlash}}},
    {.name = "ProgramRefused",
     .result = 17,
     .failsIn = S::Program,
     .faults = {{FaultKind::kBadStatus, kCmdWriteFlash, 2}}},
    {.name = "ProgramUnanswered",
     .result = 4,
     .failsIn = S::Program,
     .faults = {{FaultKind::kNoReply, kCmdWriteFlash}}},
    {.name = "ReadBackNotAReadReply",
     .result = 18,
     .failsIn = S::Verify,
     .faults = {{FaultKind::kWrongEcho, kCmdReadFlash}}},
    {.name = "ReadBackDiffers",
     .result = 19,
     .failsIn = S::Verify,
     .faults = {{FaultKind::kFlipBit, 0, 0, 517}}},
    {.name = "ExecuteRefused",
     .result = 20,
     .failsIn = S::Finish,
     .faults = {{FaultKind::kBadStatus, kCmdExecuteUpdate}}},
    {.name = "ExecuteUnanswered",
     .result = 4,
     .failsIn = S::Finish,
     .faults = {{FaultKind::kNoReply, kCmdExecuteUpdate}}},
    {.name = "CloseAfterUpdateFails",
     .result = 5,
     .failsIn = S::Finish,
     .link = LinkFault::kCloseFails,
     .linkAt = S::Finish},
    {.name = "LedNotAsPictured", .result = 21, .failsIn = S::Confirm, .confirmAnswer = 2},
};

INSTANTIATE_TEST_SUITE_P(Failures, UpdateFailureTest, ::testing::ValuesIn(kFailures), CaseName());

}  // namespace
