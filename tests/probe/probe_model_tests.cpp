// The emulated probe on its own: fault names, the command line, timing of
// the erase, flash addressing, refusals, drop-off and the transcript.
#include <gtest/gtest.h>

#include "emulator/emulator_options.h"
#include "emulator/probe_model.h"
#include "probe/frame.h"

using namespace probe_model;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Frame(Bytes message) {
  return BuildRequestFrame(message);
}

Bytes Exchange(ProbeModel& probe, const Bytes& message, uint64_t now = 0) {
  const Bytes frame = Frame(message);
  probe.Write(frame.data(), frame.size(), now);
  Bytes out(probe.Available(now));
  out.resize(probe.Read(out.data(), out.size(), now));
  return out;
}

}  // namespace

TEST(ProbeModelTest, FaultsParsedFromTheirNames) {
  struct Case {
    const char* text;
    bool valid;
    FaultKind kind;
    uint8_t command;
    uint32_t nth;
    uint32_t offset;
  };
  const Case cases[] = {
      {"no-reply", true, FaultKind::kNoReply, 0, 0, 0},
      {"bad-status:write-flash@2", true, FaultKind::kBadStatus, 0xC2, 2, 0},
      {"short-reply:read-version", true, FaultKind::kShortReply, 0x70, 0, 0},
      {"disconnect@3", true, FaultKind::kDisconnect, 0, 3, 0},
      {"flip-bit:0x1234", true, FaultKind::kFlipBit, 0, 0, 0x1234},
      {"flip-bit:655360", false, FaultKind::kFlipBit, 0, 0, 0},
      {"bad-check:read-everything", false, FaultKind::kNoReply, 0, 0, 0},
      {"no-reply@0", false, FaultKind::kNoReply, 0, 0, 0},
      {"no-reply:", false, FaultKind::kNoReply, 0, 0, 0},
      {"melt", false, FaultKind::kNoReply, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto fault = ParseFault(c.text);
    ASSERT_EQ(fault.has_value(), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(fault->kind, c.kind);
    EXPECT_EQ(fault->command, c.command);
    EXPECT_EQ(fault->nth, c.nth);
    EXPECT_EQ(fault->offset, c.offset);
  }
}

TEST(ProbeModelTest, CommandLineOfTheEmulator) {
  EmulatorOptions options;
  std::string error;
  ASSERT_TRUE(
      ParseEmulatorOptions({u"--probe",         u"3",     u"--probe",          u"255",
                            u"--version",       u"0xA1",  u"--serial",         u"S\u00E9",
                            u"--erase-ms",      u"750",   u"--fault",          u"erase-fails",
                            u"--transcript",    u"t.txt", u"--dump-flash",     u"f.bin",
                            u"--version-after", u"0x23",  u"--reset-after-ms", u"40",
                            u"--reset-ms",      u"0"},
                           &options, &error))
      << error;
  EXPECT_EQ(options.probes, (std::vector<int>{3, 255}));
  // Version and serial number after a --probe belong to that probe alone.
  EXPECT_EQ(SettingsForProbe(options, 1).versionByte, 0xA1);
  EXPECT_EQ(SettingsForProbe(options, 1).serial, u"S\u00E9");
  EXPECT_EQ(SettingsForProbe(options, 0).versionByte, ProbeSettings{}.versionByte);
  EXPECT_EQ(SettingsForProbe(options, 0).serial, ProbeSettings{}.serial);
  EXPECT_EQ(options.settings.eraseMs, 750u);
  ASSERT_EQ(SettingsForProbe(options, 1).faults.size(), 1u);
  EXPECT_EQ(SettingsForProbe(options, 1).faults[0].kind, FaultKind::kEraseFails);
  EXPECT_EQ(options.transcriptPath, u"t.txt");
  EXPECT_EQ(options.dumpFlashPath, u"f.bin");
  EXPECT_EQ(SettingsForProbe(options, 1).versionAfter, 0x23);
  EXPECT_FALSE(SettingsForProbe(options, 0).versionAfter.has_value());
  EXPECT_EQ(SettingsForProbe(options, 0).resetAfterMs, 40u);
  EXPECT_EQ(SettingsForProbe(options, 0).resetGoneMs, 0u);

  ASSERT_TRUE(ParseEmulatorOptions({}, &options, &error));
  EXPECT_EQ(options.probes, (std::vector<int>{0}));
  const std::vector<std::vector<std::u16string>> wrong = {
      {u"--probe", u"256"},        {u"--probe", u"1", u"--probe", u"1"},
      {u"--version", u"0x100"},    {u"--erase-ms", u"soon"},
      {u"--fault", u"melt"},       {u"--serial"},
      {u"--reset-after-ms", u"0"}, {u"--reset-ms", u"600001"},
      {u"--colour", u"red"}};
  for (const auto& args : wrong) {
    EXPECT_FALSE(ParseEmulatorOptions(args, &options, &error))
        << std::string(args[0].begin(), args[0].end());
    EXPECT_FALSE(error.empty());
  }
}

// Before the first --probe, --version and --serial set every probe; after a
// --probe they set that probe's own, whatever comes before or after.
TEST(ProbeModelTest, EmulatorProbesOfTheirOwn) {
  struct Case {
    std::vector<std::u16string> args;
    std::vector<uint8_t> versions;  // per probe, in the order given
    std::vector<std::u16string> serials;
  };
  const Case cases[] = {
      {{u"--version", u"0x21", u"--serial", u"ALL", u"--probe", u"0", u"--probe", u"4"},
       {0x21, 0x21},
       {u"ALL", u"ALL"}},
      {{u"--serial", u"ALL", u"--probe", u"0", u"--probe", u"4", u"--serial", u"FOUR"},
       {0x22, 0x22},
       {u"ALL", u"FOUR"}},
      {{u"--probe", u"9", u"--version", u"0x11", u"--probe", u"2", u"--serial", u"TWO",
        u"--version", u"0xA3"},
       {0x11, 0xA3},
       {u"VELKORO-0001", u"TWO"}},
      {{u"--probe", u"1", u"--serial", u"", u"--erase-ms", u"0", u"--probe", u"3"},
       {0x22, 0x22},
       {u"", u"VELKORO-0001"}},
  };
  for (const Case& c : cases) {
    EmulatorOptions options;
    std::string error;
    ASSERT_TRUE(ParseEmulatorOptions(c.args, &options, &error)) << error;
    ASSERT_EQ(options.probes.size(), c.versions.size());
    for (size_t i = 0; i < c.versions.size(); ++i) {
      EXPECT_EQ(SettingsForProbe(options, i).versionByte, c.versions[i]) << i;
      EXPECT_EQ(SettingsForProbe(options, i).serial, c.serials[i]) << i;
      EXPECT_EQ(SettingsForProbe(options, i).eraseMs, options.settings.eraseMs);
    }
  }
}

// A --fault before the first --probe hits every probe; after a --probe it
// hits that probe alone, beside the common ones.
TEST(ProbeModelTest, EmulatorFaultsOfTheirOwn) {
  struct Case {
    std::vector<std::u16string> args;
    std::vector<std::vector<FaultKind>> faults;  // per probe, in the order given
  };
  const Case cases[] = {
      {{u"--fault", u"bad-check", u"--probe", u"0", u"--probe", u"1"},
       {{FaultKind::kBadCheck}, {FaultKind::kBadCheck}}},
      {{u"--probe", u"0", u"--probe", u"1", u"--fault", u"serial-case", u"--probe", u"2"},
       {{}, {FaultKind::kSerialCase}, {}}},
      {{u"--fault", u"bad-check", u"--probe", u"5", u"--fault", u"vanish:erase", u"--fault",
        u"no-reply", u"--probe", u"6"},
       {{FaultKind::kBadCheck, FaultKind::kVanish, FaultKind::kNoReply}, {FaultKind::kBadCheck}}},
  };
  for (const Case& c : cases) {
    EmulatorOptions options;
    std::string error;
    ASSERT_TRUE(ParseEmulatorOptions(c.args, &options, &error)) << error;
    ASSERT_EQ(options.probes.size(), c.faults.size());
    for (size_t i = 0; i < c.faults.size(); ++i) {
      std::vector<FaultKind> kinds;
      for (const auto& fault : SettingsForProbe(options, i).faults) kinds.push_back(fault.kind);
      EXPECT_EQ(kinds, c.faults[i]) << "probe " << options.probes[i];
    }
  }
}

TEST(ProbeModelTest, EraseAnswersWhenItsTimeHasPassed) {
  ProbeModel probe({.eraseMs = 1500});
  probe.MutableFlash()[10] = 0x00;
  const Bytes request = Frame({0xC1, 0x00});
  probe.Write(request.data(), request.size(), 100);
  EXPECT_EQ(probe.Flash()[10], 0xFF);
  EXPECT_EQ(probe.Available(1599), 0u);
  EXPECT_EQ(probe.NextReplyMs(), 1600u);
  EXPECT_EQ(probe.Available(1600), 8u);
}

TEST(ProbeModelTest, FlashAddressedByOffsetAndReadBackBase) {
  ProbeModel probe;
  EXPECT_EQ(Exchange(probe, {0xC2, 0x00, 0x00, 0x09, 0xFF, 0xFE, 0xA1, 0xA2}), Bytes{0x30});
  EXPECT_EQ(probe.Flash()[0x9FFFE], 0xA1);
  EXPECT_EQ(probe.Flash()[0x9FFFF], 0xA2);
  const Bytes reply = Exchange(probe, {0xC9, 0x20, 0x09, 0xFF, 0xFE, 0x01, 0x00, 0x02});
  EXPECT_EQ(reply, (Bytes{0x00, 0x03, 0xC9, 0xA1, 0xA2, 0xC9 ^ 0xA1 ^ 0xA2}));
  // Past the end of the flash, or below the read-back base: refused.
  EXPECT_EQ(Exchange(probe, {0xC2, 0x00, 0x00, 0x09, 0xFF, 0xFF, 0xA1, 0xA2}), Bytes{0x31});
  EXPECT_EQ(Exchange(probe, {0xC9, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02}),
            (Bytes{0x00, 0x01, 0xC9, 0xC9}));
  // A request whose check byte is wrong is answered with 0x3F.
  Bytes bad = Frame({0x70});
  bad.back() ^= 1;
  probe.Write(bad.data(), bad.size(), 0);
  uint8_t answer = 0;
  EXPECT_EQ(probe.Read(&answer, 1, 0), 1u);
  EXPECT_EQ(answer, kStatusBadFrame);
}

TEST(ProbeModelTest, SerialStoredAsWrittenUpToThirtyTwoUnits) {
  ProbeModel probe;
  EXPECT_EQ(Exchange(probe, {0xE0, 0x00, 0x02, 0x00, 0x61, 0x01, 0x00}), Bytes{0x30});
  EXPECT_EQ(probe.SerialUnits(), u"a\u0100");
  Bytes tooLong{0xE0, 0x00, 33};
  for (int i = 0; i < 33; ++i) tooLong.insert(tooLong.end(), {0x00, 0x41});
  EXPECT_EQ(Exchange(probe, tooLong), Bytes{0x31});
  EXPECT_EQ(probe.SerialUnits(), u"a\u0100");
}

TEST(ProbeModelTest, NthRequestFaultAndDropOff) {
  ProbeModel probe(
      {.faults = {*ParseFault("no-reply:read-version@2"), *ParseFault("disconnect:read-serial")}});
  EXPECT_EQ(Exchange(probe, {0x70}).size(), 10u);
  EXPECT_TRUE(Exchange(probe, {0x70}).empty());
  EXPECT_EQ(Exchange(probe, {0x70}).size(), 10u);
  const Bytes half = Exchange(probe, {0xE1});
  EXPECT_EQ(half.size(), (2u + 3 + 2 * 12 + 1) / 2);  // length, body, check: half
  EXPECT_TRUE(probe.DropRequested());
  probe.Reconnected(0);
  EXPECT_FALSE(probe.DropRequested());
}

TEST(ProbeModelTest, TranscriptLinesAreReadable) {
  ProbeModel probe({.serial = u"AB"});
  probe.NoteOpen(0);
  Exchange(probe, {0xE1}, 1234);
  const auto& entries = probe.Transcript();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(FormatTranscriptLine(entries[0], "probe0"), "     0.000 probe0 -- opened");
  EXPECT_EQ(FormatTranscriptLine(entries[1], "probe0"),
            "     1.234 probe0 -> read-serial: 00 01 E1 E1");
  EXPECT_EQ(FormatTranscriptLine(entries[2], "probe0"),
            "     1.234 probe0 <- read-serial: 00 07 E1 00 02 00 41 00 42 E0");
}
