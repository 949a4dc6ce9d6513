// Each command run whole against emulated probes: what goes to standard
// output and standard error, the exit status of each kind of failure, the
// questions, the pacing of the update, Ctrl+C, and the log and JSON records
// field by field.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "common/result_codes.h"
#include "probe/operations.h"
#include "tests/cli/cli_test_fixture.h"
#include "tests/support/crc32_reference.h"
#include "tests/support/csv_fields.h"

namespace {

using crc_test::BitwiseCrc32;
using csv_test::CsvFields;

using probe_model::Fault;
using probe_model::FaultKind;
using probe_model::ProbeSettings;

constexpr uint8_t kCmdWriteSerial = 0xE0;
constexpr uint8_t kCmdErase = 0xC1;
constexpr uint8_t kCmdWriteFlash = 0xC2;
// Data in one block below 0x40000 at a base that is no multiple of 256: with
// the filler block of two 0xFF bytes at 0x40000 it makes two units.
constexpr uint32_t kSmallBase = 0x1234;
constexpr size_t kSmallLength = 300;
constexpr uint32_t kFillerOffset = 0x40000;

std::string Hex(uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
  return text;
}

int CountOf(const probe_model::ProbeModel& probe, uint8_t command) {
  int count = 0;
  for (const auto& frame : probe.RequestsReceived()) {
    if (frame.size() > 2 && frame[2] == command) ++count;
  }
  return count;
}

std::vector<std::string> Lines(const std::string& text, const std::string& end = "\n") {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t next = text.find(end, at);
    lines.push_back(text.substr(at, next - at));
    if (next == std::string::npos) break;
    at = next + end.size();
  }
  return lines;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliCommandTest : public CliTest {
 protected:
  std::vector<uint8_t> SmallData() { return srecord_writer::Pattern(kSmallLength, 3); }
  std::u16string SmallImage() { return WriteFile(srecord_writer::File(kSmallBase, SmallData())); }
  // The bytes an update of SmallImage programs, in order: the data, then the
  // filler unit.
  std::vector<uint8_t> SmallProgrammed() {
    std::vector<uint8_t> bytes = SmallData();
    bytes.push_back(0xFF);
    bytes.push_back(0xFF);
    return bytes;
  }
  // The probe's flash as an update of SmallImage leaves it.
  void ProgramSmallImage(probe_model::ProbeModel& probe) {
    const std::vector<uint8_t> data = SmallData();
    std::copy(data.begin(), data.end(), probe.MutableFlash().begin());
    probe.MutableFlash()[kFillerOffset] = 0xFF;
    probe.MutableFlash()[kFillerOffset + 1] = 0xFF;
  }
  std::string Utf8Path(const std::u16string& path) { return std::string(path.begin(), path.end()); }
};

TEST_F(CliCommandTest, ListShowsEachProbeThatOpens) {
  Probe(0, {.versionByte = 0x22, .serial = u"LINE-A"});
  Probe(5, {.versionByte = 0x21, .serial = u"HIDDEN"});
  Probe(200, {.versionByte = 0xA3, .serial = u""});
  Probe(201, {.serial = u"TWO WORDS"});
  Probe(202).AddFault({.kind = FaultKind::kWrongEcho, .command = 0xE1});
  EXPECT_EQ(Run({u"list"}), kExitOk);
  EXPECT_EQ(console_.out, "0 2.2 LINE-A\n5 2.1 -\n200 2.3 \n201 2.2 TWO WORDS\n202 2.2 ?\n");

  EXPECT_EQ(Run({u"list", u"--json"}), kExitOk);
  const std::vector<std::string> objects = Lines(console_.out);
  ASSERT_EQ(objects.size(), 5u);
  EXPECT_EQ(objects[0], R"({"command":"list","probe":0,"result":0,"message":"","seconds":0.000,)"
                        R"("serial":"LINE-A","firmware_before":"2.2",)"
                        R"("device":"\\\\.\\VelkoroDevice0","serial_state":"read","schema":1})");
  EXPECT_TRUE(Has(objects[1], R"("probe":5,)") && !Has(objects[1], R"("serial":)") &&
              Has(objects[1], R"("serial_state":"firmware too old")"));
  EXPECT_TRUE(Has(objects[2], R"("serial":"","firmware_before":"2.3")"));
  EXPECT_TRUE(Has(objects[4], R"("result":10,)") && !Has(objects[4], R"("serial":)") &&
              Has(objects[4], R"("serial_state":"unreadable")"));

  EXPECT_EQ(Run({u"list", u"--probe", u"5"}), kExitOk);
  EXPECT_EQ(console_.out, "5 2.1 -\n");
}

TEST_F(CliCommandTest, ListWithNoProbeSaysSoOnce) {
  EXPECT_EQ(Run({u"list", u"--json"}), kResultNoProbe);
  EXPECT_EQ(console_.out,
            R"({"command":"list","probe":null,"result":1,"message":"It failed in the )"
            R"(connection with USB.","seconds":0.000})"
            "\n");
  EXPECT_EQ(console_.err, "ERROR: It failed in the connection with USB.\n");
  EXPECT_EQ(model_link::OpenAttempts().size(), 256u);
}

