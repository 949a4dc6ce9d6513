// A line job made, checked and run by the console against in-process
// probes: the pinned image, the range, the update before the number, and
// the record that names the job.
#include <gtest/gtest.h>

#include <string>

#include "cli/cli_options.h"
#include "common/result_codes.h"
#include "ledger/operation_record.h"
#include "tests/cli/cli_test_fixture.h"
#include "tests/support/csv_fields.h"
#include "tests/support/log_lines.h"

namespace {

using csv_test::CsvFields;
using probe_model::Fault;
using probe_model::FaultKind;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::u16string Wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

class JobTest : public CliTest {
 protected:
  // A job made by job new, as a line makes one, over the file it held.
  std::u16string NewJob(std::vector<std::u16string> options, bool withImage = true) {
    image_ = WriteFile(srecord_writer::File(0x1000, srecord_writer::Pattern(200, 5)));
    const std::u16string job = (dir_ / "line3.ini").u16string();
    std::filesystem::remove(std::filesystem::path(job));
    std::vector<std::u16string> args = {u"job",       u"new",   job,    u"--log",
                                        u"line3.csv", u"--led", u"skip"};
    if (withImage) args.insert(args.end(), {u"--image", image_});
    args.insert(args.end(), options.begin(), options.end());
    EXPECT_EQ(Run(args), kExitOk) << console_.err;
    return job;
  }
  std::u16string image_;
};

// run JOB on one probe: each row a line as it may stand when the run starts.
TEST_F(JobTest, RunsTheJobsStepsOnOneProbe) {
  struct Case {
    const char* what;
    std::vector<std::u16string> made;  // job new's options beside --log and --led
    std::string logBefore;             // empty: a new log
    bool editImage;
    std::vector<Fault> faults;
    int status;
    const char* serialAfter;  // the probe's serial number after the run
    const char* said;         // on standard error
    bool touched;             // a probe was opened
  };
  const std::string header = CsvHeader();
  const Case cases[] = {
      {"update, then the first free number",
       {u"--serials", u"SN0001-SN0003"},
       header + log_lines::Line("SN0001", "spent", 4),
       false,
       {},
       kExitOk,
       "SN0002",
       "Writing Serial No. of Velkoro succeeded.",
       true},
      {"image edited after the job was made",
       {u"--serials", u"SN0001-SN0003"},
       "",
       true,
       {},
       kExitCrcMismatch,
       "VELKORO-0001",
       "is not the job's: its SHA-256 is",
       false},
      {"range used up",
       {u"--serials", u"SN0001-SN0002"},
       header + log_lines::Line("SN0001", "written") + log_lines::Line("SN0002", "claimed"),
       false,
       {},
       kExitRangeUsedUp,
       "VELKORO-0001",
       "(2 numbers) is held. No probe was touched.",
       false},
      {"update failed: no number",
       {u"--serials", u"SN0001-SN0003"},
       "",
       false,
       {Fault{FaultKind::kEraseFails}},
       kResultErase,
       "VELKORO-0001",
       "ERROR:",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    logs_.text = "";
    const std::u16string job = NewJob(c.made);
    logs_.text = c.logBefore;
    if (c.editImage) {
      WriteFile(srecord_writer::File(0x1000, srecord_writer::Pattern(200, 6)));
    }
    probe_model::ProbeSettings settings;
    settings.faults = c.faults;
    Probe(0, settings);

    EXPECT_EQ(Run({u"run", job, u"--yes"}), c.status) << console_.err;
    EXPECT_TRUE(Has(console_.err, c.said)) << console_.err;
    EXPECT_EQ(model_link::ModelAt(0)->SerialUnits(), Wide(c.serialAfter));
    EXPECT_EQ(!model_link::OpenAttempts().empty(), c.touched);
    // Every line this run added names the job.
    const std::string added = logs_.text.substr(c.logBefore.size());
    ASSERT_FALSE(added.empty()) << "every run is recorded";
    for (size_t at = 0, end; (end = added.find("\r\n", at)) != std::string::npos; at = end + 2) {
      const std::string line = added.substr(at, end - at);
      if (line.rfind("time,", 0) == 0) continue;
      const std::vector<std::string> fields = CsvFields(line);
      ASSERT_EQ(fields.size(), 17u) << line;
      EXPECT_EQ(fields[14].rfind("line3@", 0), 0u) << line << "\n" << added;
    }
    if (c.status == kResultErase) {
      EXPECT_TRUE(Has(logs_.text, ",free,")) << "the claim is given back\n" << logs_.text;
    }
  }
}

TEST_F(JobTest, NewRefusesToReplaceAndCheckCountsTheRange) {
  const std::u16string job = NewJob({u"--serials", u"SN0001-SN0010"}, false);
  EXPECT_EQ(Run({u"job", u"new", (dir_ / "line3.ini").u16string(), u"--log", u"x.csv", u"--serials",
                 u"SN1-SN9"}),
            kExitCannotCreate);
  EXPECT_EQ(Run({u"job", u"new", (dir_ / "other.ini").u16string(), u"--serials", u"SN1-SN9"}),
            kExitUsage)
      << "a job keeps its record";

  const std::string header = CsvHeader();
  logs_.text = header + log_lines::Line("SN0001", "written") +
               log_lines::Line("SN0002", "spent", 4) + log_lines::Line("SN0003", "claimed") +
               log_lines::Line("SN0099", "written");
  const int status = Run({u"job", u"check", job});
  EXPECT_TRUE(Has(console_.out, "written: 1\nspent: 1\nclaimed: 1\nfree: 7\nnext: SN0004\n"))
      << console_.out << console_.err;
  EXPECT_EQ(status, kExitOk) << console_.err;

  std::ofstream(std::filesystem::path(job), std::ios::app) << "colour = red\r\n";
  EXPECT_EQ(Run({u"run", job, u"--yes"}), kExitJobUnusable);
  EXPECT_TRUE(Has(console_.err, "line3.ini:")) << console_.err;
  EXPECT_TRUE(Has(console_.err, ": colour: not a key of a job")) << console_.err;
  EXPECT_TRUE(model_link::OpenAttempts().empty());
}

// A capped job on a tray: units go to the probes in index order before any
// thread starts; a probe past the cap ends with 28 and is never touched.
TEST_F(JobTest, ATrayTakesUnitsInIndexOrder) {
  struct Case {
    const char* what;
    int units;
    int status;
    const char* serials[2];  // probes 0 and 1 after the run
    const char* said;        // on standard output
  };
  const Case cases[] = {
      {"one unit for two probes",
       1,
       kExitUnitsUsedUp,
       {"SN0001", "VELKORO-0001"},
       "failed 1 - 28: Every unit of the job line3 is held"},
      {"a unit for each", 2, kExitOk, {"SN0001", "SN0002"}, "2 succeeded, 0 failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    logs_.text = "";
    const std::u16string job = NewJob({u"--serials", u"SN0001-SN0009"}, false);
    std::ofstream(std::filesystem::path(job), std::ios::app) << "units = " << c.units << "\r\n";
    Probe(0);
    Probe(1);

    EXPECT_EQ(Run({u"run", job, u"--probe", u"all", u"--yes"}), c.status) << console_.err;
    EXPECT_TRUE(Has(console_.out, c.said)) << console_.out;
    for (int probe = 0; probe < 2; ++probe) {
      EXPECT_EQ(model_link::ModelAt(probe)->SerialUnits(), Wide(c.serials[probe]));
    }
    if (c.status == kExitUnitsUsedUp) {
      EXPECT_TRUE(model_link::ModelAt(1)->RequestsReceived().empty());
    }
  }
}

}  // namespace
