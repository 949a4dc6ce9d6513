// A job's run on one emulated probe, as every front-end runs it: the pinned
// bytes are what the probe gets even when the image file is swapped after
// the pin, a probe holding the image is left alone, and each outcome leaves
// its one record and settles the claim by whether the write request left.
#include "line/job_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/probe_protocol.h"
#include "common/result_codes.h"
#include "common/sha256.h"
#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "ledger/csv_ledger.h"
#include "line/job_load.h"
#include "line/job_units.h"
#include "line/line_status.h"
#include "messages/message_catalogue.h"
#include "tests/support/fake_job_host.h"
#include "tests/support/log_lines.h"
#include "tests/support/memory_log_file.h"
#include "tests/support/probe_session_fixture.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/test_files.h"

namespace {

using probe_model::FaultKind;

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class JobRunTest : public ProbeSessionTest {
 protected:
  void SetUp() override {
    ProbeSessionTest::SetUp();
    dir_ = test_files::OwnTempPath("velkoro-job-run");
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    ProbeSessionTest::TearDown();
  }

  // A job over an image of data, pinned by its SHA-256 and CRC-32.
  std::u16string WriteJob(const std::vector<uint8_t>& data, bool update, bool write,
                          const std::optional<std::string>& expectVersion,
                          std::optional<uint64_t> units = std::nullopt) {
    const std::string image = srecord_writer::File(0, data);
    WriteBytes(dir_ / "image.saf", image);
    LineJob job;
    job.name = "line3";
    if (update) {
      job.image = "image.saf";
      job.imageSha256 = Sha256Hex(image);
      FirmwareImage read;
      read.Read(reinterpret_cast<const uint8_t*>(image.data()), image.size());
      job.imageCrc32 = ReportFirmwareImage(read).crc32;
    }
    job.expectVersion = expectVersion;
    job.serialFirst = "SN0001";
    job.serialLast = "SN0002";
    job.log = "line3.csv";
    job.update = update;
    job.writeSerial = write;
    job.led = JobLed::kSkip;
    job.resetTimeoutSeconds = 5;
    job.units = units;
    const std::filesystem::path path = dir_ / "line3.job";
    WriteBytes(path, FormatLineJob(job));
    return path.u16string();
  }

  std::filesystem::path dir_;
};

TEST_F(JobRunTest, RunsOneProbesStepsFromThePinnedBytes) {
  const std::vector<uint8_t> image = srecord_writer::Pattern(1500, 3);
  const std::string written = log_lines::Line("SN0001", "written");
  struct Case {
    const char* what;
    bool update = true;
    bool holdsImage = false;  // the probe's flash holds the image already
    bool swapImage = false;   // the image file is replaced after the pin
    bool claimFirst = true;   // the station's claim before the probe
    std::string log;          // lines after the header
    std::vector<probe_model::Fault> faults;
    std::optional<uint8_t> versionAfter;
    std::deque<int> answers;  // the operator's answers to the boxes
    int status;
    bool erased;                                       // an erase request reached the probe
    std::vector<std::pair<std::string, int>> records;  // command, result
    std::string poolAfter;                             // SN0002's last pool word in the log
    std::optional<uint64_t> units = std::nullopt;      // the job's cap
    int unitsHeld = 0;                                 // units another station holds before the run
    std::string unitAfter;  // the last unit line's pool word (past the cap: given back)
  };
  const Case cases[] = {
      {"another image: updated, the version waited for, then numbered",
       true,
       false,
       false,
       true,
       written,
       {},
       0x23,
       {},
       0,
       true,
       {{"update", 0}, {"write-serial", 0}},
       "written"},
      {"the file swapped after the pin: the pinned bytes are programmed",
       true,
       false,
       true,
       true,
       written,
       {},
       0x23,
       {},
       0,
       true,
       {{"update", 0}, {"write-serial", 0}},
       "written"},
      {"the probe holds the image: nothing is erased",
       true,
       true,
       false,
       true,
       written,
       {},
       0x23,
       {},
       0,
       false,
       {{"update", 0}, {"write-serial", 0}},
       "written"},
      {"the update declined: the claim goes back",
       true,
       false,
       false,
       true,
       written,
       {},
       0x23,
       {2},
       kLineDeclined,
       false,
       {{"update", kLineDeclined}},
       "free"},
      {"the erase failed: only its own claim goes back",
       true,
       false,
       false,
       true,
       written,
       {probe_model::Fault{FaultKind::kEraseFails}},
       0x23,
       {},
       kResultErase,
       true,
       {{"update", kResultErase}},
       "free"},
      {"another version after the reset",
       true,
       false,
       false,
       true,
       written,
       {},
       0x24,
       {},
       kVersionOther,
       true,
       {{"update", kVersionOther}},
       "free"},
      {"the range used up: no write request",
       false,
       false,
       false,
       false,
       written + log_lines::Line("SN0002", "claimed"),
       {},
       std::nullopt,
       {},
       kJobRangeUsedUp,
       false,
       {{"write-serial", kJobRangeUsedUp}},
       "claimed"},
      {"the write declined: the number is free again",
       false,
       false,
       false,
       true,
       written,
       {},
       std::nullopt,
       {2},
       kLineDeclined,
       false,
       {{"write-serial", kLineDeclined}},
       "free"},
      // clang-format off
      {"a capped job's probe made: its unit is written", true, false, false, true, written, {},
       0x23, {}, 0, true, {{"update", 0}, {"write-serial", 0}}, "written", 2, 1, "written"},
      {"every unit held: 28, and no request reaches the probe", true, false, false, true, written,
       {}, 0x23, {}, kJobUnitsUsedUp, false, {{"update", kJobUnitsUsedUp}}, "free", 2, 2, "free"},
      {"the update declined under a cap: its unit goes back", true, false, false, true, written,
       {}, 0x23, {2}, kLineDeclined, false, {{"update", kLineDeclined}}, "free", 2, 1, "free"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    probe_model::ProbeModel& probe =
        AttachAfresh({.faults = c.faults, .versionAfter = c.versionAfter, .resetAfterMs = 100});
    if (c.holdsImage) std::copy(image.begin(), image.end(), probe.MutableFlash().begin());
    const std::u16string path = WriteJob(image, c.update, true, std::string("2.3"), c.units);
    std::unique_ptr<JobRun> run;
    std::string message;
    ASSERT_EQ(JobRun::Open(path, &run, &message), 0) << message;
    ASSERT_EQ(run->Pin(&message), 0) << message;
    if (c.swapImage) {
      WriteBytes(dir_ / "image.saf", srecord_writer::File(0, srecord_writer::Pattern(1500, 99)));
    }
    MemoryLogState state;
    state.text = CsvHeader() + c.log;
    NoLedgerWait wait;
    CsvLedger ledger(std::make_unique<MemoryLogFile>(state), "line3.csv", wait);
    LineRecorder recorder(
        ledger, LogContext{"", "PC1", "1.0"}, [] { return "T"; }, run->tag());
    for (int i = 0; i < c.unitsHeld; ++i) {
      ASSERT_EQ(ClaimUnit(ledger, JobUnitFirst(run->job()), *c.units, {"", "PC2", "1.0"}, 0).status,
                ClaimStatus::kClaimed);
    }
    if (c.claimFirst) {
      ASSERT_EQ(recorder.ClaimInRange(run->job()).status, ClaimStatus::kClaimed);
    }
    FakeJobHost host;
    host.window.boxAnswers = c.answers;

    const JobOutcome outcome = run->RunProbe(session_, host, recorder);

    EXPECT_EQ(outcome.status, c.status) << outcome.message;
    EXPECT_EQ(!Requests(probe, kCmdEraseFlash).empty(), c.erased);
    if (c.status == kJobUnitsUsedUp) {
      EXPECT_TRUE(probe.RequestsReceived().empty());
    }
    ASSERT_EQ(host.records.size(), c.records.size());
    for (size_t i = 0; i < c.records.size(); ++i) {
      EXPECT_EQ(host.records[i].command, c.records[i].first);
      EXPECT_EQ(host.records[i].result, c.records[i].second) << host.records[i].message;
      EXPECT_EQ(host.records[i].job, run->tag());
    }
    // The record says why the wait failed, not the last box before it.
    if (c.status == kVersionOther) {
      EXPECT_NE(host.records[0].message.find("version 2.4"), std::string::npos)
          << host.records[0].message;
    }
    if (c.update && c.status == 0) {
      EXPECT_TRUE(std::equal(image.begin(), image.end(), probe.Flash().begin()));
      EXPECT_EQ(host.records[0].alreadyThere, c.holdsImage);
    }
    const size_t last = state.text.rfind(",SN0002,");
    ASSERT_NE(last, std::string::npos);
    EXPECT_NE(state.text.find("," + c.poolAfter + ",", last), std::string::npos) << state.text;
    if (c.units) {
      const size_t unit = state.text.rfind(",UNIT-");
      ASSERT_NE(unit, std::string::npos);
      EXPECT_NE(state.text.find("," + c.unitAfter + ",", unit), std::string::npos) << state.text;
    }
    // Another station's number is never given back.
    EXPECT_EQ(state.text.find(",SN0001,", state.text.find(written) + written.size()),
              std::string::npos);
  }
}

}  // namespace
