// The line's report over logs with known figures: the store's rows read as
// a station reads them (whole, then the tail appended, or again from the
// start when the log shrank), the figures in the JSON; and the command's
// wiring: its options, its exit statuses, the page rewritten by --every.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli_run.h"
#include "line/job_load.h"
#include "report/report_formats.h"
#include "tests/support/chain_logs.h"
#include "tests/support/fake_console.h"
#include "tests/support/log_lines.h"
#include "tests/support/report_logs.h"
#include "tests/support/test_files.h"

namespace {

using report_logs::Claim;
using report_logs::Row;

const std::string kShift = report_logs::KnownShift();
const std::string kShiftLine =
    R"("line":{"operations":10,"commands":{"check":1,"update":2,"write-serial":7},"probes":6,)"
    R"("succeeded":5,"failed":5,"first_pass_yield":0.3333,"first":"2026-11-30T23:10:05Z",)"
    R"("last":"2026-12-01T00:50:00Z"})";
const std::string kShiftPool =
    R"("pool":[{"series":"SN####","written":3,"spent_failed":1,"spent_unknown":1,"claimed":1,)"
    R"("highest":"SN0006","next":"SN0007"}])";

// An earlier log: its header ends at seconds (or at firmware_after).
std::string Earlier(const std::string& header_end, const std::string& rows) {
  const std::string header = CsvHeader();
  std::string text = header.substr(0, header.find(header_end) + header_end.size()) + "\r\n";
  std::istringstream lines(rows);
  for (std::string line; std::getline(lines, line);) {
    // Each row loses the columns after its header's end.
    const size_t columns = static_cast<size_t>(std::count(text.begin(), text.end(), ',')) + 1;
    size_t at = 0;
    for (size_t i = 0; i < columns && at != std::string::npos; ++i) at = line.find(',', at + 1);
    text += line.substr(0, at) + "\r\n";
  }
  return text;
}

TEST(ReportTest, FiguresOfKnownLogs) {
  struct Case {
    const char* what;
    std::string log;
    ReportFilter filter;
    std::string then;                   // appended before the second look; "=" replaces the log
    std::vector<std::string> expected;  // parts of the JSON object
  };
  const std::string st3 = Row("2026-12-01T01:02:00Z", "ST3", "update", "", 0, "");
  const Case cases[] = {
      {"two stations across midnight and a month's end",
       kShift,
       {},
       "",
       {R"({"schema":1,"from":"2026-11-30T23:10:05Z","to":"2026-12-01T00:50:00Z",)", kShiftLine,
        R"({"station":"ST1","operations":5,"commands":{"update":1,"write-serial":4},"probes":3,)"
        R"("succeeded":3,"failed":2,"first_pass_yield":0.3333,)",
        R"({"station":"ST2","operations":5,"commands":{"check":1,"update":1,"write-serial":3},)"
        R"("probes":3,"succeeded":2,"failed":3,"first_pass_yield":0.3333,)",
        R"("failures":[{"result":4,"message":"No answer.","count":1,"stations":{"ST2":1}},)"
        R"({"result":8,)",
        R"("per_hour":[{"hour":"2026-11-30T23:00:00Z","station":"ST1","succeeded":2},)"
        R"({"hour":"2026-11-30T23:00:00Z","station":"ST2","succeeded":0},)"
        R"({"hour":"2026-12-01T00:00:00Z","station":"ST1","succeeded":1},)"
        R"({"hour":"2026-12-01T00:00:00Z","station":"ST2","succeeded":2}])",
        kShiftPool, R"("damaged":1})"}},
      {"since and until keep the window",
       kShift,
       {"2026-12-01T00:00:00Z", "2026-12-01T00:45:00Z", std::nullopt},
       "",
       {R"("from":"2026-12-01T00:00:00Z","to":"2026-12-01T00:45:00Z","line":{"operations":4,)",
        R"("probes":3,"succeeded":2,"failed":2,"first_pass_yield":0.6667,)", kShiftPool}},
      {"the tail appended is added",
       kShift,
       {},
       st3 + st3,
       {R"("line":{"operations":12,)", R"({"station":"ST3","operations":2,)",
        R"({"hour":"2026-12-01T01:00:00Z","station":"ST3","succeeded":2}])"}},
      {"a log cut shorter is read again from its start",
       kShift,
       {},
       "=" + CsvHeader() + st3,
       {R"("line":{"operations":1,"commands":{"update":1},"probes":1,"succeeded":1,"failed":0,)"
        R"("first_pass_yield":1,)",
        R"("pool":[],"damaged":0})"}},
      {"a file that was no log, then a longer log in its place",
       "a;b;c\r\n",
       {},
       "=" + kShift,
       {kShiftLine, kShiftPool}},
      {"the earliest format: written only by result 0",
       Earlier("seconds", Row("2024-02-28T23:59:59Z", "OLD", "write-serial", "SN0100", 0, "") +
                              Row("2024-02-29T00:00:01Z", "OLD", "write-serial", "SN0101", 12,
                                  "Write failed.")),
       {},
       "",
       {R"("line":{"operations":2,"commands":{"write-serial":2},"probes":2,"succeeded":1,)"
        R"("failed":1,"first_pass_yield":0.5,"first":"2024-02-28T23:59:59Z",)"
        R"("last":"2024-02-29T00:00:01Z"})",
        R"("pool":[{"series":"SN####","written":1,"spent_failed":0,"spent_unknown":0,)"
        R"("claimed":0,"highest":"SN0100","next":"SN0101"}])"}},
      {"the format before the job column",
       Earlier("firmware_after", Claim("2026-12-31T23:59:58Z", "ST1", "A-7") +
                                     Row("2026-12-31T23:59:59Z", "ST1", "write-serial", "A-7", 12,
                                         "Failed.", "spent") +
                                     Row("2027-01-01T00:00:01Z", "ST1", "verify", "A-7", 0, "")),
       {},
       "",
       {R"("probes":1,"succeeded":1,"failed":1,"first_pass_yield":0,)",
        R"({"hour":"2026-12-31T23:00:00Z","station":"ST1","succeeded":0},)"
        R"({"hour":"2027-01-01T00:00:00Z","station":"ST1","succeeded":1}])",
        R"({"series":"A-#","written":0,"spent_failed":1,"spent_unknown":0,"claimed":0,)"
        R"("highest":"A-7","next":"A-8"})"}},
      {"a job's units: neither operations, probes nor a series of the pool",
       CsvHeader() + Claim("2026-12-01T01:00:00Z", "ST1", "UNIT-0123456789ab-000001") +
           Claim("2026-12-01T01:00:01Z", "ST1", "SN0001") +
           Row("2026-12-01T01:00:02Z", "ST1", "write-serial", "SN0001", 0, "", "written") +
           Row("2026-12-01T01:00:03Z", "ST1", "unit", "UNIT-0123456789ab-000001", 0, "Made.",
               "written") +
           Row("2026-12-01T01:00:04Z", "ST2", "write-serial", "", 28, "Every unit is held."),
       {},
       "",
       {R"("line":{"operations":2,"commands":{"write-serial":2},"probes":1,"succeeded":1,)",
        R"("pool":[{"series":"SN####","written":1,"spent_failed":0,"spent_unknown":0,)"
        R"("claimed":0,"highest":"SN0001","next":"SN0002"}])"}},
      {"bytes that are not UTF-8 in a station's name",
       CsvHeader() + Row("2026-12-01T01:00:00Z", "ST\xFF", "update", "", 0, ""),
       {},
       "",
       {"{\"station\":\"ST\xEF\xBF\xBD\",\"operations\":1,"}},
      {"a header alone",
       CsvHeader(),
       {},
       "",
       {R"({"schema":1,"from":"","to":"","line":{"operations":0,"commands":{},"probes":0,)"
        R"("succeeded":0,"failed":0,"first_pass_yield":null,"first":"","last":""},)"
        R"("stations":[],"failures":[],"per_hour":[],"pool":[],"damaged":0})"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryLogState file{c.log};
    NoLedgerWait waiter;
    std::unique_ptr<CsvLedger> ledger = NewMemoryLedger(file, waiter);
    ledger->KeepRows();
    std::string error;
    ReportTally tally(c.filter);
    // A file that is no log fails the first look; the second reads what is there then.
    const bool log = c.log.rfind("time,", 0) == 0;
    ASSERT_EQ(ledger->Load(&error) && ledger->ReadRows(tally, &error), log) << error;
    if (!c.then.empty() && c.then[0] == '=') {
      file.text = c.then.substr(1);
    } else {
      file.text += c.then;
    }
    std::vector<SerialEntry> entries;
    ASSERT_TRUE(ledger->ReadRows(tally, &error) && ledger->Entries(&entries, &error)) << error;
    const std::string json = FormatReportJson(tally.Figures(entries));
    for (const std::string& part : c.expected)
      EXPECT_NE(json.find(part), std::string::npos) << part << "\nnot in\n" << json;
    EXPECT_EQ(ValidUtf8(json), json) << "JSON is UTF-8 text";
  }
}

// The report's last line says whether the record's chain holds, from the
// same read as its figures.
TEST(ReportTest, ChainLineSaysWhetherTheChainHolds) {
  MemoryLogState chained;
  chain_logs::Append(chained, 3);
  const std::vector<std::string> lines = chain_logs::SplitLines(chained.text);
  ASSERT_EQ(lines.size(), 4u);
  const std::string head = lines[3].substr(lines[3].size() - 2 - kChainDigits, kChainDigits);
  std::string edited = chained.text;
  edited.replace(edited.find("SN1001"), 6, "SN1009");
  struct Case {
    const char* what;
    std::string log;
    std::string line;
  };
  const Case cases[] = {
      {"every line chained and untouched", chained.text,
       "Chain holds over 3 records; head " + head + "."},
      {"a line's number changed by hand", edited,
       "Chain broken at line (row) 3 (changed): run audit."},
      {"a log of the earlier format, no line chained yet",
       Earlier("job", Row("2026-12-01T01:00:00Z", "ST1", "update", "", 0, "")),
       "Chain: no record is chained yet."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryLogState file{c.log};
    NoLedgerWait waiter;
    std::unique_ptr<CsvLedger> ledger = NewMemoryLedger(file, waiter);
    ledger->KeepRows();
    ReportTally tally({});
    std::vector<SerialEntry> entries;
    std::string error;
    ASSERT_TRUE(ledger->ReadRows(tally, &error) && ledger->Entries(&entries, &error)) << error;
    const std::string text = FormatReportText(tally.Figures(entries), "line.csv");
    EXPECT_NE(text.find("\n" + c.line + "\n"), std::string::npos) << c.line << "\nnot in\n" << text;
  }
}

// The hour chart's axis: whole labels that divide its top, each at its
// true height, whatever the busiest hour.
TEST(ReportTest, HourAxisLabelsAreWholeAndTrue) {
  struct Case {
    long most;
    std::vector<long> labels;
  };
  const Case cases[] = {
      {1, {0, 1}},          {3, {0, 1, 2, 3}},   {5, {0, 2, 4, 6}},
      {8, {0, 2, 4, 6, 8}}, {100, {0, 50, 100}}, {101, {0, 50, 100, 150}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.most);
    ReportFigures figures;
    figures.stations.push_back(StationFigures{});
    figures.perHour.push_back(HourFigures{490000, "", c.most});
    const std::string page = FormatReportPage(figures, {"l.csv", "2026-12-09T14:00:00Z", 0});
    // The axis labels are the texts right-aligned at the chart's left.
    std::vector<long> labels;
    const std::string mark = "text-anchor=\"end\">";
    for (size_t at = page.find(mark); at != std::string::npos; at = page.find(mark, at + 1))
      labels.push_back(std::stol(page.substr(at + mark.size())));
    EXPECT_EQ(labels, c.labels);
    // The bar's height over the plot's is the figure over the top.
    const double plot = 400 - 30 - 46;
    const size_t bar = page.find("height=\"", page.find("<rect x="));
    ASSERT_NE(bar, std::string::npos);
    EXPECT_NEAR(std::stod(page.substr(bar + 8)) / plot,
                static_cast<double>(c.most) / static_cast<double>(c.labels.back()), 0.001);
  }
}

class ReportCommandTest : public ::testing::Test {
 protected:
  int Run(std::vector<std::u16string> args) {
    console_.out.clear();
    console_.err.clear();
    CliEnvironment environment{console_, logs_, "BENCH-7", "1.0.0.0", "ostrelin-cli 1.0.0.0"};
    return RunCli(args, environment);
  }
  FakeConsole console_;
  MemoryLedgerOpener logs_;
};

TEST_F(ReportCommandTest, OptionsAndExitStatuses) {
  struct Case {
    const char* what;
    std::vector<std::u16string> args;
    std::string log;
    int status;
    std::string out;  // a part of standard output
  };
  const std::string page = test_files::OwnTempPath("velkoro_report_test.html").string();
  const std::u16string pageArg(page.begin(), page.end());
  // Files a page must leave as they are, each holding "keep".
  const std::filesystem::path files = test_files::OwnTempPath("velkoro_report_files");
  std::filesystem::remove_all(files);
  std::filesystem::create_directories(files / "sub");
  for (const char* name : {"l.csv", "other.txt", "page.html.new"})
    std::ofstream(files / name, std::ios::binary) << "keep";
  std::ofstream(files / "line3.ini", std::ios::binary)
      << "[job]\r\nname = line3\r\nserials = SN0001-SN0010\r\nlog = l.csv\r\n"
         "steps = write-serial\r\n";
  const auto in = [&](const std::string& name) { return (files / name).u16string(); };
  const Case cases[] = {
      {"text by default", {u"report", u"--log", u"l.csv"}, kShift, 0, "line  "},
      {"no log", {u"report"}, kShift, 64, ""},
      {"a bad time", {u"report", u"--log", u"l.csv", u"--since", u"yesterday"}, kShift, 64, ""},
      {"a day that is not",
       {u"report", u"--log", u"l.csv", u"--until", u"2026-02-29T00:00:00Z"},
       kShift,
       64,
       ""},
      {"until before since",
       {u"report", u"--log", u"l.csv", u"--since", u"2026-12-02", u"--until", u"2026-12-01"},
       kShift,
       64,
       ""},
      {"every without a page", {u"report", u"--log", u"l.csv", u"--every", u"5"}, kShift, 64, ""},
      {"a probe", {u"report", u"--log", u"l.csv", u"--probe", u"0"}, kShift, 64, ""},
      {"a missing log is not made",
       {u"report", u"--log", u"l.csv", u"--json"},
       "",
       74,
       R"("result":74)"},
      {"a file that is no log", {u"report", u"--log", u"l.csv"}, "a;b;c\r\n", 74, ""},
      {"a page where no file can be",
       {u"report", u"--log", u"l.csv", u"--html", u"/nonexistent-dir/page.html"},
       kShift,
       74,
       ""},
      {"a page over the log, spelt another way",
       {u"report", u"--log", in("l.csv"), u"--html", in("sub/../l.csv"), u"--json"},
       kShift,
       64,
       R"("result":64)"},
      {"a page over the job",
       {u"report", u"--job", in("line3.ini"), u"--html", in("./line3.ini")},
       kShift,
       64,
       ""},
      {"a page over a file that is no page",
       {u"report", u"--log", u"l.csv", u"--html", in("other.txt"), u"--json"},
       kShift,
       74,
       R"("result":74)"},
      {"a page over a folder",
       {u"report", u"--log", u"l.csv", u"--html", in(""), u"--json"},
       kShift,
       74,
       R"("result":74)"},
      {"a new page beside someone's FILE.new",
       {u"report", u"--log", u"l.csv", u"--html", in("page.html")},
       kShift,
       0,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    logs_.text = c.log;
    EXPECT_EQ(Run(c.args), c.status) << console_.err;
    EXPECT_NE(console_.out.find(c.out), std::string::npos) << console_.out;
    EXPECT_EQ(logs_.text, c.log);
    if (std::find(c.args.begin(), c.args.end(), u"--json") != c.args.end()) {
      EXPECT_EQ(std::count(console_.out.begin(), console_.out.end(), '\n'), 1) << console_.out;
    }
    for (const char* name : {"l.csv", "other.txt", "page.html.new"}) {
      std::ifstream kept(files / name, std::ios::binary);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep") << name;
    }
  }
  std::filesystem::remove_all(files);
}

// --every: each round reads what the log gained and replaces the page whole
// with its refresh; Ctrl+C during the wait ends the run with 0.
TEST_F(ReportCommandTest, EveryRewritesThePageFromTheTail) {
  const std::filesystem::path page = test_files::OwnTempPath("velkoro_report_every.html");
  logs_.text = kShift;
  console_.onWait = [&](int wait) {
    if (wait == 1) logs_.text += Row("2026-12-01T01:00:00Z", "ST9", "update", "", 0, "");
    if (wait == 2) console_.interrupted = true;
  };
  ASSERT_EQ(Run({u"report", u"--log", u"l.csv", u"--html", page.u16string(), u"--every", u"30",
                 u"--json"}),
            0)
      << console_.err;
  std::string html;
  {
    std::ifstream in(page, std::ios::binary);
    html.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  EXPECT_NE(html.find(R"(<meta http-equiv="refresh" content="30">)"), std::string::npos);
  EXPECT_NE(html.find(R"(data-figure="line.operations">11<)"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(page.string() + ".new"));
  EXPECT_EQ(std::count(console_.out.begin(), console_.out.end(), '\n'), 2);
  EXPECT_NE(console_.out.find(R"("line":{"operations":11,)"), std::string::npos);
  EXPECT_EQ(console_.waitedMs, 30000u);
  std::filesystem::remove(page);
}

// --job: the job's records alone (found by its tag), from the store the job
// names, and how many numbers of its range the pool does not hold.
TEST_F(ReportCommandTest, JobCountsItsOwnRecordsAndItsRangeLeft) {
  const std::filesystem::path file = test_files::OwnTempPath("velkoro_line3.job");
  std::ofstream(file, std::ios::binary)
      << "[job]\r\nname = line3\r\nserials = SN0001-SN0010\r\nlog = l.csv\r\n"
         "steps = write-serial\r\nled = skip\r\n";
  LineJob job;
  std::string message;
  ASSERT_EQ(LoadLineJob(file.u16string(), &job, &message), 0) << message;
  const std::string tag = JobTag(job);
  logs_.text = kShift + Claim("2026-12-01T02:00:00Z", "ST1", "SN0007") +
               Row("2026-12-01T02:00:04Z", "ST1", "write-serial", "SN0007", 0, "", "written", tag) +
               Row("2026-12-01T02:01:00Z", "ST1", "write-serial", "SN0007", 65, "Held.", "", tag) +
               Row("2026-12-01T02:02:00Z", "ST1", "write-serial", "SN0011", 0, "", "written",
                   "other@00000000");
  EXPECT_EQ(Run({u"report", u"--job", file.u16string(), u"--json"}), 0) << console_.err;
  EXPECT_NE(
      console_.out.find(R"("line":{"operations":2,"commands":{"write-serial":2},"probes":1,)"),
      std::string::npos)
      << console_.out;
  EXPECT_NE(console_.out.find(R"("job":{"tag":")" + tag + R"(","range":10,"range_left":3})"),
            std::string::npos)
      << console_.out;
  std::filesystem::path missing = file;
  missing += ".gone";
  EXPECT_EQ(Run({u"report", u"--job", missing.u16string()}), 78);
  std::filesystem::remove(file);
}

}  // namespace
