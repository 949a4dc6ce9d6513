// The windows' link to the line's MES natively: each probe the job window or
// a tray slot ends leaves one event in the outbox, a probe the MES holds
// back is never started, and the line the windows show of the outbox.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "app/tray_runner.h"
#include "common/probe_protocol.h"
#include "line/mes_probe_events.h"
#include "tests/support/fake_job_host.h"
#include "tests/support/fake_mes_poster.h"
#include "tests/support/line_job_files.h"
#include "tests/support/probe_link_fixture.h"
#include "tests/support/test_files.h"
#include "tests/support/ticking_edge.h"
#include "tests/support/tray_slots.h"

namespace {

constexpr char kJobLines[] =
    "serials = SN0001-SN0009\r\nled = skip\r\nslots = 2\r\n"
    "mes = http://127.0.0.1:9/events\r\nmes_hold_minutes = 10\r\n";
constexpr char kHeldText[] = "Held: the oldest event the MES has not confirmed is 11 min old";
constexpr char16_t kWaitingLine[] = u"MES: 1 unsent, oldest 11 min";
// The threads' run is over well before this on any machine.
constexpr auto kThreadsCap = std::chrono::seconds(30);

class MesWindowsTest : public ProbeLinkTest {
 protected:
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    ProbeLinkTest::TearDown();
  }
  std::u16string FreshJob() {
    std::filesystem::remove_all(dir_);
    opener_.file.text.clear();
    return WriteImageJob(dir_, kJobLines);
  }
  MesOutbox Outbox() const { return MesOutbox(dir_ / "line.csv.outbox"); }
  void Put11MinutesAgo() {
    std::string error;
    EXPECT_TRUE(Outbox().Put(SampleMesEvent("old"), UtcNowMs() - 11 * 60000, &error)) << error;
  }
  // The bodies of the events the windows wrote, oldest first.
  std::vector<std::string> Written() const {
    std::vector<std::string> bodies;
    for (const MesOutboxEntry& entry : Outbox().Unsent()) {
      std::string body;
      Outbox().Read(entry, &body);
      if (MesEventIdOf(body) != "old") bodies.push_back(body);
    }
    return bodies;
  }
  // An MES that takes nothing: every event stays in the outbox to be read.
  static MesAccess SilentMes() {
    return MesAccess{"", [](const MesUrl&, const std::string&) -> std::unique_ptr<MesPoster> {
                       auto poster = std::make_unique<FakeMesPoster>();
                       poster->afterwards = MesAnswer{503, ""};
                       return poster;
                     }};
  }

  std::filesystem::path dir_ = test_files::OwnTempPath("velkoro_mes_windows");
  MemoryLedgerOpener opener_;
  NoLedgerWait wait_;
  std::string message_;
};