TEST_F(CliCommandTest, ReadSerialPrintsOneLine) {
  Probe(0, {.serial = u"VK 0042"});
  EXPECT_EQ(Run({u"read-serial"}), kExitOk);
  EXPECT_EQ(console_.out, "VK 0042\n");
  EXPECT_TRUE(console_.err.empty()) << console_.err;
  Clean();
  Probe(0, {.serial = u""});
  EXPECT_EQ(Run({u"read-serial"}), kExitOk);
  EXPECT_EQ(console_.out, "\n");
}

TEST_F(CliCommandTest, WriteSerialCountsUp) {
  probe_model::ProbeModel& probe = Probe(0);
  EXPECT_EQ(Run({u"write-serial", u"SN0009", u"--yes", u"--count-up"}), kExitOk);
  EXPECT_EQ(probe.SerialUnits(), u"SN0009");
  EXPECT_EQ(console_.out, "next: SN0010\n");
  EXPECT_TRUE(Has(console_.err, "May I write Serial No. of Velkoro? yes (--yes)\n"));
  EXPECT_TRUE(Has(console_.err, "Writing Serial No. of Velkoro succeeded.\n"));

  EXPECT_EQ(Run({u"write-serial", u"SN0010", u"--yes"}), kExitOk);
  EXPECT_EQ(console_.out, "");

  // Where counting up ends, next: names no number, never the one written.
  for (const char16_t* last : {u"SN9999", u"A9", u"9", u"NODIGIT"}) {
    const std::string text(last, last + std::char_traits<char16_t>::length(last));
    SCOPED_TRACE(text);
    EXPECT_EQ(Run({u"write-serial", last, u"--yes", u"--count-up"}), kExitOk);
    EXPECT_EQ(console_.out.rfind("next: none: " + text + " cannot count up", 0), 0u)
        << console_.out;
    EXPECT_EQ(Run({u"write-serial", last, u"--yes", u"--count-up", u"--json"}), kExitOk);
    EXPECT_FALSE(Has(console_.out, "\"next\"")) << console_.out;
  }
}

