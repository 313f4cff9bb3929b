#include "sort/sort_run.h"

#include <cassert>
#include <memory>
#include <vector>

#include "exif/exif_reader.h"
#include "media/media_reader.h"
#include "platform/runtime_failure.h"
#include "sort/companions.h"
#include "sort/date_folder.h"
#include "sort/log_lines.h"
#include "sort/path_list.h"

namespace kelvane {
namespace {

constexpr Long kDateTimeOriginal = 36867;

std::string join(const std::string& folder, const std::string& name) { return folder + "/" + name; }

// Runs one step of the run; a failure it passes on names the file or folder
// the step was about.
template <typename Step>
void atPath(const std::string& path, Step step) {
  try {
    step();
  } catch (RuntimeFailure& failure) {
    failure.setPath(path);
    throw;
  }
}

// The reader names its file by its full path; this opens that same file
// through the handle of its folder instead, so that no link along the path
// can lead the read elsewhere, and keeps which entry was read, for the move.
class EntryOpener : public FileOpener {
 public:
  EntryOpener(Folder& folder, const std::string& name, Links links)
      : folder_(folder), name_(name), links_(links) {}

  std::unique_ptr<RandomAccessFile> openForReading([[maybe_unused]] const std::string& path) override {
    assert(path.ends_with("/" + name_) && "the reader opens the file being sorted");
    std::unique_ptr<RandomAccessFile> file = folder_.openEntry(name_, links_);
    entry_ = file->entry();
    return file;
  }

  const EntryIdentity& entry() const { return entry_; }

 private:
  Folder& folder_;
  const std::string& name_;
  Links links_;
  EntryIdentity entry_;
};

// Thrown between two files when the observer asks to stop.
struct StopRequested {};

// Numbered names tried for one file before its taken name stops the run.
constexpr int kMaxCopies = 10000;

// "a.jpg" as its copy number n: "a (n).jpg"; a name without an extension
// gets the number at its end.
std::string numberedName(const std::string& name, int n) {
  const auto dot = name.rfind('.');
  const std::string number = " (" + std::to_string(n) + ")";
  if (dot == std::string::npos || dot == 0) return name + number;
  return name.substr(0, dot) + number + name.substr(dot);
}

// The name a member of a photo's group takes under copy number n (1: its
// own). The whole group shares the number, and a sidecar named after the
// photo's full name ("IMG_5.JPG.xmp") follows the photo's new name.
std::string groupName(const std::string& member, const std::string& photo, int n) {
  if (n == 1) return member;
  if (member.starts_with(photo)) return numberedName(photo, n) + member.substr(photo.size());
  return numberedName(member, n);
}

std::vector<std::string> groupNames(const std::vector<std::string>& members, int n) {
  std::vector<std::string> names;
  for (const std::string& member : members) names.push_back(groupName(member, members.front(), n));
  return names;
}

}  // namespace

SortRun::SortRun(FileSystem& oFileSystem, MessageBoxes& boxes, Log& log, bool& bProcessing,
                 RunOptions options)
    : oFileSystem_(oFileSystem), boxes_(boxes), log_(log), bProcessing_(bProcessing), options_(options) {}

bool SortRun::ProcessPaths(std::string& sPaths) {
  bProcessing_ = true;
  do {
    handleItem(takeNextItem(sPaths));
  } while (!sPaths.empty());
  bProcessing_ = false;
  return true;
}

bool SortRun::processWholePaths(std::deque<std::string>& paths) {
  bProcessing_ = true;
  try {
    while (!paths.empty()) {
      const std::string item = std::move(paths.front());
      paths.pop_front();
      handleItem(item);
    }
  } catch (const StopRequested&) {
    bProcessing_ = false;
    return false;
  }
  bProcessing_ = false;
  return true;
}

// An item that names neither a folder nor a file is passed over silently;
// one that may name something out of reach stops the run and says why.
void SortRun::handleItem(const std::string& item) {
  if (oFileSystem_.FolderExists(item)) {
    handleFolder(item);
  } else if (oFileSystem_.FileExists(item)) {
    handleFileItem(item);
  } else {
    atPath(item, [&] { oFileSystem_.checkNamesNothing(item); });
  }
}

void SortRun::handleFolder(const std::string& folder) {
  prt(log_lines::inputDirectory(folder));
  std::unique_ptr<Folder> handle;
  atPath(folder, [&] { handle = oFileSystem_.openFolder(folder); });
  holdingFolder(*handle, folder);
  NameList names;
  atPath(folder, [&] { names = handle->listPlainFiles(); });
  if (options_.observer != nullptr) options_.observer->folderStarted(folder, names.size());
  const CompanionPlan plan = options_.allMedia ? planCompanions(names) : CompanionPlan{};
  // The listing holds no "." or "..": it delivers no hidden names at all.
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string name(names[i]);
    if (plan.isCompanion(name)) continue;  // handled with its photo
    handle->readingNext(names, i);
    const std::vector<std::string>& companions = plan.companionsOfPhoto(name);
    if (handleFile(*handle, folder, name, Links::Refuse, i, companions) == Dated::Yes) continue;
    for (const std::string& companion : companions)
      handleFile(*handle, folder, companion, Links::Refuse, names.find(companion));
  }
}

