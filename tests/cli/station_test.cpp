// The station run against in-process probes: an operator at the line
// attaches the next probe of a row when the station waits for one and
// removes it when asked, so numbering, failures, questions, the log's rule
// of never twice, --resume and the ways a run ends are tested whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_options.h"
#include "common/result_codes.h"
#include "ledger/csv_log_reader.h"
#include "ledger/operation_record.h"
#include "tests/cli/cli_test_fixture.h"
#include "tests/support/log_lines.h"

namespace {

using probe_model::Fault;
using probe_model::FaultKind;
using probe_model::ProbeSettings;

constexpr char kWaiting[] = "Waiting for ";
constexpr char kRemove[] = "Remove the probe";

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// One probe of the row: where it is attached and what it is like.
struct RowProbe {
  int index = 0;
  ProbeSettings settings;
};

// The person at the line, acting at each of the station's waits on what the
// station last said: attach the next probe, or remove the one attached.
class LineOperator {
 public:
  explicit LineOperator(std::vector<RowProbe> row) : row_(std::move(row)) {}

  void Act(const std::string& err) {
    const size_t waiting = err.rfind(kWaiting);
    const size_t remove = err.rfind(kRemove);
    if (remove != std::string::npos && (waiting == std::string::npos || remove > waiting)) {
      if (attached_ >= 0) Remove();
    } else if (waiting != std::string::npos && attached_ < 0 && next_ < row_.size()) {
      attached_ = row_[next_].index;
      model_link::Attach(attached_, row_[next_].settings);
      ++next_;
    }
  }
  // What each probe held when it left the line (and the last one now).
  std::vector<std::u16string> Serials() {
    if (attached_ >= 0) Remove();
    return serials_;
  }
  std::vector<std::vector<uint8_t>> Flashes() {
    if (attached_ >= 0) Remove();
    return flashes_;
  }
  size_t attachedSoFar() const { return next_; }

 private:
  void Remove() {
    serials_.push_back(model_link::ModelAt(attached_)->SerialUnits());
    flashes_.push_back(model_link::ModelAt(attached_)->Flash());
    model_link::Detach(attached_);
    attached_ = -1;
  }

  std::vector<RowProbe> row_;
  size_t next_ = 0;
  int attached_ = -1;
  std::vector<std::u16string> serials_;
  std::vector<std::vector<uint8_t>> flashes_;
};

std::string LogLine(const std::string& serial, int result, const char* pool = nullptr) {
  return log_lines::Line(serial, pool, result);
}
using log_lines::EarlierHeader;

// The log's lines, the claims left out.
std::vector<std::vector<std::string>> LogFields(const std::string& text) {
  std::vector<std::vector<std::string>> lines;
  size_t start = 0;
  for (size_t end = text.find("\r\n"); end != std::string::npos;
       start = end + 2, end = text.find("\r\n", start)) {
    std::vector<std::string> fields =
        SplitCsvLine(text.substr(start, end - start), true, false).value();
    if (fields.at(3) != kClaimCommand) lines.push_back(std::move(fields));
  }
  return lines;
}

class StationTest : public CliTest {
 protected:
  // The row goes to the station; the operator acts at every wait.
  void Line(std::vector<RowProbe> row) {
    line_ = std::make_unique<LineOperator>(std::move(row));
    console_.onWait = [this](int) { line_->Act(console_.err); };
  }
  static std::vector<RowProbe> Plain(int count, int index = 0) {
    return std::vector<RowProbe>(static_cast<size_t>(count), RowProbe{index, {}});
  }
  // Each column of the log after its header.
  std::vector<std::string> Column(const char* name) {
    const std::vector<std::vector<std::string>> lines = LogFields(logs_.text);
    const std::vector<std::string>& header = lines.at(0);
    const size_t column = static_cast<size_t>(
        std::find(header.begin(), header.end(), std::string(name)) - header.begin());
    std::vector<std::string> values;
    for (size_t i = 1; i < lines.size(); ++i) values.push_back(lines[i].at(column));
    return values;
  }