// The exit status of each kind of failure is its result code, and a check of
// the operator's text or of the file fails before the probe is touched.
TEST_F(CliCommandTest, ExitStatusIsTheResultCode) {
  struct Case {
    const char* what;
    std::vector<int> probes;
    ProbeSettings settings;
    std::vector<std::u16string> args;
    int status;
    bool probeTouched;
  };
  const std::u16string small = SmallImage();
  const std::u16string bad = WriteFile("S1130000" + std::string(32, '0') + "00\r\n", "bad.saf");
  const std::u16string missing = (dir_ / "missing.saf").u16string();
  const Fault flip{.kind = FaultKind::kFlipBit, .offset = 17};
  const Fault eraseFails{.kind = FaultKind::kEraseFails};
  const std::u16string skip[] = {u"--yes", u"--led", u"skip"};
  auto update = [&](const std::u16string& file) {
    return std::vector<std::u16string>{u"update", file, skip[0], skip[1], skip[2]};
  };
  const Case cases[] = {
      {"no probe", {}, {}, {u"read-serial"}, kResultNoProbe, true},
      {"two probes", {0, 4}, {}, {u"read-serial"}, kResultSeveralProbes, true},
      {"--probe at nothing", {0}, {}, {u"read-serial", u"--probe", u"9"}, kResultNoProbe, true},
      {"too old for serial",
       {0},
       {.versionByte = 0x21},
       {u"read-serial"},
       kResultVersionTooOldForSerial,
       true},
      {"too long",
       {0},
       {},
       {u"write-serial", std::u16string(33, u'A'), u"--yes"},
       kResultSerialTooLong,
       false},
      {"not ASCII",
       {0},
       {},
       {u"write-serial", u"SN\u00E9", u"--yes"},
       kResultSerialNotAscii,
       false},
      {"stored in other case",
       {0},
       {.faults = {{.kind = FaultKind::kSerialCase}}},
       {u"write-serial", u"abc", u"--yes"},
       kResultSerialVerify,
       true},
      {"no file", {0}, {}, update(missing), kResultNoFile, false},
      {"not S-record", {0}, {}, update(bad), kResultNotSRecord, false},
      {"too old to update",
       {0},
       {.versionByte = 0x10},
       update(small),
       kResultVersionTooOldForUpdate,
       true},
      {"erase fails", {0}, {.faults = {eraseFails}}, update(small), kResultErase, true},
      {"flipped bit, update", {0}, {.faults = {flip}}, update(small), kResultFlashVerify, true},
      {"flipped bit, verify", {0}, {}, {u"verify", small}, kResultFlashVerify, true},
      {"verify, no file", {0}, {}, {u"verify", missing}, kResultNoFile, false},
      {"check, not S-record", {0}, {}, {u"check", bad}, kResultNotSRecord, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    for (int index : c.probes) Probe(index, c.settings);
    EXPECT_EQ(Run(c.args), c.status) << console_.err;
    EXPECT_EQ(!model_link::OpenAttempts().empty(), c.probeTouched);
    for (int index : c.probes)
      EXPECT_EQ(model_link::CloseCount(index), model_link::OpenCount(index))
          << "the probe was left open";
    EXPECT_EQ(console_.err.rfind("ERROR: ", 0) == 0 || Has(console_.err, "\nERROR: "), true)
        << console_.err;
  }
}

TEST_F(CliCommandTest, SecondSentenceStandsOnItsOwnLine) {
  Probe(0, {.versionByte = 0x21});
  EXPECT_EQ(Run({u"read-serial"}), kResultVersionTooOldForSerial);
  EXPECT_EQ(console_.err,
            "ERROR: The firmware version of Velkoro is 2.2 or less.\n"
            "Please update the firmware version to 2.2 or more.\n");
}

TEST_F(CliCommandTest, ProbeOptionPicksOneOfTwo) {
  Probe(0, {.serial = u"FIRST"});
  Probe(4, {.serial = u"SECOND"});
  EXPECT_EQ(Run({u"read-serial", u"--probe", u"4", u"--json"}), kExitOk);
  EXPECT_TRUE(Has(console_.out, R"("probe":4,"result":0,)")) << console_.out;
  EXPECT_TRUE(Has(console_.out, R"("serial":"SECOND")")) << console_.out;
  EXPECT_EQ(model_link::OpenAttempts(), std::vector<int>{4});
}

TEST_F(CliCommandTest, CancelChangesNothing) {
  probe_model::ProbeModel& probe = Probe(0, {.serial = u"KEEP"});
  console_.inputIsConsole = true;
  console_.typedLines = {"n"};
  EXPECT_EQ(Run({u"write-serial", u"NEW"}), kExitDeclined);
  EXPECT_EQ(probe.SerialUnits(), u"KEEP");
  EXPECT_EQ(CountOf(probe, kCmdWriteSerial), 0);
  EXPECT_TRUE(Has(console_.err, "May I write Serial No. of Velkoro? [y/N] "));

  console_.typedLines = {""};  // Enter alone is no
  EXPECT_EQ(Run({u"update", SmallImage(), u"--led", u"skip", u"--json"}), kExitDeclined);
  EXPECT_EQ(CountOf(probe, kCmdErase), 0);
  EXPECT_TRUE(Has(console_.err, "May I update Firmware Ver. 2.2 of Velkoro? [y/N] "));
  EXPECT_TRUE(Has(console_.out, R"("result":23,"message":"Cancelled: nothing was changed.")"));
}

TEST_F(CliCommandTest, LedQuestionOnTheConsole) {
  struct Case {
    std::string answer;
    int status;
    const char* led;
  };
  for (const Case& c : {Case{"y", kExitOk, "yes"}, Case{"no", kResultLedRejected, "no"}}) {
    Clean();
    Probe(0);
    console_.inputIsConsole = true;
    console_.typedLines = {"YES", c.answer};
    EXPECT_EQ(Run({u"update", SmallImage(), u"--json"}), c.status) << console_.err;
    EXPECT_TRUE(Has(console_.err, "Did the LED display become like a red frame? [y/N] "));
    EXPECT_TRUE(Has(console_.err, "Please push Reset SW of Velkoro.\n"));
    EXPECT_TRUE(Has(console_.out, std::string(R"("led":")") + c.led + "\"")) << console_.out;
  }
  // --yes answers the update question, never the LED question.
  Clean();
  Probe(0);
  console_.typedLines = {"y"};
  console_.questionsRead = 0;
  EXPECT_EQ(Run({u"update", SmallImage(), u"--yes"}), kExitOk);
  EXPECT_EQ(console_.questionsRead, 1);
}

TEST_F(CliCommandTest, UpdateWaitsOnlyForTheErasePoll) {
  probe_model::ProbeModel& probe = Probe(0, {.eraseMs = 1200});
  EXPECT_EQ(Run({u"update", SmallImage(), u"--yes", u"--led", u"skip"}), kExitOk) << console_.err;
  // Polls at 500, 1000 and 1500 ms; the erase answered at 1200.
  EXPECT_EQ(console_.waits, 3);
  EXPECT_EQ(console_.waitedMs, 1500u);
  EXPECT_EQ(CountOf(probe, kCmdWriteFlash), 2);
  EXPECT_EQ(console_.err,
            "May I update Firmware Ver. 2.2 of Velkoro? yes (--yes)\n"
            "erase...\nprogram...\nverify...\n"
            "Please push Reset SW of Velkoro.\n"
            "Updating Firmware of Velkoro succeeded.\n"
            "LED check skipped.\n");
  EXPECT_EQ(probe.Flash()[kFillerOffset], 0xFF);
  EXPECT_EQ(probe.Flash()[0], SmallData()[0]);
}

TEST_F(CliCommandTest, ProgressAsBarOrNotAtAll) {
  // The first unit matches, the filler unit does not: the bar stops half way.
  ProgramSmallImage(Probe(0));
  model_link::ModelAt(0)->MutableFlash()[kFillerOffset] = 0x00;
  console_.errorIsConsole = true;
  EXPECT_EQ(Run({u"verify", SmallImage()}), kResultFlashVerify);
  EXPECT_TRUE(Has(console_.err, "\rverify   [###############...............]  50%"))
      << console_.err;
  ProgramSmallImage(*model_link::ModelAt(0));
  EXPECT_EQ(Run({u"verify", SmallImage(), u"--quiet"}), kExitOk);
  EXPECT_EQ(console_.err, "The flash of Velkoro matches the file.\n");
}

TEST_F(CliCommandTest, VerifyChangesNothing) {
  probe_model::ProbeModel& probe = Probe(0);
  ProgramSmallImage(probe);
  const std::vector<uint8_t> before = probe.Flash();
  EXPECT_EQ(Run({u"verify", SmallImage(), u"--json"}), kExitOk) << console_.err;
  EXPECT_EQ(probe.Flash(), before);
  EXPECT_EQ(CountOf(probe, kCmdErase) + CountOf(probe, kCmdWriteFlash), 0);
  EXPECT_TRUE(
      Has(console_.out, R"("result":0,"message":"The flash of Velkoro matches the file.")"));
  EXPECT_TRUE(Has(console_.out, R"("firmware_before":"2.2")"));
  EXPECT_TRUE(Has(console_.out, R"("units":2})"));
}

TEST_F(CliCommandTest, CheckReportsTheImageAndItsCrc) {
  const std::u16string file = SmallImage();
  EXPECT_EQ(Run({u"check", file}), kExitOk);
  const std::string crc = Hex(BitwiseCrc32(SmallProgrammed()));
  EXPECT_EQ(console_.out, "file: " + Utf8Path(file) +
                              "\nbase: 0x00001234\nspan: 262146\nunits: 2\nblocks: 3\ncrc32: " +
                              crc + "\nend record: yes\noverlapping records: none\n");
  EXPECT_TRUE(model_link::OpenAttempts().empty());

  // A full image: 640 units of four blocks, no filler.
  const std::vector<uint8_t> full = srecord_writer::Pattern(640 * 1024, 9);
  EXPECT_EQ(
      Run({u"check", WriteFile(srecord_writer::File(0x00100000, full, 64), "full.saf"), u"--json"}),
      kExitOk);
  EXPECT_TRUE(Has(console_.out, R"("image_crc32":")" + Hex(BitwiseCrc32(full)) +
                                    R"(","units":640,"base":1048576,"span":655360,"blocks":2560})"))
      << console_.out;
}

