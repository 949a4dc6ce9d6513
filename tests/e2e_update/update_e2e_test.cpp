// The firmware update through the real Ostrelin.exe against the emulator
// program: a full-size image lands in the emulated flash byte for byte, an
// image below 0x40000 gets its filler, every injected fault ends with its
// message, the probe closed and the window idle, and closing the window in
// the middle of the erase ends the program cleanly.
//
// Environment as for the other end-to-end tests: VELKORO_APP,
// VELKORO_EMULATOR, VELKORO_E2E_OUT.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/probe_protocol.h"
#include "res/resource.h"
#include "tests/e2e/e2e_common.h"
#include "tests/e2e/gui_driver.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/test_files.h"
#include "tests/support/window_checks.h"

namespace {

using e2e::kProductName;
using e2e::MessageBoxInfo;
using e2e::OutDir;
using e2e::OutFile;
using e2e::TestName;

// A whole image takes 1280 ticks of the 1 ms timer and the hundred of 50 ms.
constexpr DWORD kFullUpdateMs = 240000;
const std::wstring kQuickEraseMs = L"700";

using e2e::CountOf;
using e2e::LastEvent;

class UpdateThroughTheWindow : public e2e::WindowTest {
 protected:
  std::wstring WriteFirmware(const std::string& text) {
    const std::wstring path = OutFile(TestName() + L".saf");
    std::ofstream(std::filesystem::path(path), std::ios::binary) << text;
    return path;
  }

  bool Idle() const { return e2e::IsIdle(w_, app_.pid()); }

  MessageBoxInfo NextBox(DWORD timeoutMs = e2e::kWindowWaitMs) {
    MessageBoxInfo box;
    EXPECT_TRUE(e2e::WaitForMessageBox(app_.pid(), box, timeoutMs)) << "no message box appeared";
    return box;
  }

  // Types the file name, presses UPDATE and answers the question with OK.
  void UpdateConfirmed(const std::wstring& file) {
    e2e::SetItemText(w_, IDC_FILE_NAME, file);
    e2e::Click(w_, IDC_UPDATE);
    MessageBoxInfo question = NextBox();
    ASSERT_EQ(question.text, L"May I update Firmware Ver. 2.2 of Velkoro?");
    ASSERT_TRUE(e2e::Answer(question, IDOK));
  }

  // Waits for the LED dialog and answers it; then the reset instruction.
  void AnswerConfirmation(int button, DWORD timeoutMs) {
    HWND confirm = e2e::WaitForDialog(app_.pid(), kProductName, w_, timeoutMs);
    ASSERT_NE(confirm, nullptr) << "no confirmation dialog";
    ::PostMessageW(::GetDlgItem(confirm, button), BM_CLICK, 0, 0);
    MessageBoxInfo reset = NextBox();
    EXPECT_EQ(reset.text, L"Please push Reset SW of Velkoro.");
    ASSERT_TRUE(e2e::Answer(reset, IDOK));
  }

