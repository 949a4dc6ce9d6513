// The command line: every usage error gives 64 before the log is opened or a
// probe is touched; the accepted forms give the options they name; a
// question that no one could answer is refused up front.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/cli/cli_test_fixture.h"

namespace {

constexpr char kPassword[] = "Secret9";

struct UsageCase {
  const char* name;
  std::vector<std::u16string> args;
  const char* names = nullptr;  // the option the reason must name
};

class UsageErrorTest : public CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageErrorTest, GivesUsageStatusAndTouchesNothing) {
  Probe(0);
  EXPECT_EQ(Run(GetParam().args), kExitUsage);
  EXPECT_TRUE(model_link::OpenAttempts().empty()) << "a probe was tried";
  EXPECT_EQ(logs_.opens, 0) << "the log was opened";
  // With --json, the one object of the run says why it ended.
  const std::vector<std::u16string>& args = GetParam().args;
  if (std::find(args.begin(), args.end(), u"--json") == args.end()) {
    EXPECT_TRUE(console_.out.empty()) << console_.out;
  } else {
    EXPECT_NE(console_.out.find("\"result\":64,"), std::string::npos) << console_.out;
    EXPECT_EQ(console_.out.find('\n'), console_.out.size() - 1) << console_.out;
  }
  EXPECT_NE(console_.err.find("ostrelin-cli: "), std::string::npos) << console_.err;
  // A connection string's password given by mistake is never shown.
  EXPECT_EQ((console_.err + console_.out).find(kPassword), std::string::npos) << console_.err;
  if (GetParam().names != nullptr) {
    EXPECT_NE(console_.err.find(GetParam().names), std::string::npos) << console_.err;
  }
}

