// READ and WRITE against the emulated probe, as the operator sees them
// through the window: the messages shown, the text left in the box, the
// window's states and what reached the probe.
#include "serial/serial_procedures.h"

#include <gtest/gtest.h>

#include "emulator/model_transport.h"
#include "messages/message_catalogue.h"
#include "probe/operations.h"
#include "tests/support/fake_window.h"

namespace {

using probe_model::Fault;
using probe_model::FaultKind;

constexpr uint8_t kReadSerial = 0xE1;
constexpr uint8_t kWriteSerial = 0xE0;

class SerialProcedures : public testing::Test {
 protected:
  void SetUp() override {
    model_link::Reset();
    ResetProbeLinkForTests();
  }
  void TearDown() override { model_link::Reset(); }

  probe_model::ProbeModel& Probe(std::u16string stored = u"SN0001") {
    probe_model::ProbeSettings settings;
    settings.serial = std::move(stored);
    return model_link::Attach(0, settings);
  }

  // Every run ends idle after one busy phase, with the box pushed.
  static void ExpectBusyThenIdle(const FakeWindow& window) {
    ASSERT_EQ(window.states.size(), 2u);
    EXPECT_EQ(window.states[0], Busy);
    EXPECT_EQ(window.states[1], Idle);
  }

  static std::vector<std::u16string> Texts(const FakeWindow& window) {
    std::vector<std::u16string> texts;
    for (const auto& box : window.boxes) texts.push_back(box.text);
    return texts;
  }

