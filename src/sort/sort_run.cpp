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
    const std::string dateFolder = handleFile(*handle, folder, name, Links::Refuse, i);
    const auto companions = plan.companionsOf.find(name);
    if (companions != plan.companionsOf.end()) {
      handleCompanions(*handle, folder, names, name, companions->second, dateFolder);
    }
  }
}

// Companions go into their photo's date folder in the same step; where the
// photo did not move, each is a file of its own.
void SortRun::handleCompanions(Folder& folder, const std::string& folderPath, const NameList& names,
                               const std::string& photo, const std::vector<std::string>& companions,
                               const std::string& dateFolder) {
  for (const std::string& companion : companions) {
    if (dateFolder.empty()) {
      handleFile(folder, folderPath, companion, Links::Refuse, names.find(companion));
      continue;
    }
    if (isRawName(companion)) {
      // A raw partner whose own date names another day stays with its photo.
      EntryOpener opener(folder, companion, Links::Refuse);
      const std::optional<media::MediaDate> date = readDate(opener, join(folderPath, companion));
      const std::string own = date ? dateFolderName(date->value) : std::string();
      if (!own.empty() && own != dateFolder) prt(log_lines::keptWith(companion, photo, dateFolder, own));
    }
    EntryIdentity entry;
    atPath(join(folderPath, companion), [&] { entry = folder.stampOf(companion).entry; });
    moveIntoDateFolder(folder, folderPath, companion, entry, dateFolder, photo);
  }
}

// A file named on its own is sorted inside its own folder; a bare name is a
// file of the working folder. A named link is read through for the date, and
// the link itself is filed: nothing outside the named item's folder changes.
void SortRun::handleFileItem(const std::string& item) {
  const auto slash = item.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : item.substr(0, slash);
  const std::string name = item.substr(slash + 1);
  const std::string folderToOpen = folder.empty() ? "/" : folder;
  std::unique_ptr<Folder> handle;
  atPath(folderToOpen, [&] { handle = oFileSystem_.openFolder(folderToOpen); });
  holdingFolder(*handle, folder);
  handleFile(*handle, folder, name, Links::Follow, 0);
}

std::string SortRun::handleFile(Folder& folder, const std::string& folderPath, const std::string& name,
                                Links links, std::size_t index) {
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
    return {};
  }
  if (date->cutShort) prt(log_lines::readInPart(name));
  const std::string dateFolder = dateFolderName(date->value);
  if (dateFolder.empty()) {
    prt(log_lines::noDateFound(name));
    return {};
  }
  const std::string datePath = join(folderPath, dateFolder);
  if (!folder.hasFolder(dateFolder)) {
    prt(log_lines::creatingDirectory(dateFolder));
    if (options_.journal != nullptr) options_.journal->creatingFolder(folderPath, dateFolder);
    EntryIdentity made;
    atPath(datePath, [&] { made = folder.createFolder(dateFolder); });
    if (options_.journal != nullptr) options_.journal->createdFolder(folderPath, dateFolder, made);
  }
  return moveIntoDateFolder(folder, folderPath, name, opener.entry(), dateFolder) ? dateFolder
                                                                                  : std::string();
}

// A fresh reader for every file: the first release's reader, as without the
// mode; with all media, a file it refuses goes to the reader of the other
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

// With a policy other than stop, a taken name is looked at before the move:
// a file of the same bytes there is a duplicate and stays; otherwise the
// file stays (skip) or takes the first free numbered name (rename). The
// no-replace move itself decides in the end: a name taken meanwhile is
// looked at again.
bool SortRun::moveIntoDateFolder(Folder& folder, const std::string& folderPath, const std::string& name,
                                 const EntryIdentity& entry, const std::string& dateFolder,
                                 const std::string& photo) {
  std::string target = name;
  for (int copy = 2;; ++copy) {
    bool taken = false;
    bool same = false;
    if (options_.onCollision != OnCollision::Stop && copy <= kMaxCopies) {
      atPath(join(join(folderPath, dateFolder), target), [&] {
        taken = folder.hasEntryIn(dateFolder, target);
        same = taken && folder.sameBytes(name, dateFolder, target);
      });
    }
    if (taken) {
      if (same) {
        prt(log_lines::duplicate(name, dateFolder, target));
        return false;
      }
      if (options_.onCollision == OnCollision::Skip) {
        prt(log_lines::nameTaken(name, dateFolder));
        return false;
      }
      target = numberedName(name, copy);
      continue;
    }
    prt(photo.empty() ? log_lines::moving(name, dateFolder, target)
                      : log_lines::movingWith(name, dateFolder, target, photo));
    try {
      folder.moveInto(name, entry, dateFolder, target, journalRecord(folderPath, name, dateFolder, target));
      return true;
    } catch (RuntimeFailure& failure) {
      const bool takenMeanwhile = failure.number() == failure::kFileAlreadyExists;
      if (takenMeanwhile && options_.onCollision != OnCollision::Stop && copy < kMaxCopies) continue;
      // A taken name is reported where it is taken; a journal that cannot
      // be written names itself.
      if (failure.path().empty()) {
        failure.setPath(takenMeanwhile ? join(join(folderPath, dateFolder), target) : join(folderPath, name));
      }
      throw;
    }
  }
}

// The move is recorded with the stamp its own check of the entry took (the
// record is made during the move, while the names it refers to live). A move
// whose name turns out to be taken is not made: the file is still in its
// place when the run is taken back, which then leaves it there.
BeforeMove SortRun::journalRecord(const std::string& folderPath, const std::string& name,
                                  const std::string& dateFolder, const std::string& target) const {
  if (options_.journal == nullptr) return {};
  return [&, journal = options_.journal](const MoveStep& step) {
    journal->moving(folderPath, name, step, dateFolder, target);
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
