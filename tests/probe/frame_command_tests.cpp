// Frames and commands on the wire: the request bytes the probe receives, the
// replies the receiver accepts or refuses, and the erase's reply watch.
#include <string>

#include "probe/commands.h"
#include "probe/discovery.h"
#include "probe/transport.h"
#include "tests/support/probe_link_fixture.h"

using probe_model::FaultKind;
using Bytes = std::vector<uint8_t>;

namespace {

struct RequestCase {
  const char* name;
  int (*send)(ProbeLink&, ProbeReply&);
  Bytes frame;
};

const RequestCase kRequestCases[] = {
    {"read version",
     [](ProbeLink& link, ProbeReply& r) { return ReadVersionCommand(link, r); },
     {0x00, 0x01, 0x70, 0x70}},
    {"read serial",
     [](ProbeLink& link, ProbeReply& r) { return ReadSerialCommand(link, r); },
     {0x00, 0x01, 0xE1, 0xE1}},
    {"execute",
     [](ProbeLink& link, ProbeReply& r) { return ExecuteUpdateCommand(link, r); },
     {0x00, 0x01, 0xC0, 0xC0}},
    {"write serial AB",
     [](ProbeLink& link, ProbeReply& r) { return WriteSerialCommand(link, r, u"AB"); },
     {0x00, 0x07, 0xE0, 0x00, 0x02, 0x00, 0x41, 0x00, 0x42, 0xE1}},
    {"write empty serial",
     [](ProbeLink& link, ProbeReply& r) { return WriteSerialCommand(link, r, u""); },
     {0x00, 0x03, 0xE0, 0x00, 0x00, 0xE0}},
    {"read flash 0x100 n 0x300",
     [](ProbeLink& link, ProbeReply& r) { return ReadFlashCommand(link, r, 0x20000100, 0x300); },
     {0x00, 0x08, 0xC9, 0x20, 0x00, 0x01, 0x00, 0x01, 0x03, 0x00, 0xEA}},
    {"write flash 0x100",
     [](ProbeLink& link, ProbeReply& r) {
       const uint8_t data[] = {0x5A};
       return WriteFlashCommand(link, r, 0x100, data, 1);
     },
     {0x00, 0x07, 0xC2, 0x00, 0x00, 0x00, 0x01, 0x00, 0x5A, 0x99}},
};

}  // namespace

TEST_F(ProbeLinkTest, RequestsGoOutByteForByte) {
  for (const RequestCase& c : kRequestCases) {
    SCOPED_TRACE(c.name);
    auto& probe = AttachAfresh();
    ASSERT_EQ(OpenProbe(link_), 0);
    ProbeReply reply;
    EXPECT_EQ(c.send(link_, reply), 0);
    ASSERT_EQ(probe.RequestsReceived().size(), 1u);
    EXPECT_EQ(probe.RequestsReceived()[0], c.frame);
  }
}

TEST_F(ProbeLinkTest, EraseRequestAndReplyAsOnTheWire) {
  auto& probe = Attach({.eraseMs = 100});
  ASSERT_EQ(OpenProbe(link_), 0);
  ASSERT_EQ(StartEraseCommand(link_), 0);
  EXPECT_EQ(probe.RequestsReceived().at(0), (Bytes{0x00, 0x02, 0xC1, 0x00, 0xC1}));
  model_link::AdvanceClock(100);
  uint8_t whole[8];
  ASSERT_EQ(probe.Available(model_link::NowMs()), 8u);
  probe.Read(whole, 8, model_link::NowMs());
  EXPECT_EQ(Bytes(whole, whole + 8), (Bytes{0x00, 0x05, 0xC1, 0x00, 0x00, 0x00, 0x00, 0xC1}));
}

TEST_F(ProbeLinkTest, SerialReplyCarriesTwoCharactersAsOnTheWire) {
  auto& probe = Attach({.serial = u"AB"});
  ASSERT_EQ(OpenProbe(link_), 0);
  ProbeReply reply;
  ASSERT_EQ(ReadSerialCommand(link_, reply), 0);
  const auto& sent = probe.Transcript().back();
  EXPECT_EQ(sent.bytes, (Bytes{0x00, 0x07, 0xE1, 0x00, 0x02, 0x00, 0x41, 0x00, 0x42, 0xE0}));
  EXPECT_EQ(Bytes(reply.bytes, reply.bytes + reply.count),
            (Bytes{0xE1, 0x00, 0x02, 0x00, 0x41, 0x00, 0x42, 0xE0}));
}

