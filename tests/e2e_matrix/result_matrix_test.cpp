// Every result code the emulator can cause, provoked through the real
// operator window: each row ends with its one message, the window idle, the
// operator's text as the procedure leaves it, and as many closes of the probe
// as opens in the emulator's transcript. Code 5 (a failed close) cannot
// happen on a pipe and is left to the native tests.
//
// Each row prints how long its message took after the operator's last
// click; the figures are for reading, not judged.
//
// Environment as for the other end-to-end tests: VELKORO_APP,
// VELKORO_EMULATOR, VELKORO_E2E_OUT.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/e2e_common.h"
#include "tests/e2e/gui_driver.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/test_files.h"
#include "tests/support/window_checks.h"

namespace {

namespace sw = srecord_writer;
using e2e::MessageBoxInfo;

enum class Action { kRead, kWrite, kUpdate, kUpdateAnsweredNo };
enum class File { kNone, kMissing, kGood, kSpanTooLarge, kNotSRecord, kShortRecord, kHuge };

struct Row {
  const char* name;
  int code;
  Action action;
  std::vector<std::wstring> emulator;  // empty: no probe attached
  File file;
  const wchar_t* serial;  // typed into the serial-number box
  bool asks;              // the procedure asks its question before it fails
  const wchar_t* message;
};

const std::wstring kTypedFileLeaf = L"matrix.saf";
const wchar_t kTooOldForSerial[] =
    L"The firmware version of Velkoro is 2.2 or less.\n\r"
    L"Please update the firmware version to 2.2 or more.";
const wchar_t kTooOldForUpdate[] =
    L"The firmware version of Velkoro is 1.0 or less.\n\r"
    L"Please update the firmware version to 1.1.";
const wchar_t kReceptionFailed[] = L"The USB data reception failed.";
// A file of 2 GiB; sparse, so it costs no disk.
constexpr LONGLONG kHugeFileBytes = LONGLONG{2} << 30;

std::vector<std::wstring> Probe(std::vector<std::wstring> more = {}) {
  std::vector<std::wstring> args = {L"--probe", L"0", L"--erase-ms", L"700"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::vector<std::wstring> Fault(const wchar_t* fault) {
  return Probe({L"--fault", fault});
}

const std::wstring kSerial33(33, L'S');

const Row kRows[] = {
    {"NoProbe",
     1,
     Action::kRead,
     {},
     File::kNone,
     L"SN0100",
     false,
     L"It failed in the connection with USB."},
    {"TwoProbes", 2, Action::kRead, Probe({L"--probe", L"1"}), File::kNone, L"SN0100", false,
     L"Two or more Velkoro is connected."},
    {"ProbeStopsTakingRequests", 3, Action::kRead, Fault(L"stops-taking:read-version"), File::kNone,
     L"SN0100", false, L"The USB data transmission failed."},
    {"NoReplyWhileProgramming", 4, Action::kUpdate, Fault(L"no-reply:write-flash@2"), File::kGood,
     L"SN0100", true, kReceptionFailed},
    {"NoReplyWhileVerifying", 4, Action::kUpdate, Fault(L"no-reply:read-flash@1"), File::kGood,
     L"SN0100", true, kReceptionFailed},
    {"ProbeVanishesAfterTheEraseRequest", 4, Action::kUpdate, Fault(L"vanish:erase"), File::kGood,
     L"SN0100", true, kReceptionFailed},
    {"VersionReplyEchoesWrong", 6, Action::kRead, Fault(L"wrong-echo:read-version"), File::kNone,
     L"SN0100", false, L"It failed in reading the version."},
    {"SerialReadBackTooLong", 7, Action::kRead, Probe({L"--serial", kSerial33}), File::kNone,
     L"SN0100", false, L"The Serial No. exceeds 32 characters."},
    {"FirmwareTooOldForSerial", 8, Action::kRead, Probe({L"--version", L"0x21"}), File::kNone,
     L"SN0100", false, kTooOldForSerial},
    {"SerialTypedNotAscii", 9, Action::kWrite, Probe(), File::kNone, L"SN\u00e9100", false,
     L"There is no character of the Serial No. in ASCII(0x0020-0x007E)."},
    {"SerialReadBackNotAscii", 9, Action::kRead, Probe({L"--serial", L"SN\u00e9100"}), File::kNone,
     L"SN0100", false, L"There is no character of the Serial No. in ASCII(0x0020-0x007E)."},
    {"SerialReplyEchoesWrong", 10, Action::kRead, Fault(L"wrong-echo:read-serial"), File::kNone,
     L"SN0100", false, L"It failed in reading the Serial No.."},
    {"SerialReadBackDiffers", 11, Action::kWrite, Fault(L"serial-case"), File::kNone, L"SNabc1",
     true, L"It failed in the verify of Serial No.."},
    {"SerialWriteNotAcknowledged", 12, Action::kWrite, Fault(L"bad-status:write-serial"),
     File::kNone, L"SN0100", true, L"It failed in writing the Serial No.."},
    {"NoSuchFile", 13, Action::kUpdate, Probe(), File::kMissing, L"SN0100", false,
     L"There is no specified file."},
    {"SpanOver640KiB", 14, Action::kUpdate, Probe(), File::kSpanTooLarge, L"SN0100", false,
     L"The final address of the updated firmware exceeds 640Kbyte from the offset."},
    {"FileOf2GiB", 14, Action::kUpdate, Probe(), File::kHuge, L"SN0100", false,
     L"The final address of the updated firmware exceeds 640Kbyte from the offset."},
    {"NotSRecordText", 15, Action::kUpdate, Probe(), File::kNotSRecord, L"SN0100", false,
     L"The content of the file is not S record format."},
    {"DataRecordTooShortForItsAddress", 15, Action::kUpdate, Probe(), File::kShortRecord, L"SN0100",
     false, L"The content of the file is not S record format."},
    {"EraseFails", 16, Action::kUpdate, Fault(L"erase-fails"), File::kGood, L"SN0100", true,
     L"It failed in erase of the flash memory."},
    {"ProgrammingRefused", 17, Action::kUpdate, Fault(L"bad-status:write-flash@2"), File::kGood,
     L"SN0100", true, L"It failed in the data transfer to the flash memory."},
    {"ReadBackEchoesWrong", 18, Action::kUpdate, Fault(L"wrong-echo:read-flash@1"), File::kGood,
     L"SN0100", true, L"It failed in the data reading from the flash memory."},
    {"ReadBackDiffers", 19, Action::kUpdate, Fault(L"flip-bit:1500"), File::kGood, L"SN0100", true,
     L"It failed in verify with the flash memory."},
    {"ExecuteRefused", 20, Action::kUpdate, Fault(L"bad-status:execute"), File::kGood, L"SN0100",
     true, L"The update execution failed."},
    {"LedCheckAnsweredNo", 21, Action::kUpdateAnsweredNo, Probe(), File::kGood, L"SN0100", true,
     L"Updating Firmware of Velkoro failed."},
    {"FirmwareTooOldForUpdate", 22, Action::kUpdate, Probe({L"--version", L"0x10"}), File::kGood,
     L"SN0100", false, kTooOldForUpdate},
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name << " (result code " << row.code << ")";
}

bool WriteText(const std::wstring& path, const std::string& text) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

bool WriteHugeFile(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string head = sw::File(0x00020000, sw::Pattern(64));
  DWORD written = 0;
  LARGE_INTEGER end;
  end.QuadPart = kHugeFileBytes;
  const bool ok =
      ::WriteFile(file, head.data(), static_cast<DWORD>(head.size()), &written, nullptr) &&
      ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
  ::CloseHandle(file);
  return ok;
}

// The file name the row types, with the file written as the row needs it.
std::wstring PrepareFile(File kind, const std::wstring& path) {
  // Three units and the filler.
  const std::string good = sw::File(0x00020000, sw::Pattern(2600));
  bool ok = true;
  switch (kind) {
    case File::kNone:
      return L"";
    case File::kMissing:
      ::DeleteFileW(path.c_str());
      return path;
    case File::kGood:
      ok = WriteText(path, good);
      break;
    case File::kSpanTooLarge:
      ok = WriteText(path, sw::DataRecord(0x10000, sw::Pattern(16)) + "\n" +
                               sw::DataRecord(0x10000 + 640 * 1024 - 15, sw::Pattern(16)) + "\n");
      break;
    case File::kNotSRecord:
      ok = WriteText(path, "This is a text file, not firmware.\r\n");
      break;
    case File::kShortRecord:
      ok = WriteText(path, "S101FE\n" + good);
      break;
    case File::kHuge:
      ok = WriteHugeFile(path);
      break;
  }
  EXPECT_TRUE(ok) << "cannot write the firmware file";
  return path;
}

class ResultCode : public e2e::WindowTest, public ::testing::WithParamInterface<Row> {
 protected:
  void TearDown() override {
    e2e::WindowTest::TearDown();
    if (!file_.empty()) ::DeleteFileW(file_.c_str());
  }

  MessageBoxInfo NextBox() {
    MessageBoxInfo box;
    EXPECT_TRUE(e2e::WaitForMessageBox(app_.pid(), box, kBoxWaitMs)) << "no message box appeared";
    return box;
  }

  // Clicks the row's button and answers what comes before the failure; the
  // tick count of the operator's last click.
  ULONGLONG Provoke(const Row& row) {
    const int button = row.action == Action::kRead    ? IDC_READ
                       : row.action == Action::kWrite ? IDC_WRITE
                                                      : IDC_UPDATE;
    e2e::Click(w_, button);
    ULONGLONG clicked = ::GetTickCount64();
    if (!row.asks) return clicked;
    MessageBoxInfo question = NextBox();
    EXPECT_EQ(question.buttons, (std::vector<int>{IDOK, IDCANCEL})) << "not the question";
    EXPECT_TRUE(e2e::Answer(question, IDOK));
    clicked = ::GetTickCount64();
    if (row.action != Action::kUpdateAnsweredNo) return clicked;
    HWND confirm = e2e::WaitForDialog(app_.pid(), e2e::kProductName, w_, kBoxWaitMs);
    EXPECT_NE(confirm, nullptr) << "no confirmation dialog";
    ::PostMessageW(::GetDlgItem(confirm, IDCANCEL), BM_CLICK, 0, 0);
    MessageBoxInfo reset = NextBox();
    EXPECT_EQ(reset.text, L"Please push Reset SW of Velkoro.");
    EXPECT_TRUE(e2e::Answer(reset, IDOK));
    return ::GetTickCount64();
  }

  // An update's failure may come after a whole erase, program and verify.
  static constexpr DWORD kBoxWaitMs = 4 * e2e::kWindowWaitMs;
  std::wstring file_;
};

TEST_P(ResultCode, EndsWithItsMessageTheTextKeptAndTheProbeClosed) {
  const Row& row = GetParam();
  Start(row.emulator, !row.emulator.empty());
  file_ = row.file == File::kNone ? L"" : e2e::OutFile(e2e::TestName() + L"-" + kTypedFileLeaf);
  const std::wstring typedFile = PrepareFile(row.file, file_);
  e2e::SetItemText(w_, IDC_FILE_NAME, typedFile);
  e2e::SetItemText(w_, IDC_SERIAL_NO, row.serial);

  const ULONGLONG clicked = Provoke(row);
  MessageBoxInfo failure = NextBox();
  const ULONGLONG shown = ::GetTickCount64();
  std::printf("result code %d, %s: message %llu ms after the last click\n", row.code, row.name,
              static_cast<unsigned long long>(shown - clicked));
  EXPECT_EQ(failure.caption, L"ERROR");
  EXPECT_EQ(failure.text, row.message);
  EXPECT_EQ(failure.buttons, std::vector<int>{IDOK});
  EXPECT_TRUE(failure.hasIcon);
  ASSERT_TRUE(e2e::Answer(failure, IDOK));
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::IsIdle(w_, app_.pid()); }))
      << "the window did not become idle";
  ::Sleep(e2e::kSettleMs);
  EXPECT_TRUE(e2e::NoMessageBox(app_.pid())) << "a further message followed";
  EXPECT_EQ(e2e::ItemText(w_, IDC_SERIAL_NO), row.serial);
  EXPECT_EQ(e2e::ItemText(w_, IDC_FILE_NAME), typedFile);

  if (row.emulator.empty()) return;
  emulator_.Stop();
  const std::string transcript = test_files::ReadWholeFile(transcript_);
  EXPECT_EQ(e2e::CountOf(transcript, "-- opened"), e2e::CountOf(transcript, "-- closed"))
      << transcript;
}

INSTANTIATE_TEST_SUITE_P(Matrix, ResultCode, ::testing::ValuesIn(kRows), [](const auto& info) {
  return "Code" + std::to_string(info.param.code) + "_" + std::string(info.param.name);
});

}  // namespace
