// The operations against emulated probes: version checks, serial numbers,
// the erase poll, programming and verifying units, and the open/close frame
// around the button operations, with the probe's faults.
#include <string>

#include "probe/commands.h"
#include "probe/discovery.h"
#include "probe/operations.h"
#include "probe/probe_survey.h"
#include "probe/transport.h"
#include "tests/support/probe_link_fixture.h"
#include "tests/support/srecord_writer.h"

using probe_model::FaultKind;
using probe_requests::FlashSpan;
using probe_requests::FlashSpans;
using srecord_writer::Pattern;
using Bytes = std::vector<uint8_t>;

namespace {

struct VersionCase {
  uint8_t versionByte;
  int serialCode;  // result of ReadProbeSerial, 0 for success
  int updateCode;
  const char16_t* text;
  size_t requestsFor1024;  // write flash requests a 1024-byte unit takes
};

class VersionTest : public ProbeLinkTest, public ::testing::WithParamInterface<VersionCase> {};

}  // namespace

TEST_P(VersionTest, DecidesSerialWorkUpdateAndRequestSize) {
  const VersionCase& c = GetParam();
  auto& probe = Attach({.versionByte = c.versionByte, .serial = u"S1"});
  char16_t serial[kSerialBufferUnits];
  int result = -1;
  EXPECT_EQ(ReadProbeSerial(link_, serial, &result), c.serialCode == 0 ? 0 : 1);
  EXPECT_EQ(result, c.serialCode == 0 ? -1 : c.serialCode);
  EXPECT_FALSE(IsProbeOpen(link_));
  EXPECT_EQ(link_.version, 0) << "serial work neither sets nor reads it";

  char16_t text[4] = {u'x', u'x', u'x', u'x'};
  result = -1;
  EXPECT_EQ(CheckProbeForUpdate(link_, text, &result), c.updateCode == 0 ? 0 : 1);
  EXPECT_FALSE(IsProbeOpen(link_));
  if (c.updateCode != 0) {
    EXPECT_EQ(result, c.updateCode);
    return;
  }
  EXPECT_EQ(std::u16string(text), c.text);
  EXPECT_EQ(link_.version, c.versionByte & 0x7F);

  const Bytes unit = Pattern(1024, 3);
  ASSERT_EQ(OpenProbe(link_), 0);
  EXPECT_EQ(ProgramUnit(link_, 0x400, unit.data(), 1024, &result), 0);
  const auto writes = FlashSpans(probe, kCmdWriteFlash);
  ASSERT_EQ(writes.size(), c.requestsFor1024);
  for (size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(writes[i].offset, 0x400 + i * (1024 / writes.size()));
  }
  EXPECT_TRUE(std::equal(unit.begin(), unit.end(), probe.Flash().begin() + 0x400));
}

INSTANTIATE_TEST_SUITE_P(
    VersionBytes, VersionTest,
    ::testing::Values(VersionCase{0x22, 0, 0, u"2.2", 1}, VersionCase{0x21, 8, 0, u"2.1", 8},
                      VersionCase{0xA2, 0, 0, u"2.2", 1}, VersionCase{0x90, 8, 22, u"", 0},
                      VersionCase{0x10, 8, 22, u"", 0}, VersionCase{0x11, 8, 0, u"1.1", 8},
                      VersionCase{0x1A, 8, 0, u"1.A", 8}, VersionCase{0x7F, 0, 0, u"7.F", 1}),
    [](const auto& info) {
      const char* hex = "0123456789ABCDEF";
      const uint8_t byte = info.param.versionByte;
      return std::string("Byte") + hex[byte >> 4] + hex[byte & 0x0F];
    });

TEST_F(ProbeLinkTest, RefusedUpdateLeavesTheRememberedVersion) {
  Attach({.versionByte = 0x10});
  link_.version = 0x33;
  char16_t text[4] = {};
  int result = 0;
  EXPECT_EQ(CheckProbeForUpdate(link_, text, &result), 1);
  EXPECT_EQ(result, kResultVersionTooOldForUpdate);
  EXPECT_EQ(link_.version, 0x33);
  EXPECT_FALSE(IsProbeOpen(link_));
  EXPECT_EQ(model_link::CloseCount(0), 1);
}

