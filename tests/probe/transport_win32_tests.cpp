// The Win32 transport against the emulator program, which serves emulated
// probes at the real device paths. Each test starts VelkoroEmulator.exe from
// the folder of this test program with its own options and ends it by
// closing its standard input.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "probe/commands.h"
#include "probe/frame.h"
#include "probe/operations.h"
#include "probe/transport.h"

namespace {

constexpr DWORD kReadyWaitMs = 30000;
constexpr DWORD kExitWaitMs = 15000;
constexpr DWORD kTranscriptWaitMs = 5000;
constexpr DWORD kPollStepMs = 20;
constexpr DWORD kEraseMs = 1500;
constexpr DWORD kEraseWaitMs = 10000;
// A time-out ends just after kTransferTimeoutMs; a loaded machine may add a
// little to that, never a second time-out.
constexpr DWORD kTimeoutSlackMs = 1500;

std::wstring Folder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path, n);
  return text.substr(0, text.find_last_of(L"\\/") + 1);
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + L"velkoro-probe-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         name;
}

std::string ReadWholeFile(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return {};
  std::string text;
  char chunk[4096];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  std::fclose(file);
  return text;
}

class Emulator {
 public:
  ~Emulator() { Stop(); }

  bool Start(const std::wstring& options) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childIn = nullptr;
    HANDLE childOut = nullptr;
    if (!CreatePipe(&childIn, &input_, &inherit, 0)) return false;
    if (!CreatePipe(&output_, &childOut, &inherit, 0)) return false;
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command = L"\"" + Folder() + L"VelkoroEmulator.exe\" " + options;
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process_);
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (!started) return false;
    std::string seen;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kReadyWaitMs) {
      DWORD available = 0;
      if (!PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr)) return false;
      if (available > 0) {
        char chunk[256];
        DWORD got = 0;
        ReadFile(output_, chunk, sizeof chunk, &got, nullptr);
        seen.append(chunk, got);
        if (seen.find("ready") != std::string::npos) return true;
      } else {
        Sleep(kPollStepMs);
      }
    }
    return false;
  }

  // Holds or lets go every thread of the emulator, so that a client can act
  // while the emulator cannot look.
  bool Suspend(bool hold) {
    using ProcessCall = LONG(NTAPI*)(HANDLE);
    const auto call = reinterpret_cast<ProcessCall>(reinterpret_cast<void*>(GetProcAddress(
        GetModuleHandleW(L"ntdll.dll"), hold ? "NtSuspendProcess" : "NtResumeProcess")));
    return call != nullptr && call(process_.hProcess) >= 0;
  }

  // Closes its standard input and waits for it to end; its exit code.
  DWORD Stop() {
    if (input_ != nullptr) CloseHandle(input_);
    input_ = nullptr;
    DWORD code = STILL_ACTIVE;
    if (process_.hProcess != nullptr) {
      if (WaitForSingleObject(process_.hProcess, kExitWaitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 99);
      }
      GetExitCodeProcess(process_.hProcess, &code);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
      process_ = PROCESS_INFORMATION{};
    }
    if (output_ != nullptr) CloseHandle(output_);
    output_ = nullptr;
    return code;
  }

 private:
  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
  PROCESS_INFORMATION process_{};
};

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProbeLinkForTests();
    transcript_ = TempFile(L"transcript.txt");
    DeleteFileW(transcript_.c_str());
  }
  void TearDown() override {
    ResetProbeLinkForTests();
    emulator_.Stop();
    DeleteFileW(transcript_.c_str());
  }

  void StartEmulator(const std::wstring& options) {
    ASSERT_TRUE(emulator_.Start(options + L" --transcript \"" + transcript_ + L"\""));
  }

  // Waits until every piece of text is in the transcript.
  bool TranscriptHas(const std::vector<std::string>& pieces) {
    const DWORD start = GetTickCount();
    for (;;) {
      const std::string text = ReadWholeFile(transcript_);
      bool all = true;
      for (const auto& piece : pieces) all = all && text.find(piece) != std::string::npos;
      if (all) return true;
      if (GetTickCount() - start > kTranscriptWaitMs) return false;
      Sleep(kPollStepMs);
    }
  }

  Emulator emulator_;
  std::wstring transcript_;
};

TEST_F(TransportTest, NoProbeAttached) {
  EXPECT_EQ(OpenProbe(), 1);
  EXPECT_FALSE(IsProbeOpen());
  EXPECT_FALSE(CloseProbe());
}

