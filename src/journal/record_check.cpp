#include "journal/record_check.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace kelvane::journal {
namespace {

constexpr std::string_view kNul("\0", 1);

// Not empty, not "." or "..", and without "/" or NUL: a name in a folder,
// never a way out of it.
bool singleName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find(kNul) == std::string::npos;
}

bool wholePath(const std::string& path) {
  return path.starts_with('/') && path.find(kNul) == std::string::npos;
}

// As the journal writes it, and a NUL byte as \0.
std::string shown(const std::string& text) {
  std::string out = escaped(text);
  for (std::size_t at = out.find(kNul); at != std::string::npos; at = out.find(kNul, at + 2)) {
    out.replace(at, 1, "\\0");
  }
  return '"' + out + '"';
}

class Check {
 public:
  void folder(std::size_t line, const std::string& path) {
    if (!wholePath(path)) found_.push_back({line, "the folder " + shown(path) + " is not a whole path"});
  }

  void name(std::size_t line, std::string_view what, const std::string& name) {
    if (!singleName(name))
      found_.push_back({line, std::string(what) + " " + shown(name) + " is not a single name"});
  }

  void unread(std::size_t line) { found_.push_back({line, "no record this version of Kelvane reads"}); }

  std::vector<InvalidRecord> found() {
    std::stable_sort(found_.begin(), found_.end(),
                     [](const InvalidRecord& a, const InvalidRecord& b) { return a.line < b.line; });
    return std::move(found_);
  }

 private:
  std::vector<InvalidRecord> found_;
};

}  // namespace

std::vector<InvalidRecord> invalidRecords(const RunHistory& run) {
  Check check;
  for (const CreatedFolder& created : run.createdFolders) {
    check.folder(created.line, created.folder);
    check.name(created.line, "the date folder", created.dateFolder);
  }
  for (const JournaledMove& move : run.moves) {
    check.folder(move.line, move.folder);
    check.name(move.line, "the name", move.name);
    check.name(move.line, "the date folder", move.dateFolder);
    check.name(move.line, "the name in the date folder", move.target);
  }
  for (const std::size_t line : run.unreadLines) check.unread(line);
  return check.found();
}

}  // namespace kelvane::journal