namespace {

struct SerialCase {
  const char* name;
  std::u16string stored;  // code units as the probe holds them
  int code;
  std::u16string read;  // serial number on success
};

std::vector<SerialCase> SerialCases() {
  return {
      {"empty", u"", 0, u""},
      {"32 characters", std::u16string(32, u'~'), 0, std::u16string(32, u'~')},
      {"33 characters", std::u16string(33, u'A'), kResultSerialTooLong, u""},
      {"zero unit inside", std::u16string(u"A\0C", 3), 0, u"A"},
      {"0x7F", u"AB\x7F", kResultSerialNotAscii, u""},
      {"0x00E9", u"A\u00E9", kResultSerialNotAscii, u""},
      {"0x001F", u"\x1F", kResultSerialNotAscii, u""},
      {"0x4100 (high byte set)", u"\x4100", kResultSerialNotAscii, u""},
  };
}

}  // namespace

TEST_F(ProbeLinkTest, SerialNumbersReadFromTheProbe) {
  for (const SerialCase& c : SerialCases()) {
    SCOPED_TRACE(c.name);
    AttachAfresh().SetSerialUnits(c.stored);
    char16_t serial[kSerialBufferUnits];
    std::fill(std::begin(serial), std::end(serial), u'?');
    int result = -1;
    EXPECT_EQ(ReadProbeSerial(link_, serial, &result), c.code == 0 ? 0 : 1);
    EXPECT_EQ(result, c.code == 0 ? -1 : c.code);
    EXPECT_FALSE(IsProbeOpen(link_));
    if (c.code == 0) {
      EXPECT_EQ(std::u16string(serial), c.read);
    }
    if (c.code == kResultSerialTooLong) {
      EXPECT_TRUE(
          std::all_of(std::begin(serial), std::end(serial), [](char16_t u) { return u == 0; }));
    }
  }
}

TEST_F(ProbeLinkTest, WrittenSerialIsReadBackAndCompared) {
  auto& probe = Attach();
  int result = -1;
  EXPECT_EQ(WriteProbeSerial(link_, u"PROBE 42", &result), 0);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(probe.SerialUnits(), u"PROBE 42");
  EXPECT_FALSE(IsProbeOpen(link_));

  auto& swapping = AttachAfresh({.faults = {Fault(FaultKind::kSerialCase)}});
  EXPECT_EQ(WriteProbeSerial(link_, u"ABC", &result), 1);
  EXPECT_EQ(result, kResultSerialVerify);
  EXPECT_EQ(swapping.SerialUnits(), u"abc");
  EXPECT_FALSE(IsProbeOpen(link_));

  auto& refusing =
      AttachAfresh({.serial = u"OLD", .faults = {Fault(FaultKind::kBadStatus, kCmdWriteSerial)}});
  EXPECT_EQ(WriteProbeSerial(link_, u"NEW", &result), 1);
  EXPECT_EQ(result, kResultSerialWrite);
  EXPECT_TRUE(Requests(refusing, kCmdReadSerial).empty()) << "nothing is read after a refusal";
}

TEST_F(ProbeLinkTest, FailedCloseAfterTheWorkGivesFive) {
  auto& probe = Attach();
  model_link::SetCloseFails(true);
  int result = -1;
  EXPECT_EQ(WriteProbeSerial(link_, u"DONE", &result), 1);
  EXPECT_EQ(result, kResultCloseFailed);
  EXPECT_EQ(probe.SerialUnits(), u"DONE");
  EXPECT_TRUE(IsProbeOpen(link_));
  // The handle left open makes the next operation fail to open.
  char16_t serial[kSerialBufferUnits];
  EXPECT_EQ(ReadProbeSerial(link_, serial, &result), 1);
  EXPECT_EQ(result, kResultNoProbe);
  // A failed sub-step's code stands over a failing close.
  model_link::SetCloseFails(false);
  ASSERT_TRUE(CloseProbe(link_));
  model_link::SetCloseFails(true);
  probe.SetVersionByte(0x21);
  EXPECT_EQ(ReadProbeSerial(link_, serial, &result), 1);
  EXPECT_EQ(result, kResultVersionTooOldForSerial);
}

TEST_F(ProbeLinkTest, OpenResultsBecomeResultCodes) {
  char16_t serial[kSerialBufferUnits];
  int result = -1;
  EXPECT_EQ(ReadProbeSerial(link_, serial, &result), 1);
  EXPECT_EQ(result, kResultNoProbe);
  model_link::Attach(3);
  model_link::Attach(200);
  EXPECT_EQ(WriteProbeSerial(link_, u"X", &result), 1);
  EXPECT_EQ(result, kResultSeveralProbes);
  EXPECT_FALSE(IsProbeOpen(link_));
  EXPECT_TRUE(Requests(*model_link::ModelAt(3), kCmdWriteSerial).empty());
}

