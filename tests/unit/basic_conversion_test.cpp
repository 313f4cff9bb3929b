#include "exif/basic_conversion.h"

#include <gtest/gtest.h>

#include "platform/runtime_failure.h"

namespace kelvane {
namespace {

int failureNumber(const TagValue& value) {
  try {
    convertToLong(value);
  } catch (const RuntimeFailure& failure) {
    return failure.number();
  }
  return 0;
}

TEST(ConvertToLong, LongsStayAndEmptyIsZero) {
  EXPECT_EQ(convertToLong(TagValue{Long{-7}}), -7);
  EXPECT_EQ(convertToLong(TagValue{}), 0);
}

struct TextRow {
  const char* text;
  Long expected;
};

void PrintTo(const TextRow& row, std::ostream* out) { *out << '"' << row.text << '"'; }

class TextThatConverts : public ::testing::TestWithParam<TextRow> {};

TEST_P(TextThatConverts, GivesTheRoundedNumber) {
  EXPECT_EQ(convertToLong(TagValue{std::string(GetParam().text)}), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Basic, TextThatConverts,
    ::testing::Values(TextRow{"214", 214}, TextRow{"  214  ", 214}, TextRow{"-12", -12}, TextRow{"+5", 5},
                      TextRow{"00000008", 8},  // a BYTE field read inline
                      TextRow{"2.5", 2}, TextRow{"3.5", 4}, TextRow{"-2.5", -2}, TextRow{"2.51", 3},
                      TextRow{"0.5", 0}, TextRow{".7", 1}, TextRow{"7.", 7}, TextRow{"1e3", 1000},
                      TextRow{"0001E2", 100}, TextRow{"2147483647", 2147483647},
                      TextRow{"-2147483648", -2147483647 - 1}, TextRow{"-2147483648.5", -2147483647 - 1},
                      TextRow{"0.000000000000000000001", 0}));

TEST(ConvertToLong, NumbersBeyondTheLongRangeOverflow) {
  for (const char* text : {"2147483648", "2147483647.5", "-2147483649", "1e10", "120255120255120255",
                           "99999999999999999999999999999999999999999"}) {
    EXPECT_EQ(failureNumber(TagValue{std::string(text)}), 6) << text;
  }
}

TEST(ConvertToLong, OtherTextIsATypeMismatch) {
  for (const char* text : {"", "   ", "0000001A", "72/1", "1 2", "Exif", "e5", "1e", "--1", ".", "1.2.3",
                           "1,000"}) {
    EXPECT_EQ(failureNumber(TagValue{std::string(text)}), 13) << text;
  }
  EXPECT_EQ(failureNumber(TagValue{std::string("\0\0\0\x08", 4)}), 13);
}

}  // namespace
}  // namespace kelvane
