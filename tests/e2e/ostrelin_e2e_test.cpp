// End-to-end tests of the real Ostrelin.exe against the emulator program,
// driven by window messages from this process under the same wineserver.
//
// Environment: VELKORO_APP (Ostrelin.exe), VELKORO_EMULATOR
// (VelkoroEmulator.exe), VELKORO_E2E_OUT (folder for screenshots, emulator
// transcripts and logs). Unix paths are taken as Wine's Z: drive.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "e2e_common.h"
#include "res/resource.h"
#include "tests/e2e/gui_driver.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/test_files.h"

namespace {

using e2e::kOperatorControls;
using e2e::kProductName;
using e2e::MessageBoxInfo;
using e2e::Narrow;
using e2e::OutDir;
using e2e::OutFile;
using e2e::TestName;

const std::wstring kTitle = L"Velkoro Firmware/Serial No. Writer Ver. 1.0.0.0";
// The file type list of the open-file dialog.
constexpr int kFileTypeCombo = 0x0470;
// A short erase keeps the update quick; it still takes several polls.
const std::wstring kQuickEraseMs = L"1200";

class OstrelinWindow : public e2e::WindowTest {
 protected:
  bool AllOperatorControls(bool enabled) const {
    for (int id : kOperatorControls) {
      if (e2e::IsItemEnabled(w_, id) != enabled) return false;
    }
    return true;
  }

  bool WaitIdle() const {
    return e2e::WaitUntil(
        [&] { return AllOperatorControls(true) && e2e::NoMessageBox(app_.pid()); });
  }

  // The next message box, with its screenshot.
  MessageBoxInfo NextBox(const std::wstring& shot = L"") {
    MessageBoxInfo box;
    EXPECT_TRUE(e2e::WaitForMessageBox(app_.pid(), box)) << "no message box appeared";
    if (!shot.empty()) Shot(shot);
    return box;
  }

  void Shot(const std::wstring& name) {
    ::Sleep(e2e::kPaintSettleMs);
    e2e::SaveScreenshot(OutFile(name + L".bmp"));
  }
};

TEST_F(OstrelinWindow, OpensTitledIdleWithCountUpTicked) {
  Start({L"--probe", L"0"});
  EXPECT_EQ(e2e::Text(w_), kTitle);
  EXPECT_EQ(e2e::ItemText(w_, IDC_FILE_NAME), L"");
  EXPECT_EQ(e2e::ItemText(w_, IDC_SERIAL_NO), L"");
  EXPECT_TRUE(e2e::IsChecked(w_, IDC_COUNT_UP));
  EXPECT_FALSE(e2e::IsItemVisible(w_, IDC_PROGRESS));
  EXPECT_TRUE(AllOperatorControls(true));
  EXPECT_TRUE(e2e::NoMessageBox(app_.pid()));
  Shot(L"main-window");
}

TEST_F(OstrelinWindow, EscapeAndEnterLeaveItOpenTheCloseButtonEndsIt) {
  Start({L"--probe", L"0"});
  for (int box : {IDC_FILE_NAME, IDC_SERIAL_NO}) {
    e2e::PressKey(::GetDlgItem(w_, box), VK_ESCAPE);
    e2e::PressKey(::GetDlgItem(w_, box), VK_RETURN);
  }
  e2e::PressKey(w_, VK_ESCAPE);
  EXPECT_FALSE(app_.WaitForExit(e2e::kSettleMs)) << "a key closed the window";
  EXPECT_TRUE(::IsWindowVisible(w_));
  EXPECT_TRUE(e2e::NoMessageBox(app_.pid()));

  ::PostMessageW(w_, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(app_.WaitForExit(e2e::kExitWaitMs)) << "the close button did not end the program";
}

TEST_F(OstrelinWindow, TypingStopsAtTheBoxLimits) {
  Start({L"--probe", L"0"});
  struct Row {
    int id;
    size_t limit;
  };
  for (const Row& row : {Row{IDC_SERIAL_NO, 32}, Row{IDC_FILE_NAME, 256}}) {
    HWND box = ::GetDlgItem(w_, row.id);
    e2e::Type(box, std::wstring(row.limit + 8, L'7'));
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(box).size() >= row.limit; }));
    ::Sleep(e2e::kSettleMs);
    EXPECT_EQ(e2e::Text(box).size(), row.limit) << "box " << row.id;
  }
}

