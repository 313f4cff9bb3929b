// A run's journal as text, and what it says: which folders the run made and
// which files it moved, and which of those moves were taken back since. One
// record a line, fields separated by tabs; a line cut short by a crash is
// not a record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace kelvane::journal {

struct JournaledMove {
  std::string folder;  // the path the run sorted, as it was given
  std::string name;
  std::string dateFolder;
  std::string target;  // the name in the date folder
  EntryStamp stamp;
  std::optional<EntryStamp> newLink;  // a link's replacement with the text it needs in the date folder
  std::size_t line = 0;               // in the journal, counted from 1
};

struct CreatedFolder {
  std::string folder;
  std::string dateFolder;
  std::size_t line = 0;  // in the journal, counted from 1
};

struct RunHistory {
  std::string id;
  std::string started;  // local time, "YYYY-MM-DD HH:MM:SS"
  std::vector<CreatedFolder> createdFolders;
  std::vector<JournaledMove> moves;                       // in the order they were made
  std::vector<std::size_t> unreadLines;                   // whole lines that are no record
  std::map<std::string, EntryIdentity> folderIdentities;  // folder -> the folder the run held
  std::map<std::pair<std::string, std::string>, EntryIdentity> madeFolders;  // (folder, date folder) -> made
  std::set<std::size_t> movedBack;                                           // indexes into moves
  std::map<std::size_t, EntryStamp> linksMadeBack;  // index -> a link's replacement, taking it back
  bool undone = false;                              // an undo went through to its end

  // The folders the run moved files in, each once, in the order first used.
  std::vector<std::string> folders() const;
  // Files the run moved: a file tried under several names counts once.
  std::size_t filesMoved() const;
};

// What a journal's first lines say: enough to list it without reading it
// whole.
struct JournalHead {
  bool recorded = false;                   // a header, then at least one more whole line
  std::optional<std::int64_t> startedUtc;  // nanoseconds since 1970; none in the first format
};

// `start`: the journal's first two lines, or as much of them as there is.
JournalHead readHead(std::string_view start);

// A text as the journal writes it: tabs, line breaks and backslashes as \t,
// \n and \\, so that a record is one line.
std::string escaped(std::string_view text);

// started: local time, "YYYY-MM-DD HH:MM:SS"; startedUtc: the same moment in
// nanoseconds since 1970.
std::string headerRecord(const std::string& started, std::int64_t startedUtc);
std::string folderRecord(const std::string& folder, const EntryIdentity& identity);
std::string createRecord(const std::string& folder, const std::string& dateFolder);
std::string madeRecord(const std::string& folder, const std::string& dateFolder,
                       const EntryIdentity& identity);
std::string moveRecord(const JournaledMove& move);
std::string linkMadeBackRecord(std::size_t index, const EntryStamp& newLink);
std::string movedBackRecord(std::size_t index);
std::string undoneRecord();

// journalText: the run's journal; undoText: the journal of taking it back.
RunHistory readHistory(const std::string& id, const std::string& journalText, const std::string& undoText);

}  // namespace kelvane::journal
