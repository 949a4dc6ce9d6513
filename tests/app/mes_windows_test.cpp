// The windows' link to the line's MES natively: each probe the job window or
// a tray slot ends leaves one event in the outbox, a probe the MES holds
// back is never started, and the line the windows show of the outbox.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
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

constexpr int64_t kMinuteMs = 60000;
constexpr char kMesKeys[] = "mes = http://127.0.0.1:9/events\r\nmes_hold_minutes = 10\r\n";
constexpr char kHeldText[] = "Held: the oldest event the MES has not confirmed is 11 min old";
// The threads' run is over well before this on any machine.
constexpr auto kThreadsCap = std::chrono::seconds(30);

// An MES that takes nothing: every event stays in the outbox to be read.
MesAccess SilentMes() {
  return MesAccess{"", [](const MesUrl&, const std::string&) -> std::unique_ptr<MesPoster> {
                     auto poster = std::make_unique<FakeMesPoster>();
                     poster->afterwards = MesAnswer{503, ""};
                     return poster;
                   }};
}

class MesWindowsTest : public ProbeLinkTest {
 protected:
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    ProbeLinkTest::TearDown();
  }
  std::u16string FreshJob(const std::string& extra = "") {
    std::filesystem::remove_all(dir_);
    opener_.file.text.clear();
    return WriteImageJob(dir_, kMesKeys + extra);
  }
  MesOutbox Outbox() const { return MesOutbox(dir_ / "line.csv.outbox"); }
  // An event the MES has not taken for ageMs.
  void PutWaiting(int64_t ageMs) {
    std::string error;
    ASSERT_TRUE(Outbox().Put(SampleMesEvent("waiting"), MesNowMs() - ageMs, &error)) << error;
  }
  // The bodies of the events the windows wrote, oldest first.
  std::vector<std::string> Written() const {
    std::vector<std::string> bodies;
    MesOutbox outbox = Outbox();
    for (const MesOutboxEntry& entry : outbox.Unsent()) {
      std::string body;
      EXPECT_EQ(outbox.Read(entry, &body), MesOutbox::Load::kWhole);
      if (MesEventIdOf(body) != "waiting") bodies.push_back(body);
    }
    return bodies;
  }
  std::unique_ptr<JobWindowMode> OpenWindow(FakeWindow& window, TickingEdge& edge,
                                            const std::u16string& job) {
    auto mode = std::make_unique<JobWindowMode>(window, edge);
    edge.mode = mode.get();
    std::string message;
    EXPECT_TRUE(mode->Open(
        job, opener_, wait_, LogContext{"", "BENCH-7", "1.0.0.0"}, [] { return "T"; }, &message, {},
        SilentMes()))
        << message;
    mode->Start();
    return mode;
  }

  std::filesystem::path dir_ = test_files::OwnTempPath("velkoro_mes_windows");
  MemoryLedgerOpener opener_;
  NoLedgerWait wait_;
};