TEST_F(TransportTest, OnlyTheLastIndexIsFound) {
  StartEmulator(L"--probe 255");
  ASSERT_EQ(OpenProbe(), 0);
  ProbeReply reply;
  ASSERT_EQ(ReadVersionCommand(reply), 0);
  EXPECT_EQ(reply.count, 8u);
  EXPECT_EQ(reply.bytes[0], 0x70);
  EXPECT_TRUE(CloseProbe());
  EXPECT_TRUE(TranscriptHas(
      {"probe255 -- opened", "probe255 -> read-version: 00 01 70 70", "probe255 -- closed"}));
}

TEST_F(TransportTest, SecondProbeStopsTheScanAndBothAreClosed) {
  StartEmulator(L"--probe 3 --probe 200 --probe 201");
  EXPECT_EQ(OpenProbe(), 2);
  EXPECT_FALSE(IsProbeOpen());
  EXPECT_TRUE(TranscriptHas(
      {"probe3 -- opened", "probe3 -- closed", "probe200 -- opened", "probe200 -- closed"}));
  EXPECT_EQ(ReadWholeFile(transcript_).find("probe201 -- opened"), std::string::npos);
}

TEST_F(TransportTest, OpenWhileOpenLeavesTheHandleAlone) {
  StartEmulator(L"--probe 0");
  ASSERT_EQ(OpenProbe(), 0);
  EXPECT_EQ(OpenProbe(), 1);
  EXPECT_TRUE(IsProbeOpen());
  ProbeReply reply;
  EXPECT_EQ(ReadVersionCommand(reply), 0);
  EXPECT_TRUE(CloseProbe());
  // A probe accepts a new open after a close, at once.
  ASSERT_EQ(OpenProbe(), 0);
  EXPECT_EQ(ReadVersionCommand(reply), 0);
}

TEST_F(TransportTest, ReadThatNeverCompletesTimesOutAndLeavesNothingBehind) {
  StartEmulator(L"--fault no-reply:read-version@1");
  ASSERT_EQ(OpenProbe(), 0);
  const uint8_t message[] = {kCmdReadVersion};
  ASSERT_TRUE(SendFrame(kCmdReadVersion, message, 1));
  std::vector<uint8_t> buffer(16, 0xEE);
  uint32_t count = 77;
  const DWORD start = GetTickCount();
  EXPECT_FALSE(TimedRead(buffer.data(), 16, &count));
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GT(elapsed, kTransferTimeoutMs);
  EXPECT_LT(elapsed, kTransferTimeoutMs + kTimeoutSlackMs);
  EXPECT_EQ(count, 77u);
  ASSERT_TRUE(CloseProbe());

  ASSERT_EQ(OpenProbe(), 0);
  ProbeReply reply;
  ASSERT_EQ(ReadVersionCommand(reply), 0);
  EXPECT_EQ(reply.count, 8u);
  EXPECT_EQ(reply.bytes[6], 0x22);
  EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0xEE));
}

TEST_F(TransportTest, ShortReadGivesItsSmallerCount) {
  StartEmulator(L"");
  ASSERT_EQ(OpenProbe(), 0);
  const uint8_t message[] = {kCmdReadVersion};
  ASSERT_TRUE(SendFrame(kCmdReadVersion, message, 1));
  uint8_t buffer[64];
  uint32_t count = 0;
  ASSERT_TRUE(TimedRead(buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 10u);  // length, 7 body bytes, check byte
  EXPECT_EQ(buffer[2], 0x70);
}

TEST_F(TransportTest, ReplyWatchWaitsForTheEraseReply) {
  StartEmulator(L"--erase-ms " + std::to_wstring(kEraseMs));
  ASSERT_EQ(OpenProbe(), 0);
  EXPECT_EQ(PollReplyWatch(), kWatchNone);
  const DWORD start = GetTickCount();
  ASSERT_EQ(StartEraseCommand(), 0);
  EXPECT_EQ(PollReplyWatch(), kWatchPending);
  ReplyWatchState state = kWatchPending;
  while (state == kWatchPending && GetTickCount() - start < kEraseWaitMs) {
    Sleep(kPollStepMs);
    state = PollReplyWatch();
  }
  ASSERT_EQ(state, kWatchArrived);
  EXPECT_GE(GetTickCount() - start, kEraseMs - 100);
  EXPECT_EQ(PollReplyWatch(), kWatchPending) << "arrived is given once";
  uint8_t buffer[kReplyBufferBytes];
  uint32_t count = 0;
  ASSERT_TRUE(ReceiveWatchedReply(buffer, &count));
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + count),
            (std::vector<uint8_t>{0xC1, 0, 0, 0, 0, 0xC1}));
  StopReplyWatch();
  EXPECT_EQ(PollReplyWatch(), kWatchNone);
  EXPECT_TRUE(CloseProbe());
}

