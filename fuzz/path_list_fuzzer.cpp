// Takes every item from a path list in its text form, as ProcessPaths does,
// and aborts when taking does not end, or when an item is not a piece of the
// list, holds a quote, or a character of a name goes missing. The pieces of
// the input between its quotes, each put in quotes, make a well-formed list
// too: taking from it must give back exactly those pieces.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sort/path_list.h"

namespace {

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "path list: %s\n", what);
  std::abort();
}

// Blanks around items and the quotes that delimit them are all a list may drop.
std::size_t nameCharacters(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text) count += c != ' ' && c != '"' ? 1 : 0;
  return count;
}

// Any number of blanks may stand between quoted items.
void checkWellFormedList(const std::string& input) {
  std::vector<std::string> paths(1);
  for (const char c : input) {
    if (c == '"') {
      paths.emplace_back();
    } else {
      paths.back().push_back(c);
    }
  }
  std::string list;
  for (const std::string& path : paths) list += std::string(path.size() % 3, ' ') + '"' + path + '"';
  std::vector<std::string> taken;
  do {
    taken.push_back(kelvane::takeNextItem(list));
  } while (!list.empty() && taken.size() <= paths.size());
  require(taken == paths, "a well-formed list did not give back its paths");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string original(reinterpret_cast<const char*>(data), size);
  checkWellFormedList(original);
  std::string list = original;
  std::size_t takes = 0;
  std::size_t searchFrom = 0;
  std::size_t kept = 0;
  do {
    const std::size_t before = list.size();
    const std::string item = kelvane::takeNextItem(list);
    ++takes;
    require(list.empty() || list.size() < before, "a take left the list as long as it was");
    require(takes <= original.size() + 1, "more takes than the list has characters");
    // Items come from the list in order and never overlap.
    const std::size_t at = original.find(item, searchFrom);
    require(at != std::string::npos, "an item that is not a piece of the rest of the list");
    searchFrom = at + item.size();
    require(item.find('"') == std::string::npos, "an item holding a quote");
    kept += nameCharacters(item);
  } while (!list.empty());
  require(kept == nameCharacters(original), "a character of a name was lost");
  return 0;
}
