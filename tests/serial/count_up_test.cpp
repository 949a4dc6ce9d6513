// Count Up Mode: the trailing digits advance and keep their width.
#include "serial/count_up.h"

#include <gtest/gtest.h>

namespace {

struct CountUpCase {
  const char16_t* input;
  const char16_t* output;
};

class CountUp : public testing::TestWithParam<CountUpCase> {};

TEST_P(CountUp, GivesTheNextNumberOfTheSameLength) {
  const std::u16string input = GetParam().input;
  const std::u16string output = CountUpSerialNo(input);
  EXPECT_EQ(output, GetParam().output);
  EXPECT_EQ(output.size(), input.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, CountUp,
    testing::Values(
        CountUpCase{u"", u""}, CountUpCase{u"ABC", u"ABC"}, CountUpCase{u"12AB", u"12AB"},
        CountUpCase{u"SN0001", u"SN0002"}, CountUpCase{u"SN0009", u"SN0010"},
        CountUpCase{u"SN0099", u"SN0100"}, CountUpCase{u"SN0999", u"SN1000"},
        CountUpCase{u"SN9999", u"SN9999"}, CountUpCase{u"9", u"9"}, CountUpCase{u"0", u"1"},
        CountUpCase{u"007", u"008"}, CountUpCase{u"A1B2", u"A1B3"}, CountUpCase{u"12A9", u"12A9"},
        CountUpCase{u"X-19", u"X-20"}, CountUpCase{u"LOT 7 NO 0419", u"LOT 7 NO 0420"},
        // Edges: all digits, nines carried, a trailing space, no carry into
        // the prefix, and the full 32 characters.
        CountUpCase{u"0099", u"0100"}, CountUpCase{u"99", u"99"}, CountUpCase{u"SN0199", u"SN0200"},
        CountUpCase{u"SN12 ", u"SN12 "}, CountUpCase{u"1-99", u"1-99"}, CountUpCase{u"8", u"9"},
        CountUpCase{u"ABCDEFGHIJKLMNOPQRSTUVWXYZ000199", u"ABCDEFGHIJKLMNOPQRSTUVWXYZ000200"},
        CountUpCase{u"99999999999999999999999999999999", u"99999999999999999999999999999999"}),
    [](const testing::TestParamInfo<CountUpCase>& info) {
      return "Row" + std::to_string(info.index);
    });

TEST(CountUpDigits, OnlyAsciiDigitsCount) {
  // A full-width nine or a superscript is no digit: nothing advances.
  EXPECT_EQ(CountUpSerialNo(u"SN\uFF19"), u"SN\uFF19");
  EXPECT_EQ(CountUpSerialNo(u"SN1\u00B2"), u"SN1\u00B2");
  // ':' and '/' border the digits in ASCII and must not be taken for them.
  EXPECT_EQ(CountUpSerialNo(u"SN1:"), u"SN1:");
  EXPECT_EQ(CountUpSerialNo(u"/"), u"/");
}

}  // namespace