// A text put in by other means than typing is refused at the pull with the
// framework's prompt; the member keeps the refused text, so WRITE then
// reports the over-long number.
TEST_F(OstrelinWindow, OverlongSerialNumberIsPromptedThenRefused) {
  Start({L"--probe", L"0", L"--serial", L"SN0001"});
  const std::wstring typed(33, L'A');
  e2e::SetItemText(w_, IDC_SERIAL_NO, typed);
  e2e::Click(w_, IDC_WRITE);

  MessageBoxInfo prompt = NextBox();
  EXPECT_EQ(prompt.text, L"Please enter no more than 32 characters.");
  EXPECT_TRUE(prompt.hasIcon);
  EXPECT_EQ(prompt.buttons, std::vector<int>{IDOK});
  ASSERT_TRUE(e2e::Answer(prompt, IDOK));

  MessageBoxInfo refused = NextBox();
  EXPECT_EQ(refused.caption, L"ERROR");
  EXPECT_EQ(refused.text, L"The Serial No. exceeds 32 characters.");
  ASSERT_TRUE(e2e::Answer(refused, IDOK));
  EXPECT_TRUE(WaitIdle());
  EXPECT_EQ(e2e::ItemText(w_, IDC_SERIAL_NO), typed);
}

TEST_F(OstrelinWindow, OverlongFileNameIsPromptedAndStopsTheExchange) {
  Start({L"--probe", L"0", L"--serial", L"SN0001"});
  e2e::SetItemText(w_, IDC_FILE_NAME, std::wstring(257, L'f'));
  e2e::SetItemText(w_, IDC_SERIAL_NO, L"typed");
  e2e::Click(w_, IDC_READ);

  MessageBoxInfo prompt = NextBox();
  EXPECT_EQ(prompt.text, L"Please enter no more than 256 characters.");
  ASSERT_TRUE(e2e::Answer(prompt, IDOK));
  // READ goes on with what was pulled before the refusal and shows the probe's number.
  EXPECT_TRUE(WaitIdle());
  EXPECT_EQ(e2e::ItemText(w_, IDC_SERIAL_NO), L"SN0001");
}

TEST_F(OstrelinWindow, ReadShowsTheProbesNumberWithoutAMessage) {
  Start({L"--probe", L"0", L"--serial", L"SN0009"});
  e2e::SetItemText(w_, IDC_SERIAL_NO, L"typed");
  e2e::Click(w_, IDC_READ);
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::ItemText(w_, IDC_SERIAL_NO) == L"SN0009"; }));
  EXPECT_TRUE(WaitIdle());
  ::Sleep(e2e::kSettleMs);
  EXPECT_TRUE(e2e::NoMessageBox(app_.pid()));
  // Count Up Mode is on, and READ never advances the number.
  EXPECT_EQ(e2e::ItemText(w_, IDC_SERIAL_NO), L"SN0009");
  Shot(L"read-done");
}

struct WriteCase {
  const char* name;
  bool countUp;
  const wchar_t* typed;
  const wchar_t* shownAfter;
};

