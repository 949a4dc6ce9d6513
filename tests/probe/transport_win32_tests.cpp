// The Win32 transport against the emulator program, which serves emulated
// probes at the real device paths. Each test starts VelkoroEmulator.exe (the
// one VELKORO_EMULATOR names) with its own options and ends it by closing its
// standard input (tests/support/emulator_process.h).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "probe/commands.h"
#include "probe/discovery.h"
#include "probe/frame.h"
#include "probe/operations.h"
#include "probe/transport.h"
#include "tests/probe/transport_fixture.h"

namespace {

using emulator_process::kPollStepMs;
using emulator_process::kTimeoutSlackMs;
using emulator_process::ReadWholeFile;
using emulator_process::TempFile;
using emulator_process::TransportTest;

constexpr DWORD kEraseMs = 1500;
constexpr DWORD kEraseWaitMs = 10000;

TEST_F(TransportTest, NoProbeAttached) {
  EXPECT_EQ(OpenProbe(link_), 1);
  EXPECT_FALSE(IsProbeOpen(link_));
  EXPECT_FALSE(CloseProbe(link_));
}

TEST_F(TransportTest, OnlyTheLastIndexIsFound) {
  StartEmulator(L"--probe 255");
  ASSERT_EQ(OpenProbe(link_), 0);
  ProbeReply reply;
  ASSERT_EQ(ReadVersionCommand(link_, reply), 0);
  EXPECT_EQ(reply.count, 8u);
  EXPECT_EQ(reply.bytes[0], 0x70);
  EXPECT_TRUE(CloseProbe(link_));
  EXPECT_TRUE(TranscriptHas(
      {"probe255 -- opened", "probe255 -> read-version: 00 01 70 70", "probe255 -- closed"}));
}

TEST_F(TransportTest, SecondProbeStopsTheScanAndBothAreClosed) {
  StartEmulator(L"--probe 3 --probe 200 --probe 201");
  EXPECT_EQ(OpenProbe(link_), 2);
  EXPECT_FALSE(IsProbeOpen(link_));
  EXPECT_TRUE(TranscriptHas(
      {"probe3 -- opened", "probe3 -- closed", "probe200 -- opened", "probe200 -- closed"}));
  EXPECT_EQ(ReadWholeFile(transcript_).find("probe201 -- opened"), std::string::npos);
}

TEST_F(TransportTest, OpenWhileOpenLeavesTheHandleAlone) {
  StartEmulator(L"--probe 0");
  ASSERT_EQ(OpenProbe(link_), 0);
  EXPECT_EQ(OpenProbe(link_), 1);
  EXPECT_TRUE(IsProbeOpen(link_));
  ProbeReply reply;
  EXPECT_EQ(ReadVersionCommand(link_, reply), 0);
  EXPECT_TRUE(CloseProbe(link_));
  // A probe accepts a new open after a close, at once.
  ASSERT_EQ(OpenProbe(link_), 0);
  EXPECT_EQ(ReadVersionCommand(link_, reply), 0);
}

TEST_F(TransportTest, ReadThatNeverCompletesTimesOutAndLeavesNothingBehind) {
  StartEmulator(L"--fault no-reply:read-version@1");
  ASSERT_EQ(OpenProbe(link_), 0);
  const uint8_t message[] = {kCmdReadVersion};
  ASSERT_TRUE(SendFrame(link_, kCmdReadVersion, message, 1));
  std::vector<uint8_t> buffer(16, 0xEE);
  uint32_t count = 77;
  const DWORD start = GetTickCount();
  EXPECT_FALSE(TimedRead(link_, buffer.data(), 16, &count));
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GT(elapsed, kTransferTimeoutMs);
  EXPECT_LT(elapsed, kTransferTimeoutMs + kTimeoutSlackMs);
  EXPECT_EQ(count, 77u);
  ASSERT_TRUE(CloseProbe(link_));

  ASSERT_EQ(OpenProbe(link_), 0);
  ProbeReply reply;
  ASSERT_EQ(ReadVersionCommand(link_, reply), 0);
  EXPECT_EQ(reply.count, 8u);
  EXPECT_EQ(reply.bytes[6], 0x22);
  EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0xEE));
}

TEST_F(TransportTest, ShortReadGivesItsSmallerCount) {
  StartEmulator(L"");
  ASSERT_EQ(OpenProbe(link_), 0);
  const uint8_t message[] = {kCmdReadVersion};
  ASSERT_TRUE(SendFrame(link_, kCmdReadVersion, message, 1));
  uint8_t buffer[64];
  uint32_t count = 0;
  ASSERT_TRUE(TimedRead(link_, buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 10u);  // length, 7 body bytes, check byte
  EXPECT_EQ(buffer[2], 0x70);
}

TEST_F(TransportTest, ReplyWatchWaitsForTheEraseReply) {
  StartEmulator(L"--erase-ms " + std::to_wstring(kEraseMs));
  ASSERT_EQ(OpenProbe(link_), 0);
  EXPECT_EQ(PollReplyWatch(link_), kWatchNone);
  const DWORD start = GetTickCount();
  ASSERT_EQ(StartEraseCommand(link_), 0);
  EXPECT_EQ(PollReplyWatch(link_), kWatchPending);
  ReplyWatchState state = kWatchPending;
  while (state == kWatchPending && GetTickCount() - start < kEraseWaitMs) {
    Sleep(kPollStepMs);
    state = PollReplyWatch(link_);
  }
  ASSERT_EQ(state, kWatchArrived);
  EXPECT_GE(GetTickCount() - start, kEraseMs - 100);
  EXPECT_EQ(PollReplyWatch(link_), kWatchPending) << "arrived is given once";
  uint8_t buffer[kReplyBufferBytes];
  uint32_t count = 0;
  ASSERT_TRUE(ReceiveWatchedReply(link_, buffer, &count));
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + count),
            (std::vector<uint8_t>{0xC1, 0, 0, 0, 0, 0xC1}));
  StopReplyWatch(link_);
  EXPECT_EQ(PollReplyWatch(link_), kWatchNone);
  EXPECT_TRUE(CloseProbe(link_));
}

