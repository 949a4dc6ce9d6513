// A job run with the line's MES: the probe starts only once its event can
// follow (the outbox writable, the hold clear), and each probe it finishes
// leaves one event on disk with what its records say.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/probe_protocol.h"
#include "ledger/csv_ledger.h"
#include "line/job_run.h"
#include "line/line_status.h"
#include "line/mes_probe_events.h"
#include "tests/support/fake_job_host.h"
#include "tests/support/fake_mes_poster.h"
#include "tests/support/log_lines.h"
#include "tests/support/memory_log_file.h"
#include "tests/support/probe_session_fixture.h"
#include "tests/support/test_files.h"

namespace {

constexpr int64_t kNowMs = 1765300000000;
constexpr int64_t kMinuteMs = 60000;

// The operator's side, and the sender as the hold sees it: after a number
// of looks the outbox is emptied (the MES took everything) or the run is
// stopped.
class HeldHost : public FakeJobHost {
 public:
  int looksLeft = -1;  // -1: never
  bool stopInstead = false;
  MesOutbox* outbox = nullptr;

  bool Interrupted() override {
    if (looksLeft < 0 || looksLeft-- > 0) return FakeJobHost::Interrupted();
    if (stopInstead) return true;
    for (const MesOutboxEntry& entry : outbox->Unsent()) outbox->Delivered(entry);
    return false;
  }
};

class MesJobRunTest : public ProbeSessionTest {};

TEST_F(MesJobRunTest, TheProbeStartsOnlyOnceItsEventCanFollow) {
  struct Case {
    const char* what;
    bool blocked;          // the outbox cannot be written
    int64_t waitingAgeMs;  // an unsent event this old is there; -1: none
    int holdMinutes;
    int looks;  // the hold's looks before the MES takes all; -1: never
    bool stop;  // stopped while held
    int status;
    bool written;      // the write request reached the probe
    size_t events;     // unsent after the run
    const char* said;  // a line said to the operator; "" none looked for
  };
  const Case cases[] = {
      {"writable: the probe is made and its event kept", false, -1, 0, -1, false, 0, true, 1, ""},
      {"not writable: no probe touched, the number free again", true, -1, 0, -1, false,
       kLineLogFailed, false, 0, ""},
      {"an old unsent event without a hold: said, not held", false, 40 * kMinuteMs, 0, -1, false, 0,
       true, 2, "MES: 1 unsent, oldest 40 min."},
      {"younger than the hold: not held", false, 5 * kMinuteMs, 10, -1, false, 0, true, 2, ""},
      {"held until the MES takes the old one", false, 11 * kMinuteMs, 10, 2, false, 0, true, 1,
       "The MES has caught up: the probe starts."},
      {"held and stopped: nothing touched", false, 11 * kMinuteMs, 10, 0, true, kLineInterrupted,
       false, 1, "Held: the oldest event the MES has not confirmed is 11 min old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    probe_model::ProbeModel& probe = AttachAfresh({});
    TemporaryFolder folder("velkoro-mes-run");
    const std::filesystem::path job = folder.path() / "line3.job";
    std::ofstream(job) << "[job]\nname = line3\nlog = line3.csv\nsteps = write-serial\n"
                          "serials = SN0001-SN0009\nmes = http://127.0.0.1:9/events\n";
    std::unique_ptr<JobRun> run;
    std::string message;
    ASSERT_EQ(JobRun::Open(job.u16string(), &run, &message), 0) << message;
    if (c.blocked) std::ofstream(folder.path() / "line3.csv.outbox") << "a file, not a folder";
    MesOutbox outbox(folder.path() / "line3.csv.outbox");
    if (c.waitingAgeMs >= 0) {
      ASSERT_TRUE(outbox.Put(SampleMesEvent("old"), kNowMs - c.waitingAgeMs, &message));
    }
    MesProbeEvents events(outbox, c.holdMinutes, nullptr, [] { return kNowMs; });
    run->SendEventsTo(&events);
    MemoryLogState state;
    state.text = CsvHeader();
    NoLedgerWait wait;
    CsvLedger ledger(std::make_unique<MemoryLogFile>(state), "line3.csv", wait);
    LineRecorder recorder(
        ledger, LogContext{"", "PC1", "1.0"}, [] { return "T"; }, run->tag());
    ASSERT_EQ(recorder.ClaimInRange(run->job()).status, ClaimStatus::kClaimed);
    HeldHost host;
    host.looksLeft = c.looks;
    host.stopInstead = c.stop;
    host.outbox = &outbox;

    const JobOutcome outcome = run->RunProbe(session_, host, recorder);

    EXPECT_EQ(outcome.status, c.status) << outcome.message;
    EXPECT_EQ(!Requests(probe, kCmdWriteSerial).empty(), c.written);
    EXPECT_EQ(outbox.Unsent().size(), c.events);
    if (!c.written) {
      EXPECT_NE(state.text.find(",SN0001,"), std::string::npos);
      EXPECT_NE(state.text.rfind(",free,"), std::string::npos) << state.text;
    }
    if (*c.said != '\0') {
      bool found = false;
      for (const std::string& line : host.said) found = found || line.find(c.said) == 0;
      EXPECT_TRUE(found) << c.said;
    }
    if (c.written) {
      std::string body;
      ASSERT_EQ(outbox.Read(outbox.Unsent().back(), &body), MesOutbox::Load::kWhole);
      for (const char* part : {"\"serial\":\"SN0001\"", "\"result\":0,", "\"station\":\"PC1\"",
                               "\"job\":\"line3@", "\"attempt\":1,", "\"tool_version\":\"1.0\""}) {
        EXPECT_NE(body.find(part), std::string::npos) << part << " in " << body;
      }
      // The event vouches for the probe's last line: its chain is that line's last field.
      const std::string lastChain = state.text.substr(state.text.size() - 2 - 64, 64);
      EXPECT_NE(body.find("\"chain\":\"" + lastChain + "\""), std::string::npos) << body;
    }
  }
}

TEST(MesProbeEventTest, TheEventTakesTheUpdatesVersionsAndTheSigner) {
  LineJob job;
  job.name = "line3";
  job.fileSha256 = "1a2b3c4d5e";
  job.imageSha256 = "ab12";
  job.signature = JobSignature{"00112233aabbccdd", "", "", "", 9};
  OperationRecord update;
  update.command = "update";
  update.probe = 3;
  update.firmwareBefore = "2.2";
  update.firmwareAfter = "2.3";
  OperationRecord kept = update;
  kept.alreadyThere = true;
  kept.firmwareAfter.reset();
  OperationRecord write;
  write.command = "write-serial";
  write.serial = "SN0042";
  struct Case {
    const char* what;
    std::vector<OperationRecord> records;
    const char* before;
    const char* after;
    const char* serial;
  };
  const Case cases[] = {
      {"updated, then numbered", {update, write}, "2.2", "2.3", "SN0042"},
      {"the image there already: after is before", {kept, write}, "2.2", "2.2", "SN0042"},
      {"updated only", {update}, "2.2", "2.3", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JobOutcome outcome;
    outcome.opened = -1;
    const MesEvent event = MakeProbeEvent(job, LogContext{"", "PC1", "1.0"}, c.records, outcome);
    EXPECT_EQ(event.firmwareBefore, c.before);
    EXPECT_EQ(event.firmwareAfter, c.after);
    EXPECT_EQ(event.serial, c.serial);
    EXPECT_EQ(event.slot, 3);
    EXPECT_EQ(event.keyId, "00112233aabbccdd");
    EXPECT_EQ(event.job, "line3@1a2b3c4d");
  }
}

}  // namespace