class WriteThroughTheWindow : public OstrelinWindow,
                              public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteThroughTheWindow, AsksWritesVerifiesAndCountsUp) {
  const WriteCase& c = GetParam();
  Start({L"--probe", L"0", L"--serial", L"OLD"});
  if (!c.countUp) e2e::Click(w_, IDC_COUNT_UP);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::IsChecked(w_, IDC_COUNT_UP) == c.countUp; }));
  e2e::SetItemText(w_, IDC_SERIAL_NO, c.typed);
  e2e::Click(w_, IDC_WRITE);

  MessageBoxInfo question = NextBox(c.countUp ? L"write-question" : L"");
  EXPECT_EQ(question.caption, kProductName);
  EXPECT_EQ(question.text, L"May I write Serial No. of Velkoro?");
  EXPECT_EQ(question.buttons, (std::vector<int>{IDOK, IDCANCEL}));
  EXPECT_FALSE(question.hasIcon);
  EXPECT_TRUE(AllOperatorControls(false)) << "controls must be disabled while WRITE runs";
  ASSERT_TRUE(e2e::Answer(question, IDOK));

  MessageBoxInfo done = NextBox(c.countUp ? L"write-succeeded" : L"");
  EXPECT_EQ(done.caption, kProductName);
  EXPECT_EQ(done.text, L"Writing Serial No. of Velkoro succeeded.");
  EXPECT_EQ(done.buttons, std::vector<int>{IDOK});
  ASSERT_TRUE(e2e::Answer(done, IDOK));
  EXPECT_TRUE(WaitIdle());
  EXPECT_EQ(e2e::ItemText(w_, IDC_SERIAL_NO), c.shownAfter);
  if (c.countUp) Shot(L"write-counted-up");

  // The probe holds what was written, not the advanced number.
  e2e::Click(w_, IDC_READ);
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::ItemText(w_, IDC_SERIAL_NO) == c.typed; }));
  EXPECT_TRUE(WaitIdle());
}

INSTANTIATE_TEST_SUITE_P(Modes, WriteThroughTheWindow,
                         ::testing::Values(WriteCase{"CountUp", true, L"SN0009", L"SN0010"},
                                           WriteCase{"CountUpOff", false, L"SN0009", L"SN0009"},
                                           WriteCase{"CountUpCarries", true, L"LOT-A 0999",
                                                     L"LOT-A 1000"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
  const char* name;
  bool emulator;
  std::vector<std::wstring> args;
  int button;
  const wchar_t* text;
};

class FailureThroughTheWindow : public OstrelinWindow,
                                public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureThroughTheWindow, ShowsItsOneMessageAndRestoresTheText) {
  const FailureCase& c = GetParam();
  Start(c.args, c.emulator);
  e2e::SetItemText(w_, IDC_SERIAL_NO, L"SN0100");
  e2e::Click(w_, c.button);
  if (c.button == IDC_WRITE) {
    MessageBoxInfo question = NextBox();
    ASSERT_EQ(question.text, L"May I write Serial No. of Velkoro?");
    ASSERT_TRUE(e2e::Answer(question, IDOK));
  }
  MessageBoxInfo failure = NextBox(std::wstring(L"failure-") + TestName());
  EXPECT_EQ(failure.caption, L"ERROR");
  EXPECT_EQ(failure.text, c.text);
  EXPECT_EQ(failure.buttons, std::vector<int>{IDOK});
  EXPECT_TRUE(failure.hasIcon);
  ASSERT_TRUE(e2e::Answer(failure, IDOK));
  EXPECT_TRUE(WaitIdle());
  EXPECT_EQ(e2e::ItemText(w_, IDC_SERIAL_NO), L"SN0100");
}

const wchar_t kTooOld[] =
    L"The firmware version of Velkoro is 2.2 or less.\n\r"
    L"Please update the firmware version to 2.2 or more.";

INSTANTIATE_TEST_SUITE_P(
    Probes, FailureThroughTheWindow,
    ::testing::Values(
        FailureCase{"NoProbeRead", false, {}, IDC_READ, L"It failed in the connection with USB."},
        FailureCase{"NoProbeWrite", false, {}, IDC_WRITE, L"It failed in the connection with USB."},
        FailureCase{"TwoProbesRead",
                    true,
                    {L"--probe", L"0", L"--probe", L"1"},
                    IDC_READ,
                    L"Two or more Velkoro is connected."},
        FailureCase{"TwoProbesWrite",
                    true,
                    {L"--probe", L"0", L"--probe", L"1"},
                    IDC_WRITE,
                    L"Two or more Velkoro is connected."},
        FailureCase{
            "Firmware21Read", true, {L"--probe", L"0", L"--version", L"0x21"}, IDC_READ, kTooOld},
        FailureCase{"Firmware21Write",
                    true,
                    {L"--probe", L"0", L"--version", L"0x21"},
                    IDC_WRITE,
                    kTooOld}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OstrelinWindow, ControlsStayDisabledWhileAnExchangeIsSlow) {
  Start({L"--probe", L"0", L"--fault", L"no-reply:read-serial"});
  e2e::SetItemText(w_, IDC_SERIAL_NO, L"SN0100");
  e2e::Click(w_, IDC_READ);
  ASSERT_TRUE(e2e::WaitUntil([&] { return AllOperatorControls(false); }));
  // The probe does not answer for the whole transfer time-out; look again
  // well inside it.
  ::Sleep(e2e::kSettleMs);
  EXPECT_TRUE(AllOperatorControls(false));
  EXPECT_FALSE(e2e::IsItemVisible(w_, IDC_PROGRESS));
  Shot(L"busy");

  MessageBoxInfo failure = NextBox();
  EXPECT_EQ(failure.text, L"The USB data reception failed.");
  ASSERT_TRUE(e2e::Answer(failure, IDOK));
  EXPECT_TRUE(WaitIdle());
  EXPECT_FALSE(e2e::IsItemVisible(w_, IDC_PROGRESS));
}

TEST_F(OstrelinWindow, BrowseOffersTheSRecordFilesAndCancelKeepsTheBoxes) {
  Start({L"--probe", L"0"});
  e2e::SetItemText(w_, IDC_FILE_NAME, L"C:\\typed.saf");
  e2e::SetItemText(w_, IDC_SERIAL_NO, L"typed");
  e2e::Click(w_, IDC_BROWSE);
  HWND dialog = e2e::WaitForDialog(app_.pid(), L"Select S Record File", w_, e2e::kWindowWaitMs);
  ASSERT_NE(dialog, nullptr) << "no open-file dialog titled \"Select S Record File\"";
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::ItemText(dialog, IDOK) == L"OK"; }))
      << "default button reads \"" << Narrow(e2e::ItemText(dialog, IDOK)) << "\"";
  Shot(L"browse");

  HWND types = ::GetDlgItem(dialog, kFileTypeCombo);
  ASSERT_NE(types, nullptr);
  std::vector<std::wstring> entries;
  const LRESULT count = ::SendMessageW(types, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[128] = {};
    if (::SendMessageW(types, CB_GETLBTEXTLEN, i, 0) < 128) {
      ::SendMessageW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    }
    entries.push_back(text);
  }
  EXPECT_EQ(entries, (std::vector<std::wstring>{L"S Record File(*.saf)", L"S Record File(*.sa)",
                                                L"All Files(*.*)"}));
  EXPECT_EQ(::SendMessageW(types, CB_GETCURSEL, 0, 0), 0);

  ::PostMessageW(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  EXPECT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(dialog); }));
  EXPECT_TRUE(WaitIdle());
  EXPECT_EQ(e2e::ItemText(w_, IDC_FILE_NAME), L"C:\\typed.saf");
  EXPECT_EQ(e2e::ItemText(w_, IDC_SERIAL_NO), L"typed");
}

