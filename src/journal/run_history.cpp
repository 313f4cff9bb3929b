#include "journal/run_history.h"

#include <charconv>
#include <cstdint>
#include <string_view>

namespace kelvane::journal {
namespace {

constexpr std::string_view kHeader = "kelvane-journal 1";

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

void readRunRecord(const std::vector<std::string_view>& f, RunHistory& history) {
  EntryIdentity identity;
  if (f[0] == kHeader && f.size() == 2) {
    history.started = std::string(f[1]);
  } else if (f[0] == "folder" && f.size() == 4 && parseIdentity(f[2], f[3], identity)) {
    history.folderIdentities.emplace(unescaped(f[1]), identity);
  } else if (f[0] == "create" && f.size() == 3) {
    history.createdFolders.emplace_back(unescaped(f[1]), unescaped(f[2]));
  } else if (f[0] == "made" && f.size() == 5 && parseIdentity(f[3], f[4], identity)) {
    history.madeFolders[{unescaped(f[1]), unescaped(f[2])}] = identity;
  } else if (JournaledMove move; f[0] == "move" && parseMove(f, move)) {
    history.moves.push_back(std::move(move));
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

std::string headerRecord(const std::string& started) { return record({std::string(kHeader), started}); }

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
  for (const std::string_view line : linesOf(journalText)) readRunRecord(fieldsOf(line), history);
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
