// A listing kept in blocks gives back every name as it was added, sorts them
// as strings sort (bytes as unsigned), and finds them.
#include "platform/name_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelvane {
namespace {

TEST(NameList, KeepsSortsAndFindsNamesAcrossItsBlocks) {
  // Enough names, of every length up to a file system's longest, to fill
  // many blocks; some with bytes above 0x7F, which sort after "z".
  std::vector<std::string> expected;
  NameList names;
  for (std::size_t k = 0; k < 20000; ++k) {
    std::string name = std::to_string(k * 7919 % 20000) + std::string(k % 240, 'x');
    if (k % 5 == 0) name += "\xE9";
    expected.push_back(name);
    names.add(name);
  }
  names.add("");
  expected.push_back("");
  ASSERT_EQ(names.toStrings(), expected);

  names.sortByBytes();
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(names.toStrings(), expected);
  for (std::size_t k = 0; k < expected.size(); k += 97) EXPECT_EQ(names.find(expected[k]), k);
  EXPECT_EQ(names.find("not there"), names.size());
  EXPECT_THROW(names.add(std::string(70000, 'n')), std::length_error);
}

}  // namespace
}  // namespace kelvane
