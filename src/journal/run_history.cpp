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

bool parseIdentity(std::string_view device, std::string_view inode, EntryIdentity& identity) {
  return parse(device, identity.device) && parse(inode, identity.inode);
}

std::string identityFields(const EntryIdentity& identity) {
  return std::to_string(identity.device) + '\t' + std::to_string(identity.inode);
}

std::string stampFields(const EntryStamp& stamp) {
  return identityFields(stamp.entry) + '\t' + std::to_string(stamp.size) + '\t' +
         std::to_string(stamp.modified);
}

bool parseLinkStamp(std::string_view device, std::string_view inode, std::string_view size,
                    std::string_view modified, EntryStamp& stamp) {
  stamp.entry.symbolicLink = true;
  return parseIdentity(device, inode, stamp.entry) && parse(size, stamp.size) &&
         parse(modified, stamp.modified);
}

// The last fields give a link's replacement, on the link's own device: its
// inode, size and modification time ("-" each: none). A journal of an
// earlier release has no such fields.
bool parseMove(const std::vector<std::string_view>& f, JournaledMove& move) {
  if (f.size() != 10 && f.size() != 13) return false;
  move = {unescaped(f[1]), unescaped(f[2]), unescaped(f[3]), unescaped(f[4]), {}, {}};
  move.stamp.entry.symbolicLink = f[7] == "link";
  if (!parseIdentity(f[5], f[6], move.stamp.entry) || !parse(f[8], move.stamp.size) ||
      !parse(f[9], move.stamp.modified)) {
    return false;
  }
  if (f.size() == 10 || f[10] == "-") return true;
  move.newLink = EntryStamp{};
  return parseLinkStamp(f[5], f[10], f[11], f[12], *move.newLink);
}

// `line`: the record's line in the journal, counted from 1.
void readRunRecord(const std::vector<std::string_view>& f, std::size_t line, RunHistory& history) {
  EntryIdentity identity;
  if (const std::optional<Header> header = headerOf(f)) {
    history.started = header->started;
  } else if (f[0] == "folder" && f.size() == 4 && parseIdentity(f[2], f[3], identity)) {
    history.folderIdentities.emplace(unescaped(f[1]), identity);
  } else if (f[0] == "create" && f.size() == 3) {
    history.createdFolders.push_back({unescaped(f[1]), unescaped(f[2]), line});
  } else if (f[0] == "made" && f.size() == 5 && parseIdentity(f[3], f[4], identity)) {
    history.madeFolders[{unescaped(f[1]), unescaped(f[2])}] = identity;
  } else if (JournaledMove move; f[0] == "move" && parseMove(f, move)) {
    move.line = line;
    history.moves.push_back(std::move(move));
  } else {
    history.unreadLines.push_back(line);
  }
}

void readUndoRecord(const std::vector<std::string_view>& f, RunHistory& history) {
  std::size_t index = 0;
  const bool indexed = f.size() >= 2 && parse(f[1], index) && index < history.moves.size();
  EntryStamp newLink;
  if (f[0] == "back" && f.size() == 2 && indexed) {
    history.movedBack.insert(index);
  } else if (f[0] == "relink" && f.size() == 6 && indexed &&
             parseLinkStamp(f[2], f[3], f[4], f[5], newLink)) {
    history.linksMadeBack[index] = newLink;
  } else if (f[0] == "undone") {
    history.undone = true;
  }
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

std::string folderRecord(const std::string& folder, const EntryIdentity& identity) {
  return record({"folder", escaped(folder), identityFields(identity)});
}

std::string createRecord(const std::string& folder, const std::string& dateFolder) {
  return record({"create", escaped(folder), escaped(dateFolder)});
}

std::string madeRecord(const std::string& folder, const std::string& dateFolder,
                       const EntryIdentity& identity) {
  return record({"made", escaped(folder), escaped(dateFolder), identityFields(identity)});
}

std::string moveRecord(const JournaledMove& move) {
  const EntryStamp& s = move.stamp;
  return record({"move", escaped(move.folder), escaped(move.name), escaped(move.dateFolder),
                 escaped(move.target), std::to_string(s.entry.device), std::to_string(s.entry.inode),
                 s.entry.symbolicLink ? "link" : "file", std::to_string(s.size), std::to_string(s.modified),
                 move.newLink ? std::to_string(move.newLink->entry.inode) : "-",
                 move.newLink ? std::to_string(move.newLink->size) : "-",
                 move.newLink ? std::to_string(move.newLink->modified) : "-"});
}

std::string linkMadeBackRecord(std::size_t index, const EntryStamp& newLink) {
  return record({"relink", std::to_string(index), stampFields(newLink)});
}

std::string movedBackRecord(std::size_t index) { return record({"back", std::to_string(index)}); }

std::string undoneRecord() { return record({"undone"}); }

RunHistory readHistory(const std::string& id, const std::string& journalText, const std::string& undoText) {
  RunHistory history;
  history.id = id;
  const std::vector<std::string_view> lines = linesOf(journalText);
  for (std::size_t number = 1; number <= lines.size(); ++number)
    readRunRecord(fieldsOf(lines[number - 1]), number, history);
  for (const std::string_view line : linesOf(undoText)) readUndoRecord(fieldsOf(line), history);
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