const UsageCase kUsageCases[] = {
    {"NoArguments", {}},
    {"SerialsWithoutLog", {u"serials", u"--json"}},
    {"SerialsWithProbe", {u"serials", u"--log", u"l.csv", u"--probe", u"1"}},
    {"SerialsStartNotAscii", {u"serials", u"\u00E4", u"--log", u"l.csv", u"--json"}, "START"},
    {"OnlyOptions", {u"--yes", u"--json"}},
    {"UnknownCommand", {u"flash", u"x.saf"}},
    {"UnknownOption", {u"list", u"--colour"}},
    {"WriteWithoutText", {u"write-serial", u"--yes"}},
    {"UpdateWithoutFile", {u"update", u"--yes", u"--led", u"skip"}},
    {"VerifyWithoutFile", {u"verify"}},
    {"CheckWithoutFile", {u"check"}},
    {"ExtraArgument", {u"read-serial", u"now"}},
    {"SecondFile", {u"check", u"a.saf", u"b.saf"}},
    {"ProbeWithoutValue", {u"list", u"--probe"}},
    {"ProbeTooHigh", {u"read-serial", u"--probe", u"256"}},
    {"ProbeNegative", {u"read-serial", u"--probe", u"-1"}},
    {"ProbeNotANumber", {u"read-serial", u"--probe", u"one"}},
    {"ProbeWithSuffix", {u"read-serial", u"--probe", u"3x"}},
    {"ProbeTwice", {u"read-serial", u"--probe", u"1", u"--probe", u"2"}},
    {"ProbeAllAndIndex", {u"read-serial", u"--probe", u"all", u"--probe", u"2"}},
    {"ProbeAllAndSerial", {u"verify", u"f.saf", u"--probe", u"all", u"--probe-serial", u"A"}},
    {"ProbeAllOneNumber", {u"write-serial", u"SN1", u"--yes", u"--probe", u"all"}, "--count-up"},
    {"ProbeAllLedAsk", {u"update", u"f.saf", u"--yes", u"--probe", u"all", u"--json"}, "--led"},
    {"ProbeAllCheck", {u"check", u"f.saf", u"--probe", u"all"}},
    {"LedWithoutValue", {u"update", u"f.saf", u"--yes", u"--led"}},
    {"LedBadValue", {u"update", u"f.saf", u"--yes", u"--led", u"maybe"}},
    {"LedOnOtherCommand", {u"verify", u"f.saf", u"--led", u"skip"}},
    {"CountUpOnOtherCommand", {u"read-serial", u"--count-up"}},
    {"ProbeOnCheck", {u"check", u"f.saf", u"--probe", u"0"}},
    {"LogWithoutValue", {u"list", u"--log"}},
    {"LogEmpty", {u"list", u"--log", u""}},
    {"JsonTwice", {u"list", u"--json", u"--json"}},
    {"WriteNeedsYesWithoutConsole", {u"write-serial", u"SN1"}},
    {"UpdateNeedsYesWithoutConsole", {u"update", u"f.saf", u"--led", u"skip"}},
    {"UpdateNeedsLedSkipWithoutConsole", {u"update", u"f.saf", u"--yes"}},
    {"UpdateLedAskWithoutConsole", {u"update", u"f.saf", u"--yes", u"--led", u"ask"}},
    {"RepeatWithoutValue", {u"write-serial", u"SN1", u"--yes", u"--repeat"}},
    {"RepeatNegative", {u"write-serial", u"SN1", u"--yes", u"--repeat", u"-1"}},
    {"RepeatNotANumber", {u"write-serial", u"SN1", u"--yes", u"--repeat", u"many"}},
    {"RepeatTooMany", {u"write-serial", u"SN1", u"--yes", u"--repeat", u"1000001"}},
    {"RepeatTwice", {u"write-serial", u"SN1", u"--yes", u"--repeat", u"2", u"--repeat", u"3"}},
    {"RepeatOnRead", {u"read-serial", u"--repeat", u"2"}},
    {"RepeatOnVerify", {u"verify", u"f.saf", u"--repeat", u"2"}},
    {"ResumeWithoutLog", {u"write-serial", u"SN1", u"--yes", u"--resume"}},
    {"ResumeOnUpdate",
     {u"update", u"f.saf", u"--yes", u"--led", u"skip", u"--resume", u"--log", u"l.csv"}},
    {"ResumeTwice",
     {u"write-serial", u"SN1", u"--yes", u"--resume", u"--resume", u"--log", u"l.csv"}},
    {"StationNeedsYesWithoutConsole", {u"write-serial", u"SN1", u"--repeat", u"3"}},
    {"ProbeSerialBesideProbe", {u"list", u"--probe", u"0", u"--probe-serial", u"A"}, "--probe"},
    {"ProbeSerialInAStation",
     {u"update", u"f.saf", u"--yes", u"--led", u"skip", u"--repeat", u"2", u"--probe-serial", u"A"},
     "--probe-serial"},
    {"ProbeSerialOnWriteSerial",
     {u"write-serial", u"B", u"--yes", u"--probe-serial", u"A"},
     "--probe-serial"},
    {"ProbeSerialOf33",
     {u"read-serial", u"--probe-serial", std::u16string(33, u'7')},
     "--probe-serial"},
    {"ProbeSerialNotAscii", {u"read-serial", u"--probe-serial", u"A\u00C4"}, "--probe-serial"},
    {"CrcOfSevenDigits", {u"check", u"f.saf", u"--expect-crc32", u"1234567"}, "--expect-crc32"},
    {"CrcNotHex", {u"check", u"f.saf", u"--expect-crc32", u"1234567G"}, "--expect-crc32"},
    {"VersionOfTwoMinorDigits",
     {u"update", u"f.saf", u"--yes", u"--led", u"skip", u"--expect-version", u"2.10"},
     "--expect-version"},
    {"TimeoutZero",
     {u"update", u"f.saf", u"--yes", u"--led", u"skip", u"--expect-version", u"2.3",
      u"--reset-timeout", u"0"},
     "--reset-timeout"},
    {"TimeoutOver3600",
     {u"update", u"f.saf", u"--yes", u"--led", u"skip", u"--expect-version", u"2.3",
      u"--reset-timeout", u"3601"},
     "--reset-timeout"},
    {"TimeoutWithoutVersion",
     {u"update", u"f.saf", u"--yes", u"--led", u"skip", u"--reset-timeout", u"5"},
     "--reset-timeout"},
    {"IfDifferentOnVerify", {u"verify", u"f.saf", u"--if-different"}, "--if-different"},
    {"WriteEmptyText", {u"write-serial", u"", u"--yes", u"--json"}, "write-serial"},
    {"VersionMajorEight",
     {u"update", u"f.saf", u"--yes", u"--led", u"skip", u"--expect-version", u"8.0"},
     "--expect-version"},
    {"VersionMinorG",
     {u"update", u"f.saf", u"--yes", u"--led", u"skip", u"--expect-version", u"1.G"},
     "--expect-version"},
    {"LogConnectionWithoutPrefix",
     {u"list", u"--json", u"--log", u"Driver={PostgreSQL Unicode};Server=db;Pwd=Secret9"},
     "odbc:"},
    {"LogDsnAfterAMistypedPrefix", {u"list", u"--log", u"odbc;DSN=line3;pwd=Secret9"}, "odbc:"},
    {"JobNewDevice", {u"job", u"new", u"NUL", u"--log", u"l.csv", u"--serials", u"SN1-SN9"}, "NUL"},
    {"JobNewDeviceWithExtension",
     {u"job", u"new", u"dir\\com7.ini", u"--log", u"l.csv", u"--serials", u"SN1-SN9"},
     "device"},
    {"JobNewNameWindowsRefuses",
     {u"job", u"new", u"bad<>.ini", u"--log", u"l.csv", u"--serials", u"SN1-SN9"},
     "character"},
    {"JobNewItsOwnLog",
     {u"job", u"new", u"l.csv", u"--log", u"./l.csv", u"--serials", u"SN1-SN9"},
     "--log"},
    {"LogPasswordInAPath", {u"list", u"--log", u"C:\\logs\\PWD=Secret9.csv"}, "--log"},
};

