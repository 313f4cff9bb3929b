// The file system as the core sees it. Failures are FileFailure, carrying the
// file layer's own number and description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/name_list.h"

namespace kelvane {

// Which directory entry a file was opened through. A move checks that the
// name still holds that entry, so that whatever was swapped in after the read
// is never moved.
struct EntryIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool symbolicLink = false;

  friend bool operator==(const EntryIdentity&, const EntryIdentity&) = default;
};

// What a run's journal keeps of a file it moves, and what taking the move
// back checks first: the same entry, of the same size and modification time
// (nanoseconds since the epoch), so that a file written to since is left
// alone.
struct EntryStamp {
  EntryIdentity entry;
  std::int64_t size = 0;
  std::int64_t modified = 0;

  friend bool operator==(const EntryStamp&, const EntryStamp&) = default;
};

// What a move records right before it is made: the entry as the move's own
// check found it and, for a symbolic link whose text must change with its
// folder, the new link made for it (a link's text cannot change, so a new
// link takes its place once it has moved).
struct MoveStep {
  EntryStamp entry;
  std::optional<EntryStamp> newLink;
};

using BeforeMove = std::function<void(const MoveStep&)>;

// A link a run filed, as taking it back needs it: the link the run found
// (the temporary names of a move cut short are kept by its identity), and
// whether the link now at the name has the text the run gave it, one "../"
// more.
struct FiledLink {
  EntryIdentity original;
  bool runText = false;
};

// Where another program may act between two steps of the file layer: after a
// check and before the act that relies on it. Tests take that program's step
// there, deterministically; a run leaves it empty.
enum class Step {
  EntryChecked,   // a move's entry was found to be the expected one
  EntryMoved,     // the entry is under its new name, not yet checked there
  LinkReady,      // a link's replacement is made, the link checked, not yet replaced
  LinkSwapped,    // a link's new text is in place, the old link under a temporary name
  FolderChecked,  // a date folder is found to be the run's own, not yet removed
};
using BetweenSteps = std::function<void(Step)>;

// A file open for reading at any position, without reading it whole.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;

  virtual std::int64_t size() const = 0;

  // Reads up to out.size() bytes starting at offset; returns how many were
  // read, fewer only at the end of the file.
  virtual std::size_t readAt(std::int64_t offset, std::span<std::uint8_t> out) = 0;

  virtual EntryIdentity entry() const = 0;

  // Where the first FF E1 pair at index 2 or later lies (-1: nowhere), when
  // this very content was scanned for it already; nothing otherwise.
  virtual std::optional<std::int64_t> scannedMarkerPair() const { return std::nullopt; }
};

// Where the reader gets its file from.
class FileOpener {
 public:
  virtual ~FileOpener() = default;

  virtual std::unique_ptr<RandomAccessFile> openForReading(const std::string& path) = 0;
};

// What a name inside a folder that is a symbolic link does when it is opened.
enum class Links { Refuse, Follow };

// A folder being sorted, held open for the whole of its handling. Every name
// is looked up in the folder itself, never through a path, so no link planted
// along the folder's path or at a name inside it can lead a create or a move
// anywhere else.
class Folder {
 public:
  virtual ~Folder() = default;

  // The names of the plain files directly inside, taken whole before anything
  // is moved: no sub-folders, no hidden files, no symbolic links, nothing that
  // is not a regular file.
  virtual NameList listPlainFiles() = 0;

  // The run is about to read names[index], then the names after it in
  // order: a folder may fetch their first bytes ahead, so that a slow device
  // serves several at once. Only a hint: nothing else may change.
  virtual void readingNext(const NameList& names, std::size_t index) {
    (void)names;
    (void)index;
  }

  // A file of the folder. With Links::Follow a symbolic link at the name is
  // read through; the entry is then the link itself.
  virtual std::unique_ptr<RandomAccessFile> openEntry(const std::string& name, Links links) = 0;

  // Whether the name is a real folder: a link to one is not.
  virtual bool hasFolder(const std::string& name) = 0;

  // Whether anything (a link too) stands at the name.
  virtual bool hasEntry(const std::string& name) = 0;

