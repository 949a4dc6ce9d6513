// The tray window's walk-through, after the operator window's in
// scripts/run.sh: a line job of 4 slots, 4 emulated probes attached at once,
// every tile read with GetWindowText until all say PASS, and a screenshot of
// the window (cropped to it) in the output folder.
//
// With --guide it takes the operator guide's picture instead: 8 slots, 4
// probes, one whose erase fails and one that stops answering half-way
// through its image, saved when PASS, FAIL, Updating and Empty tiles show
// at once.
//
// Environment as for the end-to-end tests: VELKORO_APP, VELKORO_EMULATOR,
// VELKORO_E2E_OUT.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/gui_driver.h"
#include "tests/e2e/walk_job.h"
#include "tests/support/emulator_process.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/tray_tiles.h"

namespace {

// Every probe of the walk is done well within this.
constexpr DWORD kTrayWaitMs = 60000;
// A small image (64 program requests), so the walk stays short; the guide's
// stalled probe never answers its 32nd, half-way.
constexpr size_t kTrayImageBytes = 64 * 1024;
constexpr wchar_t kStallAt[] = L"no-reply:write-flash@32";

struct Walk {
  const wchar_t* shot;
  const wchar_t* folder;  // the job, its image and log; empty: the output folder
  std::string job;
  std::string slotsKey;
  std::vector<std::wstring> emulator;       // options after --erase-ms
  std::vector<std::wstring> tilesExpected;  // each tile's state, in slot order
};

const Walk kFourPass = {L"tray-four-pass",
                        L"",
                        "tray4",
                        "slots = 4\r\n",
                        {L"--probe", L"0", L"--probe", L"1", L"--probe", L"2", L"--probe", L"3"},
                        {L"PASS", L"PASS", L"PASS", L"PASS"}};
const Walk kGuide = {
    L"tray-window",
    // Where a line keeps its job: the guide's picture names no build folder.
    L"C:\\line3",
    "line3",
    "",
    {L"--probe", L"0", L"--probe", L"1", L"--probe", L"2", L"--fault", L"erase-fails", L"--probe",
     L"3", L"--fault", kStallAt},
    {L"PASS", L"PASS", L"FAIL", L"Updating", L"Empty", L"Empty", L"Empty", L"Empty"}};

void Say(const std::wstring& text) {
  std::wprintf(L"%ls\n", text.c_str());
  std::fflush(stdout);
}

int Fail(const std::wstring& what) {
  Say(L"tray walk-through stopped: " + what);
  return 1;
}

bool AllAsExpected(HWND window, const std::vector<std::wstring>& expected) {
  for (size_t slot = 0; slot < expected.size(); ++slot) {
    if (!tray_tiles::TileStarts(window, slot, expected[slot])) return false;
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool guide = argc > 1 && std::wstring(argv[1]) == L"--guide";
  const Walk& walk = guide ? kGuide : kFourPass;
  const std::wstring out = e2e::WindowsPath(e2e::Env(L"VELKORO_E2E_OUT"));
  ::CreateDirectoryW(out.c_str(), nullptr);

  const std::wstring folder = *walk.folder != L'\0' ? walk.folder : out;
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring image = folder + L"\\tray-image.saf";
  std::ofstream(std::filesystem::path(image), std::ios::binary)
      << srecord_writer::File(0x00100000, srecord_writer::Pattern(kTrayImageBytes, 0x5A));
  const std::wstring job =
      folder + L"\\" + std::wstring(walk.job.begin(), walk.job.end()) + L".job";
  const std::wstring log =
      folder + L"\\" + std::wstring(walk.job.begin(), walk.job.end()) + L".csv";
  ::DeleteFileW(log.c_str());
  if (!walk_job::Write(job, image, walk.job, "SN0200-SN0299", "led = skip\r\n" + walk.slotsKey)) {
    return Fail(L"the job could not be written");
  }

  std::vector<std::wstring> options = {L"--erase-ms", L"300"};
  options.insert(options.end(), walk.emulator.begin(), walk.emulator.end());
  emulator_process::Emulator emulator;
  std::wstring shown;
  for (const std::wstring& option : options) shown += L" " + option;
  Say(L"starting the emulator:" + shown);
  if (!emulator.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_EMULATOR")), options,
                      out + L"\\tray-emulator-transcript.txt",
                      out + L"\\tray-emulator-output.txt")) {
    return Fail(L"the emulator did not get ready");
  }
  Say(L"THE TRAY: Ostrelin.exe --job " + job + L" --tray, the probes already attached");
  e2e::App app;
  if (!app.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_APP")), {L"--job", job, L"--tray"})) {
    return Fail(L"the tray window did not appear");
  }
  const HWND tray = app.window();
  Say(L"  window \"" + e2e::Text(tray) + L"\"");
  const bool reached =
      e2e::WaitUntil([&] { return AllAsExpected(tray, walk.tilesExpected); }, kTrayWaitMs);
  for (const std::wstring& tile : tray_tiles::Tiles(tray)) Say(L"  " + tile);
  if (!reached) return Fail(L"the tiles did not reach their states");
  ::Sleep(e2e::kPaintSettleMs);
  e2e::SaveScreenshot(out + L"\\" + walk.shot + L".bmp", app.pid());
  Say(std::wstring(L"  screenshot ") + walk.shot + L".bmp");

  app.Stop();
  emulator.Stop();
  Say(L"tray walk-through complete");
  return 0;
}
