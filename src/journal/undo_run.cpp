#include "journal/undo_run.h"

#include <algorithm>
#include <initializer_list>
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

enum class Result { Back, InPlace, Left };

bool isOneOf(const EntryStamp& found, std::initializer_list<std::optional<EntryStamp>> links) {
  return std::any_of(links.begin(), links.end(), [&](const auto& link) { return link && *link == found; });
}

class Undo {
 public:
  Undo(const RunHistory& run, SortedFolders& folders, UndoRecorder& recorder, Log& log)
      : run_(run), folders_(folders), recorder_(recorder), log_(log) {}

  // A file whose move never happened (a name found taken, a run killed
  // between its record and its move) is in its place already.
  Result takeBack(std::size_t index) {
    const JournaledMove& move = run_.moves[index];
    showFolder(move.folder);
    try {
      SortedFolder& folder = open(move.folder);
      if (move.stamp.entry.symbolicLink) return takeBackLink(folder, index);
      if (folder.stampAt("", move.name) == std::optional(move.stamp)) {
        log_.append(log_lines::inPlace(move.name));
        return Result::InPlace;
      }
      const std::optional<EntryStamp> found = folder.stampAt(move.dateFolder, move.target);
      if (!found) return left(log_lines::goneSince(move.dateFolder, move.target));
      if (*found != move.stamp) return left(log_lines::changedSince(move.dateFolder, move.target));
      log_.append(log_lines::movingBack(move.dateFolder, move.target, move.name));
      folder.moveBack(move.dateFolder, move.target, move.stamp, move.name, std::nullopt, {});
      return Result::Back;
    } catch (const RuntimeFailure& failure) {
      return leftBy(move, failure);
    }
  }

  // Only the folder the run made, in the folder it held.
  void removeIfEmpty(const std::string& folderPath, const std::string& dateFolder) {
    const auto made = run_.madeFolders.find({folderPath, dateFolder});
    try {
      if (open(folderPath)
              .removeFolderIfEmpty(
                  dateFolder, made == run_.madeFolders.end() ? std::nullopt : std::optional(made->second))) {
        showFolder(folderPath);
        log_.append(log_lines::removedDirectory(dateFolder));
      }
    } catch (const RuntimeFailure&) {
      // A folder that cannot be looked at, or is not the one the run held,
      // keeps what it holds; its files were reported already.
    }
  }

 private:
  // A link is known by the identities the journals recorded: the one the
  // run found (L), the replacement the run made with one "../" more (L'),
  // and the replacement an earlier undo made with the text back (L''). Any
  // of them may stand at either name after a move cut short.
  Result takeBackLink(SortedFolder& folder, std::size_t index) {
    const JournaledMove& move = run_.moves[index];
    const FiledLink filed{move.stamp.entry, false};
    const auto madeBack = run_.linksMadeBack.find(index);
    const std::optional<EntryStamp> undone =
        madeBack == run_.linksMadeBack.end() ? std::nullopt : std::optional(madeBack->second);
    const BeforeMove record = [&](const MoveStep& step) {
      if (step.newLink) recorder_.linkMadeBack(index, *step.newLink);
    };
    const std::optional<EntryStamp> atName = folder.stampAt("", move.name);
    if (atName && isOneOf(*atName, {move.stamp, undone})) {
      folder.removeLinkLeftovers(move.dateFolder, filed);
      log_.append(log_lines::inPlace(move.name));
      return Result::InPlace;
    }
    if (atName && isOneOf(*atName, {move.newLink})) {  // moved back, its text not yet
      log_.append(log_lines::movingBack(move.dateFolder, move.target, move.name));
      folder.restoreLinkText(move.name, *atName, {move.stamp.entry, true}, record);
      folder.removeLinkLeftovers(move.dateFolder, filed);
      return Result::Back;
    }
    const std::optional<EntryStamp> found = folder.stampAt(move.dateFolder, move.target);
    if (!found) return left(log_lines::goneSince(move.dateFolder, move.target));
    if (!isOneOf(*found, {move.stamp, move.newLink})) {
      return left(log_lines::changedSince(move.dateFolder, move.target));
    }
    log_.append(log_lines::movingBack(move.dateFolder, move.target, move.name));
    folder.moveBack(move.dateFolder, move.target, *found, move.name,
                    FiledLink{move.stamp.entry, *found != move.stamp}, record);
    folder.removeLinkLeftovers(move.dateFolder, filed);
    return Result::Back;
  }

  Result left(const std::string& line) {
    log_.append(line);
    return Result::Left;
  }

  Result leftBy(const JournaledMove& move, const RuntimeFailure& failure) {
    if (failure.number() == failure::kFileAlreadyExists) {
      return left(log_lines::takenSince(move.name, move.dateFolder, move.target));
    }
    return left(log_lines::notMovedBack(move.dateFolder + "/" + move.target, failure.report()));
  }

  // A folder is taken back only while its path leads to the folder the run
  // held: not to another one put at its name, or reached through a link
  // pointed elsewhere since.
  SortedFolder& open(const std::string& path) {
    auto& folder = open_[path];
    if (!folder) {
      try {
        folder = folders_.openSortedFolder(path);
        const auto held = run_.folderIdentities.find(path);
        if (held != run_.folderIdentities.end() && folder->identity() != held->second)
          failure::entryChanged();
      } catch (RuntimeFailure& failure) {
        folder.reset();
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

  const RunHistory& run_;
  SortedFolders& folders_;
  UndoRecorder& recorder_;
  Log& log_;
  std::map<std::string, std::unique_ptr<SortedFolder>> open_;
  std::string shown_;
};

}  // namespace

UndoOutcome takeBack(const RunHistory& run, SortedFolders& folders, UndoRecorder& recorder, Log& log) {
  log.append(log_lines::takingBack(run.id));
  Undo undo(run, folders, recorder, log);
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
    if (undo.takeBack(k) == Result::Left) {
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