  // The folder itself, as a journal records it.
  virtual EntryIdentity identity() = 0;

  // One new folder; returns the folder now at the name. A folder that another
  // program made at the name meanwhile is used; anything else there (a file,
  // a link) is a taken name.
  virtual EntryIdentity createFolder(const std::string& name) = 0;

  // Moves the entry `name` into the sub-folder `folderName` as `targetName`,
  // never replacing anything there, and only while the name still holds
  // `expected`: whatever the new name holds after the move is checked again,
  // and what is not the expected entry goes back to its name (a failure with
  // the entry-changed number). A symbolic link is moved itself, then given
  // the text that leads where it led. `beforeMove`, when given, is called
  // once the entry is checked, right before the move (a journal records the
  // move there); what it throws stops the move.
  virtual void moveInto(const std::string& name, const EntryIdentity& expected, const std::string& folderName,
                        const std::string& targetName, const BeforeMove& beforeMove) = 0;

  // Whether anything (a link too) stands at `targetName` in the sub-folder.
  virtual bool hasEntryIn(const std::string& folderName, const std::string& targetName) = 0;

  // Whether the file `name` and the regular file `targetName` in the
  // sub-folder hold the same bytes.
  virtual bool sameBytes(const std::string& name, const std::string& folderName,
                         const std::string& targetName) = 0;

  // The entry at the name itself, a link not followed.
  virtual EntryStamp stampOf(const std::string& name) = 0;
};

// A folder that was sorted, opened again to take its moves back: every name
// is looked up in the folder or its date folder itself, never through a path.
class SortedFolder {
 public:
  virtual ~SortedFolder() = default;

  // The entry at `name` in the sub-folder `folderName` (or in the folder
  // itself when `folderName` is empty); nothing when there is none.
  virtual std::optional<EntryStamp> stampAt(const std::string& folderName, const std::string& name) = 0;

  // The folder itself, to be compared with what the run recorded.
  virtual EntryIdentity identity() = 0;

  // Moves `name` of the sub-folder back to `originalName` in the folder,
  // never replacing anything (a taken name fails with "File already exists"),
  // and only while the name still holds the entry `expected` stamps, checked
  // again after the move as a run's move is.
  // A link with the run's text gets its own text back; `beforeMove` hears of
  // the new link made for it before anything moves.
  virtual void moveBack(const std::string& folderName, const std::string& name, const EntryStamp& expected,
                        const std::string& originalName, const std::optional<FiledLink>& link,
                        const BeforeMove& beforeMove) = 0;

  // The link `name` of the folder itself, moved back but with the run's text
  // still (an undo cut short there), gets its own text back.
  virtual void restoreLinkText(const std::string& name, const EntryStamp& expected, const FiledLink& link,
                               const BeforeMove& beforeMove) = 0;

  // Removes what a move of the link cut short left under temporary names, in
  // the folder and in the sub-folder.
  virtual void removeLinkLeftovers(const std::string& folderName, const FiledLink& link) = 0;

  // Removes the sub-folder if it is empty and, when `made` is given, is that
  // very folder; true when it did.
  virtual bool removeFolderIfEmpty(const std::string& folderName,
                                   const std::optional<EntryIdentity>& made) = 0;
};

// Where taking a run back opens its folders, by the paths the run used.
class SortedFolders {
 public:
  virtual ~SortedFolders() = default;

  virtual std::unique_ptr<SortedFolder> openSortedFolder(const std::string& path) = 0;
};

class FileSystem : public FileOpener {
 public:
  // Whether the path names an existing folder / an existing plain file. A
  // symbolic link the user names is followed; devices, FIFOs and sockets are
  // neither.
  virtual bool FolderExists(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;

  // For a path that is neither: returns when it names nothing (or nothing
  // that could be sorted, such as a FIFO), and fails when it cannot tell,
  // because a folder on the way may not be searched, for instance.
  virtual void checkNamesNothing(const std::string& path) = 0;

  // The folder a path names. A link the user named as the folder itself is
  // followed; a link swapped in for a real folder after it was checked is not.
  virtual std::unique_ptr<Folder> openFolder(const std::string& path) = 0;
};

}  // namespace kelvane