void WriteFirmwareFile(const std::wstring& file) {
  std::ofstream out(std::filesystem::path(file), std::ios::binary);
  out << srecord_writer::File(0x00010000, srecord_writer::Pattern(512));
}

// How the operator leaves the confirmation dialog, and what the update then reports.
struct ConfirmCase {
  const char* name;
  bool byYes;  // YES; otherwise the dialog's close button
  const wchar_t* finalText;
  const wchar_t* finalCaption;
};

class UpdateThroughTheWindow : public OstrelinWindow,
                               public ::testing::WithParamInterface<ConfirmCase> {};

// The whole update through the window, to its confirmation dialog and the
// messages after it.
TEST_P(UpdateThroughTheWindow, EndsWithTheConfirmationDialog) {
  const ConfirmCase& c = GetParam();
  Start({L"--probe", L"0", L"--erase-ms", kQuickEraseMs});
  const std::wstring file = OutFile(L"firmware.saf");
  WriteFirmwareFile(file);
  e2e::SetItemText(w_, IDC_FILE_NAME, file);
  e2e::Click(w_, IDC_UPDATE);

  MessageBoxInfo question = NextBox(c.byYes ? L"update-question" : L"");
  EXPECT_EQ(question.caption, kProductName);
  EXPECT_EQ(question.text, L"May I update Firmware Ver. 2.2 of Velkoro?");
  EXPECT_EQ(question.buttons, (std::vector<int>{IDOK, IDCANCEL}));
  ASSERT_TRUE(e2e::Answer(question, IDOK));

  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::IsItemVisible(w_, IDC_PROGRESS); }));
  EXPECT_TRUE(AllOperatorControls(false));
  e2e::WaitUntil(
      [&] { return ::SendMessageW(::GetDlgItem(w_, IDC_PROGRESS), PBM_GETPOS, 0, 0) > 2; });
  if (c.byYes) Shot(L"update-progress");

  // Its title is the product name without the version.
  HWND confirm = e2e::WaitForDialog(app_.pid(), kProductName, w_, 2 * e2e::kWindowWaitMs);
  ASSERT_NE(confirm, nullptr) << "no confirmation dialog";
  if (c.byYes) Shot(L"confirmation-dialog");
  EXPECT_EQ(e2e::ItemText(confirm, IDC_MESSAGE_TEXT),
            L"Did the LED display become like a red frame?");
  EXPECT_EQ(e2e::ItemText(confirm, IDOK), L"YES");
  EXPECT_EQ(e2e::ItemText(confirm, IDCANCEL), L"NO");
  EXPECT_FALSE(::IsWindowEnabled(w_)) << "the operator window must be disabled under the dialog";
  e2e::PressKey(::GetDlgItem(confirm, IDOK), VK_ESCAPE);
  ::Sleep(e2e::kSettleMs);
  ASSERT_TRUE(::IsWindowVisible(confirm)) << "Escape answered the confirmation dialog";
  if (c.byYes) {
    ::PostMessageW(::GetDlgItem(confirm, IDOK), BM_CLICK, 0, 0);
  } else {
    ::PostMessageW(confirm, WM_SYSCOMMAND, SC_CLOSE, 0);
  }

  MessageBoxInfo reset = NextBox();
  EXPECT_EQ(reset.text, L"Please push Reset SW of Velkoro.");
  ASSERT_TRUE(e2e::Answer(reset, IDOK));
  MessageBoxInfo outcome = NextBox(c.byYes ? L"update-succeeded" : L"");
  EXPECT_EQ(outcome.text, c.finalText);
  EXPECT_EQ(outcome.caption, c.finalCaption);
  ASSERT_TRUE(e2e::Answer(outcome, IDOK));
  EXPECT_TRUE(WaitIdle());
  EXPECT_FALSE(e2e::IsItemVisible(w_, IDC_PROGRESS));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, UpdateThroughTheWindow,
    ::testing::Values(ConfirmCase{"Yes", true, L"Updating Firmware of Velkoro succeeded.",
                                  e2e::kProductName},
                      ConfirmCase{"CloseButtonCountsAsNo", false,
                                  L"Updating Firmware of Velkoro failed.", L"ERROR"}),
    [](const auto& info) { return std::string(info.param.name); });

// Closing the window while the probe erases ends the program at once: the
// close button stays available while every operator control is disabled.
// (Whether the window or the system closed the probe's handle cannot be told
// apart from outside; the emulator sees the same close.)
TEST_F(OstrelinWindow, ClosingDuringAnUpdateEndsTheProgramAtOnce) {
  Start({L"--probe", L"0", L"--erase-ms", L"60000"});
  const std::wstring file = OutFile(L"firmware-close.saf");
  WriteFirmwareFile(file);
  e2e::SetItemText(w_, IDC_FILE_NAME, file);
  e2e::Click(w_, IDC_UPDATE);
  MessageBoxInfo question = NextBox();
  ASSERT_TRUE(e2e::Answer(question, IDOK));
  ASSERT_TRUE(e2e::WaitUntil([&] {
    return test_files::ReadWholeFile(transcript_).find("-> erase") != std::string::npos;
  }));
  ASSERT_TRUE(AllOperatorControls(false));

  ::PostMessageW(w_, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(app_.WaitForExit(e2e::kExitWaitMs)) << "closing did not end the program";
}

}  // namespace