TEST_F(ProbeLinkTest, RequestLengthsAtTheLimits) {
  auto& probe = Attach();
  ASSERT_EQ(OpenProbe(link_), 0);
  ProbeReply reply;
  ASSERT_EQ(WriteSerialCommand(link_, reply, std::u16string(32, u'7')), 0);
  const Bytes data(1024, 0xA5);
  ASSERT_EQ(WriteFlashCommand(link_, reply, 0, data.data(), 1024), 0);
  const auto frames = probe.RequestsReceived();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0][0] << 8 | frames[0][1], 67);
  EXPECT_EQ(frames[1][0] << 8 | frames[1][1], 1030);
  EXPECT_EQ(frames[1].size(), 1033u);
  // A lone command code is its own check byte.
  EXPECT_EQ(BuildRequestFrame(Bytes{0xC0}), (Bytes{0x00, 0x01, 0xC0, 0xC0}));
}

TEST_F(ProbeLinkTest, NothingIsSentWithoutAProbeOrData) {
  auto& probe = Attach();
  ProbeReply reply;
  EXPECT_EQ(ReadVersionCommand(link_, reply), kCommandNotSent);
  EXPECT_EQ(ReadSerialCommand(link_, reply), kCommandNotSent);
  EXPECT_EQ(WriteSerialCommand(link_, reply, u"A"), kCommandNotSent);
  EXPECT_EQ(StartEraseCommand(link_), kCommandNotSent);
  EXPECT_EQ(ReadFlashCommand(link_, reply, 0x20000000, 1), kCommandNotSent);
  EXPECT_EQ(ExecuteUpdateCommand(link_, reply), kCommandNotSent);
  ASSERT_EQ(OpenProbe(link_), 0);
  EXPECT_EQ(WriteFlashCommand(link_, reply, 0, nullptr, 4), kCommandNotSent);
  const uint8_t one = 0;
  EXPECT_EQ(WriteFlashCommand(link_, reply, 0, &one, 0), kCommandNotSent);
  const uint8_t message[] = {0x55, 0x00};
  EXPECT_FALSE(SendFrame(link_, 0x55, message, 2));
  EXPECT_TRUE(probe.RequestsReceived().empty());
}

namespace {

struct ReplyCase {
  const char* name;
  uint8_t command;
  Bytes onWire;
  bool accepted;
  Bytes delivered;  // when accepted
};

Bytes WithCheck(Bytes body) {
  body.push_back(CheckByteOf(body));
  return body;
}

std::vector<ReplyCase> ReplyCases() {
  const Bytes body1049(1049, 0x11);
  return {
      {"status byte of any value", kCmdWriteSerial, {0x31}, true, {0x31}},
      {"M = 0 with check 0", kCmdReadVersion, {0x00, 0x00, 0x00}, true, {0x00}},
      {"M = 0 with check 1", kCmdReadVersion, {0x00, 0x00, 0x01}, false, {}},
      {"wrong check byte", kCmdReadVersion, LongReplyOnWire({0x70, 1, 2}, 0x40), false, {}},
      {"M = 1049", kCmdReadFlash, LongReplyOnWire(body1049), true, WithCheck(body1049)},
      {"body cut short", kCmdEraseFlash, {0x00, 0x05, 0xC1, 0x00}, false, {}},
      {"nothing at all", kCmdReadSerial, {}, false, {}},
  };
}

}  // namespace

TEST_F(ProbeLinkTest, RepliesAcceptedAndRefused) {
  for (const ReplyCase& c : ReplyCases()) {
    SCOPED_TRACE(c.name);
    auto& probe = AttachAfresh();
    probe.SetAnswering(false);
    ASSERT_EQ(OpenProbe(link_), 0);
    if (!c.onWire.empty()) probe.QueueRawReply(c.onWire);
    uint8_t buffer[kReplyBufferBytes];
    uint32_t count = 0;
    const uint64_t before = model_link::NowMs();
    EXPECT_EQ(ReceiveReply(link_, c.command, buffer, &count), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(Bytes(buffer, buffer + count), c.delivered);
    }
    // Only a reply that never comes costs a time-out.
    EXPECT_EQ(model_link::NowMs() - before > kTransferTimeoutMs, c.onWire.empty());
  }
}