TEST_F(MesWindowsTest, EachProbeTheWindowEndsIsOneEvent) {
  struct Case {
    const char* what;
    // U, W, R: the buttons; O: an event 11 min old arrives; T: the MES takes all;
    // C: the window closes; B: the outbox can no longer be written
    const char* presses;
    size_t events;
    const char* last;  // in the last event written
    bool touched;      // the probe was asked anything
    const char* error;
    std::u16string line;  // the MES line at the end
  };
  const Case cases[] = {
      {"update, then write: one probe, one event", "UW", 1,
       "\"serial\":\"SN0001\",\"firmware_before\":\"2.2\"", true, "", u""},
      {"update alone: its event waits for the write", "U", 0, "", true, "", u""},
      {"updated, then closed: said in its event", "UC", 1, kJobLeftUnwrittenText, true, "", u""},
      {"a second update ends the first probe", "UU", 1, "\"serial\":null", true, "", u""},
      {"a write alone is a probe", "W", 1, "\"serial\":\"SN0001\"", true, "", u""},
      {"a read makes no probe", "R", 0, "", true, "", u""},
      {"held: the update refused untouched", "OU", 0, "", false, kHeldText, kWaitingLine},
      {"held, then taken: the line goes, the update runs", "OUTU", 0, "", true, kHeldText, u""},
      {"held after the update: its write goes on", "UOW", 1, "\"serial\":\"SN0001\"", true, "",
       u"MES: 2 unsent, oldest 11 min"},
      {"the outbox unwritable: the write refused untouched", "BW", 0, "", false,
       "cannot be written", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    probe_model::ProbeModel& probe = AttachAfresh();
    const std::u16string job = FreshJob();
    FakeWindow window;
    TickingEdge edge(window);
    auto mode = std::make_unique<JobWindowMode>(window, edge);
    edge.mode = mode.get();
    ASSERT_TRUE(mode->Open(
        job, opener_, wait_, LogContext{"", "BENCH-7", "1.0"}, [] { return "T"; }, &message_, {},
        SilentMes()))
        << message_;
    mode->Start();
    for (const char* press = c.presses; *press != '\0'; ++press) {
      if (*press == 'U') mode->Update();
      if (*press == 'W') mode->Write();
      if (*press == 'R') mode->Read();
      if (*press == 'O') Put11MinutesAgo();
      if (*press == 'T') {
        for (const MesOutboxEntry& entry : Outbox().Unsent()) Outbox().Delivered(entry);
      }
      if (*press == 'B') {
        std::filesystem::remove_all(dir_ / "line.csv.outbox");
        std::ofstream(dir_ / "line.csv.outbox") << "a file, not a folder";
      }
      if (*press == 'C') mode.reset();
    }
    if (mode) mode->Refresh();
    const std::vector<std::string> written = Written();
    EXPECT_EQ(written.size(), c.events);
    const std::string last = written.empty() ? "" : written.back();
    EXPECT_NE(last.find(c.last), std::string::npos) << last;
    EXPECT_EQ(!Requests(probe, kCmdReadVersion).empty(), c.touched);
    const std::string error = edge.errors.empty() ? "" : Utf8(edge.errors.back());
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    if (mode) {
      EXPECT_EQ(edge.mesLine, c.line);
    }
  }
}

TEST_F(MesWindowsTest, EachTraySlotsProbeIsOneEventUnlessHeld) {
  struct Case {
    const char* what;
    bool held;
    std::multiset<std::string> serials;  // of the events, one a slot
    const char* header;                  // the MES line while the tray ran
    const char* tile;                    // slot 0's, then
    std::u16string waiting;
  };
  // clang-format off
  const Case cases[] = {
      {"two slots: an event each", false, {"\"serial\":\"SN0001\"", "\"serial\":\"SN0002\""}, "",
       "Slot 0: PASS", u""},
      {"held: the header says why, no probe started", true, {}, kHeldText, "Slot 0: Attached",
       kWaitingLine},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetLinkAndModels();
    const std::u16string job = FreshJob();
    if (c.held) Put11MinutesAgo();
    probe_model::ProbeModel* probes[] = {&model_link::Attach(0, {}), &model_link::Attach(1, {})};
    RecordingSink sink;
    FakeDeviceHold hold;
    LockstepModelClock clock(2);
    std::string header, tile;
    {
      TrayRunner runner(sink, hold, &clock);
      ASSERT_TRUE(runner.Open(
          job, opener_, wait_, LogContext{"", "PC1", "1.0"}, [] { return "T"; }, &message_, {},
          SilentMes()))
          << message_;
      EXPECT_EQ(runner.MesWaiting(), Utf8(c.waiting));
      runner.Start();
      const auto end = std::chrono::steady_clock::now() + kThreadsCap;
      while (sink.Count(c.held ? SlotEventKind::kMesHeld : SlotEventKind::kFinished) < 2 &&
             std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      header = sink.Board(2).MesLine();
      tile = SlotText(0, sink.Board(2).view(0));
    }
    EXPECT_EQ(header.rfind(c.header, 0), 0u) << header;
    EXPECT_EQ(tile.rfind(c.tile, 0), 0u) << tile;
    EXPECT_EQ(sink.Board(2).MesLine(), "") << "let go once the tray stopped";
    std::multiset<std::string> serials;
    for (const std::string& body : Written())
      serials.insert(body.substr(body.find("\"serial\""), 17));
    EXPECT_EQ(serials, c.serials);
    for (probe_model::ProbeModel* probe : probes) {
      EXPECT_EQ(Requests(*probe, kCmdEraseFlash).empty(), c.held);
    }
  }
}

}  // namespace
