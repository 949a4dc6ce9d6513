// READ and WRITE against the emulated probe, as the operator sees them
// through the window: the messages shown, the text left in the box, the
// window's states and what reached the probe.
#include "serial/serial_procedures.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "messages/message_catalogue.h"
#include "tests/support/fake_window.h"
#include "tests/support/probe_link_fixture.h"

namespace {

using probe_model::FaultKind;
using Texts = std::vector<std::u16string>;

const std::u16string kStored = u"SN0001";

class SerialProcedures : public ProbeLinkTest {
 protected:
  static probe_model::ProbeModel& Probe() { return Attach({.serial = kStored}); }

  // Every run ends idle after one busy phase, with the box pushed.
  static void ExpectBusyThenIdle(const FakeWindow& window) {
    EXPECT_EQ(window.states, (std::vector<ControlState>{Busy, Idle}));
  }
};

struct AcceptedCase {
  const char* name;
  std::u16string typed;
  bool countUp;
  std::u16string boxAfter;
};

class AcceptedWrite : public SerialProcedures, public testing::WithParamInterface<AcceptedCase> {};

TEST_P(AcceptedWrite, IsConfirmedVerifiedAndCountedUp) {
  const AcceptedCase& c = GetParam();
  auto& probe = Probe();
  FakeWindow window;
  window.serialNoBox = c.typed;
  window.countUpChecked = c.countUp;

  WriteSerialNo(window, link_);

  EXPECT_EQ(window.BoxTexts(), (Texts{GetMessageText(4), GetMessageText(5)}));
  EXPECT_EQ(probe.SerialUnits(), c.typed);
  EXPECT_EQ(window.serialNoBox, c.boxAfter);
  EXPECT_EQ(model_link::OpenIndex(link_), -1);
  ExpectBusyThenIdle(window);
}

INSTANTIATE_TEST_SUITE_P(
    Typed, AcceptedWrite,
    testing::Values(AcceptedCase{"CountedUp", u"SN0009", true, u"SN0010"},
                    AcceptedCase{"CountUpOff", u"SN0009", false, u"SN0009"},
                    AcceptedCase{"Empty", u"", true, u""},
                    // Spaces and a tilde are kept and written.
                    AcceptedCase{"SpacesAndTilde", u"  SN 7 ~", false, u"  SN 7 ~"},
                    AcceptedCase{"ThirtyTwoCharacters", std::u16string(31, u'A') + u"8", true,
                                 std::u16string(31, u'A') + u"9"}),
    CaseName());

TEST_F(SerialProcedures, CountUpHappensOnlyAfterTheSuccessMessage) {
  Probe();
  FakeWindow window;
  window.serialNoBox = u"SN0009";
  WriteSerialNo(window, link_);
  // The operator still sees the written number while the success box is up.
  ASSERT_EQ(window.BoxTexts(), (Texts{GetMessageText(4), GetMessageText(5)}));
  EXPECT_EQ(window.boxes[1].serialNo, u"SN0009");
  EXPECT_EQ(window.serialNoBox, u"SN0010");
}

struct RefusedCase {
  const char* name;
  std::u16string typed;
  int message;
};

class RefusedWrite : public SerialProcedures, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedWrite, GivesOneMessageAndNeverReachesTheProbe) {
  const RefusedCase& c = GetParam();
  auto& probe = Probe();
  FakeWindow window;
  window.serialNoBox = c.typed;

  WriteSerialNo(window, link_);

  EXPECT_EQ(window.BoxTexts(), Texts{GetMessageText(c.message)});
  EXPECT_TRUE(model_link::OpenAttempts().empty());
  EXPECT_EQ(probe.SerialUnits(), kStored);
  EXPECT_EQ(window.serialNoBox, c.typed);
  ExpectBusyThenIdle(window);
}

INSTANTIATE_TEST_SUITE_P(
    Typed, RefusedWrite,
    testing::Values(RefusedCase{"ThirtyThreeCharacters", std::u16string(33, u'A'), 15},
                    RefusedCase{"Tab", u"SN\t01", 14}, RefusedCase{"EWithAcute", u"Caf\u00E9", 14},
                    RefusedCase{"Delete", u"SN\u007F", 14},
                    RefusedCase{"Control1F", u"SN\u001F", 14},
                    // Too long and a bad character: only 15.
                    RefusedCase{"TooLongWithTab", std::u16string(40, u'A') + u"\t", 15}),
    CaseName());

TEST_F(SerialProcedures, CancelWritesNothingAndKeepsTheText) {
  auto& probe = Probe();
  FakeWindow window;
  window.serialNoBox = u"SN0009";
  window.boxAnswers = {2};

  WriteSerialNo(window, link_);

  EXPECT_EQ(window.BoxTexts(), Texts{GetMessageText(4)});
  EXPECT_TRUE(model_link::OpenAttempts().empty());
  EXPECT_EQ(probe.SerialUnits(), kStored);
  EXPECT_EQ(window.serialNoBox, u"SN0009");
  ExpectBusyThenIdle(window);
}

struct FailedWriteCase {
  const char* name;
  FaultKind fault;
  uint8_t command;
  int message;
};

