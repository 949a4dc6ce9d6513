// The probe's identity and the proof of its new firmware, run whole against
// emulated probes: the choice by serial number, the CRC-32 pin, the update
// that leaves an identical image alone, and the wait for the version after
// the reset on the emulated probe's clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "common/probe_protocol.h"
#include "common/result_codes.h"
#include "firmware/firmware_image.h"
#include "tests/cli/cli_test_fixture.h"
#include "tests/support/crc32_reference.h"
#include "tests/support/probe_requests.h"

namespace {

using probe_model::FaultKind;
using probe_model::ProbeSettings;

constexpr uint32_t kBase = 0x1234;
constexpr size_t kLength = 300;
constexpr uint32_t kFillerOffset = 0x40000;
// A look at a probe that does not answer costs the transfer time-out.
constexpr uint64_t kReplyTimeoutMs = 3000;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class IdentityTest : public CliTest {
 protected:
  std::vector<uint8_t> Data() { return srecord_writer::Pattern(kLength, 3); }
  std::u16string Image() { return WriteFile(srecord_writer::File(kBase, Data())); }
  // The image's CRC-32 as check prints it: the data, then the filler unit.
  std::u16string Crc() {
    std::vector<uint8_t> bytes = Data();
    bytes.insert(bytes.end(), {0xFF, 0xFF});
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc_test::BitwiseCrc32(bytes)));
    return std::u16string(text, text + 8);
  }
  void Program(probe_model::ProbeModel& probe) {
    const std::vector<uint8_t> data = Data();
    std::copy(data.begin(), data.end(), probe.MutableFlash().begin());
    probe.MutableFlash()[kFillerOffset] = 0xFF;
    probe.MutableFlash()[kFillerOffset + 1] = 0xFF;
  }
  static size_t Count(const probe_model::ProbeModel& probe, uint8_t command) {
    return probe_requests::Decode(probe, command).size();
  }
};

struct SerialCase {
  const char* name;
  std::vector<ProbeSettings> probes;  // at device indices 0, 1, ...
  int status;
  std::string out;
  int faultyAt = -1;  // the probe the message names as not answering
};

TEST_F(IdentityTest, ProbeChosenBySerialNumber) {
  const SerialCase cases[] = {
      {"none", {{.serial = u"OTHER"}}, kResultNoProbe, ""},
      {"one among others",
       {{.serial = u"OTHER"}, {.serial = u"LINE 7"}},
       kExitOk,
       "1 2.2 LINE 7\n"},
      {"two", {{.serial = u"LINE 7"}, {.serial = u"LINE 7"}}, kResultSeveralProbes, ""},
      {"an old one holds it too",
       {{.versionByte = 0x21, .serial = u"LINE 7"}, {.serial = u"LINE 7"}},
       kExitOk,
       "1 2.2 LINE 7\n"},
      {"one that does not answer might hold it",
       {{.faults = {{.kind = FaultKind::kNoReply}}}, {.serial = u"LINE 7"}},
       kResultSeveralProbes,
       "",
       0},
      {"one whose serial number reply fails might hold it",
       {{.serial = u"LINE 7"},
        {.faults = {{.kind = FaultKind::kVanish, .command = kCmdReadSerial}}}},
       kResultSeveralProbes,
       "",
       1},
  };
  for (const SerialCase& c : cases) {
    SCOPED_TRACE(c.name);
    Clean();
    for (size_t i = 0; i < c.probes.size(); ++i) Probe(static_cast<int>(i), c.probes[i]);
    EXPECT_EQ(Run({u"list", u"--probe-serial", u"LINE 7"}), c.status);
    EXPECT_EQ(console_.out, c.out);
    if (c.status == kResultNoProbe) {
      EXPECT_TRUE(Has(console_.err, "ERROR: No probe holds the serial number 'LINE 7'."))
          << console_.err;
    }
    if (c.faultyAt >= 0) {
      EXPECT_TRUE(
          Has(console_.err, "VelkoroDevice" + std::to_string(c.faultyAt) + " did not answer"))
          << console_.err;
    }
    if (c.status != kExitOk) continue;
    // The probe found is the one the command works on, and its record says so.
    EXPECT_EQ(Run({u"update", Image(), u"--probe-serial", u"LINE 7", u"--yes", u"--led", u"skip",
                   u"--json"}),
              kExitOk)
        << console_.err;
    EXPECT_TRUE(Has(console_.out, R"("probe":1,)")) << console_.out;
    EXPECT_EQ(Count(*model_link::ModelAt(0), kCmdEraseFlash), 0u);
  }
}

TEST_F(IdentityTest, CrcPinRefusesAnotherImageBeforeAnyProbe) {
  Probe(0);
  const std::u16string image = Image();
  std::u16string wrong = Crc();
  wrong[7] = wrong[7] == u'0' ? u'1' : u'0';
  const std::vector<std::vector<std::u16string>> runs = {
      {u"check", image, u"--expect-crc32", wrong},
      {u"verify", image, u"--expect-crc32", wrong},
      {u"update", image, u"--expect-crc32", wrong, u"--yes", u"--led", u"skip"},
  };
  for (const std::vector<std::u16string>& args : runs) {
    SCOPED_TRACE(std::string(args[0].begin(), args[0].end()));
    model_link::ForgetHistory();
    EXPECT_EQ(Run(args), kExitCrcMismatch);
    EXPECT_TRUE(model_link::OpenAttempts().empty()) << "a probe was tried";
    const std::u16string right = Crc();
    const std::string both = "CRC-32 is " + std::string(right.begin(), right.end()) + ", not " +
                             std::string(wrong.begin(), wrong.end());
    EXPECT_TRUE(Has(console_.err, both)) << console_.err;
  }
}

