// The sort run: turns paths into date folders and moved files, logging every
// step before it is taken.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "media/media_reader.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/message_box.h"
#include "sort/move_journal.h"
#include "sort/run_observer.h"

namespace kelvane {

// What a taken name in a date folder does: stop the run; leave the file and
// go on; or move it under the first free name "NAME (2).EXT", "NAME (3).EXT"...
enum class OnCollision { Stop, Skip, Rename };

struct RunOptions {
  OnCollision onCollision = OnCollision::Stop;
  RunObserver* observer = nullptr;  // hears of every folder and file, asked before each whether to stop
  MoveJournal* journal = nullptr;   // records each folder creation and move before it is made
  bool allMedia = false;            // other photo and video formats too, by their capture dates
  bool videoUtc = false;            // a movie header's time gives its UTC date, not the local one
};

class SortRun {
 public:
  // bProcessing is the caller's flag: set while a run is under way, left set
  // when a run stops on a failure.
  SortRun(FileSystem& oFileSystem, MessageBoxes& boxes, Log& log, bool& bProcessing, RunOptions options = {});

  // Runs a path list in its text form, consuming it from the front. True when
  // the whole list was handled. A failure to create a folder or move a file
  // stops the run: it is passed on as a RuntimeFailure, and the items not yet
  // taken stay in the list. The failure names the file or folder it concerns.
  bool ProcessPaths(std::string& sPaths);

  // The same for paths that arrive whole (arguments, dropped files): each one
  // item, blanks and double quotes included. False when the observer asked
  // to stop: the log says before which file, and that file and the items
  // not yet taken stay as they are.
  bool processWholePaths(std::deque<std::string>& paths);

 private:
  void handleItem(const std::string& item);
  void handleFolder(const std::string& folder);
  void handleFileItem(const std::string& item);
  void holdingFolder(Folder& folder, const std::string& folderPath);
  // The date folder the file moved into; empty when it did not move.
  std::string handleFile(Folder& folder, const std::string& folderPath, const std::string& name, Links links,
                         std::size_t index);
  void handleCompanions(Folder& folder, const std::string& folderPath, const NameList& names,
                        const std::string& photo, const std::vector<std::string>& companions,
                        const std::string& dateFolder);
  std::optional<media::MediaDate> readDate(FileOpener& opener, const std::string& fullPath);
  // False when the file stays (a taken name skipped, a duplicate). `photo`:
  // the photo a companion goes with.
  bool moveIntoDateFolder(Folder& folder, const std::string& folderPath, const std::string& name,
                          const EntryIdentity& entry, const std::string& dateFolder,
                          const std::string& photo = {});
  BeforeMove journalRecord(const std::string& folderPath, const std::string& name,
                           const std::string& dateFolder, const std::string& target) const;
  void prt(const std::string& sString);

  FileSystem& oFileSystem_;
  MessageBoxes& boxes_;
  Log& log_;
  bool& bProcessing_;
  RunOptions options_;
};

}  // namespace kelvane