// The choice travels with the call: a named index is opened among several,
// and the index opened comes back only from an open that succeeded.
TEST_F(ProbeLinkTest, ChosenIndexIsOpenedAndReportedBack) {
  model_link::Attach(0, {.serial = u"FIRST"});
  model_link::Attach(3, {.serial = u"CHOSEN"});
  char16_t serial[kSerialBufferUnits];
  int result = -1, opened = kAnyProbeIndex;
  ASSERT_EQ(ReadProbeSerial(link_, serial, &result, {3, &opened}), 0) << result;
  EXPECT_EQ(std::u16string(serial), u"CHOSEN");
  EXPECT_EQ(opened, 3);
  opened = kAnyProbeIndex;
  EXPECT_EQ(ReadProbeSerial(link_, serial, &result, {5, &opened}), 1);
  EXPECT_EQ(result, kResultNoProbe);
  EXPECT_EQ(opened, kAnyProbeIndex);
}

TEST_F(ProbeLinkTest, DiscoveryScansInOrderAndStopsAtTheSecondProbe) {
  EXPECT_EQ(OpenProbe(link_), 1);
  EXPECT_EQ(model_link::OpenAttempts().size(), 256u);
  EXPECT_FALSE(IsProbeOpen(link_));

  ResetLinkAndModels();
  model_link::Attach(255);
  EXPECT_EQ(OpenProbe(link_), 0);
  EXPECT_EQ(model_link::OpenIndex(link_), 255);
  EXPECT_EQ(OpenProbe(link_), 1) << "an open handle is neither replaced nor closed";
  EXPECT_EQ(model_link::OpenIndex(link_), 255);
  EXPECT_EQ(model_link::CloseCount(255), 0);

  ResetLinkAndModels();
  for (int index : {3, 200, 201}) model_link::Attach(index);
  EXPECT_EQ(OpenProbe(link_), 2);
  EXPECT_EQ(model_link::OpenAttempts().back(), 200);
  EXPECT_EQ(model_link::CloseCount(3), 1);
  EXPECT_EQ(model_link::CloseCount(200), 1);
  EXPECT_EQ(model_link::OpenCount(201), 0);
  EXPECT_FALSE(IsProbeOpen(link_));
  EXPECT_FALSE(CloseProbe(link_));
}

