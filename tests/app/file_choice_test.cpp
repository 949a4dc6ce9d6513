// The file name box's rules for browsed and dropped paths.
#include "app/file_choice.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string PathOf(size_t length) {
  std::u16string path = u"C:\\";
  path.resize(length, u'a');
  return path;
}

struct PathCase {
  const char* name;
  size_t length;
  bool taken;
};

class ChosenPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(ChosenPath, IsTakenOnlyWithinTheLimit) {
  const PathCase& c = GetParam();
  std::u16string fileName = u"D:\\before.saf";
  const std::u16string path = PathOf(c.length);
  EXPECT_EQ(TakeChosenPath(fileName, path), c.taken);
  EXPECT_EQ(fileName, c.taken ? path : u"D:\\before.saf");
}

// 257 is also what a longer drop arrives as: the drop buffer holds one more
// character than the limit.
INSTANTIATE_TEST_SUITE_P(Lengths, ChosenPath,
                         ::testing::Values(PathCase{"Unreadable", 0, false},
                                           PathCase{"Short", 10, true},
                                           PathCase{"AtTheLimit", 256, true},
                                           PathCase{"OneOver", 257, false},
                                           PathCase{"DropCut", kDropPathBufferChars - 1, false},
                                           PathCase{"Long", 1000, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DroppedFiles, AreLookedAtOnlyOneAtATimeWhileIdle) {
  struct Row {
    bool accept;
    unsigned count;
    bool taken;
  };
  for (const Row& row : {Row{true, 0, false}, Row{true, 1, true}, Row{true, 2, false},
                         Row{true, 5, false}, Row{false, 1, false}, Row{false, 2, false}}) {
    EXPECT_EQ(DropIsTaken(row.accept, row.count), row.taken)
        << "accept " << row.accept << ", files " << row.count;
  }
}

}  // namespace
