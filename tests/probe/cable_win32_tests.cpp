// A probe whose cable is pulled, by the emulator's console lines or by its
// vanish fault, and one that stops taking requests: what the Win32 transport
// then gives, and how soon.
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
using emulator_process::TransportTest;

// A pulled cable is noticed at once: well inside one transfer time-out.
constexpr DWORD kAtOnceMs = 1000;
constexpr DWORD kQuitWaitMs = 5000;
constexpr uint32_t kReadAddressBase = 0x20000000;

class CableTest : public TransportTest {
 protected:
  bool Unplug() { return emulator_.Say("unplug 0") && emulator_.WaitForOutput("unplugged 0"); }
  // Puts the cable back and waits until the path opens: like a probe that
  // enumerates again, it may take a moment.
  bool Plug() {
    if (!emulator_.Say("plug 0") || !emulator_.WaitForOutput("plugged 0")) return false;
    const DWORD start = GetTickCount();
    while (OpenProbe(link_) != 0) {
      if (GetTickCount() - start > kAtOnceMs) return false;
      Sleep(kPollStepMs);
    }
    return CloseProbe(link_);
  }
};

TEST_F(CableTest, UnplugFailsTheOpenHandleAndTheOpenPlugBringsTheSameProbeBack) {
  StartEmulator(L"--serial CABLE-7");
  ASSERT_EQ(OpenProbe(link_), 0);
  const uint8_t data[] = {0xA5, 0x5A, 0x01};
  ProbeReply reply;
  ASSERT_EQ(WriteFlashCommand(link_, reply, 0x100, data, 3), 0);
  ASSERT_TRUE(Unplug());

  DWORD start = GetTickCount();
  EXPECT_EQ(ReadVersionCommand(link_, reply), kCommandNotSent);
  EXPECT_LT(GetTickCount() - start, kAtOnceMs);
  uint8_t byte = 0;
  start = GetTickCount();
  EXPECT_FALSE(TimedRead(link_, &byte, 1));
  EXPECT_LT(GetTickCount() - start, kAtOnceMs);
  EXPECT_TRUE(CloseProbe(link_));
  EXPECT_EQ(OpenProbe(link_), 1) << "an unplugged probe's path must not open";

  ASSERT_TRUE(Plug());
  int result = -1;
  char16_t serial[kSerialBufferUnits];
  ASSERT_EQ(ReadProbeSerial(link_, serial, &result), 0) << result;
  EXPECT_EQ(std::u16string(serial), u"CABLE-7");
  ASSERT_EQ(OpenProbe(link_), 0);
  ASSERT_EQ(ReadFlashCommand(link_, reply, kReadAddressBase + 0x100, 3), 0);
  EXPECT_EQ(std::vector<uint8_t>(reply.bytes + 1, reply.bytes + 4),
            std::vector<uint8_t>(data, data + 3));
  EXPECT_TRUE(CloseProbe(link_));
  EXPECT_TRUE(TranscriptHas({"probe0 -- unplugged", "probe0 -- plugged in"}));

  ASSERT_TRUE(emulator_.Say("quit"));
  DWORD code = 99;
  EXPECT_TRUE(emulator_.Ended(kQuitWaitMs, &code)) << "quit did not end the emulator";
  EXPECT_EQ(code, 0u);
}

// The probe takes the erase request and is gone. A watch started after that
// is refused; one started before it ends with the link. Either way the erase
// fails with a reception failure at once, not after the erase's allowance.
TEST_F(CableTest, ProbeThatVanishesAfterTheEraseRequestFailsTheEraseAtOnce) {
  StartEmulator(L"--fault vanish:erase");
  ASSERT_EQ(OpenProbe(link_), 0);
  const uint8_t erase[] = {kCmdEraseFlash, 0x00};
  ASSERT_TRUE(SendFrame(link_, kCmdEraseFlash, erase, sizeof erase));
  ASSERT_TRUE(TranscriptHas({"vanishes (fault)", "probe0 -- unplugged"}));
  const DWORD start = GetTickCount();
  EXPECT_FALSE(StartReplyWatch(link_));
  EXPECT_EQ(PollReplyWatch(link_), kWatchNone);
  int result = -1;
  EXPECT_EQ(PollProbeErase(link_, &result), kEraseReceiveFailed);
  EXPECT_LT(GetTickCount() - start, kAtOnceMs);
  EXPECT_TRUE(CloseProbe(link_));
  EXPECT_EQ(OpenProbe(link_), 1);

  ASSERT_TRUE(Plug());
  ASSERT_EQ(OpenProbe(link_), 0);
  const DWORD again = GetTickCount();
  int code = StartEraseCommand(link_);
  while (code == kCommandOk && GetTickCount() - again < kTimeoutSlackMs) {
    code = PollProbeErase(link_, &result) == kErasePending ? kCommandOk : kCommandNotReceived;
    Sleep(kPollStepMs);
  }
  EXPECT_EQ(code, kCommandNotReceived);
  EXPECT_LT(GetTickCount() - again, kAtOnceMs);
  StopReplyWatch(link_);
  EXPECT_TRUE(CloseProbe(link_));
}

// Answered, then deaf: the next request cannot be written and the send fails
// after the transfer time-out; the next open is served again.
TEST_F(CableTest, ProbeThatStopsTakingFailsTheNextSend) {
  StartEmulator(L"--fault stops-taking:read-version@1");
  ASSERT_EQ(OpenProbe(link_), 0);
  ProbeReply reply;
  ASSERT_EQ(ReadVersionCommand(link_, reply), 0);
  const DWORD start = GetTickCount();
  EXPECT_EQ(ReadSerialCommand(link_, reply), kCommandNotSent);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GT(elapsed, kTransferTimeoutMs);
  EXPECT_LT(elapsed, kTransferTimeoutMs + kTimeoutSlackMs);
  EXPECT_TRUE(CloseProbe(link_));
  ASSERT_TRUE(TranscriptHas({"probe0 -- closed"}));
  ASSERT_EQ(OpenProbe(link_), 0);
  EXPECT_EQ(ReadVersionCommand(link_, reply), 0);
  EXPECT_TRUE(CloseProbe(link_));
}

}  // namespace
