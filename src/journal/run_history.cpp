#include "journal/run_history.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kelvane::journal {

// The first format's header names the start in local time only; the
// current one adds it in UTC, nanoseconds since 1970, which orders runs
// whatever the time zone.
constexpr std::string_view kFirstHeader = "kelvane-journal 1";
constexpr std::string_view kHeader = "kelvane-journal 2";

// Names may hold any byte but "/" and NUL: tabs, line breaks and backslashes
// are written as \t, \n and \\.
std::string escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

std::string unescaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
  }
  return out;
}

std::string record(std::initializer_list<std::string> fields) {
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += '\t';
    line += field;
  }
  return line + '\n';
}

std::vector<std::string_view> fieldsOf(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (std::size_t tab = line.find('\t'); tab != std::string_view::npos; tab = line.find('\t', start)) {
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

// Whole lines only: a last line without its line break was cut short.
std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  return lines;
}

template <typename Number>
bool parse(std::string_view field, Number& number) {
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), number);
  return error == std::errc() && end == field.data() + field.size();
}

struct Header {
  std::string started;
  std::optional<std::int64_t> startedUtc;
};

std::optional<Header> headerOf(const std::vector<std::string_view>& f) {
  if (f[0] == kFirstHeader && f.size() == 2) return Header{std::string(f[1]), std::nullopt};
  if (std::int64_t utc = 0; f[0] == kHeader && f.size() == 3 && parse(f[2], utc)) {
    return Header{std::string(f[1]), utc};
  }
  return std::nullopt;
}

bool parseMove(const std::vector<std::string_view>& f, JournaledMove& move) {
  if (f.size() != 10) return false;
  move = {unescaped(f[1]), unescaped(f[2]), unescaped(f[3]), unescaped(f[4]), {}};
  move.stamp.entry.symbolicLink = f[7] == "link";
  return parse(f[5], move.stamp.entry.device) && parse(f[6], move.stamp.entry.inode) &&
         parse(f[8], move.stamp.size) && parse(f[9], move.stamp.modified);
}

}  // namespace

JournalHead readHead(std::string_view start) {
  const std::vector<std::string_view> lines = linesOf(start);
  if (lines.size() < 2) return {};
  const std::vector<std::string_view> f = fieldsOf(lines[0]);
  const std::optional<Header> header = headerOf(f);
  if (!header) return {};
  return {true, header->startedUtc};
}

std::string headerRecord(const std::string& started, std::int64_t startedUtc) {
  return record({std::string(kHeader), started, std::to_string(startedUtc)});
}

std::string createRecord(const std::string& folder, const std::string& dateFolder) {
  return record({"create", escaped(folder), escaped(dateFolder)});
}

std::string moveRecord(const JournaledMove& move) {
  const EntryStamp& s = move.stamp;
  return record({"move", escaped(move.folder), escaped(move.name), escaped(move.dateFolder),
                 escaped(move.target), std::to_string(s.entry.device), std::to_string(s.entry.inode),
                 s.entry.symbolicLink ? "link" : "file", std::to_string(s.size), std::to_string(s.modified)});
}

std::string movedBackRecord(std::size_t index) { return record({"back", std::to_string(index)}); }

std::string undoneRecord() { return record({"undone"}); }

RunHistory readHistory(const std::string& id, const std::string& journalText, const std::string& undoText) {
  RunHistory history;
  history.id = id;
  const std::vector<std::string_view> lines = linesOf(journalText);
  for (std::size_t number = 1; number <= lines.size(); ++number) {
    const std::vector<std::string_view> f = fieldsOf(lines[number - 1]);
    if (const std::optional<Header> header = headerOf(f)) {
      history.started = header->started;
    } else if (f[0] == "create" && f.size() == 3) {
      history.createdFolders.push_back({unescaped(f[1]), unescaped(f[2]), number});
    } else if (JournaledMove move; f[0] == "move" && parseMove(f, move)) {
      move.line = number;
      history.moves.push_back(std::move(move));
    } else {
      history.unreadLines.push_back(number);
    }
  }
  for (const std::string_view line : linesOf(undoText)) {
    const std::vector<std::string_view> f = fieldsOf(line);
    std::size_t index = 0;
    if (f[0] == "back" && f.size() == 2 && parse(f[1], index) && index < history.moves.size()) {
      history.movedBack.insert(index);
    } else if (f[0] == "undone") {
      history.undone = true;
    }
  }
  return history;
}

std::vector<std::string> RunHistory::folders() const {
  std::vector<std::string> folders;
  std::set<std::string> seen;
  for (const JournaledMove& move : moves) {
    if (seen.insert(move.folder).second) folders.push_back(move.folder);
  }
  return folders;
}

std::size_t RunHistory::filesMoved() const {
  std::set<std::pair<std::string, std::string>> files;
  for (const JournaledMove& move : moves) files.emplace(move.folder, move.name);
  return files.size();
}

}  // namespace kelvane::journal