  std::unique_ptr<LineOperator> line_;
};

TEST_F(StationTest, ThreeProbesNumberedInTurn) {
  Line(Plain(3));
  EXPECT_EQ(Run({u"write-serial", u"SN0001", u"--yes", u"--count-up", u"--repeat", u"3", u"--log",
                 u"line.csv"}),
            kExitOk)
      << console_.err;
  EXPECT_EQ(line_->Serials(), (std::vector<std::u16string>{u"SN0001", u"SN0002", u"SN0003"}));
  EXPECT_EQ(console_.out, "0 SN0001 0\n0 SN0002 0\n0 SN0003 0\nnext: SN0004\n");
  EXPECT_EQ(Column("serial"), (std::vector<std::string>{"SN0001", "SN0002", "SN0003"}));
  EXPECT_EQ(Column("result"), (std::vector<std::string>{"0", "0", "0"}));
  EXPECT_EQ(Column("probe"), (std::vector<std::string>{"0", "0", "0"}))
      << "the probe opened is recorded";
  EXPECT_EQ(Count(console_.err, kWaiting), 3);
  EXPECT_EQ(Count(console_.err, "Remove the probe at \\\\.\\VelkoroDevice0..."), 2)
      << "no removal is waited for after the last probe";
  EXPECT_TRUE(Has(console_.err, "Waiting for probe 2 of 3 to be attached...")) << console_.err;
  EXPECT_TRUE(Has(console_.err, "Station: 3 probes, 3 succeeded, 0 failed.")) << console_.err;
}

// A probe that failed after the request left may hold its number: the
// number is spent, and the next probe gets the next one. Without a log the
// station keeps the number for the next probe.
TEST_F(StationTest, FailedProbeSpendsItsNumber) {
  const Fault otherCase{.kind = FaultKind::kSerialCase};
  Line({{0, {}}, {0, {.faults = {otherCase}}}, {0, {}}});
  EXPECT_EQ(Run({u"write-serial", u"SN0001", u"--yes", u"--count-up", u"--repeat", u"2", u"--log",
                 u"line.csv"}),
            kExitOk)
      << console_.err;
  EXPECT_EQ(line_->Serials(), (std::vector<std::u16string>{u"SN0001", u"sn0002", u"SN0003"}));
  EXPECT_EQ(console_.out, "0 SN0001 0\n0 SN0002 11\n0 SN0003 0\nnext: SN0004\n");
  EXPECT_EQ(Column("result"), (std::vector<std::string>{"0", "11", "0"}));
  EXPECT_EQ(Column("pool"), (std::vector<std::string>{"written", "spent", "written"}));
  EXPECT_TRUE(Has(console_.err, "ERROR: It failed in the verify of Serial No..")) << console_.err;
  EXPECT_TRUE(Has(console_.err, "Station: 3 probes, 2 succeeded, 1 failed.")) << console_.err;
}

TEST_F(StationTest, UpdatesARowOfProbes) {
  Line(Plain(2, 4));
  const std::vector<uint8_t> data = srecord_writer::Pattern(300, 3);
  const std::u16string image = WriteFile(srecord_writer::File(0, data));
  EXPECT_EQ(Run({u"update", image, u"--yes", u"--led", u"skip", u"--repeat", u"2", u"--probe", u"4",
                 u"--quiet"}),
            kExitOk)
      << console_.err;
  const std::vector<std::vector<uint8_t>> flashes = line_->Flashes();
  ASSERT_EQ(flashes.size(), 2u);
  for (const auto& flash : flashes) {
    EXPECT_TRUE(std::equal(data.begin(), data.end(), flash.begin())) << "not programmed";
  }
  EXPECT_EQ(console_.out, "4 0\n4 0\n");
  EXPECT_TRUE(Has(console_.err, "Waiting for probe 1 of 2 to be attached at \\\\.\\VelkoroDevice4"))
      << console_.err;
  EXPECT_EQ(Count(console_.err, "LED check skipped."), 2);
}

// The write or update question is asked once for the run; the LED question
// once per probe.
TEST_F(StationTest, QuestionsAskedOnceLedPerProbe) {
  struct Case {
    const char* what;
    std::vector<std::u16string> args;
    std::deque<std::string> typed;
    int questions;
    int said;  // questions said answered without asking
  };
  const std::u16string image = WriteFile(srecord_writer::File(0, srecord_writer::Pattern(300, 3)));
  const Case cases[] = {
      {"write", {u"write-serial", u"SN0001", u"--count-up", u"--repeat", u"3"}, {"y"}, 1, 0},
      {"update and its LED",
       {u"update", image, u"--repeat", u"2", u"--quiet"},
       {"y", "y", "y"},
       3,
       0},
      {"--yes answers it every time, said once",
       {u"write-serial", u"SN0001", u"--count-up", u"--repeat", u"3", u"--yes"},
       {},
       0,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    Line(Plain(3));
    console_.inputIsConsole = true;
    console_.typedLines = c.typed;
    console_.questionsRead = 0;
    EXPECT_EQ(Run(c.args), kExitOk) << console_.err;
    EXPECT_EQ(console_.questionsRead, c.questions);
    EXPECT_EQ(Count(console_.err, " yes ("), c.said) << console_.err;
  }
}

TEST_F(StationTest, DeclinedAtTheFirstProbeEndsTheRun) {
  Line(Plain(3));
  console_.inputIsConsole = true;
  console_.typedLines = {"n"};
  EXPECT_EQ(Run({u"write-serial", u"SN0001", u"--count-up", u"--repeat", u"3"}), kExitDeclined);
  EXPECT_EQ(line_->attachedSoFar(), 1u);
  EXPECT_EQ(line_->Serials(), std::vector<std::u16string>{u"VELKORO-0001"});
  EXPECT_FALSE(Has(console_.err, kRemove)) << console_.err;
  EXPECT_TRUE(Has(console_.out, "next: SN0001\n")) << console_.out;
}

// The ways a run ends: its count, a number that cannot count up, Ctrl+C
// between probes (the normal end of a run without a count), and a file no
// probe can help, found before any probe is waited for.
TEST_F(StationTest, HowARunEnds) {
  struct Case {
    const char* what;
    std::vector<std::u16string> args;
    int ctrlCAtWait;  // 0: never
    int status;
    size_t probes;  // attached in the run
    const char* said;
    const char* out = "";    // a part of standard output
    int heldElsewhere = -1;  // the device index another program holds
  };
  const std::u16string missing = (dir_ / "missing.saf").u16string();
  const Case cases[] = {
      {"all nines",
       {u"write-serial", u"SN98", u"--yes", u"--count-up", u"--repeat", u"0"},
       0,
       kExitOk,
       2,
       "SN99 cannot count up any further: the run ends.",
       "next: none: SN99 cannot count up"},
      {"Ctrl+C without a count",
       {u"write-serial", u"SN01", u"--yes", u"--count-up", u"--repeat", u"0"},
       4,
       kExitOk,
       2,
       "Stopped by Ctrl+C between probes."},
      {"Ctrl+C while waiting gives the claim back",
       {u"write-serial", u"SN01", u"--yes", u"--count-up", u"--repeat", u"0", u"--log", u"l.csv"},
       1,
       kExitOk,
       1,
       "Stopped by Ctrl+C between probes."},
      {"Ctrl+C short of the count",
       {u"write-serial", u"SN01", u"--yes", u"--count-up", u"--repeat", u"5"},
       4,
       kExitInterrupted,
       2,
       "Stopped by Ctrl+C between probes."},
      {"no such file",
       {u"update", missing, u"--yes", u"--led", u"skip", u"--repeat", u"3"},
       0,
       kResultNoFile,
       0,
       "ERROR: There is no specified file."},
      {"serial number too long",
       {u"write-serial", std::u16string(33, u'7'), u"--yes", u"--repeat", u"3"},
       0,
       kResultSerialTooLong,
       0,
       "ERROR: The Serial No. exceeds 32 characters."},
      {"another program works on the same --probe",
       {u"write-serial", u"SN01", u"--yes", u"--repeat", u"3", u"--probe", u"3"},
       0,
       kExitUsage,
       0,
       "Another ostrelin-cli works on the probe at \\\\.\\VelkoroDevice3: waiting up to 10 s",
       "",
       3},
      {"a tray's probe another program works on",
       {u"write-serial", u"SN01", u"--yes", u"--count-up", u"--repeat", u"1", u"--probe", u"all"},
       0,
       kExitUsage,
       1,
       "Another ostrelin-cli works on the probe at \\\\.\\VelkoroDevice0: waiting up to 10 s",
       "",
       0},
      {"Ctrl+C while another program works on it",
       {u"update", missing, u"--yes", u"--led", u"skip", u"--probe", u"3"},
       3,
       kExitInterrupted,
       0,
       "Another ostrelin-cli works on the probe",
       "",
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    Line(Plain(10));
    console_.waits = 0;
    console_.interrupted = false;
    console_.interruptAtWait = c.ctrlCAtWait;
    console_.heldElsewhere = c.heldElsewhere;
    logs_.text.clear();
    EXPECT_EQ(Run(c.args), c.status) << console_.err;
    EXPECT_EQ(line_->attachedSoFar(), c.probes);
    EXPECT_TRUE(Has(console_.err, c.said)) << console_.err;
    EXPECT_TRUE(Has(console_.out, c.out)) << console_.out;
    if (c.heldElsewhere >= 0) {
      const probe_model::ProbeModel* held = model_link::ModelAt(c.heldElsewhere);
      EXPECT_TRUE(held == nullptr || held->RequestsReceived().empty());
    }
    // A claim given back records the run's status or none, never success.
    if (logs_.text.empty()) continue;
    const std::vector<std::string> pools = Column("pool"), results = Column("result");
    EXPECT_NE(std::find(pools.begin(), pools.end(), "free"), pools.end()) << logs_.text;
    for (size_t i = 0; i < pools.size(); ++i) {
      if (pools[i] == "free") {
        EXPECT_NE(results[i], "0") << logs_.text;
      }
    }
  }
}

TEST_F(StationTest, WaitsWhileTwoAreAttached) {
  model_link::Attach(7);
  model_link::Attach(9);
  int waits = 0;
  console_.onWait = [&](int) {
    if (++waits == 3) model_link::Detach(9);
  };
  EXPECT_EQ(Run({u"write-serial", u"SN1", u"--yes", u"--repeat", u"1"}), kExitOk) << console_.err;
  EXPECT_EQ(model_link::ModelAt(7)->SerialUnits(), u"SN1");
  EXPECT_EQ(Count(console_.err, "Two or more Velkoro is connected: leave one attached."), 1);
  EXPECT_EQ(console_.out, "7 SN1 0\n");
}

// A number the log holds is refused before any probe is opened, whether
// written (in either format), spent or claimed; one the log's earlier format
// records as failed is free.
TEST_F(StationTest, NeverTheSameNumberTwice) {
  struct Case {
    const char* what;
    std::string log;
    const char* said;
  };
  const std::string header = CsvHeader();
  const Case cases[] = {
      {"written", header + LogLine("SN0005", 0, "written"), "is already written"},
      {"written, earlier format", EarlierHeader() + LogLine("SN0005", 0), "is already written"},
      {"spent", header + LogLine("SN0005", 4, "spent"), "is spent"},
      {"claimed", header + LogLine("SN0005", 0, "claimed"), "is claimed by a station"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    Probe(0);
    logs_.text = c.log;
    EXPECT_EQ(Run({u"write-serial", u"SN0005", u"--yes", u"--log", u"line.csv"}),
              kExitAlreadyWritten)
        << console_.err;
    EXPECT_TRUE(Has(console_.err, std::string("ERROR: SN0005 ") + c.said)) << console_.err;
    EXPECT_TRUE(model_link::OpenAttempts().empty()) << "a probe was opened";
    EXPECT_EQ(Column("result").back(), "65");
    EXPECT_EQ(Column("serial").back(), "SN0005");
  }
  Clean();
  Probe(0);
  logs_.text = EarlierHeader() + LogLine("SN0006", 11);
  EXPECT_EQ(Run({u"write-serial", u"SN0006", u"--yes", u"--log", u"line.csv"}), kExitOk)
      << console_.err;
}

TEST_F(StationTest, ResumesAfterTheLastNumberWritten) {
  struct Case {
    const char* what;
    std::string log;
    std::u16string first;  // the number the first probe gets
  };
  const std::string header = CsvHeader();
  const Case cases[] = {
      {"after the highest held, in numeric order",
       header + LogLine("SN0007", 0, "written") + LogLine("SN0006", 0, "written") +
           LogLine("SN0009", 4, "spent") + LogLine("SN0008", 11),
       u"SN0010"},
      {"its own series only",
       header + LogLine("SN0003", 0, "written") + LogLine("LINEB0042", 0, "written") +
           LogLine("SN00099", 0, "written"),
       u"SN0004"},
      {"a log with none", header + LogLine("SN0002", 12), u"SN0001"},
      {"an empty log", "", u"SN0001"},
      {"a half-written last line", header + LogLine("SN0040", 0).substr(0, 66), u"SN0041"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    Probe(0);
    logs_.text = c.log;
    EXPECT_EQ(Run({u"write-serial", u"SN0001", u"--yes", u"--count-up", u"--resume", u"--log",
                   u"line.csv"}),
              kExitOk)
        << console_.err;
    EXPECT_EQ(model_link::ModelAt(0)->SerialUnits(), c.first);
  }
}

TEST_F(StationTest, UnreadableLogTouchesNoProbe) {
  Probe(0);
  logs_.file.failBegin = true;
  EXPECT_EQ(Run({u"write-serial", u"SN1", u"--yes", u"--log", u"line.csv", u"--json"}),
            kExitLogFailed);
  EXPECT_TRUE(model_link::OpenAttempts().empty());
  EXPECT_TRUE(Has(console_.err, "ERROR: the log cannot be used: line.csv (refused)"))
      << console_.err;
  EXPECT_TRUE(Has(console_.out, "\"result\":74,")) << console_.out;
}

// The probe was written but its outcome could not be recorded: the claim on
// disk keeps the number spent, and the exit status, the JSON object, the
// station's line and next: agree. A claim that cannot be recorded touches no
// probe.
TEST_F(StationTest, UnrecordedOutcomeLeavesTheNumberSpent) {
  struct Case {
    const char* what;
    int appendsLeft;
    std::vector<std::u16string> extra;
    const char* out;
    const char* err;
    size_t attached;
    bool noAnswer = false;  // the write's answer never comes
  };
  const Case cases[] = {
      {"outcome", 1, {u"--json"}, "\"serial\":\"SN0001\",\"next\":\"SN0002\"", "next: SN0002\n", 1},
      {"outcome, station line", 1, {}, "0 SN0001 74\nnext: SN0002\n", "", 1},
      {"claim", 0, {u"--json"}, "\"result\":74,", "No probe was touched.", 0},
      {"outcome of a write never answered",
       1,
       {u"--json"},
       "\"result\":74,",
       "Station: 1 probe, 0 succeeded, 1 failed.",
       1,
       true},
      {"outcome of a write never answered, station line", 1, {}, "0 SN0001 74\n", "", 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    const Fault noReply{.kind = FaultKind::kNoReply, .command = kCmdWriteSerial};
    Line(c.noAnswer ? std::vector<RowProbe>{{0, {.faults = {noReply}}}, {0, {}}} : Plain(2));
    logs_.text = CsvHeader();
    logs_.file.appendsLeft = c.appendsLeft;
    std::vector<std::u16string> args = {u"write-serial", u"SN0001", u"--yes", u"--count-up",
                                        u"--repeat",     u"2",      u"--log", u"line.csv"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(Run(args), kExitLogFailed) << console_.err;
    EXPECT_TRUE(Has(console_.out, c.out)) << console_.out;
    EXPECT_TRUE(Has(console_.err, c.err)) << console_.err;
    EXPECT_EQ(line_->attachedSoFar(), c.attached);
    const bool written = c.appendsLeft > 0;
    if (written && !c.noAnswer) {
      EXPECT_EQ(line_->Serials().at(0), u"SN0001");
    }
    if (written && Has(console_.out, "{")) {
      EXPECT_TRUE(Has(console_.out, "\"result\":74,")) << console_.out;
      EXPECT_EQ(Count(console_.out, "\n"), 1) << "one object";
    }
  }
}

}  // namespace
