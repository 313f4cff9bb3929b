#include "exif/basic_conversion.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/runtime_failure.h"

namespace kelvane {
namespace {

using namespace std::string_literals;
constexpr Long kMin = -2147483647 - 1;

// A Long stays, Empty is 0, and decimal text rounds half to even ("00000008"
// is how a BYTE field reads inline).
TEST(ConvertToLong, ValuesThatConvert) {
  const std::pair<TagValue, Long> rows[] = {{Long{-7}, -7},
                                            {TagValue{}, 0},
                                            {"214"s, 214},
                                            {"  214  "s, 214},
                                            {"-12"s, -12},
                                            {"+5"s, 5},
                                            {"00000008"s, 8},
                                            {"2.5"s, 2},
                                            {"3.5"s, 4},
                                            {"-2.5"s, -2},
                                            {"2.51"s, 3},
                                            {"0.5"s, 0},
                                            {".7"s, 1},
                                            {"7."s, 7},
                                            {"1e3"s, 1000},
                                            {"0001E2"s, 100},
                                            {"2147483647"s, 2147483647},
                                            {"-2147483648"s, kMin},
                                            {"-2147483648.5"s, kMin},
                                            {"0.000000000000000000001"s, 0}};
  for (std::size_t i = 0; i < std::size(rows); ++i)
    EXPECT_EQ(convertToLong(rows[i].first), rows[i].second) << i;
}

// Beyond the Long range: Overflow (6); any other text: Type mismatch (13).
TEST(ConvertToLong, OtherTextFails) {
  const std::pair<std::string, int> rows[] = {{"2147483648", 6},
                                              {"2147483647.5", 6},
                                              {"-2147483649", 6},
                                              {"1e10", 6},
                                              {"120255120255120255", 6},
                                              {"99999999999999999999999999999999999999999", 6},
                                              {"", 13},
                                              {"   ", 13},
                                              {"0000001A", 13},
                                              {"72/1", 13},
                                              {"1 2", 13},
                                              {"Exif", 13},
                                              {"e5", 13},
                                              {"1e", 13},
                                              {"--1", 13},
                                              {".", 13},
                                              {"1.2.3", 13},
                                              {"1,000", 13},
                                              {std::string("\0\0\0\x08", 4), 13}};
  for (const auto& [text, number] : rows) {
    try {
      convertToLong(TagValue{text});
      ADD_FAILURE() << '"' << text << "\" converted";
    } catch (const RuntimeFailure& failure) {
      EXPECT_EQ(failure.number(), number) << text;
    }
  }
}

}  // namespace
}  // namespace kelvane