// Presence is the device paths opening: each is closed again at once and
// nothing is sent, so the station's polls cost the probe nothing.
TEST_F(ProbeLinkTest, PresenceCountsThePathsThatOpen) {
  struct Case {
    const char* what;
    std::vector<int> attached;
    int selected;
    int presence;
    size_t tried;  // device paths tried
  };
  const Case cases[] = {
      {"none, any", {}, kAnyProbeIndex, 0, 256},
      {"one, any", {17}, kAnyProbeIndex, 1, 256},
      {"two, any: stops at the second", {3, 200, 201}, kAnyProbeIndex, 2, 201},
      {"the selected one", {3, 200}, 200, 1, 1},
      {"another than the selected one", {3}, 200, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetLinkAndModels();
    for (int index : c.attached) model_link::Attach(index);
    EXPECT_EQ(ProbePresence(c.selected), c.presence);
    EXPECT_EQ(model_link::OpenAttempts().size(), c.tried);
    EXPECT_FALSE(IsProbeOpen(link_));
    for (int index : c.attached) {
      EXPECT_EQ(model_link::OpenCount(index), model_link::CloseCount(index)) << index;
      EXPECT_TRUE(model_link::ModelAt(index)->RequestsReceived().empty()) << index;
    }
  }
  model_link::Attach(200);
  EXPECT_TRUE(ProbeAttached(200));
  model_link::Detach(3);
  EXPECT_FALSE(ProbeAttached(3));
}

namespace {

struct ShortCase {
  const char* name;
  probe_model::Fault fault;
  int code;
};

}  // namespace

// A reply body too short for the bytes an operation reads is never judged
// from what an earlier reply left in memory.
TEST_F(ProbeLinkTest, ShortBodiesAreFailuresOfTheirOwn) {
  const ShortCase cases[] = {
      {"version reply", Fault(FaultKind::kShortReply, kCmdReadVersion), kResultVersionReply},
      {"version echo", Fault(FaultKind::kWrongEcho, kCmdReadVersion), kResultVersionReply},
      {"serial reply", Fault(FaultKind::kShortReply, kCmdReadSerial), kResultSerialReply},
      {"serial echo", Fault(FaultKind::kWrongEcho, kCmdReadSerial), kResultSerialReply},
  };
  for (const ShortCase& c : cases) {
    SCOPED_TRACE(c.name);
    AttachAfresh({.serial = u"AB", .faults = {c.fault}});
    // A full version reply and a full serial reply go first, filling memory
    // with bytes that would pass.
    ASSERT_EQ(OpenProbe(link_), 0);
    ProbeReply reply;
    if (c.fault.command == kCmdReadSerial) {
      char16_t serial[kSerialBufferUnits];
      EXPECT_EQ(CheckVersionForSerial(link_), 0);
      EXPECT_EQ(FetchSerialNumber(link_, serial), c.code);
    } else {
      EXPECT_EQ(CheckVersionForSerial(link_), c.code);
    }
  }
}

TEST_F(ProbeLinkTest, SerialBodyOneByteShortOfItsCount) {
  auto& probe = Attach();
  probe.SetAnswering(false);
  const Bytes body{0xE1, 0x00, 0x02, 0x00, 0x41, 0x00};  // N = 2 needs 7 bytes
  ASSERT_EQ(OpenProbe(link_), 0);
  probe.QueueRawReply(LongReplyOnWire(body));
  char16_t serial[kSerialBufferUnits];
  EXPECT_EQ(FetchSerialNumber(link_, serial), kResultSerialReply);
}

TEST_F(ProbeLinkTest, EraseRepliesJudged) {
  struct Case {
    const char* name;
    Bytes body;
    int poll;
    int code;
  };
  const Case cases[] = {
      {"success", {0xC1, 0, 0, 0, 0}, 0, -1},
      {"success with further bytes", {0xC1, 0, 0, 0, 0, 0x99, 0x98}, 0, -1},
      {"failed status", {0xC1, 0, 0, 0, 1}, 1, kResultErase},
      {"four bytes only", {0xC1, 0, 0, 0}, 1, kResultErase},
      {"wrong echo", {0xC2, 0, 0, 0, 0}, 1, kResultErase},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto& probe = AttachAfresh();
    probe.SetAnswering(false);
    ASSERT_EQ(OpenProbe(link_), 0);
    probe.QueueRawReply(LongReplyOnWire(c.body), 1000);
    ASSERT_EQ(StartEraseCommand(link_), 0);
    int result = -1;
    EXPECT_EQ(PollProbeErase(link_, &result), kErasePending);
    model_link::AdvanceClock(1000);
    EXPECT_EQ(PollProbeErase(link_, &result), c.poll);
    EXPECT_EQ(result, c.code);
  }
}

TEST_F(ProbeLinkTest, ErasePollFailuresLeaveTheResultAlone) {
  int result = -1;
  EXPECT_EQ(PollProbeErase(link_, &result), kEraseReceiveFailed);  // no probe open
  auto& probe = Attach({.eraseMs = 10, .faults = {Fault(FaultKind::kBadCheck, kCmdEraseFlash)}});
  ASSERT_EQ(OpenProbe(link_), 0);
  ASSERT_EQ(StartEraseCommand(link_), 0);
  model_link::AdvanceClock(10);
  EXPECT_EQ(PollProbeErase(link_, &result), kEraseReceiveFailed);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Requests(probe, kCmdEraseFlash).size(), 1u);

  // Through the real probe model: fault-free erase, failing erase.
  AttachAfresh({.eraseMs = 2000, .faults = {Fault(FaultKind::kEraseFails)}});
  ASSERT_EQ(OpenProbe(link_), 0);
  ASSERT_EQ(StartEraseCommand(link_), 0);
  int polls = 0;
  int answer = kErasePending;
  while (answer == kErasePending && polls < 240) {
    model_link::AdvanceClock(500);
    answer = PollProbeErase(link_, &result);
    ++polls;
  }
  EXPECT_EQ(polls, 4);
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(result, kResultErase);
}

TEST_F(ProbeLinkTest, UnitsProgrammedInRequestsOfTheirSize) {
  auto& probe = Attach();
  link_.version = 0x21;
  const Bytes unit = Pattern(300, 9);
  ASSERT_EQ(OpenProbe(link_), 0);
  int result = -1;
  EXPECT_EQ(ProgramUnit(link_, 0x1000, unit.data(), 300, &result), 0);
  EXPECT_EQ(FlashSpans(probe, kCmdWriteFlash),
            (std::vector<FlashSpan>{{0x1000, 128}, {0x1080, 128}, {0x1100, 44}}));
  EXPECT_TRUE(std::equal(unit.begin(), unit.end(), probe.Flash().begin() + 0x1000));
  EXPECT_EQ(probe.Flash()[0x1000 + 300], 0xFF);
  // A unit longer than one read request is refused before anything is sent.
  const size_t requests = probe.RequestsReceived().size();
  const Bytes tooLong = Pattern(kMaxUnitTransferBytes + 1, 2);
  EXPECT_EQ(ProgramUnit(link_, 0, tooLong.data(), kMaxUnitTransferBytes + 1, &result), 1);
  EXPECT_EQ(result, kResultFlashWrite);
  uint8_t data[kMaxUnitTransferBytes + 1];
  EXPECT_EQ(ReadBackUnit(link_, kReadBackBase, kMaxUnitTransferBytes + 1, data, &result), 1);
  EXPECT_EQ(result, kResultFlashRead);
  EXPECT_EQ(probe.RequestsReceived().size(), requests);
}