// A file named on its own is sorted inside its own folder; a bare name is a
// file of the working folder. A named link is read through for the date, and
// the link itself is filed: nothing outside the named item's folder changes.
// With all media, a named photo takes the companions along that naming its
// folder would; a companion named on its own stays with its photo, so that
// the two are never parted.
void SortRun::handleFileItem(const std::string& item) {
  const auto slash = item.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : item.substr(0, slash);
  const std::string name = item.substr(slash + 1);
  const std::string folderToOpen = folder.empty() ? "/" : folder;
  std::unique_ptr<Folder> handle;
  atPath(folderToOpen, [&] { handle = oFileSystem_.openFolder(folderToOpen); });
  holdingFolder(*handle, folder);
  CompanionPlan plan;
  if (options_.allMedia) atPath(folderToOpen, [&] { plan = planCompanions(handle->listPlainFiles()); });
  if (const auto photo = plan.photoOf.find(name); photo != plan.photoOf.end()) {
    prt(log_lines::staysWithPhoto(name, photo->second));
    return;
  }
  const std::vector<std::string>& companions = plan.companionsOfPhoto(name);
  if (handleFile(*handle, folder, name, Links::Follow, 0, companions) == Dated::Yes) return;
  for (const std::string& companion : companions) handleFile(*handle, folder, companion, Links::Refuse, 0);
}

SortRun::Dated SortRun::handleFile(Folder& folder, const std::string& folderPath, const std::string& name,
                                   Links links, std::size_t index,
                                   const std::vector<std::string>& companions) {
  if (RunObserver* observer = options_.observer) {
    if (observer->stopRequested()) {
      prt(log_lines::stoppedByUser(name));
      throw StopRequested{};
    }
    observer->fileStarted(name, index);
  }
  const std::string fullPath = join(folderPath, name);
  EntryOpener opener(folder, name, links);
  const std::optional<media::MediaDate> date = readDate(opener, fullPath);
  if (!date) {
    prt(log_lines::invalidFile(name));
    return Dated::No;
  }
  if (date->cutShort) prt(log_lines::readInPart(name));
  const std::string dateFolder = dateFolderName(date->value);
  if (dateFolder.empty()) {
    prt(log_lines::noDateFound(name));
    return Dated::No;
  }
  const std::string datePath = join(folderPath, dateFolder);
  if (!folder.hasFolder(dateFolder)) {
    prt(log_lines::creatingDirectory(dateFolder));
    if (options_.journal != nullptr) options_.journal->creatingFolder(folderPath, dateFolder);
    EntryIdentity made;
    atPath(datePath, [&] { made = folder.createFolder(dateFolder); });
    if (options_.journal != nullptr) options_.journal->createdFolder(folderPath, dateFolder, made);
  }
  Group group{folder, folderPath, dateFolder, {name}, opener.entry()};
  group.members.insert(group.members.end(), companions.begin(), companions.end());
  moveGroup(group);
  return Dated::Yes;
}

// A fresh reader for every file: clsExifReader, exactly as without all
// media; with all media, a file it refuses goes to the reader of the other
// formats (which takes no JPEG), so that a JPEG is opened once. Nothing when
// both refuse the file.
std::optional<media::MediaDate> SortRun::readDate(FileOpener& opener, const std::string& fullPath) {
  {
    clsExifReader reader(opener, boxes_);
    if (reader.Load(fullPath)) {
      const bool cutShort = reader.walkCutShort();
      return media::MediaDate{reader.Tag(kDateTimeOriginal), cutShort};
    }
  }
  if (!options_.allMedia) return std::nullopt;
  return media::MediaReader(opener, boxes_, options_.videoUtc).captureDate(fullPath);
}

// The group's names are looked at before any member moves: a taken one
// stops the run there (stop), leaves the whole group (skip), or gives every
// member the next number (rename); where the photo's own name holds a file
// of its bytes, the photo is a duplicate and the group stays. A photo alone
// that stops the run meets its taken name at the move, as ever. The
// no-replace moves decide in the end: a name taken meanwhile is looked at
// again.
void SortRun::moveGroup(const Group& group) {
  const bool stop = options_.onCollision == OnCollision::Stop;
  const bool lookFirst = !stop || group.members.size() > 1;
  int number = 1;
  for (int round = 1;; ++round) {
    const std::vector<std::string> targets = groupNames(group.members, number);
    if (lookFirst && round <= kMaxCopies) {
      if (const std::optional<std::size_t> taken = firstTaken(group, targets)) {
        const std::string& target = targets[*taken];
        if (stop) atPath(group.pathInDateFolder(target), [] { failure::fileAlreadyExists(); });
        const std::string& photo = group.members.front();
        bool same = false;
        if (*taken == 0) {
          atPath(group.pathInDateFolder(target),
                 [&] { same = group.folder.sameBytes(photo, group.dateFolder, target); });
        }
        if (same) {
          prt(log_lines::duplicate(photo, group.dateFolder, target));
          return;
        }
        if (options_.onCollision == OnCollision::Skip) {
          prt(log_lines::nameTaken(group.members[*taken], group.dateFolder));
          return;
        }
        ++number;
        continue;
      }
    }
    if (moveAll(group, targets, !stop && round < kMaxCopies)) return;
  }
}

