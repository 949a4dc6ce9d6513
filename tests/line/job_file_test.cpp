// The job file as a line writes it by hand: every key, every bad value and
// every missing key a step needs, each named with its line; the range rule;
// and the hash a job pins its image by.
#include "line/job_file.h"

#include <gtest/gtest.h>

#include <string>

#include "common/sha256.h"
#include "line/job_slots.h"

namespace {

constexpr char kSha[] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

std::string Job(const std::string& extra, bool image = true, const std::string& sha = kSha,
                const std::string& crc = "BAC19110") {
  std::string text = "; made by hand\r\n[job]\r\nname = line3\r\nlog = line3.csv\r\n";
  if (image) {
    text += "image = fw/line.saf\r\nimage_sha256 = " + sha + "\r\nimage_crc32 = " + crc + "\r\n";
  }
  return text + extra;
}

TEST(JobFileTest, EveryKeyAndEveryBadValue) {
  struct Case {
    const char* what;
    std::string text;
    int line;         // the line named; -1: the job is good
    const char* key;  // the key named
  };
  const Case cases[] = {
      {"update alone", Job("steps = update\r\n"), -1, ""},
      {"serial-only job", Job("steps = write-serial\nserials = SN0001-SN0500\n", false), -1, ""},
      {"both steps, every key",
       "\xEF\xBB\xBF" + Job("expect_version = 1.A\nserials = LINE-0001-LINE-0500\n"
                            "steps = update, write-serial\nled = skip\nreset_timeout = 90\n"),
       -1, ""},
      {"unknown key", Job("steps = update\ncolour = red\n"), 9, "colour"},
      {"key before the section", "name = x\n[job]\n", 1, "name"},
      {"another section", "[job]\n[probe]\n", 2, "[probe]"},
      {"not key = value", Job("steps update\n"), 8, "steps update"},
      {"key given twice", Job("steps = update\nname = again\n"), 9, "name"},
      {"empty name", Job("steps = update\n") + "name =\n", 9, "name"},
      {"short SHA-256", Job("steps = update\n", true, std::string(kSha).substr(2)), 6,
       "image_sha256"},
      {"CRC-32 not hex", Job("steps = update\n", true, kSha, "BAC1911G"), 7, "image_crc32"},
      {"version major past 7", Job("steps = update\nexpect_version = 8.0\n"), 9, "expect_version"},
      {"version minor past F", Job("steps = update\nexpect_version = 1.G\n"), 9, "expect_version"},
      {"range of two series", Job("steps = update\nserials = SN0001-AB0500\n"), 9, "serials"},
      {"range backwards", Job("steps = update\nserials = SN0500-SN0001\n"), 9, "serials"},
      {"range without digits", Job("steps = update\nserials = SNA-SNB\n"), 9, "serials"},
      {"steps out of order", Job("steps = write-serial,update\n"), 8, "steps"},
      {"step twice", Job("steps = update,update\n"), 8, "steps"},
      {"led other", Job("steps = update\nled = maybe\n"), 9, "led"},
      {"slots zero", Job("steps = update\nslots = 0\n"), 9, "slots"},
      {"slots past the window's 24", Job("steps = update\nslots = 25\n"), 9, "slots"},
      {"slots not a number", Job("steps = update\nslots = eight\n"), 9, "slots"},
      {"reset time-out zero", Job("steps = update\nreset_timeout = 0\n"), 9, "reset_timeout"},
      {"reset time-out past an hour", Job("steps = update\nreset_timeout = 3601\n"), 9,
       "reset_timeout"},
      {"no section at all", "", 0, "[job]"},
      {"no steps", Job(""), 0, "steps"},
      {"update without its image", Job("steps = update\n", false), 0, "image"},
      {"image without its CRC-32",
       "[job]\nname=a\nlog=b\nsteps=update\nimage=x\nimage_sha256=" + std::string(kSha) + "\n", 0,
       "image_crc32"},
      {"write-serial without a range", Job("steps = write-serial\n"), 0, "serials"},
      {"a name that is not UTF-8",
       "[job]\nname = line\xFF"
       "3\nlog = l.csv\nsteps = update\n",
       2, "name"},
      {"a comment after a value", "[job]\nname = a\nlog = l.csv ; the shift's log\n", 3, "log"},
      {"a quoted value", "[job]\nname = \"line3\"\n", 2, "name"},
      {"a # comment line", Job("# both steps later\nsteps = update\n"), -1, ""},
      {"connection string without odbc:",
       "[job]\nname = a\nlog = Driver={PostgreSQL Unicode};Server=db;Pwd=Secret9\nsteps = update\n",
       3, "log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LineJob job;
    JobProblem problem;
    const bool read = ParseLineJob(c.text, "jobs/line3.ini", "ab12cd34ef", &job, &problem);
    ASSERT_EQ(read, c.line < 0) << DescribeJobProblem("jobs/line3.ini", problem);
    if (read) continue;
    EXPECT_EQ(problem.line, c.line);
    EXPECT_EQ(problem.key, c.key);
    const std::string said = DescribeJobProblem("jobs/line3.ini", problem);
    EXPECT_EQ(
        said.rfind(
            c.line > 0 ? "jobs/line3.ini:" + std::to_string(c.line) + ": " : "jobs/line3.ini: ", 0),
        0u)
        << said;
    EXPECT_EQ(said.find("Secret9"), std::string::npos) << "a password is never shown";
  }
}

// What a good job holds, and that job new's text reads back to the same job.
TEST(JobFileTest, ValuesResolvedAndWrittenBackTheSame) {
  LineJob job;
  JobProblem problem;
  ASSERT_TRUE(ParseLineJob(Job("expect_version = 2.3\nserials = LINE-0001-LINE-0500\n"
                               "steps = update,write-serial\nled = skip\n"),
                           "C:\\jobs\\line3.ini", "ab12cd34ef567890", &job, &problem))
      << problem.reason;
  EXPECT_EQ(job.image, "C:\\jobs\\fw/line.saf");
  EXPECT_EQ(job.log, "C:\\jobs\\line3.csv");
  EXPECT_EQ(job.serialFirst, "LINE-0001");
  EXPECT_EQ(job.serialLast, "LINE-0500");
  EXPECT_EQ(job.imageCrc32, 0xBAC19110u);
  EXPECT_TRUE(job.update && job.writeSerial);
  EXPECT_EQ(JobTag(job), "line3@ab12cd34");

  LineJob again;
  ASSERT_TRUE(ParseLineJob(FormatLineJob(job), "C:\\jobs\\line3.ini", "", &again, &problem))
      << problem.reason;
  EXPECT_EQ(again.image, job.image) << "an absolute path stays as it is";
  EXPECT_EQ(again.serialFirst + again.serialLast, job.serialFirst + job.serialLast);
  EXPECT_EQ(again.expectVersion, job.expectVersion);
  // A tray of its own size is written back; the default is left out.
  for (const int slots : {kDefaultTraySlots, 1, kMostTraySlots}) {
    job.slots = slots;
    ASSERT_TRUE(ParseLineJob(FormatLineJob(job), "C:\\jobs\\line3.ini", "", &again, &problem))
        << problem.reason;
    EXPECT_EQ(again.slots, slots);
  }

  ASSERT_TRUE(
      ParseLineJob("[job]\nname=d\nlog= ODBC:DSN=line3;Pwd=x\nsteps=write-serial\n"
                   "serials=A1-A9\n",
                   "/jobs/d.ini", "", &job, &problem));
  EXPECT_EQ(job.log, "ODBC:DSN=line3;Pwd=x") << "a connection string is not a path";
}

TEST(JobFileTest, RangeRule) {
  LineJob job;
  job.serialFirst = "SN0098";
  job.serialLast = "SN0102";
  struct Case {
    const char* serial;
    bool in;
  };
  for (const Case& c : {Case{"SN0098", true}, Case{"SN0100", true}, Case{"SN0102", true},
                        Case{"SN0097", false}, Case{"SN0103", false}, Case{"SN098", false},
                        Case{"XN0100", false}, Case{"SN00100", false}}) {
    EXPECT_EQ(InJobRange(job, c.serial), c.in) << c.serial;
  }
  EXPECT_EQ(JobRangeSize(job), 5u);
  job.serialFirst = job.serialLast = "A9";
  EXPECT_EQ(JobRangeSize(job), 1u);
  job.serialFirst.clear();
  EXPECT_EQ(JobRangeSize(job), 0u);
  EXPECT_FALSE(InJobRange(job, "A9"));
}

// The known answers, across the padding's one-block and two-block cases.
TEST(JobFileTest, Sha256) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

}  // namespace
