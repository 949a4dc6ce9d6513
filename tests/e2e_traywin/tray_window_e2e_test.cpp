// The tray window under Wine, driven from another process: one emulator
// serving a tray of probes, each row a case; the tiles are read with
// GetWindowText, the log and every probe's flash checked afterwards.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "common/probe_protocol.h"
#include "res/resource.h"
#include "tests/e2e/e2e_common.h"
#include "tests/e2e/gui_driver.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/support/csv_fields.h"
#include "tests/support/emulator_process.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/test_files.h"
#include "tests/support/tray_tiles.h"

namespace {

using e2e::Narrow;

// A tile reaches its state within this; a whole row within the test's cap.
constexpr DWORD kTileWaitMs = 60000;
constexpr DWORD kCloseWaitMs = 30000;
constexpr size_t kSmallImage = 16 * 1024;
constexpr size_t kLargeImage = 256 * 1024;
constexpr size_t kSerialColumn = 6, kPoolColumn = 12;

enum class During { kNothing, kUnplugAndBack, kClose, kSecondWindow, kStoreHeld };

// How long another program holds the log in the middle of a run: longer than
// the window waits for it, so its header tells, and two of its 5 s retries.
constexpr DWORD kStoreHeldMs = 10000;
constexpr DWORD kStoreRetryMs = 5000;

struct TrayWindowCase {
  const char* name;
  const wchar_t* emulator;  // a --fault after a --probe is that probe's own; --erase-ms 0 before
  size_t imageBytes;
  During during;
  int actOn;                       // the probe unplugged (kStoreHeld: plugged in while held)
  std::vector<std::string> tiles;  // each tile's text at the end, in slot order
  size_t written;                  // distinct numbers written in the log
};

const wchar_t kEight[] =
    L"--probe 0 --probe 1 --probe 2 --probe 3 --probe 4 --probe 5 --probe 6 --probe 7";
const std::string kEmpty = "Empty";
const std::string kErase = "FAIL 16: It failed in erase of the flash memory.";
// Its update done, its record refused: the number stays spent, the probe set aside.
const std::string kHeldAtRecord =
    "FAIL 74: Updating Firmware of Velkoro succeeded. The log could not record it: another "
    "program held it for 2 s.";

// clang-format off
const TrayWindowCase kCases[] = {
    {"EightAttachedAtOnce", kEight, kSmallImage, During::kNothing, 0,
     {"PASS", "PASS", "PASS", "PASS", "PASS", "PASS", "PASS", "PASS"}, 8},
    {"OneEraseFails",
     L"--probe 0 --probe 1 --probe 2 --probe 3 --fault erase-fails --probe 4 --probe 5 --probe 6 "
     L"--probe 7", kSmallImage, During::kNothing, 0,
     {"PASS", "PASS", "PASS", kErase, "PASS", "PASS", "PASS", "PASS"}, 7},
    {"RemovedMidUpdateThenAgain", L"--probe 0 --probe 1", kLargeImage, During::kUnplugAndBack, 1,
     {"PASS", "PASS", kEmpty, kEmpty, kEmpty, kEmpty, kEmpty, kEmpty}, 2},
    {"TwoWindowsAndAConsoleOnOneLog", L"--probe 0 --probe 1 --probe 2 --probe 3 --probe 4",
     kSmallImage, During::kSecondWindow, 0, {}, 5},
    {"StoreHeldMidRun", L"--probe 0 --probe 1", kFlashBytes, During::kStoreHeld, 1,
     {kHeldAtRecord, "PASS"}, 1},
    // A slow erase keeps every probe under way while the question is answered.
    {"ClosedWhileWorking", L"--erase-ms 3000 --probe 0 --probe 1 --probe 2 --probe 3", kFlashBytes,
     During::kClose,
     0, {}, 0},
};
// clang-format on

void PrintTo(const TrayWindowCase& c, std::ostream* os) {
  *os << c.name;
}

std::string Tile(HWND window, size_t slot) {
  return Narrow(tray_tiles::Tile(window, slot));
}

bool TileStarts(HWND window, size_t slot, const std::string& state) {
  return tray_tiles::TileStarts(window, slot, std::wstring(state.begin(), state.end()));
}

class TrayWindowE2eTest : public ::testing::TestWithParam<TrayWindowCase> {
 protected:
  void SetUp() override {
    dir_ = e2e::TestFolder();
    for (const wchar_t* file : {L"\\line.csv", L"\\line.job", L"\\flash.bin"}) {
      ::DeleteFileW((dir_ + file).c_str());
    }
  }
  void TearDown() override {
    for (e2e::App& app : apps_) app.Stop();
    emulator_.Stop();
  }
  std::wstring Cli() { return e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")); }
  HWND StartTray(e2e::App& app, const wchar_t* option) {
    EXPECT_TRUE(app.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_APP")),
                          {L"--job", dir_ + L"\\line.job", option}))
        << app.failure();
    return app.window();
  }
  // The written numbers of the log, each once.
  std::set<std::string> Written(size_t* records) {
    std::set<std::string> numbers;
    *records = 0;
    const std::string log = test_files::ReadWholeFile(dir_ + L"\\line.csv");
    for (size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
      const std::vector<std::string> fields = csv_test::CsvFields(log.substr(at, end - at));
      if (fields.size() > kPoolColumn && fields[kPoolColumn] == "written") {
        ++*records;
        numbers.insert(fields[kSerialColumn]);
      }
    }
    return numbers;
  }

