// The tray window's slots natively: each slot's steps over sessions on the
// in-process probes, the store in memory and the emulated clock; the board
// the window shows from their events; and the runner's threads, pause and
// close.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "app/job_window_mode.h"
#include "app/tray_runner.h"
#include "common/probe_protocol.h"
#include "common/result_codes.h"
#include "ledger/locked_ledger.h"
#include "line/job_slots.h"
#include "messages/message_catalogue.h"
#include "tests/support/fake_job_host.h"
#include "tests/support/line_job_files.h"
#include "tests/support/log_lines.h"
#include "tests/support/probe_link_fixture.h"
#include "tests/support/test_files.h"
#include "tests/support/tray_slots.h"

namespace {

using ModelFault = probe_model::Fault;
using probe_model::FaultKind;

// The threads' run is over well before this on any machine.
constexpr auto kThreadsCap = std::chrono::seconds(30);
constexpr int kLooks = 16;

std::string ResultLine(int code) {
  return OneLine(ChooseMessage(code, CodeKind::kResult).text);
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class TraySlotTest : public ProbeLinkTest {
 protected:
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    ProbeLinkTest::TearDown();
  }
  std::u16string WriteJob(const std::string& extra = "led = skip\r\n") {
    return WriteImageJob(dir_,
                         "serials = SN0001-SN0009\r\nexpect_version = 2.3\r\n"
                         "reset_timeout = 5\r\n" +
                             extra);
  }
  static probe_model::ProbeSettings Probe(std::vector<ModelFault> faults = {}) {
    return {.faults = std::move(faults), .versionAfter = 0x23, .resetAfterMs = 100};
  }

  std::filesystem::path dir_ = test_files::OwnTempPath("velkoro_tray_slot");
};

// A job opened for a tray over the store in memory, and what its slots share.
struct OpenTray {
  bool Open(const std::u16string& job) {
    if (!OpenPinnedJob(job, {}, &run, &message)) return false;
    store = OpenJobStore(run->job(), opener, wait, &message);
    if (!store) return false;
    locked.emplace(*store);
    shared.emplace(TrayShared{*run, *locked, LogContext{"", "PC1", "1.0"}, [] { return "T"; }, gate,
                              clock, sink, hold});
    return true;
  }