  // Ends the emulator so its transcript and flash dump are complete.
  std::string StopEmulatorAndReadTranscript() {
    emulator_.Stop();
    return test_files::ReadWholeFile(transcript_);
  }
};

TEST_F(UpdateThroughTheWindow, FullSizeImageLandsInTheFlashByteForByte) {
  // 640 KiB from a base 16 above a multiple of 256, with a hole of four
  // empty blocks and sixteen bytes no record names inside a used block.
  const uint32_t base = 0x00C00010;
  std::vector<uint8_t> image = srecord_writer::Pattern(kFlashBytes, 5);
  std::fill(image.begin() + 0x50000, image.begin() + 0x50400, 0xFF);
  std::fill(image.begin() + 0x60010, image.begin() + 0x60020, 0xFF);
  std::string text = srecord_writer::Header();
  auto records = [&](uint32_t from, uint32_t to) {
    text += srecord_writer::DataRecords(
        base + from, std::vector<uint8_t>(image.begin() + from, image.begin() + to));
  };
  records(0, 0x50000);
  records(0x50400, 0x60010);
  records(0x60020, kFlashBytes);
  text += srecord_writer::End() + "\r\n";

  const std::wstring dump = OutFile(TestName() + L".flash.bin");
  ::DeleteFileW(dump.c_str());
  Start({L"--probe", L"0", L"--erase-ms", kQuickEraseMs, L"--dump-flash", dump}, true, false);
  UpdateConfirmed(WriteFirmware(text));
  AnswerConfirmation(IDOK, kFullUpdateMs);
  MessageBoxInfo done = NextBox();
  EXPECT_EQ(done.text, L"Updating Firmware of Velkoro succeeded.");
  ASSERT_TRUE(e2e::Answer(done, IDOK));
  EXPECT_TRUE(e2e::WaitUntil([&] { return Idle(); }));

  emulator_.Stop();
  const std::string flash = test_files::ReadWholeFile(dump);
  ASSERT_EQ(flash.size(), kFlashBytes);
  size_t differing = 0;
  size_t first = kFlashBytes;
  for (size_t i = 0; i < kFlashBytes; ++i) {
    if (static_cast<uint8_t>(flash[i]) != image[i]) {
      if (differing++ == 0) first = i;
    }
  }
  EXPECT_EQ(differing, 0u) << "first difference at offset " << first;
}

TEST_F(UpdateThroughTheWindow, ImageBelow0x40000GetsItsTwoFillerBytes) {
  Start({L"--probe", L"0", L"--erase-ms", kQuickEraseMs});
  UpdateConfirmed(WriteFirmware(srecord_writer::File(0x00012345, srecord_writer::Pattern(700))));
  AnswerConfirmation(IDOK, 4 * e2e::kWindowWaitMs);
  MessageBoxInfo done = NextBox();
  EXPECT_EQ(done.text, L"Updating Firmware of Velkoro succeeded.");
  ASSERT_TRUE(e2e::Answer(done, IDOK));

  const std::string transcript = StopEmulatorAndReadTranscript();
  // Length 8, write flash block, offset 0x40000, the bytes FF FF.
  EXPECT_EQ(CountOf(transcript, "-> write-flash: 00 08 C2 00 00 04 00 00 FF FF"), 1u);
  // Its read-back: address 0x20040000, two bytes.
  EXPECT_EQ(CountOf(transcript, "-> read-flash: 00 08 C9 20 04 00 00 01 00 02"), 1u);
}

struct FaultCase {
  const char* name;
  const wchar_t* fault;
  const wchar_t* message;
};

class UpdateFault : public UpdateThroughTheWindow,
                    public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UpdateFault, EndsWithItsMessageTheProbeClosedAndTheWindowIdle) {
  const FaultCase& c = GetParam();
  Start({L"--probe", L"0", L"--erase-ms", kQuickEraseMs, L"--fault", c.fault});
  // Three units and the filler.
  UpdateConfirmed(WriteFirmware(srecord_writer::File(0x00020000, srecord_writer::Pattern(2600))));

  MessageBoxInfo box = NextBox(4 * e2e::kWindowWaitMs);
  EXPECT_EQ(box.caption, L"ERROR");
  EXPECT_EQ(box.text, c.message);
  ASSERT_TRUE(e2e::Answer(box, IDOK));
  EXPECT_TRUE(e2e::WaitUntil([&] { return Idle(); })) << "the window did not become idle";
  ::Sleep(e2e::kSettleMs);
  EXPECT_TRUE(e2e::NoMessageBox(app_.pid())) << "a further message followed";
  EXPECT_EQ(e2e::DialogsOf(app_.pid()).size(), 1u) << "the confirmation dialog was shown";

  const std::string transcript = StopEmulatorAndReadTranscript();
  // The version check and the update each opened the probe and closed it.
  EXPECT_EQ(CountOf(transcript, "-- opened"), 2u);
  EXPECT_EQ(CountOf(transcript, "-- closed"), 2u);
  EXPECT_EQ(LastEvent(transcript), "closed");
  EXPECT_EQ(CountOf(transcript, "-> execute:"),
            c.fault == std::wstring(L"bad-status:execute") ? 1u : 0u);
}