TEST_F(TransportTest, StoppedOrClosedWatchTakesNothing) {
  StartEmulator(L"--fault erase-never-ends");
  ASSERT_EQ(OpenProbe(), 0);
  ASSERT_EQ(StartEraseCommand(), 0);
  EXPECT_EQ(PollReplyWatch(), kWatchPending);
  StopReplyWatch();
  EXPECT_EQ(PollReplyWatch(), kWatchNone);
  // The cancelled watch read took no byte of the next reply.
  ProbeReply reply;
  ASSERT_EQ(ReadVersionCommand(reply), 0);
  EXPECT_EQ(reply.count, 8u);
  ASSERT_EQ(StartEraseCommand(), 0);
  EXPECT_TRUE(CloseProbe());
  EXPECT_EQ(PollReplyWatch(), kWatchNone);
  int result = -1;
  EXPECT_EQ(PollProbeErase(&result), kEraseReceiveFailed);
}

// A client that sends a request and closes before the emulator has looked at
// it: the reply finds the client gone, and the probe must still be served,
// opened again and ended.
TEST_F(TransportTest, RequestLeftUnansweredByACloseKeepsTheProbeServed) {
  StartEmulator(L"");
  ASSERT_TRUE(emulator_.Suspend(true));
  ASSERT_EQ(OpenProbe(), 0);
  const uint8_t message[] = {kCmdReadVersion};
  const bool sent = SendFrame(kCmdReadVersion, message, 1);
  ASSERT_TRUE(CloseProbe());
  ASSERT_TRUE(emulator_.Suspend(false));
  ASSERT_TRUE(sent);
  ASSERT_TRUE(TranscriptHas({"probe0 -> read-version", "probe0 -- closed"}));
  ASSERT_EQ(OpenProbe(), 0);
  ProbeReply reply;
  EXPECT_EQ(ReadVersionCommand(reply), 0);
  EXPECT_TRUE(CloseProbe());
  EXPECT_EQ(emulator_.Stop(), 0u) << "the emulator must end when its input closes";
}

// A watch started on a link the probe has dropped: its read is refused at
// once, so stopping it has nothing to wait for.
TEST_F(TransportTest, WatchOnADroppedLinkStopsAtOnce) {
  StartEmulator(L"--fault disconnect:read-version@1");
  ASSERT_EQ(OpenProbe(), 0);
  ProbeReply reply;
  ASSERT_NE(ReadVersionCommand(reply), 0);
  ASSERT_TRUE(TranscriptHas({"probe0 -- closed"}));
  ASSERT_TRUE(StartReplyWatch());
  const DWORD start = GetTickCount();
  StopReplyWatch();
  EXPECT_LT(GetTickCount() - start, kTimeoutSlackMs);
  EXPECT_EQ(PollReplyWatch(), kWatchNone);
  EXPECT_TRUE(CloseProbe());
}

TEST_F(TransportTest, OperationsThroughTheDevicePath) {
  StartEmulator(L"--serial OLD-1 --fault disconnect:read-version@2");
  int result = -1;
  EXPECT_EQ(WriteProbeSerial(u"NEW 0042", &result), 0);
  char16_t serial[kSerialBufferUnits];
  EXPECT_EQ(ReadProbeSerial(serial, &result), 1);
  EXPECT_EQ(result, kResultNotReceived) << "the probe dropped off in its reply";
  EXPECT_FALSE(IsProbeOpen());
  result = -1;
  ASSERT_EQ(ReadProbeSerial(serial, &result), 0) << result;
  EXPECT_EQ(std::u16string(serial), u"NEW 0042");
}

TEST_F(TransportTest, FlashIsDumpedWhenTheEmulatorEnds) {
  const std::wstring dump = TempFile(L"flash.bin");
  DeleteFileW(dump.c_str());
  StartEmulator(L"--dump-flash \"" + dump + L"\"");
  ASSERT_EQ(OpenProbe(), 0);
  const uint8_t data[] = {0x12, 0x34, 0x56};
  ProbeReply reply;
  ASSERT_EQ(WriteFlashCommand(reply, 0x9FFFD, data, 3), 0);
  EXPECT_EQ(reply.bytes[0], 0x30);
  ASSERT_TRUE(CloseProbe());
  EXPECT_EQ(emulator_.Stop(), 0u);
  const std::string flash = ReadWholeFile(dump);
  DeleteFileW(dump.c_str());
  ASSERT_EQ(flash.size(), 655360u);
  EXPECT_EQ(flash.substr(0x9FFFD), "\x12\x34\x56");
  EXPECT_EQ(static_cast<uint8_t>(flash[0]), 0xFF);
}

}  // namespace
