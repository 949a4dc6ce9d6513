// The job's window natively: its buttons run the line's job run over the
// recording window and an edge whose messages are timer 0's ticks on the
// emulated probe's clock, with the job's log in memory.
#include "app/job_window_mode.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/probe_protocol.h"
#include "firmware/firmware_image.h"
#include "firmware/update_procedure.h"
#include "line/job_load.h"
#include "line/job_units.h"
#include "messages/message_catalogue.h"
#include "tests/support/csv_fields.h"
#include "tests/support/fake_window.h"
#include "tests/support/line_job_files.h"
#include "tests/support/log_lines.h"
#include "tests/support/memory_log_file.h"
#include "tests/support/probe_link_fixture.h"
#include "tests/support/test_files.h"
#include "tests/support/ticking_edge.h"

namespace {

// The CSV log's columns the table reads.
constexpr size_t kResult = 9, kMessage = 10, kAfter = 13;

// How the line stands when the button is pressed.
enum class Given { kOtherImage, kHoldsImage, kVersionWait, kRangeUsedUp, kUnitsUsedUp };

class JobWindowModeTest : public ProbeLinkTest {
 protected:
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    ProbeLinkTest::TearDown();
  }
  // The job file over an image written beside it.
  std::u16string WriteJob(Given given) {
    return WriteImageJob(dir_,
                         std::string("serials = ") +
                             (given == Given::kRangeUsedUp ? "SN0001-SN0001" : "SN0001-SN0003") +
                             "\r\nled = skip\r\n" +
                             (given == Given::kVersionWait ? "expect_version = 2.3\r\n" : "") +
                             (given == Given::kUnitsUsedUp ? "units = 1\r\n" : ""));
  }

  std::filesystem::path dir_ = test_files::OwnTempPath("velkoro_job_window");
};

TEST_F(JobWindowModeTest, EachButtonIsOneStepOfTheJobRun) {
  struct Case {
    const char* what;
    Given given;
    void (WindowMode::*press)();
    int answer;  // to the question
    int result;
    std::string said;  // in the record's message
    size_t erases, serialWrites;
    std::u16string boxAfter;   // the serial box: the next free number
    const char* versionAfter;  // the record's firmware after
  };
  const Case cases[] = {
      {"another image: updated", Given::kOtherImage, &WindowMode::Update, kAnswerOk, 0, "succeeded",
       1, 0, u"SN0001", ""},
      {"the image already there: not erased", Given::kHoldsImage, &WindowMode::Update, kAnswerOk, 0,
       "already holds the image", 0, 0, u"SN0001", ""},
      {"the update declined", Given::kOtherImage, &WindowMode::Update, kAnswerCancel, 23,
       kJobDeclinedText, 0, 0, u"SN0001", ""},
      {"the version wait after the reset", Given::kVersionWait, &WindowMode::Update, kAnswerOk, 0,
       "succeeded", 1, 0, u"SN0001", "2.3"},
      {"the range used up", Given::kRangeUsedUp, &WindowMode::Write, kAnswerOk, 27,
       "No probe was touched.", 0, 0, u"", ""},
      {"the write declined", Given::kOtherImage, &WindowMode::Write, kAnswerCancel, 23,
       kJobFreeAgainText, 0, 0, u"SN0001", ""},
      {"every unit held: the update touches no probe", Given::kUnitsUsedUp, &WindowMode::Update,
       kAnswerOk, 28, "Every unit of the job line3 is held", 0, 0, u"SN0001", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    probe_model::ProbeModel& probe = c.given == Given::kVersionWait
                                         ? AttachAfresh({.versionAfter = 0x23, .resetAfterMs = 300})
                                         : AttachAfresh();
    FakeWindow window;
    TickingEdge edge(window);
    JobWindowMode mode(window, edge);
    edge.mode = &mode;
    NoLedgerWait waiter;
    MemoryLedgerOpener opener;
    if (c.given == Given::kRangeUsedUp) {
      opener.file.text = CsvHeader() + log_lines::Line("SN0001", "written");
    }
    std::string message;
    const std::u16string job = WriteJob(c.given);
    if (c.given == Given::kUnitsUsedUp) {
      // Another station holds the job's one unit.
      LineJob read;
      ASSERT_EQ(LoadLineJob(job, &read, &message), 0) << message;
      ASSERT_EQ(ClaimUnit(*opener.Open(job, waiter, &message), JobUnitFirst(read), 1,
                          LogContext{"", "BENCH-8", "1.0.0.0"}, 0)
                    .status,
                ClaimStatus::kClaimed);
    }
    ASSERT_TRUE(mode.Open(
        job, opener, waiter, LogContext{"", "BENCH-7", "1.0.0.0"}, [] { return "T"; }, &message))
        << message;
    mode.Start();
    if (c.given == Given::kHoldsImage) {
      mode.Update();
      ASSERT_TRUE(probe.UpdateExecuted());
      probe.ClearHistory();
    }
    window.boxAnswers = {c.answer};

    (mode.*c.press)();

    const std::string& log = opener.file.text;
    const size_t last = log.rfind("\r\n", log.size() - 3);
    ASSERT_NE(last, std::string::npos) << log;
    const std::vector<std::string> record = csv_test::CsvFields(log.substr(last + 2));
    ASSERT_GT(record.size(), kAfter) << log;
    EXPECT_EQ(record[kResult], std::to_string(c.result)) << record[kMessage];
    EXPECT_NE(record[kMessage].find(c.said), std::string::npos) << record[kMessage];
    EXPECT_EQ(record[kAfter], c.versionAfter);
    EXPECT_EQ(Requests(probe, kCmdEraseFlash).size(), c.erases);
    EXPECT_EQ(Requests(probe, kCmdWriteSerial).size(), c.serialWrites);
    EXPECT_EQ(window.serialNoBox, c.boxAfter);
  }
}

}  // namespace
