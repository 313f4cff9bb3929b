#include "sort/sort_run.h"

#include "exif/exif_reader.h"
#include "sort/date_folder.h"
#include "sort/log_lines.h"
#include "sort/path_list.h"

namespace kelvane {
namespace {

constexpr Long kDateTimeOriginal = 36867;

std::string join(const std::string& folder, const std::string& name) { return folder + "/" + name; }

}  // namespace

SortRun::SortRun(FileSystem& oFileSystem, MessageBoxes& boxes, Log& log, bool& bProcessing)
    : oFileSystem_(oFileSystem), boxes_(boxes), log_(log), bProcessing_(bProcessing) {}

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
  while (!paths.empty()) {
    const std::string item = std::move(paths.front());
    paths.pop_front();
    handleItem(item);
  }
  bProcessing_ = false;
  return true;
}

// An item that names neither a folder nor a file is passed over silently.
void SortRun::handleItem(const std::string& item) {
  if (oFileSystem_.FolderExists(item)) {
    handleFolder(item);
  } else if (oFileSystem_.FileExists(item)) {
    // A named link stands for the photo it leads to, which is sorted beside
    // itself; moving the link would break it and leave the photo behind.
    const std::string file = oFileSystem_.followLinks(item);
    // A bare name is a file of the working folder.
    const auto slash = file.rfind('/');
    if (slash == std::string::npos) {
      handleFile(".", file);
    } else {
      handleFile(file.substr(0, slash), file.substr(slash + 1));
    }
  }
}

void SortRun::handleFolder(const std::string& folder) {
  prt(log_lines::inputDirectory(folder));
  // The listing holds no "." or "..": it delivers no hidden names at all.
  for (const std::string& name : oFileSystem_.listPlainFiles(folder)) handleFile(folder, name);
}

void SortRun::handleFile(const std::string& folder, const std::string& name) {
  const std::string fullPath = join(folder, name);
  std::string dateFolder;
  {
    clsExifReader reader(oFileSystem_, boxes_);  // a fresh reader for every file
    if (!reader.Load(fullPath)) {
      prt(log_lines::invalidFile(name));
      return;
    }
    dateFolder = dateFolderName(reader.Tag(kDateTimeOriginal));
  }
  if (dateFolder.empty()) {
    prt(log_lines::noDateFound(name));
    return;
  }
  const std::string datePath = join(folder, dateFolder);
  if (!oFileSystem_.FolderExists(datePath)) {
    prt(log_lines::creatingDirectory(dateFolder));
    oFileSystem_.createFolder(datePath);
  }
  prt(log_lines::moving(name, dateFolder));
  oFileSystem_.moveFile(fullPath, join(datePath, name));
}

void SortRun::prt(const std::string& sString) { log_.append(sString); }

}  // namespace kelvane