class FailedWrite : public SerialProcedures, public testing::WithParamInterface<FailedWriteCase> {};

TEST_P(FailedWrite, KeepsTheNumberForTheNextTry) {
  const FailedWriteCase& c = GetParam();
  Probe().AddFault(Fault(c.fault, c.command));
  FakeWindow window;
  window.serialNoBox = u"sn0009";

  WriteSerialNo(window, link_);

  EXPECT_EQ(window.BoxTexts(), (Texts{GetMessageText(4), GetMessageText(c.message)}));
  EXPECT_EQ(window.serialNoBox, u"sn0009");
  EXPECT_EQ(model_link::OpenIndex(link_), -1);
  ExpectBusyThenIdle(window);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailedWrite,
    testing::Values(
        // Stored in the other case: the verify fails.
        FailedWriteCase{"StoredInTheOtherCase", FaultKind::kSerialCase, 0, 17},
        FailedWriteCase{"NotAcknowledged", FaultKind::kBadStatus, kCmdWriteSerial, 16},
        FailedWriteCase{"ReadBackNeverAnswered", FaultKind::kNoReply, kCmdReadSerial, 10}),
    CaseName());

struct ReadCase {
  const char* name;
  std::u16string stored;
  std::vector<int> messages;
  std::u16string boxAfter;
};

class Read : public SerialProcedures, public testing::WithParamInterface<ReadCase> {};

TEST_P(Read, ShowsTheStoredTextOrKeepsTheOperatorsOnFailure) {
  const ReadCase& c = GetParam();
  auto& probe = Probe();
  probe.SetSerialUnits(c.stored);
  FakeWindow window;
  window.serialNoBox = u"typed";

  ReadSerialNo(window, link_);

  Texts expected;
  for (int m : c.messages) expected.push_back(GetMessageText(m));
  EXPECT_EQ(window.BoxTexts(), expected);
  EXPECT_EQ(window.serialNoBox, c.boxAfter);
  EXPECT_EQ(model_link::OpenIndex(link_), -1);
  EXPECT_TRUE(Requests(probe, kCmdWriteSerial).empty());
  ExpectBusyThenIdle(window);
}

INSTANTIATE_TEST_SUITE_P(
    StoredTexts, Read,
    testing::Values(
        ReadCase{"Empty", u"", {}, u""}, ReadCase{"NeverCountedUp", u"SN0099", {}, u"SN0099"},
        ReadCase{"EndsAtAZeroUnit", std::u16string(u"AB\0CD", 5), {}, u"AB"},
        ReadCase{"ThirtyTwoCharacters", std::u16string(32, u'Z'), {}, std::u16string(32, u'Z')},
        ReadCase{"ThirtyThreeCharacters", std::u16string(33, u'Z'), {15}, u"typed"},
        ReadCase{"Delete", u"SN\u007F", {14}, u"typed"},
        ReadCase{"EWithAcute", u"SN\u00E9", {14}, u"typed"}),
    CaseName());

// Each failure of the probe link reaches the operator as its own message,
// from READ and from WRITE alike.
struct LinkFailureCase {
  const char* name;
  int message;
  std::vector<int> probes = {0};  // device indices attached
  probe_model::ProbeSettings settings = {};
  void (*failing)(bool) = nullptr;  // a part of the link made to fail
};

const LinkFailureCase kLinkFailures[] = {
    {"NoProbe", 6, {}},
    {"TwoProbes", 7, {3, 200}},
    {"RequestNotTaken", 9, {0}, {}, model_link::SetEventCreationFails},
    {"NoVersionReply", 10, {0}, {.faults = {{FaultKind::kNoReply, kCmdReadVersion}}}},
    {"CloseFails", 8, {0}, {}, model_link::SetCloseFails},
    {"NotAVersionReply", 11, {0}, {.faults = {{FaultKind::kWrongEcho, kCmdReadVersion}}}},
    {"Firmware21", 13, {0}, {.versionByte = 0x21}},
    {"NotASerialReply", 12, {0}, {.faults = {{FaultKind::kWrongEcho, kCmdReadSerial}}}},
};

class LinkFailure : public SerialProcedures,
                    public testing::WithParamInterface<std::tuple<LinkFailureCase, bool>> {};

TEST_P(LinkFailure, ReachesTheOperatorAsItsMessage) {
  const auto& [c, write] = GetParam();
  for (int index : c.probes) model_link::Attach(index, c.settings);
  if (c.failing) c.failing(true);
  FakeWindow window;
  window.serialNoBox = u"SN0009";

  if (write) {
    WriteSerialNo(window, link_);
  } else {
    ReadSerialNo(window, link_);
  }

  ASSERT_FALSE(window.boxes.empty());
  EXPECT_EQ(window.boxes.back().text, GetMessageText(c.message));
  EXPECT_EQ(window.boxes.back().caption, u"ERROR");
  EXPECT_EQ(window.serialNoBox, u"SN0009");
  ExpectBusyThenIdle(window);
}

INSTANTIATE_TEST_SUITE_P(Failures, LinkFailure,
                         testing::Combine(testing::ValuesIn(kLinkFailures), testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "OnWrite" : "OnRead");
                         });

}  // namespace