  std::unique_ptr<JobRun> run;
  std::string message;
  MemoryLedgerOpener opener;
  NoLedgerWait wait;
  std::unique_ptr<Ledger> store;
  std::optional<LockedLedger> locked;
  TrayGate gate;
  ModelLineClock clock;
  RecordingSink sink;
  FakeDeviceHold hold;
  std::optional<TrayShared> shared;
};

// What happens at one look of the script, before the slots look.
enum class Act { kAttach0, kAttach1, kDetach0, kPause, kResume, kStoreFails, kStoreBack, kHeld0 };

TEST_F(TraySlotTest, EachSlotRunsItsProbeAndKeepsItsResult) {
  struct Case {
    const char* what;
    std::vector<ModelFault> faults;  // slot 0's probe
    std::vector<std::pair<int, Act>> script;
    std::string tile0, tile1;
    int made, passed;
    size_t written;
    bool storeProblem;
    const char* record;  // in the log: the write's record with the slot's index
  };
  const auto eraseFails = std::vector<ModelFault>{ModelFault{FaultKind::kEraseFails}};
  const auto vanishes = std::vector<ModelFault>{ModelFault{FaultKind::kVanish, kCmdWriteFlash, 1}};
  const Case cases[] = {
      {"two probes: each PASS with its own number",
       {},
       {{0, Act::kAttach0}, {0, Act::kAttach1}},
       "Slot 0: PASS SN0001",
       "Slot 1: PASS SN0002",
       2,
       2,
       2,
       false,
       ",write-serial,0,,SN0001,"},
      {"an erase fails: that slot alone FAILs, its number given back",
       eraseFails,
       {{0, Act::kAttach0}, {0, Act::kAttach1}},
       "Slot 0: FAIL 16: " + ResultLine(16),
       "Slot 1: PASS SN0001",
       2,
       1,
       1,
       false,
       ",write-serial,1,,SN0001,"},
      {"unplugged mid-update, then attached again",
       vanishes,
       {{0, Act::kAttach0}, {6, Act::kDetach0}, {8, Act::kAttach0}},
       "Slot 0: PASS SN0001",
       "Slot 1: Empty",
       2,
       1,
       1,
       false,
       ",write-serial,0,,SN0001,"},
      {"removed after its PASS: the slot is empty again",
       {},
       {{0, Act::kAttach0}, {10, Act::kDetach0}},
       "Slot 0: Empty",
       "Slot 1: Empty",
       1,
       1,
       1,
       false,
       ",write-serial,0,,SN0001,"},
      {"paused: a probe is seen, none starts",
       {},
       {{0, Act::kPause}, {0, Act::kAttach0}},
       "Slot 0: Attached 2.2",
       "Slot 1: Empty",
       0,
       0,
       0,
       false,
       ""},
      {"resumed: it starts",
       {},
       {{0, Act::kPause}, {0, Act::kAttach0}, {8, Act::kResume}},
       "Slot 0: PASS SN0001",
       "Slot 1: Empty",
       1,
       1,
       1,
       false,
       ",write-serial,0,,SN0001,"},
      {"the store fails at the claim: the probe waits untouched",
       {},
       {{0, Act::kStoreFails}, {0, Act::kAttach0}},
       "Slot 0: Attached 2.2",
       "Slot 1: Empty",
       0,
       0,
       0,
       true,
       ""},
      {"the store answers again: the probe starts",
       {},
       {{0, Act::kStoreFails}, {0, Act::kAttach0}, {8, Act::kStoreBack}},
       "Slot 0: PASS SN0001",
       "Slot 1: Empty",
       1,
       1,
       1,
       false,
       ",write-serial,0,,SN0001,"},
      {"another program holds the index: the slot keeps out",
       {},
       {{0, Act::kHeld0}, {0, Act::kAttach0}},
       "Slot 0: Empty",
       "Slot 1: Empty",
       0,
       0,
       0,
       false,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetLinkAndModels();
    OpenTray tray;
    ASSERT_TRUE(tray.Open(WriteJob())) << tray.message;
    SlotWorker slots[] = {SlotWorker(0, *tray.shared), SlotWorker(1, *tray.shared)};
    for (int look = 0; look < kLooks; ++look) {
      for (const auto& [at, act] : c.script) {
        if (at != look) continue;
        switch (act) {
          case Act::kAttach0:
            model_link::Attach(0, Probe(look == 0 ? c.faults : std::vector<ModelFault>{}));
            break;
          case Act::kAttach1:
            model_link::Attach(1, Probe());
            break;
          case Act::kDetach0:
            model_link::Detach(0);
            break;
          case Act::kPause:
          case Act::kResume:
            tray.gate.SetPaused(act == Act::kPause);
            break;
          case Act::kStoreFails:
          case Act::kStoreBack:
            tray.opener.file.failBegin = act == Act::kStoreFails;
            // What the store's watch does once it answers.
            if (act == Act::kStoreBack) {
              tray.gate.SetStoreDown(false);
              tray.sink.Post(SlotEvent{SlotEventKind::kStoreBack});
            }
            break;
          case Act::kHeld0:
            tray.hold.heldElsewhere.insert(0);
            break;
        }
      }
      for (SlotWorker& slot : slots) slot.Step();
      tray.clock.Wait(kSlotLookMs);
    }
    TrayBoard board = tray.sink.Board(2);
    const std::string& log = tray.opener.file.text;
    EXPECT_EQ(SlotText(0, board.view(0)), c.tile0);
    EXPECT_EQ(SlotText(1, board.view(1)), c.tile1);
    EXPECT_EQ(board.counts().made, c.made);
    EXPECT_EQ(board.counts().passed, c.passed);
    EXPECT_EQ(CountOf(log, ",written,"), c.written) << log;
    EXPECT_EQ(!board.storeProblem().empty(), c.storeProblem) << board.storeProblem();
    // Every operation carries the job's tag, the PC and the slot's index.
    EXPECT_EQ(CountOf(log, tray.run->tag()), CountOf(log, ",PC1,"));
    if (*c.record) {
      EXPECT_NE(log.find(c.record), std::string::npos) << "the slot's index is the record's probe\n"
                                                       << log;
    }
  }
}

TEST(TrayBoardTest, TilesCountsAndTheCloseQuestion) {
  struct Case {
    const char* what;
    std::vector<SlotEvent> events;
    std::string tile2;
    std::string counts;
    std::string close;
  };
  const auto state = [](SlotState s) { return SlotEvent{SlotEventKind::kState, 2, s}; };
  const auto finished = [](int result, const char* text, std::optional<std::string> serial) {
    return SlotEvent{SlotEventKind::kFinished, 2, SlotState::kEmpty, result, text, serial};
  };
  const SlotEvent attached{SlotEventKind::kAttached, 2, SlotState::kAttached, 0, "2.2"};
  const SlotEvent progress{SlotEventKind::kProgress, 2, SlotState::kUpdating, 45};
  const SlotEvent removed{SlotEventKind::kRemoved, 2};
  const char* none = "Made 0   Passed 0   Failed 0   First-pass yield -";
  const Case cases[] = {
      {"nothing yet", {}, "Slot 2: Empty", none, ""},
      {"attached", {attached}, "Slot 2: Attached 2.2", none, ""},
      {"updating",
       {attached, state(SlotState::kUpdating), progress},
       "Slot 2: Updating 45 %",
       none,
       "1 probe is being worked on; stop after their current step?"},
      {"resetting",
       {attached, state(SlotState::kResetting)},
       "Slot 2: Resetting",
       none,
       "1 probe is being worked on; stop after their current step?"},
      {"writing",
       {attached, state(SlotState::kWriting)},
       "Slot 2: Writing",
       none,
       "1 probe is being worked on; stop after their current step?"},
      {"passed",
       {attached, finished(0, "", "SN0004")},
       "Slot 2: PASS SN0004",
       "Made 1   Passed 1   Failed 0   First-pass yield 100.0 %",
       ""},
      {"failed",
       {attached, finished(16, "It failed in erase of the flash memory.", std::nullopt)},
       "Slot 2: FAIL 16: It failed in erase of the flash memory.",
       "Made 1   Passed 0   Failed 1   First-pass yield 0.0 %",
       ""},
      {"failed, removed, passed",
       {finished(4, "x", std::nullopt), removed, attached, finished(0, "", "SN0002")},
       "Slot 2: PASS SN0002",
       "Made 2   Passed 1   Failed 1   First-pass yield 50.0 %",
       ""},
      {"removed: empty again",
       {attached, finished(0, "", "SN0001"), removed},
       "Slot 2: Empty",
       "Made 1   Passed 1   Failed 0   First-pass yield 100.0 %",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TrayBoard board(4);
    for (const SlotEvent& event : c.events) ASSERT_TRUE(board.Apply(event));
    EXPECT_EQ(SlotText(2, board.view(2)), c.tile2);
    EXPECT_EQ(CountsText(board.counts()), c.counts);
    EXPECT_EQ(board.CloseQuestion(), c.close);
  }
  TrayBoard board(4);
  EXPECT_FALSE(board.Apply(SlotEvent{SlotEventKind::kAttached, 4})) << "a slot the tray has not";
}

TEST_F(TraySlotTest, ASeenProbeIsTakenTheMomentItSettles) {
  struct {
    const char* what;
    bool attached;
    unsigned sinceSeenMs;  // after the look that saw it
    bool paused;
    unsigned nextLookMs;
  } const cases[] = {
      {"an empty slot looks as usual", false, 0, false, kSlotLookMs},
      {"just seen: a whole look, still watching it", true, 0, false, kSlotLookMs},
      {"the settle ends within a look: then", true, 800, false, kSlotSettleMs - 800},
      {"settled but paused: as usual", true, kSlotSettleMs, true, kSlotLookMs},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetLinkAndModels();
    OpenTray tray;
    ASSERT_TRUE(tray.Open(WriteJob())) << tray.message;
    tray.gate.SetPaused(c.paused);
    SlotWorker slot(0, *tray.shared);
    if (c.attached) model_link::Attach(0, Probe());
    slot.Step();
    tray.clock.Wait(c.sinceSeenMs);
    EXPECT_EQ(slot.NextLookMs(), c.nextLookMs);
  }
}

// A job a tray cannot run opens no window, and says why.
TEST_F(TraySlotTest, JobsATrayRefuses) {
  struct Case {
    const char* what;
    std::string extra;
    bool fails;  // the store
    const char* said;
  };
  const Case cases[] = {
      {"led = ask", "led = ask\r\n", false, "led = ask"},
      {"no slots key: eight", "led = skip\r\n", false, ""},
      {"slots past the window", "led = skip\r\nslots = 30\r\n", false, "slots"},
      {"the store unusable", "led = skip\r\n", true, "log cannot be used"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingSink sink;
    FakeDeviceHold hold;
    TrayRunner runner(sink, hold);
    MemoryLedgerOpener opener;
    opener.file.failBegin = c.fails;
    NoLedgerWait wait;
    std::string message;
    const bool opened = runner.Open(
        WriteJob(c.extra), opener, wait, LogContext{"", "PC1", "1.0"}, [] { return "T"; },
        &message);
    EXPECT_EQ(opened, std::string(c.said).empty()) << message;
    EXPECT_NE(message.find(c.said), std::string::npos) << message;
    if (opened) {
      EXPECT_EQ(runner.job().slots, kDefaultTraySlots);
    }
  }
}

// Three slots on threads of their own over one store: three numbers, no
// two alike; a close then ends every thread.
TEST_F(TraySlotTest, SlotsOnThreadsShareTheStore) {
  for (int index = 0; index < 3; ++index) model_link::Attach(index, Probe());
  RecordingSink sink;
  FakeDeviceHold hold;
  LockstepModelClock clock(3);
  TrayRunner runner(sink, hold, &clock);
  MemoryLedgerOpener opener;
  NoLedgerWait wait;
  std::string message;
  ASSERT_TRUE(runner.Open(
      WriteJob("led = skip\r\nslots = 3\r\n"), opener, wait, LogContext{"", "PC1", "1.0"},
      [] { return "T"; }, &message))
      << message;
  runner.Start();
  const auto end = std::chrono::steady_clock::now() + kThreadsCap;
  while (sink.Count(SlotEventKind::kFinished) < 3 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  runner.Stop();
  runner.Join();
  TrayBoard board = sink.Board(3);
  EXPECT_EQ(board.counts().passed, 3)
      << SlotText(0, board.view(0)) << "|" << SlotText(1, board.view(1)) << "|"
      << SlotText(2, board.view(2));
  EXPECT_TRUE(board.AllEnded());
  for (const char* serial : {"SN0001", "SN0002", "SN0003"}) {
    EXPECT_EQ(CountOf(opener.file.text, ",," + std::string(serial) + ",,,0,"), 1u)
        << serial << "\n"
        << opener.file.text;
  }
  EXPECT_EQ(CountOf(opener.file.text, ",written,"), 3u);
  EXPECT_EQ(board.left(), 6);
}

}  // namespace