// The first member, in order, whose name under these targets is taken.
std::optional<std::size_t> SortRun::firstTaken(const Group& group, const std::vector<std::string>& targets) {
  for (std::size_t k = 0; k < targets.size(); ++k) {
    bool taken = false;
    atPath(group.pathInDateFolder(targets[k]),
           [&] { taken = group.folder.hasEntryIn(group.dateFolder, targets[k]); });
    if (taken) return k;
  }
  return std::nullopt;
}

// Moves the members one after the other. When one cannot move, those moved
// already go back first, so that the group is never parted; then a taken
// name is looked at again when `lookAgain` (false returned), and anything
// else stops the run. A taken name is reported where it is taken, any other
// failure at the file being moved; a journal that cannot be written names
// itself.
bool SortRun::moveAll(const Group& group, const std::vector<std::string>& targets, bool lookAgain) {
  std::vector<MoveStep> moved;
  for (std::size_t k = 0; k < group.members.size(); ++k) {
    try {
      moved.push_back(moveMember(group, k, targets[k]));
    } catch (RuntimeFailure& failure) {
      takeBack(group, targets, moved);
      const bool taken = failure.number() == failure::kFileAlreadyExists;
      if (taken && lookAgain) return false;
      if (failure.path().empty()) {
        failure.setPath(taken ? group.pathInDateFolder(targets[k])
                              : join(group.folderPath, group.members[k]));
      }
      throw;
    }
  }
  return true;
}

// One member's move, announced first; a raw partner whose own date names
// another day stays with its photo, and the log says so. The stamp the
// move's own check took.
MoveStep SortRun::moveMember(const Group& group, std::size_t member, const std::string& target) {
  const std::string& name = group.members[member];
  const std::string& photo = group.members.front();
  EntryIdentity entry = group.photoEntry;
  if (member > 0) {
    if (isRawName(name)) {
      EntryOpener opener(group.folder, name, Links::Refuse);
      const std::optional<media::MediaDate> date = readDate(opener, join(group.folderPath, name));
      const std::string own = date ? dateFolderName(date->value) : std::string();
      if (!own.empty() && own != group.dateFolder)
        prt(log_lines::keptWith(name, photo, group.dateFolder, own));
    }
    atPath(join(group.folderPath, name), [&] { entry = group.folder.stampOf(name).entry; });
  }
  prt(member == 0 ? log_lines::moving(name, group.dateFolder, target)
                  : log_lines::movingWith(name, group.dateFolder, target, photo));
  MoveStep checked;
  group.folder.moveInto(name, entry, group.dateFolder, target,
                        beforeMove(group.folderPath, name, group.dateFolder, target, checked));
  return checked;
}

// The members moved already go back under their own names, newest first,
// each announced as an undo announces it; one that cannot stops the run,
// named where it lies.
void SortRun::takeBack(const Group& group, const std::vector<std::string>& targets,
                       const std::vector<MoveStep>& moved) {
  for (std::size_t k = moved.size(); k-- > 0;) {
    prt(log_lines::movingBack(group.dateFolder, targets[k], group.members[k]));
    atPath(group.pathInDateFolder(targets[k]),
           [&] { group.folder.moveBack(group.dateFolder, targets[k], moved[k], group.members[k]); });
  }
}

// Keeps the stamp the move's own check of the entry took, and records the
// move with it (the record is made during the move, while the names it
// refers to live). A move whose name turns out to be taken is not made: the
// file is still in its place when the run is taken back, which then leaves
// it there.
BeforeMove SortRun::beforeMove(const std::string& folderPath, const std::string& name,
                               const std::string& dateFolder, const std::string& target,
                               MoveStep& checked) const {
  return [&, journal = options_.journal](const MoveStep& step) {
    checked = step;
    if (journal != nullptr) journal->moving(folderPath, name, step, dateFolder, target);
  };
}

// The journal knows the folder by what is held open, whatever its path
// leads to later.
void SortRun::holdingFolder(Folder& folder, const std::string& folderPath) {
  if (options_.journal != nullptr)
    atPath(folderPath, [&] { options_.journal->sortingFolder(folderPath, folder.identity()); });
}

void SortRun::prt(const std::string& sString) { log_.append(sString); }

}  // namespace kelvane