TEST_F(ProbeLinkTest, ReplyTooLongForTheBufferIsRefusedBeforeItsBody) {
  auto& probe = Attach();
  probe.SetAnswering(false);
  ASSERT_EQ(OpenProbe(link_), 0);
  probe.QueueRawReply(LongReplyOnWire(Bytes(1050, 0x22)));
  uint8_t buffer[kReplyBufferBytes];
  uint32_t count = 0;
  EXPECT_FALSE(ReceiveReply(link_, kCmdReadFlash, buffer, &count));
  EXPECT_EQ(probe.Available(model_link::NowMs()), 1051u);
}

TEST_F(ProbeLinkTest, WatchedReplyIgnoresItsHighLengthByte) {
  for (uint8_t high : {0x00, 0x07}) {
    SCOPED_TRACE(high);
    auto& probe = AttachAfresh();
    probe.SetAnswering(false);
    Bytes wire = LongReplyOnWire({0xC1, 0, 0, 0, 0});
    wire[0] = high;
    ASSERT_EQ(OpenProbe(link_), 0);
    probe.QueueRawReply(wire);
    ASSERT_TRUE(StartReplyWatch(link_));
    ASSERT_EQ(PollReplyWatch(link_), kWatchArrived);
    uint8_t buffer[kReplyBufferBytes];
    uint32_t count = 0;
    ASSERT_TRUE(ReceiveWatchedReply(link_, buffer, &count));
    EXPECT_EQ(Bytes(buffer, buffer + count), (Bytes{0xC1, 0, 0, 0, 0, 0xC1}));
  }
}

TEST_F(ProbeLinkTest, CommandFailuresAreNotReceived) {
  const probe_model::Fault faults[] = {Fault(FaultKind::kNoReply), Fault(FaultKind::kBadCheck),
                                       Fault(FaultKind::kDisconnect)};
  for (const auto& fault : faults) {
    AttachAfresh({.faults = {fault}});
    ASSERT_EQ(OpenProbe(link_), 0);
    ProbeReply reply;
    reply.count = 99;
    EXPECT_EQ(ReadVersionCommand(link_, reply), kCommandNotReceived);
    EXPECT_EQ(reply.count, 0u);
  }
}

TEST_F(ProbeLinkTest, EraseReplyIsPendingUntilItBeginsThenArrivesOnce) {
  auto& probe = Attach({.eraseMs = 5000});
  ASSERT_EQ(OpenProbe(link_), 0);
  ProbeReply reply;
  EXPECT_EQ(CollectEraseReply(link_, reply), EraseCollect::kFailed);  // no watch yet
  ASSERT_EQ(StartEraseCommand(link_), 0);
  for (int poll = 0; poll < 9; ++poll) {
    EXPECT_EQ(CollectEraseReply(link_, reply), EraseCollect::kPending);
    model_link::AdvanceClock(500);
  }
  // Nothing was taken while pending: the whole reply is still there.
  EXPECT_EQ(probe.Available(model_link::NowMs()), 0u);
  model_link::AdvanceClock(500);
  ASSERT_EQ(CollectEraseReply(link_, reply), EraseCollect::kArrived);
  EXPECT_EQ(Bytes(reply.bytes, reply.bytes + reply.count), (Bytes{0xC1, 0, 0, 0, 0, 0xC1}));
  EXPECT_EQ(CollectEraseReply(link_, reply), EraseCollect::kPending);
  StopReplyWatch(link_);
  EXPECT_EQ(PollReplyWatch(link_), kWatchNone);
  EXPECT_EQ(CollectEraseReply(link_, reply), EraseCollect::kFailed);
}

TEST_F(ProbeLinkTest, EraseWithoutAnEventIsAReceptionFailure) {
  Attach();
  ASSERT_EQ(OpenProbe(link_), 0);
  model_link::SetReplyWatchFails(true);
  EXPECT_EQ(StartEraseCommand(link_), kCommandNotReceived);
  model_link::SetEventCreationFails(true);
  EXPECT_EQ(StartEraseCommand(link_), kCommandNotSent);
}