TEST_F(TransportTest, StoppedOrClosedWatchTakesNothing) {
  StartEmulator(L"--fault erase-never-ends");
  ASSERT_EQ(OpenProbe(link_), 0);
  ASSERT_EQ(StartEraseCommand(link_), 0);
  EXPECT_EQ(PollReplyWatch(link_), kWatchPending);
  StopReplyWatch(link_);
  EXPECT_EQ(PollReplyWatch(link_), kWatchNone);
  // The cancelled watch read took no byte of the next reply.
  ProbeReply reply;
  ASSERT_EQ(ReadVersionCommand(link_, reply), 0);
  EXPECT_EQ(reply.count, 8u);
  ASSERT_EQ(StartEraseCommand(link_), 0);
  EXPECT_TRUE(CloseProbe(link_));
  EXPECT_EQ(PollReplyWatch(link_), kWatchNone);
  int result = -1;
  EXPECT_EQ(PollProbeErase(link_, &result), kEraseReceiveFailed);
}

// A client that closes while the emulator cannot look, before the reply to
// its request is due: the reply finds the client gone, and the probe must
// still be served, opened again and ended. (A request is taken only when the
// emulator reads it, so the request goes out before the emulator is held.)
TEST_F(TransportTest, RequestLeftUnansweredByACloseKeepsTheProbeServed) {
  constexpr DWORD kReplyDueMs = 300;
  StartEmulator(L"--erase-ms " + std::to_wstring(kReplyDueMs));
  ASSERT_EQ(OpenProbe(link_), 0);
  const uint8_t message[] = {kCmdEraseFlash, 0x00};
  ASSERT_TRUE(SendFrame(link_, kCmdEraseFlash, message, sizeof message));
  ASSERT_TRUE(TranscriptHas({"probe0 -> erase"}));
  ASSERT_TRUE(emulator_.Suspend(true));
  ASSERT_TRUE(CloseProbe(link_));
  Sleep(2 * kReplyDueMs);
  ASSERT_TRUE(emulator_.Suspend(false));
  ASSERT_TRUE(TranscriptHas({"probe0 -- closed"}));
  ASSERT_EQ(OpenProbe(link_), 0);
  ProbeReply reply;
  EXPECT_EQ(ReadVersionCommand(link_, reply), 0);
  EXPECT_TRUE(CloseProbe(link_));
  EXPECT_EQ(emulator_.Stop(), 0u) << "the emulator must end when its input closes";
}

// A watch started on a link the probe has dropped: its read is refused at
// once, so the watch fails to start and leaves nothing to stop or poll.
TEST_F(TransportTest, WatchOnADroppedLinkFailsToStartAtOnce) {
  StartEmulator(L"--fault disconnect:read-version@1");
  ASSERT_EQ(OpenProbe(link_), 0);
  ProbeReply reply;
  ASSERT_NE(ReadVersionCommand(link_, reply), 0);
  ASSERT_TRUE(TranscriptHas({"probe0 -- closed"}));
  const DWORD start = GetTickCount();
  EXPECT_FALSE(StartReplyWatch(link_));
  EXPECT_EQ(PollReplyWatch(link_), kWatchNone);
  StopReplyWatch(link_);
  EXPECT_LT(GetTickCount() - start, kTimeoutSlackMs);
  EXPECT_TRUE(CloseProbe(link_));
}

TEST_F(TransportTest, OperationsThroughTheDevicePath) {
  StartEmulator(L"--serial OLD-1 --fault disconnect:read-version@2");
  int result = -1;
  EXPECT_EQ(WriteProbeSerial(link_, u"NEW 0042", &result), 0);
  char16_t serial[kSerialBufferUnits];
  EXPECT_EQ(ReadProbeSerial(link_, serial, &result), 1);
  EXPECT_EQ(result, kResultNotReceived) << "the probe dropped off in its reply";
  EXPECT_FALSE(IsProbeOpen(link_));
  result = -1;
  ASSERT_EQ(ReadProbeSerial(link_, serial, &result), 0) << result;
  EXPECT_EQ(std::u16string(serial), u"NEW 0042");
}

TEST_F(TransportTest, FlashIsDumpedWhenTheEmulatorEnds) {
  const std::wstring dump = TempFile(L"flash.bin");
  DeleteFileW(dump.c_str());
  StartEmulator(L"--dump-flash \"" + dump + L"\"");
  ASSERT_EQ(OpenProbe(link_), 0);
  const uint8_t data[] = {0x12, 0x34, 0x56};
  ProbeReply reply;
  ASSERT_EQ(WriteFlashCommand(link_, reply, 0x9FFFD, data, 3), 0);
  EXPECT_EQ(reply.bytes[0], 0x30);
  ASSERT_TRUE(CloseProbe(link_));
  EXPECT_EQ(emulator_.Stop(), 0u);
  const std::string flash = ReadWholeFile(dump);
  DeleteFileW(dump.c_str());
  ASSERT_EQ(flash.size(), 655360u);
  EXPECT_EQ(flash.substr(0x9FFFD), "\x12\x34\x56");
  EXPECT_EQ(static_cast<uint8_t>(flash[0]), 0xFF);
}

}  // namespace
