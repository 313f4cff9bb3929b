#include "sort/path_list.h"

namespace kelvane {
namespace {

std::string trimBlanks(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string takeNextItem(std::string& sPaths) {
  const auto opening = sPaths.find('"');
  if (opening == std::string::npos) {
    std::string item;
    item.swap(sPaths);
    return item;
  }
  // Text in front of the first quote is a path of its own, taken whole.
  if (const std::string before = trimBlanks(sPaths.substr(0, opening)); !before.empty()) {
    sPaths.erase(0, opening);
    return before;
  }
  const auto closing = sPaths.find('"', opening + 1);
  // A quote without a partner: the rest of the list is the last item.
  if (closing == std::string::npos) {
    std::string item = sPaths.substr(opening + 1);
    sPaths.clear();
    return item;
  }
  std::string item = sPaths.substr(opening + 1, closing - opening - 1);
  sPaths = trimBlanks(sPaths.substr(closing + 1));
  return item;
}

}  // namespace kelvane