TEST_F(ProbeLinkTest, RefusedRequestStopsTheRestOfItsUnit) {
  auto& probe = Attach({.faults = {Fault(FaultKind::kBadStatus, kCmdWriteFlash, 2)}});
  link_.version = 0x21;
  const Bytes unit = Pattern(1024, 5);
  ASSERT_EQ(OpenProbe(link_), 0);
  int result = -1;
  EXPECT_EQ(ProgramUnit(link_, 0, unit.data(), 1024, &result), 1);
  EXPECT_EQ(result, kResultFlashWrite);
  EXPECT_EQ(FlashSpans(probe, kCmdWriteFlash).size(), 2u);
  EXPECT_TRUE(IsProbeOpen(link_)) << "update steps leave closing to the update";
}

TEST_F(ProbeLinkTest, UnitsReadBackFromTheFlash) {
  struct Case {
    const char* name;
    std::vector<probe_model::Fault> faults;
    int code;
  };
  const Case cases[] = {
      {"whole", {}, -1},
      {"wrong echo", {Fault(FaultKind::kWrongEcho, kCmdReadFlash)}, kResultFlashRead},
      {"body cut to half", {Fault(FaultKind::kShortReply, kCmdReadFlash, 2)}, kResultFlashRead},
      {"no reply", {Fault(FaultKind::kNoReply, kCmdReadFlash, 2)}, kResultNotReceived},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AttachAfresh({.faults = c.faults});
    link_.version = 0x22;
    // Two units with the same bytes: a short second reply must not pass on
    // what the first one left behind.
    const Bytes unit = Pattern(1024, 4);
    ASSERT_EQ(OpenProbe(link_), 0);
    int result = -1;
    ASSERT_EQ(ProgramUnit(link_, 0x1000, unit.data(), 1024, &result), 0);
    ASSERT_EQ(ProgramUnit(link_, 0x2000, unit.data(), 1024, &result), 0);
    Bytes data(1024, 0);
    const int first = ReadBackUnit(link_, kReadBackBase + 0x1000, 1024, data.data(), &result);
    std::fill(data.begin(), data.end(), 0);
    const int second = first == 0
                           ? ReadBackUnit(link_, kReadBackBase + 0x2000, 1024, data.data(), &result)
                           : first;
    EXPECT_EQ(second, c.code == -1 ? 0 : 1);
    EXPECT_EQ(result, c.code);
    EXPECT_EQ(data == unit, c.code == -1);
  }
}

TEST_F(ProbeLinkTest, ExecuteAndCloseAfterUpdate) {
  auto& probe = Attach();
  ASSERT_EQ(OpenProbe(link_), 0);
  int result = -1;
  EXPECT_EQ(ExecuteProbeUpdate(link_, &result), 0);
  EXPECT_TRUE(probe.UpdateExecuted());
  model_link::SetCloseFails(true);
  EXPECT_EQ(CloseProbeAfterUpdate(link_, &result), 1);
  EXPECT_EQ(result, kResultCloseFailed);
  model_link::SetCloseFails(false);
  result = -1;
  EXPECT_EQ(CloseProbeAfterUpdate(link_, &result), 0);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(CloseProbeAfterUpdate(link_, &result), 1) << "nothing left to close";

  AttachAfresh({.faults = {Fault(FaultKind::kBadStatus, kCmdExecuteUpdate)}});
  ASSERT_EQ(OpenProbe(link_), 0);
  EXPECT_EQ(ExecuteProbeUpdate(link_, &result), 1);
  EXPECT_EQ(result, kResultExecute);
  Attach({.faults = {Fault(FaultKind::kNoReply, kCmdExecuteUpdate)}});
  EXPECT_EQ(ExecuteProbeUpdate(link_, &result), 1);
  EXPECT_EQ(result, kResultNotReceived);
}
