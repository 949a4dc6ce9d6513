// Files dropped on the real operator window: one short path replaces the
// file name and nothing else, whatever the operator typed into either box;
// two files, an over-long path or a drop while a procedure runs change
// nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/e2e_common.h"
#include "tests/e2e/gui_driver.h"
#include "tests/support/window_checks.h"

namespace {

const std::wstring kTypedFile = L"C:\\typed.saf";
const std::wstring kTypedSerial = L"SN-TYPED-7";

struct DropCase {
  const char* name;
  std::vector<std::wstring> paths;
  bool taken;
};

class DropOnTheWindow : public e2e::WindowTest {
 protected:
  void TypeIntoBoth() {
    e2e::SetItemText(w_, IDC_FILE_NAME, kTypedFile);
    e2e::SetItemText(w_, IDC_SERIAL_NO, kTypedSerial);
  }
  // The file name the box shows once the drop has been handled.
  std::wstring FileNameAfter(const std::wstring& expected) {
    e2e::WaitUntil([&] { return e2e::ItemText(w_, IDC_FILE_NAME) == expected; }, e2e::kSettleMs);
    ::Sleep(e2e::kSettleMs);
    return e2e::ItemText(w_, IDC_FILE_NAME);
  }
};

TEST_F(DropOnTheWindow, ReplacesOnlyTheFileNameAndOnlyWhenOneShortPathIsTaken) {
  Start({L"--probe", L"0", L"--fault", L"no-reply:read-serial"});
  const std::wstring at256 = L"C:\\" + std::wstring(253, L'a');
  const DropCase cases[] = {
      {"one file", {L"C:\\dropped\\probe.saf"}, true},
      {"a path of 256 characters", {at256}, true},
      {"a path of 257 characters", {at256 + L"b"}, false},
      {"two files", {L"C:\\one.saf", L"C:\\two.saf"}, false},
  };
  for (const DropCase& c : cases) {
    TypeIntoBoth();
    ASSERT_TRUE(e2e::DropFiles(app_.pid(), w_, c.paths)) << c.name;
    EXPECT_EQ(FileNameAfter(c.taken ? c.paths[0] : kTypedFile), c.taken ? c.paths[0] : kTypedFile)
        << c.name;
    EXPECT_EQ(e2e::ItemText(w_, IDC_SERIAL_NO), kTypedSerial) << c.name;
    EXPECT_TRUE(e2e::NoMessageBox(app_.pid())) << c.name;
  }

  // While READ waits for a reply that never comes, a drop is refused.
  TypeIntoBoth();
  e2e::Click(w_, IDC_READ);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::AllOperatorControls(w_, false); }));
  ASSERT_TRUE(e2e::DropFiles(app_.pid(), w_, {L"C:\\while-busy.saf"}));
  e2e::MessageBoxInfo failure;
  ASSERT_TRUE(e2e::WaitForMessageBox(app_.pid(), failure));
  EXPECT_EQ(failure.text, L"The USB data reception failed.");
  ASSERT_TRUE(e2e::Answer(failure, IDOK));
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::IsIdle(w_, app_.pid()); }));
  EXPECT_EQ(FileNameAfter(kTypedFile), kTypedFile) << "a drop while busy was taken";
  EXPECT_EQ(e2e::ItemText(w_, IDC_SERIAL_NO), kTypedSerial);
}

}  // namespace
