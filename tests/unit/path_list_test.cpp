// Taking items from the front of a path list, for well-formed and malformed
// lists alike: every list ends, and no character of a name is lost.
#include "sort/path_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace kelvane {
namespace {

std::vector<std::string> takeAll(std::string list) {
  std::vector<std::string> items;
  do {
    items.push_back(takeNextItem(list));
  } while (!list.empty() && items.size() < 1000);
  return items;
}

TEST(PathList, TakesItemsInTheirWellFormedAndMalformedForms) {
  struct Take {
    std::string list;
    std::vector<std::string> items;  // in the order taken, until the list is empty
    std::string restAfterFirst;
  };
  const std::string longName(70000, 'x');  // no length limit anywhere
  const std::vector<Take> cases = {
      {"", {""}, ""},
      {"  /a b  ", {"  /a b  "}, ""},  // without quotes the list is taken whole
      {"\"/a b\"", {"/a b"}, ""},
      {"\"/a\"    \"/c\"   \"/d\"  ", {"/a", "/c", "/d"}, "\"/c\"   \"/d\""},
      {"\"\" \"/c\" \"\"", {"", "/c", ""}, "\"/c\" \"\""},
      {"\"/a\"\"/c\"", {"/a", "/c"}, "\"/c\""},
      {"\"/a\" /c d", {"/a", "/c d"}, "/c d"},
      // Text before the first quote is an item of its own, trimmed.
      {"  /x y  \"/a\"", {"/x y", "/a"}, "\"/a\""},
      {"   \"/a\"", {"/a"}, ""},  // blanks alone before it are no item
      // A quote without a partner: the rest is the last item.
      {"\"", {""}, ""},
      {"\"/a\" \"/b c ", {"/a", "/b c"}, "\"/b c"},
      {"/x \"/a", {"/x", "/a"}, "\"/a"},
      {std::string(40000, ' ') + "\"" + longName + "\"" + std::string(40000, ' ') + "\"/b",
       {longName, "/b"},
       "\"/b"},
  };
  for (const Take& c : cases) {
    SCOPED_TRACE("list [" + c.list.substr(0, 40) + "]");
    std::string list = c.list;
    EXPECT_EQ(takeNextItem(list), c.items.front());
    EXPECT_EQ(list, c.restAfterFirst);
    EXPECT_EQ(takeAll(c.list), c.items);
  }
}

// Every take shortens a non-empty list, so taking from any list ends within
// length + 1 takes; the items hold every 'a' of the list and never a quote.
TEST(PathList, TakingFromAnyListEnds) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> length(0, 40);
  std::uniform_int_distribution<std::size_t> pick(0, 2);
  for (int round = 0; round < 20000; ++round) {
    std::string list(length(random), ' ');
    for (char& c : list) c = "a \""[pick(random)];
    const std::string original = list;
    SCOPED_TRACE("list [" + original + "]");
    std::size_t takes = 0;
    std::size_t letters = 0;
    do {
      const std::string item = takeNextItem(list);
      ++takes;
      EXPECT_EQ(item.find('"'), std::string::npos) << item;
      letters += static_cast<std::size_t>(std::count(item.begin(), item.end(), 'a'));
    } while (!list.empty() && takes <= original.size() + 1);
    EXPECT_LE(takes, original.size() + 1);
    EXPECT_EQ(letters, static_cast<std::size_t>(std::count(original.begin(), original.end(), 'a')));
  }
}

}  // namespace
}  // namespace kelvane