TEST_F(IdentityTest, IdenticalImageIsLeftAlone) {
  probe_model::ProbeModel& probe = Probe(0);
  const std::u16string image = Image();
  Program(probe);
  EXPECT_EQ(Run({u"update", image, u"--if-different", u"--yes", u"--led", u"skip", u"--json"}),
            kExitOk)
      << console_.err;
  EXPECT_EQ(
      Count(probe, kCmdEraseFlash) + Count(probe, kCmdWriteFlash) + Count(probe, kCmdExecuteUpdate),
      0u);
  EXPECT_TRUE(Has(console_.out, R"("message":"The probe already holds the image: nothing was )"));
  EXPECT_TRUE(Has(console_.out, R"("already_there":true)")) << console_.out;

  // One byte off, in the last unit: the whole update follows.
  probe.MutableFlash()[kFillerOffset + 1] = 0x7F;
  EXPECT_EQ(Run({u"update", image, u"--if-different", u"--yes", u"--led", u"skip", u"--json"}),
            kExitOk)
      << console_.err;
  EXPECT_EQ(Count(probe, kCmdEraseFlash), 1u);
  EXPECT_EQ(Count(probe, kCmdExecuteUpdate), 1u);
  EXPECT_FALSE(Has(console_.out, "already_there")) << console_.out;
  EXPECT_EQ(probe.Flash()[kFillerOffset + 1], 0xFF);
}

// What the reader lets pass is said before the question; a file too large to
// hold is named as such, not as a span beyond 640 KiB.
TEST_F(IdentityTest, FileShapeWarnedBeforeTheQuestion) {
  Probe(0);
  const std::vector<uint8_t> data = Data();
  const std::string cut = srecord_writer::Header() + srecord_writer::DataRecords(kBase, data);
  EXPECT_EQ(Run({u"update", WriteFile(cut), u"--yes", u"--led", u"skip"}), kExitOk);
  const size_t warning = console_.err.find("WARNING: the file has no end record");
  ASSERT_NE(warning, std::string::npos) << console_.err;
  EXPECT_LT(warning, console_.err.find("May I update")) << console_.err;
  const std::u16string large = WriteFile(srecord_writer::File(kBase, data), "large.saf");
  std::filesystem::resize_file(std::filesystem::path(large), kLargestFirmwareFileBytes + 1);
  EXPECT_EQ(Run({u"check", large}), kResultSpanTooLarge);
  EXPECT_TRUE(Has(console_.err, "ERROR: The file is larger than 64 MiB: ")) << console_.err;
}

struct WaitCase {
  const char* name;
  ProbeSettings probe;
  int status;
  const char* after;        // firmware_after in the record; nullptr: none
  uint64_t clockAtLeastMs;  // the wait ran at least until then
};

TEST_F(IdentityTest, VersionAfterTheReset) {
  constexpr uint32_t kTimeoutMs = 20000;
  // The erase (the model's 2000 ms, polled every 500 ms) comes before.
  constexpr uint64_t kBeforeWaitMs = 2500;
  const probe_model::Fault noVersionReply = {
      .kind = probe_model::FaultKind::kNoReply, .command = kCmdReadVersion, .nth = 2};
  const WaitCase cases[] = {
      {"back with the new version at once",
       {.versionAfter = 0x23, .resetAfterMs = 1, .resetGoneMs = 1},
       kExitOk,
       "2.3",
       0},
      {"still the old version at first",
       {.versionAfter = 0x23, .resetAfterMs = 15000, .resetGoneMs = 1000},
       kExitOk,
       "2.3",
       16000},
      {"back with the old version", {.resetAfterMs = 500}, kExitOtherVersion, "2.2", kTimeoutMs},
      // Its old version before the reset is no answer after it.
      {"never reset", {}, kExitNeverAnswered, nullptr, kTimeoutMs},
      {"old version before the reset, then never back",
       {.resetAfterMs = 5000, .resetGoneMs = 60000},
       kExitNeverAnswered,
       nullptr,
       kTimeoutMs},
      {"never back",
       {.faults = {noVersionReply}, .versionAfter = 0x23, .resetAfterMs = 1, .resetGoneMs = 60000},
       kExitNeverAnswered,
       nullptr,
       kTimeoutMs},
  };
  for (const WaitCase& c : cases) {
    SCOPED_TRACE(c.name);
    Clean();
    logs_.text.clear();
    Probe(0, c.probe);
    const std::u16string image = Image();
    EXPECT_EQ(Run({u"update", image, u"--yes", u"--led", u"skip", u"--expect-version", u"2.3",
                   u"--reset-timeout", u"20", u"--json", u"--log", u"l.csv"}),
              c.status)
        << console_.err;
    EXPECT_GE(model_link::NowMs(), c.clockAtLeastMs);
    EXPECT_LE(model_link::NowMs(), kBeforeWaitMs + kTimeoutMs + 2 * kReplyTimeoutMs);
    const std::string after = c.after ? std::string(R"("firmware_after":")") + c.after + "\"" : "";
    EXPECT_EQ(Has(console_.out, "firmware_after"), c.after != nullptr) << console_.out;
    if (c.after) {
      EXPECT_TRUE(Has(console_.out, after)) << console_.out;
      EXPECT_TRUE(Has(logs_.text, std::string(",") + c.after + ",,")) << logs_.text;
    }
  }
}

}  // namespace