TEST_F(MesWindowsTest, EachProbeTheWindowEndsIsOneEvent) {
  struct Case {
    const char* what;
    const char* presses;  // U, W, R: the buttons; O: an old event arrives; C: the window closes
    bool held;            // an event has waited 11 min before the first press
    bool blocked;         // the outbox cannot be written
    size_t events;
    const char* last;  // in the last event written
    bool touched;      // the probe was asked anything
    size_t serialWrites;
    const char* error;  // in an ERROR box
  };
  const Case cases[] = {
      {"update, then write: one probe, one event", "UW", false, false, 1,
       "\"serial\":\"SN0001\",\"firmware_before\":\"2.2\"", true, 1, ""},
      {"update alone: its event waits for the write", "U", false, false, 0, "", true, 0, ""},
      {"updated, then closed: its event says so", "UC", false, false, 1, kJobLeftUnwrittenText,
       true, 0, ""},
      {"a second update ends the first probe", "UU", false, false, 1, "\"serial\":null", true, 0,
       ""},
      {"a write alone is a probe", "W", false, false, 1, "\"serial\":\"SN0001\"", true, 1, ""},
      {"a read makes no probe", "R", false, false, 0, "", true, 0, ""},
      {"held: the update refused untouched", "U", true, false, 0, "", false, 0, kHeldText},
      {"held after the update: its write goes on", "UOW", false, false, 1, "\"serial\":\"SN0001\"",
       true, 1, ""},
      {"the outbox unwritable: the write refused untouched", "W", false, true, 0, "", false, 0,
       "cannot be written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    probe_model::ProbeModel& probe = AttachAfresh();
    const std::u16string job = FreshJob();
    if (c.held) PutWaiting(11 * kMinuteMs);
    if (c.blocked) std::ofstream(dir_ / "line.csv.outbox") << "a file, not a folder";
    FakeWindow window;
    TickingEdge edge(window);
    std::unique_ptr<JobWindowMode> mode = OpenWindow(window, edge, job);
    ASSERT_NE(mode, nullptr);
    for (const char* press = c.presses; *press != '\0'; ++press) {
      if (*press == 'U') mode->Update();
      if (*press == 'W') mode->Write();
      if (*press == 'R') mode->Read();
      if (*press == 'O') PutWaiting(11 * kMinuteMs);
      if (*press == 'C') mode.reset();
    }
    const std::vector<std::string> written = Written();
    EXPECT_EQ(written.size(), c.events);
    const std::string last = written.empty() ? "" : written.back();
    EXPECT_NE(last.find(c.last), std::string::npos) << last;
    EXPECT_EQ(!Requests(probe, kCmdReadVersion).empty(), c.touched);
    EXPECT_EQ(Requests(probe, kCmdWriteSerial).size(), c.serialWrites);
    const std::string errors = edge.errors.empty() ? "" : Utf8(edge.errors.back());
    EXPECT_NE(errors.find(c.error), std::string::npos) << errors;
  }
}

TEST_F(MesWindowsTest, EachTraySlotsProbeIsOneEventUnlessHeld) {
  struct Case {
    const char* what;
    bool held;
    std::vector<const char*> serials;  // one event each
    const char* header;                // the MES line while the tray ran
  };
  const Case cases[] = {
      {"two slots: an event each", false, {"SN0001", "SN0002"}, ""},
      {"held: the header says why, no probe started", true, {}, kHeldText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetLinkAndModels();
    const std::u16string job = FreshJob("slots = 2\r\n");
    if (c.held) PutWaiting(11 * kMinuteMs);
    probe_model::ProbeModel* probes[] = {&model_link::Attach(0, {}), &model_link::Attach(1, {})};
    RecordingSink sink;
    FakeDeviceHold hold;
    ModelLineClock clock;
    std::string header;
    {
      TrayRunner runner(sink, hold, &clock);
      std::string message;
      ASSERT_TRUE(runner.Open(
          job, opener_, wait_, LogContext{"", "PC1", "1.0"}, [] { return "T"; }, &message, {},
          SilentMes()))
          << message;
      runner.Start();
      const auto end = std::chrono::steady_clock::now() + kThreadsCap;
      const auto done = [&] {
        return c.held ? sink.Count(SlotEventKind::kMesHeld) > 0
                      : sink.Count(SlotEventKind::kFinished) == 2;
      };
      while (!done() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      header = sink.Board(2).MesLine();
    }
    EXPECT_EQ(header.rfind(c.header, 0), 0u) << header;
    EXPECT_EQ(sink.Board(2).MesLine(), "") << "let go once the tray stopped";
    const std::vector<std::string> written = Written();
    EXPECT_EQ(written.size(), c.serials.size());
    for (const char* serial : c.serials) {
      const std::string field = "\"serial\":\"" + std::string(serial) + "\"";
      EXPECT_EQ(std::count_if(
                    written.begin(), written.end(),
                    [&](const std::string& body) { return body.find(field) != std::string::npos; }),
                1)
          << serial;
    }
    for (probe_model::ProbeModel* probe : probes) {
      EXPECT_EQ(Requests(*probe, kCmdEraseFlash).empty(), c.held);
    }
  }
}

TEST_F(MesWindowsTest, TheWindowsShowWhatTheMesHasNotTakenForLong) {
  struct Case {
    const char* what;
    int64_t ageMs;  // of the one event waiting; -1: none
    std::u16string line;
  };
  const Case cases[] = {
      {"nothing waits: no line", -1, u""},
      {"the sender's ordinary lag: no line", 10 * 1000, u""},
      {"waiting too long: said", 40 * kMinuteMs, u"MES: 1 unsent, oldest 40 min"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::u16string job = FreshJob();
    if (c.ageMs >= 0) PutWaiting(c.ageMs);
    FakeWindow window;
    TickingEdge edge(window);
    std::unique_ptr<JobWindowMode> mode = OpenWindow(window, edge, job);
    ASSERT_NE(mode, nullptr);
    RecordingSink sink;
    FakeDeviceHold hold;
    TrayRunner runner(sink, hold);
    std::string message;
    ASSERT_TRUE(runner.Open(
        job, opener_, wait_, LogContext{"", "PC1", "1.0"}, [] { return "T"; }, &message, {},
        SilentMes()))
        << message;

    EXPECT_EQ(edge.mesLine, c.line);
    EXPECT_EQ(runner.MesWaiting(), Utf8(c.line));
    MesOutbox outbox = Outbox();
    for (const MesOutboxEntry& entry : outbox.Unsent()) outbox.Delivered(entry);
    mode->Refresh();
    EXPECT_EQ(edge.mesLine, u"") << "gone once the MES took it";
  }
}

}  // namespace
