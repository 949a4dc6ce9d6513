// mes status and mes flush over a job's outbox, and run JOB leaving its
// probe's event there: each row a command line and what it ends with.
#include <gtest/gtest.h>

#include "cli/cli_options.h"
#include "line/mes_outbox.h"
#include "tests/cli/cli_test_fixture.h"
#include "tests/support/fake_mes_poster.h"

namespace {

constexpr char kJob[] =
    "[job]\nname = line3\nlog = line3.csv\nsteps = write-serial\nserials = SN0001-SN0009\n";

class MesCliTest : public CliTest {
 protected:
  std::u16string Job(const std::string& keys) { return WriteFile(kJob + keys, "line3.job"); }
};

TEST_F(MesCliTest, StatusAndFlushOverTheOutbox) {
  const MesAnswer busy{503, ""}, refused{400, ""};
  struct Case {
    const char* what;
    std::string keys;                  // the job's MES keys
    std::vector<std::u16string> args;  // after the command's name, the job added
    int waiting;                       // events in the outbox before
    std::vector<MesAnswer> answers;
    int status;
    const char* said;  // on standard output, or standard error for a failure
    size_t unsentAfter;
  };
  const std::string mes = "mes = http://127.0.0.1:9/events\nmes_token_file = mes.token\n";
  const Case cases[] = {
      {"status", mes, {u"mes", u"status"}, 2, {}, 0, "unsent: 2, oldest ", 2},
      {"status as JSON", mes, {u"mes", u"status", u"--json"}, 1, {}, 0, "\"unsent\":1,", 1},
      {"flush: all taken",
       mes,
       {u"mes", u"flush"},
       2,
       {},
       0,
       "MES: 2 delivered; nothing waits.",
       0},
      {"flush: nothing to send", mes, {u"mes", u"flush"}, 0, {}, 0, "MES: 0 delivered", 0},
      {"flush while the MES is busy",
       mes,
       {u"mes", u"flush"},
       2,
       {busy},
       kExitMesUnreachable,
       "the MES answered HTTP 503",
       2},
      {"flush: a refusal set aside",
       mes,
       {u"mes", u"flush"},
       2,
       {refused},
       0,
       "MES: 1 delivered, 1 rejected (set aside)",
       0},
      {"a job without mes",
       "",
       {u"mes", u"status"},
       0,
       {},
       kExitJobUnusable,
       "the job names no mes",
       0},
      {"a token file missing",
       "mes = http://127.0.0.1:9/\nmes_token_file = gone.token\n",
       {u"mes", u"flush"},
       0,
       {},
       kExitJobUnusable,
       "mes_token_file",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile("t0ken-9\n", "mes.token");
    const std::u16string job = Job(c.keys);
    std::filesystem::remove_all(dir_ / "line3.csv.outbox");
    MesOutbox outbox(dir_ / "line3.csv.outbox");
    std::string error;
    for (int i = 0; i < c.waiting; ++i) {
      ASSERT_TRUE(outbox.Put(SampleMesEvent("e" + std::to_string(i)), UtcNowMs(), &error));
    }
    FakeMesPoster poster;
    poster.answers.assign(c.answers.begin(), c.answers.end());
    mesPoster_ = &poster;
    std::vector<std::u16string> args = c.args;
    args.insert(args.end(), {u"--job", job});
    EXPECT_EQ(Run(args), c.status) << console_.err;
    EXPECT_NE((c.status == 0 ? console_.out : console_.err).find(c.said), std::string::npos)
        << console_.out << console_.err;
    EXPECT_EQ(outbox.Status().unsent, c.unsentAfter);
    // The token is handed to the poster and never shown.
    EXPECT_EQ((console_.out + console_.err).find("t0ken"), std::string::npos);
  }
}

TEST_F(MesCliTest, RunLeavesTheProbesEventAndFlushSendsItWithTheToken) {
  Probe(0);
  WriteFile("t0ken-9\n", "mes.token");
  const std::u16string job = Job("mes = http://127.0.0.1:9/events\nmes_token_file = mes.token\n");
  // No MES lent to the run: its event waits in the outbox.
  ASSERT_EQ(Run({u"run", job, u"--yes", u"--probe", u"0"}), kExitOk) << console_.err;
  MesOutbox outbox(dir_ / "line3.csv.outbox");
  ASSERT_EQ(outbox.Status().unsent, 1u);
  FakeMesPoster poster;
  mesPoster_ = &poster;
  EXPECT_EQ(Run({u"mes", u"flush", u"--job", job}), kExitOk) << console_.err;
  EXPECT_EQ(poster.posted.size(), 1u);
  EXPECT_EQ(mesTokens_, std::vector<std::string>{"t0ken-9"});
  EXPECT_EQ(outbox.Status().unsent, 0u);
}

TEST_F(MesCliTest, UsageErrors) {
  struct Case {
    std::vector<std::u16string> args;
    const char* said;
  };
  const Case cases[] = {
      {{u"mes"}, "mes needs status or flush"},
      {{u"mes", u"status"}, "mes status needs --job JOB"},
      {{u"mes", u"flush", u"--job", u"x.job", u"--probe", u"0"}, "--probe does not apply"},
      {{u"mes", u"resend"}, "unknown command 'mes resend'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), kExitUsage);
    EXPECT_NE(console_.err.find(c.said), std::string::npos) << console_.err;
  }
}

}  // namespace