const FaultCase kFaults[] = {
    {"Erase", L"erase-fails", L"It failed in erase of the flash memory."},
    {"Programming", L"bad-status:write-flash@2",
     L"It failed in the data transfer to the flash memory."},
    {"ReadBackOneBit", L"flip-bit:1500", L"It failed in verify with the flash memory."},
    {"Execute", L"bad-status:execute", L"The update execution failed."},
};

INSTANTIATE_TEST_SUITE_P(Faults, UpdateFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateThroughTheWindow, ClosingTheWindowDuringTheEraseWaitEndsTheProgram) {
  Start({L"--probe", L"0", L"--fault", L"erase-never-ends"});
  UpdateConfirmed(WriteFirmware(srecord_writer::File(0x00020000, srecord_writer::Pattern(600))));
  HWND progress = ::GetDlgItem(w_, IDC_PROGRESS);
  ASSERT_TRUE(e2e::WaitUntil([&] { return ::SendMessageW(progress, PBM_GETPOS, 0, 0) >= 4; }))
      << "the erase polls did not advance the bar";

  ::PostMessageW(w_, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(app_.WaitForExit(e2e::kExitWaitMs)) << "the program did not end";

  const std::string transcript = StopEmulatorAndReadTranscript();
  EXPECT_EQ(CountOf(transcript, "-> erase:"), 1u);
  EXPECT_EQ(LastEvent(transcript), "closed");
  EXPECT_EQ(CountOf(transcript, "-- opened"), CountOf(transcript, "-- closed"));
}

TEST_F(UpdateThroughTheWindow, NoInTheConfirmationDialogReportsAFailedUpdate) {
  Start({L"--probe", L"0", L"--erase-ms", kQuickEraseMs});
  UpdateConfirmed(WriteFirmware(srecord_writer::File(0x00020000, srecord_writer::Pattern(600))));

  HWND confirm = e2e::WaitForDialog(app_.pid(), kProductName, w_, 4 * e2e::kWindowWaitMs);
  ASSERT_NE(confirm, nullptr) << "no confirmation dialog";
  EXPECT_EQ(e2e::Text(confirm), kProductName);
  EXPECT_EQ(e2e::ItemText(confirm, IDC_MESSAGE_TEXT),
            L"Did the LED display become like a red frame?");
  EXPECT_EQ(e2e::ItemText(confirm, IDOK), L"YES");
  EXPECT_EQ(e2e::ItemText(confirm, IDCANCEL), L"NO");
  e2e::PressKey(::GetDlgItem(confirm, IDOK), VK_ESCAPE);
  ::Sleep(e2e::kSettleMs);
  ASSERT_TRUE(::IsWindowVisible(confirm)) << "Escape answered the confirmation dialog";
  EXPECT_TRUE(e2e::NoMessageBox(app_.pid()));

  ::PostMessageW(::GetDlgItem(confirm, IDCANCEL), BM_CLICK, 0, 0);
  MessageBoxInfo reset = NextBox();
  EXPECT_EQ(reset.text, L"Please push Reset SW of Velkoro.");
  ASSERT_TRUE(e2e::Answer(reset, IDOK));
  MessageBoxInfo failed = NextBox();
  EXPECT_EQ(failed.caption, L"ERROR");
  EXPECT_EQ(failed.text, L"Updating Firmware of Velkoro failed.");
  ASSERT_TRUE(e2e::Answer(failed, IDOK));
  EXPECT_TRUE(e2e::WaitUntil([&] { return Idle(); }));
}

}  // namespace