  // The log held without sharing (as a spreadsheet does) once slot 0 is under
  // way: that slot records what it can, the probe pushed in meanwhile waits
  // untouched, the header says what failed; once let go the header clears
  // within a retry and the waiting probe is run.
  void HoldStoreMidRun(HWND tray, int plugged) {
    const size_t slot = static_cast<size_t>(plugged);
    ASSERT_TRUE(e2e::WaitUntil([&] { return TileStarts(tray, 0, "Updating"); }, kTileWaitMs))
        << Tile(tray, 0);
    HANDLE held = INVALID_HANDLE_VALUE;
    // The window opens the log only for a moment at a time.
    ASSERT_TRUE(e2e::WaitUntil([&] {
      held = ::CreateFileW((dir_ + L"\\line.csv").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
      return held != INVALID_HANDLE_VALUE;
    }));
    const ULONGLONG since = ::GetTickCount64();
    EXPECT_TRUE(emulator_.Cable("plug", plugged));
    const std::string notice = "The store " + Narrow(dir_) + "\\line.csv failed";
    EXPECT_TRUE(e2e::WaitUntil(
        [&] { return Narrow(e2e::ItemText(tray, IDC_TRAY_HEADER + 3)).rfind(notice, 0) == 0; },
        kStoreHeldMs))
        << Narrow(e2e::ItemText(tray, IDC_TRAY_HEADER + 3));
    EXPECT_TRUE(e2e::Has(Narrow(e2e::ItemText(tray, IDC_TRAY_HEADER + 3)),
                         "another program held it for 2 s"));
    EXPECT_TRUE(
        e2e::Has(Narrow(e2e::ItemText(tray, IDC_TRAY_HEADER + 3)), "Trying again every 5 s."));
    // Until it is let go, the probe pushed in is seen and left alone.
    while (::GetTickCount64() - since < kStoreHeldMs) {
      EXPECT_TRUE(TileStarts(tray, slot, "Empty") || TileStarts(tray, slot, "Attached"))
          << Tile(tray, slot);
      ::Sleep(e2e::kSettleMs);
    }
    EXPECT_TRUE(TileStarts(tray, slot, "Attached")) << Tile(tray, slot);
    ::CloseHandle(held);
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::ItemText(tray, IDC_TRAY_HEADER + 3).empty(); },
                               2 * kStoreRetryMs))
        << Narrow(e2e::ItemText(tray, IDC_TRAY_HEADER + 3));
  }

  std::wstring dir_;
  emulator_process::Emulator emulator_;
  e2e::App apps_[2];
};

