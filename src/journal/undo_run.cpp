#include "journal/undo_run.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/runtime_failure.h"
#include "sort/log_lines.h"

namespace kelvane::journal {
namespace {

// A link is made anew by its move, so only its kind can be checked.
bool sameFile(const EntryStamp& found, const EntryStamp& moved) {
  return moved.entry.symbolicLink ? found.entry.symbolicLink : found == moved;
}

enum class Result { Back, InPlace, Left };

class Undo {
 public:
  Undo(SortedFolders& folders, Log& log) : folders_(folders), log_(log) {}

  // A file whose move never happened (a name found taken, a run killed
  // between its record and its move) is in its place already.
  Result takeBack(const JournaledMove& move) {
    showFolder(move.folder);
    const std::string moved = move.dateFolder + "/" + move.target;
    try {
      SortedFolder& folder = open(move.folder);
      if (folder.stampAt("", move.name) == std::optional(move.stamp)) {
        log_.append(log_lines::inPlace(move.name));
        return Result::InPlace;
      }
      const std::optional<EntryStamp> found = folder.stampAt(move.dateFolder, move.target);
      if (!found) {
        log_.append(log_lines::goneSince(move.dateFolder, move.target));
        return Result::Left;
      }
      if (!sameFile(*found, move.stamp)) {
        log_.append(log_lines::changedSince(move.dateFolder, move.target));
        return Result::Left;
      }
      log_.append(log_lines::movingBack(move.dateFolder, move.target, move.name));
      folder.moveBack(move.dateFolder, move.target, move.stamp, move.name);
      return Result::Back;
    } catch (const RuntimeFailure& failure) {
      if (failure.number() == failure::kFileAlreadyExists) {
        log_.append(log_lines::takenSince(move.name, move.dateFolder, move.target));
      } else {
        log_.append(log_lines::notMovedBack(moved, failure.report()));
      }
      return Result::Left;
    }
  }

  void removeIfEmpty(const std::string& folderPath, const std::string& dateFolder) {
    try {
      if (open(folderPath).removeFolderIfEmpty(dateFolder)) {
        showFolder(folderPath);
        log_.append(log_lines::removedDirectory(dateFolder));
      }
    } catch (const RuntimeFailure&) {
      // A folder that cannot be looked at keeps what it holds; its files were
      // reported already.
    }
  }

 private:
  SortedFolder& open(const std::string& path) {
    auto& folder = open_[path];
    if (!folder) {
      try {
        folder = folders_.openSortedFolder(path);
      } catch (RuntimeFailure& failure) {
        failure.setPath(path);
        throw;
      }
    }
    return *folder;
  }

  void showFolder(const std::string& path) {
    if (path == shown_) return;
    log_.append(log_lines::inputDirectory(path));
    shown_ = path;
  }

  SortedFolders& folders_;
  Log& log_;
  std::map<std::string, std::unique_ptr<SortedFolder>> open_;
  std::string shown_;
};

}  // namespace

UndoOutcome takeBack(const RunHistory& run, SortedFolders& folders, UndoRecorder& recorder, Log& log) {
  log.append(log_lines::takingBack(run.id));
  Undo undo(folders, log);
  UndoOutcome outcome;
  // A file tried under several names has one record for each; the newest is
  // the one that moved it, if any did.
  std::set<std::pair<std::string, std::string>> handled;
  for (std::size_t k = run.moves.size(); k-- > 0;) {
    const JournaledMove& move = run.moves[k];
    if (!handled.emplace(move.folder, move.name).second) continue;
    if (run.movedBack.contains(k)) {
      ++outcome.back;
      continue;
    }
    if (undo.takeBack(move) == Result::Left) {
      ++outcome.notBack;
      continue;
    }
    recorder.movedBack(k);
    ++outcome.back;
  }
  for (auto created = run.createdFolders.rbegin(); created != run.createdFolders.rend(); ++created) {
    undo.removeIfEmpty(created->folder, created->dateFolder);
  }
  if (outcome.notBack == 0) {
    recorder.undone();
    log.append(log_lines::finished());
  } else {
    log.append(log_lines::notTakenBack(outcome.notBack, outcome.back + outcome.notBack));
  }
  return outcome;
}

}  // namespace kelvane::journal
