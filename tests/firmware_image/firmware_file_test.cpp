// The reader over real files: which names find an entry, that a file reads
// as its bytes do, and that a file which exists but cannot be read is its own
// outcome rather than an exception.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "firmware/firmware_image.h"
#include "firmware/srecord_shape.h"
#include "tests/support/srecord_writer.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace sw = srecord_writer;
namespace fs = std::filesystem;

namespace {

std::u16string Name(const fs::path& path) {
#ifdef _WIN32
  const std::wstring wide = path.wstring();
  return std::u16string(wide.begin(), wide.end());
#else
  return path.u16string();
#endif
}

class FirmwareFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // Builds of several presets may run this suite at the same time.
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() /
           (std::string("velkoro-fw-") + info->name() + "-" + std::to_string(stamp));
    fs::remove_all(dir_);
    ASSERT_TRUE(fs::create_directories(dir_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path Write(const std::u16string& leaf, const std::string& text) {
    const fs::path path = dir_ / fs::path(leaf);
    std::ofstream out(path, std::ios::binary);
    out << text;
    return path;
  }

  fs::path dir_;
  FirmwareImage image_;
  ImageCursor cursor_;
};

TEST_F(FirmwareFileTest, ExistenceFollowsTheDirectoryEntry) {
  const fs::path file = Write(u"probe.saf", sw::File(0x100, {1}));
  fs::create_directory(dir_ / "folder.sa");
  const struct {
    std::u16string name;
    bool found;
  } cases[] = {
      {Name(file), true},
      {Name(dir_ / "folder.sa"), true},
      {Name(dir_ / "missing.saf"), false},
      {Name(dir_ / "missing" / "probe.saf"), false},
      {u"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FirmwareFileExists(c.name), c.found ? c.name : std::u16string())
        << fs::path(c.name).string();
  }
}

// A name outside ASCII, CR LF line ends and a second reading of another file.
TEST_F(FirmwareFileTest, ReadsTheFileAsItsBytes) {
  const std::vector<uint8_t> data = sw::Pattern(600, 0x40);
  const std::string text = sw::File(0x00C0FFEE, data);
  const fs::path path = Write(u"fw-\u00e4\u20ac\u65e5.saf", text);
  ASSERT_EQ(FirmwareFileExists(Name(path)), Name(path));

  const FirmwareReadStatus status = ReadFirmwareFile(Name(path), &image_);
  EXPECT_FALSE(status.sizeError || status.formatError || status.openFailed);
  EXPECT_EQ(image_.Base(), 0x00C0FFEEu);
  Rewind(cursor_);
  uint8_t unit[kMaxUnitBytes];
  uint32_t offset = 1;
  ASSERT_EQ(NextProgramUnit(image_, cursor_, unit, &offset), data.size());
  EXPECT_EQ(offset, 0u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), unit));

  const fs::path bad = Write(u"bad.sa", sw::SpoilChecksum(sw::DataRecord(0, {1, 2})));
  const FirmwareReadStatus second = ReadFirmwareFile(Name(bad), &image_);
  EXPECT_TRUE(second.formatError);
  EXPECT_FALSE(second.openFailed);
  EXPECT_EQ(image_.CountTransferUnits(), 0);
}

TEST_F(FirmwareFileTest, EmptyFileIsNoSRecordText) {
  const fs::path path = Write(u"empty.saf", "");
  const FirmwareReadStatus status = ReadFirmwareFile(Name(path), &image_);
  EXPECT_TRUE(status.formatError);
  EXPECT_FALSE(status.sizeError || status.openFailed);
}

TEST_F(FirmwareFileTest, EntryThatCannotBeReadIsReportedNotThrown) {
  // First a good reading, so a failure visibly leaves nothing behind.
  ASSERT_FALSE(ReadFirmwareFile(Name(Write(u"ok.saf", sw::File(0, {1}))), &image_).formatError);
  ASSERT_GT(image_.CountTransferUnits(), 0);

  fs::create_directory(dir_ / "folder.saf");
  for (const fs::path& path : {dir_ / "folder.saf", dir_ / "vanished.saf"}) {
    const FirmwareReadStatus status = ReadFirmwareFile(Name(path), &image_);
    EXPECT_TRUE(status.openFailed) << path.string();
    EXPECT_FALSE(status.sizeError || status.formatError);
    EXPECT_EQ(image_.CountTransferUnits(), 0);
  }
}

// A file too large to hold is refused from its size alone, before any buffer
// is sought; the files are sparse, so they cost no disk.
TEST_F(FirmwareFileTest, FileTooLargeToHoldIsRefusedAsTooLarge) {
  const struct {
    const char* name;
    uint64_t size;
    bool refused;
  } rows[] = {
      {"at-the-limit.saf", kLargestFirmwareFileBytes, false},
      {"one-byte-over.saf", kLargestFirmwareFileBytes + 1, true},
      {"2-GiB-less-a-byte.saf", (uint64_t{2} << 30) - 1, true},
      {"2-GiB.saf", uint64_t{2} << 30, true},
      {"4-GiB-and-more.saf", (uint64_t{4} << 30) + 16, true},
  };
  for (const auto& row : rows) {
    // A record, then zero bytes up to the size: a valid file at any size.
    const fs::path path = Write(fs::path(row.name).u16string(), sw::File(0x100, {1}));
    std::error_code error;
    fs::resize_file(path, row.size, error);
    ASSERT_FALSE(error) << row.name << ": " << error.message();
    const FirmwareReadStatus status = ReadFirmwareFile(Name(path), &image_);
    fs::remove(path, error);
    EXPECT_EQ(status.sizeError, row.refused) << row.name;
    EXPECT_EQ(status.formatError, row.refused) << row.name;
    EXPECT_EQ(status.tooLarge, row.refused) << row.name;
    EXPECT_FALSE(status.openFailed) << row.name;
    EXPECT_EQ(image_.CountTransferUnits() > 0, !row.refused) << row.name;
  }
}

// What the console tells beside the reader's verdict: a file cut before its
// end record, and data records naming a byte twice.
TEST(SRecordShape, EndRecordAndOverlaps) {
  const std::vector<uint8_t> data = sw::Pattern(40, 1);
  const struct {
    const char* name;
    std::string text;
    bool end, overlap, differs;
  } rows[] = {
      {"whole", sw::File(0x100, data), true, false, false},
      {"cut before the end record", sw::Header() + sw::DataRecords(0x100, data), false, false,
       false},
      {"a record again", sw::File(0x100, data) + sw::DataRecords(0x100, data), true, true, false},
      {"one byte named twice, apart", sw::DataRecords(0x100, data) + sw::DataRecords(0x127, {9}),
       false, true, true},
      {"adjacent records", sw::DataRecords(0x100, data) + sw::DataRecords(0x128, data), false,
       false, false},
  };
  for (const auto& row : rows) {
    const std::vector<uint8_t> bytes = sw::Bytes(row.text);
    const SRecordShape shape = ScanSRecordShape(bytes.data(), bytes.size());
    EXPECT_EQ(shape.endRecord, row.end) << row.name;
    EXPECT_EQ(shape.overlap, row.overlap) << row.name;
    EXPECT_EQ(shape.overlapDiffers, row.differs) << row.name;
  }
}

#ifdef _WIN32
// Another program holding the file without sharing it.
TEST_F(FirmwareFileTest, FileHeldExclusivelyIsReportedNotThrown) {
  const fs::path path = Write(u"held.saf", sw::File(0, {1}));
  HANDLE held = CreateFileW(path.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const FirmwareReadStatus status = ReadFirmwareFile(Name(path), &image_);
  CloseHandle(held);
  EXPECT_TRUE(status.openFailed);
  EXPECT_FALSE(status.sizeError || status.formatError);
  EXPECT_FALSE(ReadFirmwareFile(Name(path), &image_).openFailed) << "readable once released";
}
#endif

}  // namespace
