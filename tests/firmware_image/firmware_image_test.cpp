// The reader over bytes in memory and the unit walkers: what a file is
// accepted as, how the image is laid out in units, and what read-back
// comparison reports.
#include "firmware/firmware_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/srecord_writer.h"

namespace sw = srecord_writer;

namespace {

constexpr uint32_t kFillerOffset = 0x40000;

struct Unit {
  uint32_t offset;
  uint32_t length;
  std::vector<uint8_t> data;  // the significant bytes only
};

FirmwareReadStatus Read(FirmwareImage& image, const std::string& text) {
  return image.Read(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::vector<Unit> ProgramUnits(const FirmwareImage& image) {
  std::vector<Unit> units;
  ImageCursor cursor;
  uint8_t buffer[kMaxUnitBytes];
  uint32_t offset = 0;
  while (uint32_t length = NextProgramUnit(image, cursor, buffer, &offset)) {
    units.push_back({offset, length, std::vector<uint8_t>(buffer, buffer + length)});
  }
  return units;
}

std::vector<std::pair<uint32_t, uint32_t>> Layout(const std::vector<Unit>& units) {
  std::vector<std::pair<uint32_t, uint32_t>> layout;
  for (const Unit& unit : units) {
    layout.emplace_back(unit.offset, unit.length);
  }
  return layout;
}

class FirmwareImageTest : public ::testing::Test {
 protected:
  FirmwareImage image_;
  ImageCursor cursor_;
};

// --- What a file is accepted as -------------------------------------------

struct AcceptCase {
  const char* name;
  std::string text;
  bool sizeError;
  bool formatError;
};

std::string OneByteAt(uint32_t address) {
  return sw::DataRecord(address, {0x5A}) + "\n";
}

// An S3 record with no data bytes: byte count 5, the address and the checksum.
std::string DatalessRecord(uint32_t address) {
  std::string text = "S305";
  unsigned sum = 5;
  for (uint8_t byte : sw::AddressBody('3', address)) {
    sw::AppendHexByte(text, byte);
    sum += byte;
  }
  sw::AppendHexByte(text, static_cast<uint8_t>(~sum));
  return text + "\n";
}

std::vector<AcceptCase> AcceptCases() {
  const uint32_t base = 0x00010000;
  const std::string sixteen = sw::DataRecord(base, sw::Pattern(16)) + "\n";
  return {
      {"SpanOfExactly640KiB", sixteen + sw::DataRecord(base + kImageBytes - 16, sw::Pattern(16)),
       false, false},
      {"SpanOneByteOver", sixteen + sw::DataRecord(base + kImageBytes - 15, sw::Pattern(16)), true,
       false},
      {"DescendingRecordsSpanOneByteOver",
       sw::DataRecord(base + kImageBytes - 15, sw::Pattern(16)) + sixteen, true, false},
      {"DatalessRecordInLastBlock", sixteen + DatalessRecord(base + kImageBytes - 1), false, false},
      {"DatalessRecordJustPastTable", sixteen + DatalessRecord(base + kImageBytes), true, false},
      // Byte counts too small for the address and checksum, each with a
      // correct checksum and records after it that an address could be read
      // from.
      {"CountBelowAddressS1", "S101FE\n" + sixteen, false, true},
      {"CountBelowAddressS1TwoBytes", sixteen + "S10200FD\n" + sixteen, false, true},
      {"CountBelowAddressS3", sixteen + "S304000010EB" + sixteen, false, true},
      {"DataEndingAtTopOfAddressSpace", sw::DataRecord(0xFFFFFFF0u, sw::Pattern(16)), false, false},
      {"DataWrappingPastTopOfAddressSpace", sw::DataRecord(0xFFFFFFF0u, sw::Pattern(17)), false,
       true},
      {"WrappingRecordBesideLowData", OneByteAt(0) + sw::DataRecord(0xFFFFFFF0u, sw::Pattern(32)),
       false, true},
      {"CountPastEndOfFile", sixteen + sw::DataRecord(base + 16, sw::Pattern(16)).substr(0, 30),
       false, true},
      {"ChecksumDigitMissing", sixteen + sw::DataRecord(base + 16, sw::Pattern(4)).substr(0, 21),
       false, true},
      {"AddressPastEndOfFile", sixteen + "S101FE", false, true},
      {"LoneMarkAtEnd", sixteen + "S", false, true},
      {"MarkAndTypeAtEnd", sixteen + "S3", false, true},
      {"CountOfZero", sixteen + "S300FF\n", false, true},
      {"EmptyFile", "", false, true},
      {"NoMarkAtAll", "this file holds no records\n", false, true},
      {"LowercaseMarkIsNoRecord", "s" + sw::Lowercase(sixteen).substr(1), false, true},
      {"HeaderAndEndOnly", sw::Header() + sw::End(), false, true},
      {"BadChecksumInHeader", sw::SpoilChecksum(sw::Record('0', {0, 0, 'h'})) + "\n" + sixteen,
       false, true},
      {"BadChecksumInData", sw::SpoilChecksum(sw::DataRecord(base, sw::Pattern(16))), false, true},
      {"BadChecksumInEnd", sixteen + sw::SpoilChecksum(sw::End()), false, true},
      {"StrayCharacterInData", sixteen.substr(0, 20) + "x" + sixteen.substr(21), false, true},
  };
}

void PrintTo(const AcceptCase& c, std::ostream* os) {
  *os << c.name;
}

class AcceptTest : public ::testing::TestWithParam<AcceptCase> {
 protected:
  FirmwareImage image_;
  ImageCursor cursor_;
};

TEST_P(AcceptTest, SetsTheFlagsOfItsCase) {
  const AcceptCase& c = GetParam();
  const FirmwareReadStatus status = Read(image_, c.text);
  EXPECT_EQ(status.sizeError, c.sizeError);
  EXPECT_EQ(status.formatError, c.formatError);
  EXPECT_FALSE(status.openFailed);
  if (c.sizeError || c.formatError) {
    EXPECT_EQ(image_.CountTransferUnits(), 0) << "a refused file loads nothing";
    return;
  }
  // Every unit of an accepted file lies inside the table.
  for (const Unit& unit : ProgramUnits(image_)) {
    EXPECT_LE(uint64_t{unit.offset} + unit.length, kImageBytes);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, AcceptTest, ::testing::ValuesIn(AcceptCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Layout of the image in units -----------------------------------------

struct Placement {
  uint32_t offset;
  size_t length;
};

struct LayoutCase {
  const char* name;
  std::vector<Placement> data;
  std::vector<std::pair<uint32_t, uint32_t>> units;  // offset, length
};

std::vector<LayoutCase> LayoutCases() {
  const uint32_t b = kBlockBytes;
  return {
      {"BlocksZeroOneThree",
       {{0, 2 * b}, {3 * b, 10}},
       {{0, 2 * b}, {3 * b, 10}, {kFillerOffset, 2}}},
      {"TenConsecutiveBlocks",
       {{0, 10 * b - 56}},
       {{0, 4 * b}, {4 * b, 4 * b}, {8 * b, 2 * b - 56}, {kFillerOffset, 2}}},
      {"FillerEndsUnitReachingBlock1023", {{0, 1}, {1021 * b, 3 * b}}, {{0, 1}, {1021 * b, 770}}},
      {"FillerJoinsBlock1023UpToItsLastByte",
       {{0, 1}, {1023 * b, 11}},
       {{0, 1}, {1023 * b, b + 2}}},
      {"NoFillerWhenDataReach0x40000",
       {{0, 1}, {kFillerOffset + 5, 1}},
       {{0, 1}, {kFillerOffset, 6}}},
      {"NoFillerWhenDataLieBeyond0x40000", {{0, 1}, {0x50000, 3}}, {{0, 1}, {0x50000, 3}}},
      {"LastBlockOfTable", {{0, 1}, {kImageBytes - 1, 1}}, {{0, 1}, {kImageBytes - b, b}}},
  };
}

void PrintTo(const LayoutCase& c, std::ostream* os) {
  *os << c.name;
}

class LayoutTest : public ::testing::TestWithParam<LayoutCase> {
 protected:
  FirmwareImage image_;
  ImageCursor cursor_;
};

TEST_P(LayoutTest, HandsOutTheUnitsOfItsCase) {
  const LayoutCase& c = GetParam();
  const uint32_t base = 0x08000000;
  std::vector<uint8_t> expected(kImageBytes, 0xFF);
  std::string text = sw::Header();
  for (const Placement& p : c.data) {
    const std::vector<uint8_t> data = sw::Pattern(p.length, static_cast<uint8_t>(p.offset));
    std::copy(data.begin(), data.end(), expected.begin() + p.offset);
    text += sw::DataRecords(base + p.offset, data);
  }
  text += sw::End();
  const FirmwareReadStatus status = Read(image_, text);
  ASSERT_FALSE(status.sizeError || status.formatError);
  ASSERT_EQ(image_.Base(), base);

  const std::vector<Unit> units = ProgramUnits(image_);
  EXPECT_EQ(Layout(units), c.units);
  EXPECT_EQ(image_.CountTransferUnits(), static_cast<int>(c.units.size()));
  for (const Unit& unit : units) {
    EXPECT_TRUE(std::equal(unit.data.begin(), unit.data.end(), expected.begin() + unit.offset))
        << "unit at " << unit.offset;
  }
}

INSTANTIATE_TEST_SUITE_P(Images, LayoutTest, ::testing::ValuesIn(LayoutCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FirmwareImageTest, CountsFromTheLowestAddressEvenOffTheBlockGrid) {
  const uint32_t lowest = 0x00031010;  // 16 above a multiple of 256
  const std::vector<uint8_t> data = sw::Pattern(300, 3);
  ASSERT_FALSE(Read(image_, sw::File(lowest, data)).formatError);
  EXPECT_EQ(image_.Base(), lowest);
  const std::vector<Unit> units = ProgramUnits(image_);
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].offset, 0u);
  EXPECT_EQ(units[0].data, data);
  uint32_t address = 0;
  Rewind(cursor_);
  EXPECT_EQ(NextReadBackUnit(image_, cursor_, &address), 300u);
  EXPECT_EQ(address, kReadBackBase);
}

TEST_F(FirmwareImageTest, BytesNoRecordNamesAreErased) {
  const std::string text = sw::DataRecord(0x100, {1, 2, 3, 4}) + sw::DataRecord(0x120, {5, 6}) +
                           sw::DataRecord(0x1F0, {7});
  ASSERT_FALSE(Read(image_, text).formatError);
  const std::vector<Unit> units = ProgramUnits(image_);
  ASSERT_FALSE(units.empty());
  std::vector<uint8_t> expected(0xF1, 0xFF);
  std::memcpy(expected.data(), "\1\2\3\4", 4);
  expected[0x20] = 5;
  expected[0x21] = 6;
  expected[0xF0] = 7;
  EXPECT_EQ(units[0].data, expected);

  // Verified as 0xFF too: a gap byte read back as anything else differs.
  Rewind(cursor_);
  EXPECT_FALSE(CompareReadBackUnit(image_, cursor_, 0xF1, expected.data()));
  expected[0x10] = 0x00;
  Rewind(cursor_);
  EXPECT_TRUE(CompareReadBackUnit(image_, cursor_, 0xF1, expected.data()));
}

// The same records read alike however they are written down.
TEST_F(FirmwareImageTest, ReadsLowercaseDigitsAndRecordsRunTogether) {
  const std::vector<uint8_t> data = sw::Pattern(700, 0xA0);
  const std::string lines = sw::File(0x2000ABC0, data, 30);
  const std::string together =
      sw::Header() + sw::DataRecords(0x2000ABC0, data, 30, '3', "") + sw::End();
  std::string between = " \t\r\n;s$x";
  between += '\0';
  between += '\xFF';
  const std::string noise = sw::DataRecords(0x2000ABC0, data, 30, '3', between) + "trailing text";
  ASSERT_FALSE(Read(image_, lines).formatError);
  const std::vector<Unit> reference = ProgramUnits(image_);
  ASSERT_EQ(reference.size(), 2u);
  ASSERT_EQ(reference[0].data, data);
  for (const std::string& text : {sw::Lowercase(lines), together, sw::Lowercase(together), noise}) {
    const FirmwareReadStatus status = Read(image_, text);
    ASSERT_FALSE(status.formatError || status.sizeError) << text.substr(0, 80);
    const std::vector<Unit> units = ProgramUnits(image_);
    EXPECT_EQ(Layout(units), Layout(reference));
    EXPECT_EQ(units[0].data, data);
    EXPECT_EQ(image_.Base(), 0x2000ABC0u);
  }
}

TEST_F(FirmwareImageTest, ReadsEveryAddressLength) {
  const std::vector<uint8_t> data = sw::Pattern(40, 9);
  for (char type : {'1', '2', '3'}) {
    ASSERT_FALSE(Read(image_, sw::File(0x1234, data, 16, type)).formatError) << type;
    EXPECT_EQ(image_.Base(), 0x1234u);
    const std::vector<Unit> units = ProgramUnits(image_);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0].data, data) << type;
  }
}

// Any character that is not a hex digit is worth -1: two of them make 0xEF,
// and the checksum written for 0xEF still matches.
TEST_F(FirmwareImageTest, ForeignCharactersCountAsMinusOne) {
  std::string record = sw::DataRecord(0x400, {0x11, 0xEF, 0x22});
  const size_t digits = record.find("11EF22");
  ASSERT_NE(digits, std::string::npos);
  record.replace(digits + 2, 2, "?G");
  ASSERT_FALSE(Read(image_, record).formatError);
  EXPECT_EQ(ProgramUnits(image_)[0].data, (std::vector<uint8_t>{0x11, 0xEF, 0x22}));
}

// Records may come in any order, overlap or repeat: the later bytes win and
// every stored byte stays inside its unit.
TEST_F(FirmwareImageTest, RecordsOutOfOrderOverlappingOrRepeated) {
  const std::string text = sw::DataRecord(0x1010, {0xA0, 0xA1, 0xA2, 0xA3}) +
                           sw::DataRecord(0x1000, {0xB0, 0xB1}) +        // before, same block
                           sw::DataRecord(0x1012, {0xC2, 0xC3, 0xC4}) +  // overlaps
                           sw::DataRecord(0x1000, {0xB0, 0xB1}) +        // repeats
                           sw::DataRecord(0x1100, {0xD0});               // next block
  ASSERT_FALSE(Read(image_, text).formatError);
  EXPECT_EQ(image_.Base(), 0x1000u);
  const std::vector<Unit> units = ProgramUnits(image_);
  ASSERT_EQ(units.size(), 2u);
  ASSERT_EQ(units[0].length, 257u);
  const std::vector<uint8_t> head(units[0].data.begin(), units[0].data.begin() + 0x15);
  std::vector<uint8_t> expected(0x15, 0xFF);
  expected[0] = 0xB0;
  expected[1] = 0xB1;
  const uint8_t tail[] = {0xA0, 0xA1, 0xC2, 0xC3, 0xC4};
  std::memcpy(&expected[0x10], tail, sizeof tail);
  EXPECT_EQ(head, expected);

  // Going down within the last block of a unit keeps its highest byte.
  ASSERT_FALSE(Read(image_, sw::DataRecord(0x40, {1, 2}) + sw::DataRecord(0x10, {3})).formatError);
  EXPECT_EQ(Layout(ProgramUnits(image_))[0], (std::pair<uint32_t, uint32_t>{0, 0x32}));
}

TEST_F(FirmwareImageTest, DatalessRecordStillTakesItsBlock) {
  const std::string text =
      sw::DataRecord(0x7000, {1}) + DatalessRecord(0x7000 + 3 * 256 + 9) + DatalessRecord(0x7586);
  ASSERT_FALSE(Read(image_, text).formatError);
  EXPECT_EQ(Layout(ProgramUnits(image_)),
            (std::vector<std::pair<uint32_t, uint32_t>>{
                {0, 1}, {3 * 256, 1}, {5 * 256, 1}, {kFillerOffset, 2}}));
}

TEST_F(FirmwareImageTest, SecondReadingForgetsTheFirst) {
  ASSERT_FALSE(Read(image_, sw::File(0x1000, sw::Pattern(1000, 1))).formatError);
  const std::vector<uint8_t> second = {9, 8, 7};
  ASSERT_FALSE(Read(image_, sw::File(0x8010, second)).formatError);
  EXPECT_EQ(image_.Base(), 0x8010u);
  const std::vector<Unit> units = ProgramUnits(image_);
  EXPECT_EQ(Layout(units),
            (std::vector<std::pair<uint32_t, uint32_t>>{{0, 3}, {kFillerOffset, 2}}));
  uint8_t buffer[kMaxUnitBytes];
  uint32_t offset = 0;
  Rewind(cursor_);
  ASSERT_EQ(NextProgramUnit(image_, cursor_, buffer, &offset), 3u);
  // The rest of the block sent with the unit is erased, not the first file's.
  EXPECT_EQ(std::count(buffer + 3, buffer + kBlockBytes, 0xFF), kBlockBytes - 3);

  ASSERT_TRUE(
      Read(image_, sw::Header() + sw::SpoilChecksum(sw::DataRecord(0x1000, second)) + sw::End())
          .formatError);
  EXPECT_EQ(image_.CountTransferUnits(), 0);
}

// --- Walking and comparing -------------------------------------------------

TEST_F(FirmwareImageTest, ReadBackWalkMatchesProgramWalk) {
  std::string text = sw::DataRecords(0x100000, sw::Pattern(5 * 256 + 17));
  text += sw::DataRecords(0x100000 + 9 * 256, sw::Pattern(40));
  ASSERT_FALSE(Read(image_, text).formatError);
  const std::vector<Unit> units = ProgramUnits(image_);
  ASSERT_EQ(Layout(units), (std::vector<std::pair<uint32_t, uint32_t>>{
                               {0, 1024}, {1024, 256 + 17}, {9 * 256, 40}, {kFillerOffset, 2}}));

  Rewind(cursor_);
  for (const Unit& unit : units) {
    uint32_t address = 0;
    ASSERT_EQ(NextReadBackUnit(image_, cursor_, &address), unit.length);
    // Asking again gives the same unit: the cursor stays on it.
    ASSERT_EQ(NextReadBackUnit(image_, cursor_, &address), unit.length);
    EXPECT_EQ(address, kReadBackBase + unit.offset);
    std::vector<uint8_t> readBack(kMaxUnitBytes, 0x00);  // beyond the length: anything
    std::copy(unit.data.begin(), unit.data.end(), readBack.begin());
    EXPECT_FALSE(CompareReadBackUnit(image_, cursor_, unit.length, readBack.data()));
  }
  uint32_t address = 0;
  EXPECT_EQ(NextReadBackUnit(image_, cursor_, &address), 0u);
  EXPECT_FALSE(CompareReadBackUnit(image_, cursor_, 1, nullptr));
  uint8_t buffer[kMaxUnitBytes];
  EXPECT_EQ(NextProgramUnit(image_, cursor_, buffer, &address), 0u);
}

TEST_F(FirmwareImageTest, CompareFindsAnySignificantDifference) {
  ASSERT_FALSE(Read(image_, sw::DataRecords(0, sw::Pattern(3 * 256 + 5))).formatError);
  Rewind(cursor_);
  uint8_t unit[kMaxUnitBytes];
  uint32_t offset = 0;
  const uint32_t length = NextProgramUnit(image_, cursor_, unit, &offset);
  ASSERT_EQ(length, 3u * 256 + 5);
  for (uint32_t at : {0u, 255u, 256u, 700u, length - 1}) {
    std::vector<uint8_t> readBack(unit, unit + kMaxUnitBytes);
    readBack[at] ^= 0x01;
    Rewind(cursor_);
    uint32_t address = 0;
    ASSERT_EQ(NextReadBackUnit(image_, cursor_, &address), length);
    EXPECT_TRUE(CompareReadBackUnit(image_, cursor_, length, readBack.data())) << "byte " << at;
  }
  // Fewer bytes than the unit holds cannot prove it.
  Rewind(cursor_);
  EXPECT_TRUE(CompareReadBackUnit(image_, cursor_, length - 1, unit));
  // The cursor moved past the unit in every case.
  uint32_t address = 0;
  EXPECT_EQ(NextReadBackUnit(image_, cursor_, &address), 2u);
  EXPECT_EQ(address, kReadBackBase + kFillerOffset);
}

}  // namespace