TEST_F(CliCommandTest, UpdateRecordsFieldByField) {
  Probe(3, {.versionByte = 0xA1});
  const std::u16string file = SmallImage();
  logs_.text.clear();
  EXPECT_EQ(Run({u"update", file, u"--probe", u"3", u"--yes", u"--led", u"skip", u"--json",
                 u"--log", u"run.csv"}),
            kExitOk)
      << console_.err;
  const std::string crc = Hex(BitwiseCrc32(SmallProgrammed()));
  std::string escaped;
  for (char c : Utf8Path(file)) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  EXPECT_EQ(console_.out,
            R"({"command":"update","probe":3,"result":0,"message":"Updating Firmware of )"
            R"(Velkoro succeeded.","seconds":2.000,"firmware_before":"2.1","file":")" +
                escaped + R"(","image_crc32":")" + crc + R"(","units":2,"led":"skipped"})" + "\n");

  const std::vector<std::string> lines = Lines(logs_.text, "\r\n");
  ASSERT_EQ(lines.size(), 2u) << logs_.text;  // the header and one line
  EXPECT_EQ(lines[0],
            "time,station,tool_version,command,probe,firmware_before,serial,file,image_crc32,"
            "result,message,seconds,pool,firmware_after,job,seq,chain");
  std::vector<std::string> fields = CsvFields(lines[1]);
  ASSERT_EQ(fields.size(), 17u) << lines[1];
  EXPECT_EQ(fields[15], "1");
  fields.resize(15);  // the chain's own tests read seq and chain
  const std::vector<std::string> expected = {"2024-05-06T07:08:09Z",
                                             "BENCH-7",
                                             "1.0.0.0",
                                             "update",
                                             "3",
                                             "2.1",
                                             "",
                                             Utf8Path(file),
                                             crc,
                                             "0",
                                             "Updating Firmware of Velkoro succeeded.",
                                             "2.000",
                                             "",
                                             "",
                                             ""};
  EXPECT_EQ(fields, expected);

  // A second run appends without a second header; a failure is a line too,
  // its fields quoted where they hold a comma or a quote. Its claim is
  // released: no request left for the missing probe.
  Clean();
  EXPECT_EQ(Run({u"write-serial", u"A,\"B\"", u"--yes", u"--log", u"run.csv"}), kResultNoProbe);
  const std::vector<std::string> after = Lines(logs_.text, "\r\n");
  ASSERT_EQ(after.size(), 4u) << logs_.text;
  EXPECT_EQ(CsvFields(after[2])[12], "claimed");
  EXPECT_EQ(after[3].substr(0, after[3].size() - 65),
            R"(2024-05-06T07:08:09Z,BENCH-7,1.0.0.0,write-serial,,,"A,""B""",,,1,)"
            R"(It failed in the connection with USB.,0.000,free,,,3)");
}

TEST_F(CliCommandTest, UnwritableLogTouchesNoProbe) {
  Probe(0);
  logs_.refuse = true;
  EXPECT_EQ(Run({u"read-serial", u"--log", u"nowhere/run.csv"}), kExitLogFailed);
  EXPECT_TRUE(model_link::OpenAttempts().empty());
  EXPECT_TRUE(Has(console_.err, "ERROR: the log cannot be used: nowhere/run.csv (refused)"))
      << console_.err;
}

TEST_F(CliCommandTest, CtrlCEndsTheUpdateCleanly) {
  probe_model::ProbeModel& probe = Probe(0, {.eraseMs = 1200});
  console_.interruptAtWait = 2;
  EXPECT_EQ(Run({u"update", SmallImage(), u"--yes", u"--led", u"skip", u"--log", u"l.csv"}),
            kExitInterrupted);
  EXPECT_EQ(model_link::CloseCount(0), model_link::OpenCount(0)) << "the probe was left open";
  EXPECT_EQ(CountOf(probe, kCmdWriteFlash), 0);
  const std::vector<std::string> lines = Lines(logs_.text, "\r\n");
  ASSERT_EQ(lines.size(), 2u) << logs_.text;
  const std::vector<std::string> fields = CsvFields(lines[1]);
  ASSERT_EQ(fields.size(), 17u);
  EXPECT_EQ(fields[9], "130");
  EXPECT_EQ(fields[10], "Stopped by Ctrl+C.");
  EXPECT_TRUE(Has(console_.err, "ERROR: Stopped by Ctrl+C.\n"));
}

}  // namespace