INSTANTIATE_TEST_SUITE_P(Cli, UsageErrorTest, ::testing::ValuesIn(kUsageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, RefusalNamesTheMissingOption) {
  EXPECT_EQ(Run({u"write-serial", u"SN1"}), kExitUsage);
  EXPECT_NE(console_.err.find("--yes"), std::string::npos) << console_.err;
  EXPECT_EQ(Run({u"update", u"f.saf", u"--yes"}), kExitUsage);
  EXPECT_NE(console_.err.find("--led skip"), std::string::npos) << console_.err;
}

TEST(CliOptionsTest, AcceptedFormsGiveTheirOptions) {
  CliOptions options;
  std::string error;
  ASSERT_TRUE(ParseCliOptions({u"--json", u"update", u"--probe", u"255", u"fw.saf", u"--led",
                               u"skip", u"--yes", u"--quiet", u"--log", u"l.csv"},
                              &options, &error))
      << error;
  EXPECT_EQ(options.command, CliCommand::kUpdate);
  EXPECT_EQ(options.argument, u"fw.saf");
  EXPECT_EQ(options.probe, 255);
  EXPECT_EQ(options.led, LedMode::kSkip);
  EXPECT_TRUE(options.yes && options.json && options.quiet);
  EXPECT_EQ(options.logPath, u"l.csv");

  // A serial number that looks like an option follows "--".
  ASSERT_TRUE(ParseCliOptions({u"write-serial", u"--count-up", u"--", u"-7-"}, &options, &error));
  EXPECT_EQ(options.argument, u"-7-");
  EXPECT_TRUE(options.countUp);
  EXPECT_EQ(options.probe, -1);
  EXPECT_EQ(options.led, LedMode::kAsk);

  ASSERT_TRUE(
      ParseCliOptions({u"write-serial", u"SN1", u"--repeat", u"0", u"--resume", u"--log", u"l.csv"},
                      &options, &error))
      << error;
  EXPECT_EQ(options.repeat, 0);
  EXPECT_TRUE(options.resume);
  ASSERT_TRUE(ParseCliOptions({u"update", u"f.saf", u"--repeat", u"1000000"}, &options, &error))
      << error;
  EXPECT_EQ(options.repeat, 1000000);
  EXPECT_FALSE(options.resume);

  // Versions as list shows them; the minor digit's case does not matter.
  for (const auto& [given, taken] : {std::pair{u"1.A", "1.A"}, {u"7.f", "7.F"}, {u"0.0", "0.0"}}) {
    ASSERT_TRUE(
        ParseCliOptions({u"update", u"f.saf", u"--expect-version", given}, &options, &error))
        << error;
    EXPECT_EQ(options.expectVersion, taken);
  }

  for (const char16_t* help : {u"--help", u"-h", u"/?"}) {
    ASSERT_TRUE(ParseCliOptions({help}, &options, &error));
    EXPECT_TRUE(options.help);
  }
}

TEST_F(CliTest, HelpAndVersionTouchNoProbe) {
  Probe(0);
  struct Case {
    std::vector<std::u16string> args;
    bool outFails;
    int status;
    std::string out;  // the start of standard output
  };
  const Case cases[] = {
      {{u"--help"}, false, kExitOk, "ostrelin-cli: the Velkoro writer"},
      {{u"--version"}, false, kExitOk, "ostrelin-cli 1.0.0.0\n"},
      {{u"--version", u"--json"},
       false,
       kExitOk,
       R"({"command":"version","probe":null,"result":0,"message":"ostrelin-cli 1.0.0.0")"},
      {{u"--help", u"--json"},
       false,
       kExitOk,
       R"({"command":"help","probe":null,"result":0,"message":"ostrelin-cli: the Velkoro writer)"},
      {{u"--help"}, true, kExitLogFailed, ""},
      {{u"--version", u"--json"}, true, kExitLogFailed, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.args[0].begin(), c.args[0].end()) + (c.outFails ? " failing" : ""));
    console_.outFails = c.outFails;
    EXPECT_EQ(Run(c.args), c.status);
    if (c.outFails) {
      EXPECT_NE(console_.err.find("standard output"), std::string::npos) << console_.err;
    } else {
      EXPECT_EQ(console_.out.rfind(c.out, 0), 0u) << console_.out;
    }
  }
  EXPECT_TRUE(model_link::OpenAttempts().empty());
}

TEST_F(CliTest, ConsoleLiftsTheRefusal) {
  Probe(0);
  console_.inputIsConsole = true;
  console_.typedLines = {"n"};
  EXPECT_EQ(Run({u"write-serial", u"SN1"}), kExitDeclined);
  EXPECT_EQ(console_.questionsRead, 1);
}

}  // namespace