  static size_t Requests(probe_model::ProbeModel& probe, uint8_t command) {
    size_t n = 0;
    for (const auto& frame : probe.RequestsReceived()) {
      if (frame.size() > 2 && frame[2] == command) ++n;
    }
    return n;
  }
};

TEST_F(SerialProcedures, WriteOfAcceptedTextsIsConfirmedVerifiedAndCountedUp) {
  struct Case {
    std::u16string typed;
    bool countUp;
    std::u16string boxAfter;
  } cases[] = {
      {u"SN0009", true, u"SN0010"},
      {u"SN0009", false, u"SN0009"},
      {u"", true, u""},
      {u"  SN 7 ~", false, u"  SN 7 ~"},  // spaces and a tilde are kept and written
      {std::u16string(31, u'A') + u"8", true, std::u16string(31, u'A') + u"9"},  // 32 pass
  };
  for (const Case& c : cases) {
    SetUp();
    auto& probe = Probe();
    FakeWindow window;
    window.serialNoBox = c.typed;
    window.countUpChecked = c.countUp;

    WriteSerialNo(window);

    EXPECT_EQ(Texts(window), (std::vector<std::u16string>{GetMessageText(4), GetMessageText(5)}))
        << "typed '" << std::string(c.typed.begin(), c.typed.end()) << "'";
    EXPECT_EQ(probe.SerialUnits(), c.typed);
    EXPECT_EQ(window.serialNoBox, c.boxAfter);
    EXPECT_EQ(model_link::OpenIndex(), -1);
    ExpectBusyThenIdle(window);
  }
}

TEST_F(SerialProcedures, CountUpHappensOnlyAfterTheSuccessMessage) {
  Probe();
  FakeWindow window;
  window.serialNoBox = u"SN0009";
  // The operator still sees the written number while the success box is up.
  struct Recorder : FakeWindow {
    std::u16string memberWhileSuccessShown;
    int MessageBox(const std::u16string& text, const std::u16string& caption,
                   unsigned style) override {
      if (text == GetMessageText(5)) memberWhileSuccessShown = m_serialNo;
      return FakeWindow::MessageBox(text, caption, style);
    }
  } recorder;
  recorder.serialNoBox = u"SN0009";
  WriteSerialNo(recorder);
  EXPECT_EQ(recorder.memberWhileSuccessShown, u"SN0009");
  EXPECT_EQ(recorder.serialNoBox, u"SN0010");
}

TEST_F(SerialProcedures, RefusedTextsGiveOneMessageAndNeverReachTheProbe) {
  struct Case {
    std::u16string typed;
    int message;
  } cases[] = {
      {std::u16string(33, u'A'), 15},
      {u"SN\t01", 14},
      {u"Caf\u00E9", 14},
      {u"SN\u007F", 14},
      {u"SN\u001F", 14},
      {std::u16string(40, u'A') + u"\t", 15},  // too long and a bad character: only 15
  };
  for (const Case& c : cases) {
    SetUp();
    auto& probe = Probe();
    FakeWindow window;
    window.serialNoBox = c.typed;

    WriteSerialNo(window);

    EXPECT_EQ(Texts(window), std::vector<std::u16string>{GetMessageText(c.message)});
    EXPECT_TRUE(model_link::OpenAttempts().empty());
    EXPECT_EQ(probe.SerialUnits(), u"SN0001");
    EXPECT_EQ(window.serialNoBox, c.typed);
    ExpectBusyThenIdle(window);
  }
}

TEST_F(SerialProcedures, CancelWritesNothingAndKeepsTheText) {
  auto& probe = Probe();
  FakeWindow window;
  window.serialNoBox = u"SN0009";
  window.boxAnswers = {2};

  WriteSerialNo(window);

  EXPECT_EQ(Texts(window), std::vector<std::u16string>{GetMessageText(4)});
  EXPECT_TRUE(model_link::OpenAttempts().empty());
  EXPECT_EQ(probe.SerialUnits(), u"SN0001");
  EXPECT_EQ(window.serialNoBox, u"SN0009");
  ExpectBusyThenIdle(window);
}

TEST_F(SerialProcedures, FailedWriteKeepsTheNumberForTheNextTry) {
  struct Case {
    FaultKind fault;
    uint8_t command;
    int message;
  } cases[] = {
      {FaultKind::kSerialCase, 0, 17},            // stored in the other case: verify fails
      {FaultKind::kBadStatus, kWriteSerial, 16},  // not acknowledged
      {FaultKind::kNoReply, kReadSerial, 10},     // read-back never answered
  };
  for (const Case& c : cases) {
    SetUp();
    auto& probe = Probe();
    probe.AddFault(Fault{c.fault, c.command, 0, 0});
    FakeWindow window;
    window.serialNoBox = u"sn0009";

    WriteSerialNo(window);

    EXPECT_EQ(Texts(window),
              (std::vector<std::u16string>{GetMessageText(4), GetMessageText(c.message)}));
    EXPECT_EQ(window.serialNoBox, u"sn0009");
    EXPECT_EQ(model_link::OpenIndex(), -1);
    ExpectBusyThenIdle(window);
  }
}

TEST_F(SerialProcedures, ReadShowsTheStoredTextOrKeepsTheOperatorsOnFailure) {
  struct Case {
    std::u16string stored;
    std::vector<int> messages;
    std::u16string boxAfter;
  } cases[] = {
      {u"", {}, u""},
      {u"SN0099", {}, u"SN0099"},  // never counted up
      {std::u16string(u"AB\0CD", 5), {}, u"AB"},
      {std::u16string(32, u'Z'), {}, std::u16string(32, u'Z')},
      {std::u16string(33, u'Z'), {15}, u"typed"},
      {u"SN\u007F", {14}, u"typed"},
      {u"SN\u00E9", {14}, u"typed"},
  };
  for (const Case& c : cases) {
    SetUp();
    auto& probe = Probe();
    probe.SetSerialUnits(c.stored);
    FakeWindow window;
    window.serialNoBox = u"typed";

    ReadSerialNo(window);

    std::vector<std::u16string> expected;
    for (int m : c.messages) expected.push_back(GetMessageText(m));
    EXPECT_EQ(Texts(window), expected);
    EXPECT_EQ(window.serialNoBox, c.boxAfter);
    EXPECT_EQ(model_link::OpenIndex(), -1);
    EXPECT_EQ(Requests(probe, kWriteSerial), 0u);
    ExpectBusyThenIdle(window);
  }
}

// Each failure of the probe link reaches the operator as its own message,
// from READ and from WRITE alike.
TEST_F(SerialProcedures, EveryLinkFailureReachesTheOperatorAsItsMessage) {
  struct Case {
    const char* what;
    int message;
    void (*arrange)();
  } cases[] = {
      {"no probe (1)", 6, [] {}},
      {"two probes (2)", 7,
       [] {
         model_link::Attach(3);
         model_link::Attach(200);
       }},
      {"request not taken (3)", 9,
       [] {
         model_link::Attach(0);
         model_link::SetEventCreationFails(true);
       }},
      {"no version reply (4)", 10,
       [] {
         model_link::Attach(0).AddFault(Fault{FaultKind::kNoReply, 0x70, 0, 0});
       }},
      {"close fails (5)", 8,
       [] {
         model_link::Attach(0);
         model_link::SetCloseFails(true);
       }},
      {"not a version reply (6)", 11,
       [] {
         model_link::Attach(0).AddFault(Fault{FaultKind::kWrongEcho, 0x70, 0, 0});
       }},
      {"firmware 2.1 (8)", 13,
       [] {
         probe_model::ProbeSettings old;
         old.versionByte = 0x21;
         model_link::Attach(0, old);
       }},
      {"not a serial reply (10)", 12,
       [] {
         model_link::Attach(0).AddFault(Fault{FaultKind::kWrongEcho, kReadSerial, 0, 0});
       }},
  };
  for (const Case& c : cases) {
    for (bool write : {false, true}) {
      SetUp();
      c.arrange();
      FakeWindow window;
      window.serialNoBox = u"SN0009";

      write ? WriteSerialNo(window) : ReadSerialNo(window);

      ASSERT_FALSE(window.boxes.empty()) << c.what;
      EXPECT_EQ(window.boxes.back().text, GetMessageText(c.message))
          << c.what << (write ? " on WRITE" : " on READ");
      EXPECT_EQ(window.boxes.back().caption, u"ERROR") << c.what;
      EXPECT_EQ(window.serialNoBox, u"SN0009") << c.what;
      ExpectBusyThenIdle(window);
      model_link::SetCloseFails(false);
      model_link::SetEventCreationFails(false);
    }
  }
}

}  // namespace