TEST_P(TrayWindowE2eTest, TilesLogAndFlash) {
  const TrayWindowCase& c = GetParam();
  const std::vector<uint8_t> data = srecord_writer::Pattern(c.imageBytes, 0x37);
  std::ofstream((dir_ + L"\\image.saf").c_str(), std::ios::binary)
      << srecord_writer::File(0x00100000, data);
  ASSERT_EQ(
      cli_e2e::RunCli(Cli(),
                      {L"job", L"new", dir_ + L"\\line.job", L"--image", dir_ + L"\\image.saf",
                       L"--serials", L"SN0001-SN0099", L"--log", dir_ + L"\\line.csv", L"--steps",
                       L"update,write-serial", L"--led", L"skip"},
                      dir_)
          .status,
      0u);
  // Two windows of four slots each leave probe 4 to the console station.
  if (c.during == During::kSecondWindow) {
    std::ofstream((dir_ + L"\\line.job").c_str(), std::ios::app) << "slots = 4\r\n";
  }
  // A row's own --erase-ms comes later and wins.
  ASSERT_TRUE(emulator_.Start(L"--erase-ms 0 " + std::wstring(c.emulator) + L" --dump-flash \"" +
                              dir_ + L"\\flash.bin\""));
  // A probe pushed in only while the store is held.
  if (c.during == During::kStoreHeld) {
    ASSERT_TRUE(emulator_.Cable("unplug", c.actOn));
  }
  const HWND tray = StartTray(apps_[0], L"--tray");
  ASSERT_NE(tray, nullptr);
  size_t probes = 0;
  for (const wchar_t* at = c.emulator; (at = wcsstr(at, L"--probe")) != nullptr; ++at) ++probes;
  if (c.during == During::kUnplugAndBack) {
    const size_t slot = static_cast<size_t>(c.actOn);
    ASSERT_TRUE(e2e::WaitUntil([&] { return TileStarts(tray, slot, "Updating"); }, kTileWaitMs))
        << Tile(tray, slot);
    ASSERT_TRUE(emulator_.Cable("unplug", c.actOn));
    EXPECT_TRUE(e2e::WaitUntil([&] { return TileStarts(tray, slot, "FAIL"); }, kTileWaitMs))
        << Tile(tray, slot);
    EXPECT_TRUE(e2e::WaitUntil([&] { return TileStarts(tray, slot, "Empty"); }, kTileWaitMs))
        << Tile(tray, slot);
    ASSERT_TRUE(emulator_.Cable("plug", c.actOn));
  }
  if (c.during == During::kStoreHeld) HoldStoreMidRun(tray, c.actOn);
  if (c.during == During::kSecondWindow) {
    // A second window and a console station share the log and the probes.
    ASSERT_NE(StartTray(apps_[1], L"/tray"), nullptr);
    const cli_e2e::CliResult station = cli_e2e::RunCli(
        Cli(), {L"run", dir_ + L"\\line.job", L"--repeat", L"1", L"--yes", L"--probe", L"4"}, dir_);
    EXPECT_EQ(station.status, 0u) << station.err;
  }
  if (c.during == During::kClose) {
    ASSERT_TRUE(e2e::WaitUntil([&] { return TileStarts(tray, 0, "Updating"); }, kTileWaitMs));
    ::PostMessageW(tray, WM_CLOSE, 0, 0);
    e2e::MessageBoxInfo box;
    ASSERT_TRUE(e2e::WaitForMessageBox(apps_[0].pid(), box));
    EXPECT_TRUE(e2e::Has(Narrow(box.text), "being worked on; stop after their current step?"))
        << Narrow(box.text);
    ASSERT_TRUE(e2e::Answer(box, IDYES));
    EXPECT_TRUE(apps_[0].WaitForExit(kCloseWaitMs)) << "the window did not close";
    const std::string log = test_files::ReadWholeFile(dir_ + L"\\line.csv");
    EXPECT_TRUE(e2e::Has(log, ",130,")) << log;
    size_t records = 0;
    EXPECT_TRUE(Written(&records).empty()) << log;
    return;
  }

  // Every attached probe ends PASS or FAIL, in either window.
  const auto done = [&](HWND window, size_t slot) {
    return TileStarts(window, slot, "PASS") || TileStarts(window, slot, "FAIL");
  };
  for (size_t slot = 0; slot < probes; ++slot) {
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
          return done(tray, slot) ||
                 (apps_[1].window() != nullptr && done(apps_[1].window(), slot)) ||
                 (c.during == During::kSecondWindow && slot == 4);
        },
        kTileWaitMs))
        << Tile(tray, slot);
  }
  for (size_t slot = 0; slot < c.tiles.size(); ++slot) {
    EXPECT_TRUE(TileStarts(tray, slot, c.tiles[slot])) << Tile(tray, slot);
  }
  size_t records = 0;
  const std::set<std::string> numbers = Written(&records);
  EXPECT_EQ(numbers.size(), c.written);
  EXPECT_EQ(records, numbers.size()) << "a number was written twice";
  for (e2e::App& app : apps_) app.Stop();
  emulator_.Stop();
  const std::string flash = test_files::ReadWholeFile(dir_ + L"\\flash.bin");
  for (size_t probe = 0; probe < probes; ++probe) {
    if (probe < c.tiles.size() && c.tiles[probe].rfind("FAIL", 0) == 0) continue;
    ASSERT_GE(flash.size(), (probe + 1) * kFlashBytes);
    EXPECT_EQ(
        flash.compare(probe * kFlashBytes, data.size(), std::string(data.begin(), data.end())), 0)
        << "probe " << probe << " does not hold the image";
  }
}

INSTANTIATE_TEST_SUITE_P(TrayWindow, TrayWindowE2eTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
