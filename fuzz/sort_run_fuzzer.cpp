// Sorts one in-memory folder made of the input and aborts when the run breaks
// a promise it makes whatever the files hold: no file is lost or duplicated,
// a file moves only into the folder its own date names, under its own name
// unless the run renames it, after a "Moving" line that names it; a run stops
// only on a name taken before it began, and one that went through leaves a
// dated file at the top only as its policy for taken names says.
//
// In the all-media mode (a first line "#all"), a file may also move into the
// folder of the photo whose companion it is, after a line that names both; a
// photo and its companions are renamed only when one of their names is
// taken, and stay together.
//
// The input is split at "\n--file--\n" into at most eight files of /in. A
// first line "#all" sorts every media format; a first line (after it)
// "#skip" or "#rename" picks what a taken name does (else the run stops). A piece's first line, when it is at
// most 64 bytes long, is the file's name ("2021-03-04/a.jpg" puts it in a date folder that is there already);
// the rest is its content.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "exif/exif_reader.h"
#include "media/media_reader.h"
#include "memory_file_system.h"
#include "platform/log.h"
#include "platform/runtime_failure.h"
#include "quiet_message_boxes.h"
#include "sort/companions.h"
#include "sort/date_folder.h"
#include "sort/log_lines.h"
#include "sort/sort_run.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Tree = std::map<std::string, Bytes>;  // file path -> contents

constexpr std::string_view kSeparator = "\n--file--\n";
constexpr std::size_t kMaxFiles = 8;
constexpr std::size_t kMaxName = 64;
const std::string kFolder = "/in";

void require(bool holds, const char* what, const std::string& path = {}) {
  if (holds) return;
  std::fprintf(stderr, "sort run: %s %s\n", what, path.c_str());
  std::abort();
}

// Keeps the "Moving" lines, each with the files there were when it came.
class MovingLines : public kelvane::Log {
 public:
  explicit MovingLines(const kelvane::testing::MemoryFileSystem& files) : files_(files) {}
  void append(std::string_view text) override {
    if (text.starts_with("Moving ")) lines.push_back({std::string(text), files_.filePaths()});
  }
  struct Line {
    std::string text;
    std::vector<std::string> files;
  };
  std::vector<Line> lines;

 private:
  const kelvane::testing::MemoryFileSystem& files_;
};

bool isHidden(const std::string& name) { return name.starts_with('.'); }

// A name of the folder, or a sub-folder and a name in it; never a deeper path.
std::string usableName(std::string name, std::size_t index) {
  const auto slash = name.find('/');
  if (slash != std::string::npos) {
    std::string inner = name.substr(slash + 1);
    std::replace(inner.begin(), inner.end(), '/', '_');
    name =
        slash == 0 || inner.empty() ? name.substr(0, slash) + "_" + inner : name.substr(0, slash + 1) + inner;
  }
  return name.empty() ? "f" + std::to_string(index) : name;
}

// The pieces of the input as files of /in, and the mode and policy its first
// lines name. A path already in use, as a file or as a folder, is given a
// fresh top-level name instead.
Tree filesOf(const std::uint8_t* data, std::size_t size, bool& allMedia, kelvane::OnCollision& onCollision) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  allMedia = input.starts_with("#all\n");
  if (allMedia) input.remove_prefix(5);
  onCollision = kelvane::OnCollision::Stop;
  for (const auto& [line, policy] :
       {std::pair{std::string_view("#skip\n"), kelvane::OnCollision::Skip},
        std::pair{std::string_view("#rename\n"), kelvane::OnCollision::Rename}}) {
    if (input.starts_with(line)) {
      onCollision = policy;
      input.remove_prefix(line.size());
    }
  }
  Tree tree;
  std::set<std::string> folders{kFolder};
  std::size_t start = 0;
  for (std::size_t index = 0; index < kMaxFiles && start <= input.size(); ++index) {
    std::size_t end = input.find(kSeparator, start);
    if (end == std::string_view::npos || index + 1 == kMaxFiles) end = input.size();
    std::string_view piece = input.substr(start, end - start);
    start = end + kSeparator.size();

    std::string name;
    const auto lineEnd = piece.find('\n');
    if (lineEnd != std::string_view::npos && lineEnd <= kMaxName) {
      name = std::string(piece.substr(0, lineEnd));
      piece.remove_prefix(lineEnd + 1);
    }
    std::string path = kFolder + "/" + usableName(name, index);
    const auto taken = [&](const std::string& candidate) {
      const std::string parent = candidate.substr(0, candidate.rfind('/'));
      return tree.contains(candidate) || folders.contains(candidate) || tree.contains(parent);
    };
    if (taken(path)) {
      path = kFolder + "/f" + std::to_string(index);
      while (taken(path)) path += "~";
    }
    folders.insert(path.substr(0, path.rfind('/')));
    tree[path] = Bytes(piece.begin(), piece.end());
  }
  return tree;
}

Tree contentsOf(kelvane::testing::MemoryFileSystem& files) {
  Tree tree;
  for (const std::string& path : files.filePaths()) {
    auto file = files.openForReading(path);
    Bytes bytes(static_cast<std::size_t>(file->size()));
    require(file->readAt(0, bytes) == bytes.size(), "a file cannot be read whole:", path);
    tree[path] = std::move(bytes);
  }
  return tree;
}

// The folder a photo with these contents belongs in, read as the run reads it;
// empty for a file that is no photo or has no usable date.
std::string dateFolderOf(const Bytes& contents, bool allMedia) {
  kelvane::testing::MemoryFileSystem files;
  const std::string path = "/date/photo";
  files.add(path, contents);
  kelvane::fuzzing::QuietMessageBoxes boxes;
  kelvane::clsExifReader reader(files, boxes);
  if (reader.Load(path)) return kelvane::dateFolderName(reader.Tag(36867));
  if (!allMedia) return {};
  const auto date = kelvane::media::MediaReader(files, boxes, false).captureDate(path);
  return date ? kelvane::dateFolderName(date->value) : std::string();
}

// The photo a "Moving" line says the file goes with: empty for a file moving
// on its own, nothing for a line about another move.
std::optional<std::string> photoOfLine(const std::string& line, const std::string& name,
                                       const std::string& folder, const std::string& target) {
  namespace lines = kelvane::log_lines;
  if (line == lines::moving(name, folder, target)) return std::string();
  const std::string with = lines::movingText(name, folder, target) + " with \"";
  const std::string end = "\"" + std::string(kelvane::kLineBreak);
  if (!line.starts_with(with) || !line.ends_with(end) || line.size() < with.size() + end.size()) {
    return std::nullopt;
  }
  return line.substr(with.size(), line.size() - with.size() - end.size());
}

std::vector<Bytes> sortedContents(const Tree& tree) {
  std::vector<Bytes> all;
  for (const auto& [path, bytes] : tree) all.push_back(bytes);
  std::sort(all.begin(), all.end());
  return all;
}

bool isTopLevel(const std::string& path) { return path.rfind('/') == kFolder.size(); }

std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The companions the run is to keep with their photos: of the names it lists.
kelvane::CompanionPlan companionPlanOf(const Tree& tree, bool allMedia) {
  if (!allMedia) return {};
  kelvane::NameList names;  // the tree's order: sorted by bytes, as a listing is
  for (const auto& [path, bytes] : tree) {
    if (isTopLevel(path) && !isHidden(nameOf(path))) names.add(nameOf(path));
  }
  return kelvane::planCompanions(names);
}

// The names of a photo's group: the photo, then its companions.
std::vector<std::string> groupOf(const kelvane::CompanionPlan& plan, const std::string& photo) {
  std::vector<std::string> group{photo};
  const std::vector<std::string>& companions = plan.companionsOfPhoto(photo);
  group.insert(group.end(), companions.begin(), companions.end());
  return group;
}

// Whether any name of the group is taken in the folder.
bool anyTaken(const std::vector<std::string>& group, const std::string& inFolder, const Tree& after) {
  return std::any_of(group.begin(), group.end(),
                     [&](const std::string& name) { return after.contains(inFolder + name); });
}

// The photo a companion goes with, where that photo left the top.
std::optional<std::string> movedPhotoOf(const kelvane::CompanionPlan& plan, const std::string& name,
                                        const Tree& after) {
  for (const auto& [photo, companions] : plan.companionsOf) {
    const bool listed = std::find(companions.begin(), companions.end(), name) != companions.end();
    if (listed && !after.contains(kFolder + "/" + photo)) return photo;
  }
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kelvane::OnCollision;
  OnCollision onCollision = OnCollision::Stop;
  bool allMedia = false;
  const Tree before = filesOf(data, size, allMedia, onCollision);
  const kelvane::CompanionPlan plan = companionPlanOf(before, allMedia);
  kelvane::testing::MemoryFileSystem files;
  for (const auto& [path, bytes] : before) files.add(path, bytes);

  kelvane::fuzzing::QuietMessageBoxes boxes;
  MovingLines log(files);
  bool bProcessing = false;
  kelvane::SortRun run(files, boxes, log, bProcessing, {.onCollision = onCollision, .allMedia = allMedia});
  std::deque<std::string> items{kFolder};
  std::optional<kelvane::RuntimeFailure> failure;
  try {
    run.processWholePaths(items);
  } catch (const kelvane::RuntimeFailure& stopped) {
    failure = stopped;
  }
  require(files.openFiles() == 0, "a file was left open");
  require(bProcessing == failure.has_value(), "the processing flag does not tell whether the run stopped");

  const Tree after = contentsOf(files);
  require(sortedContents(after) == sortedContents(before), "a file was lost or duplicated");
  std::set<std::string> gone;
  for (const auto& [path, bytes] : before) {
    if (!after.contains(path)) gone.insert(path);
    if (after.contains(path)) require(after.at(path) == bytes, "a file that stayed has changed:", path);
  }

  // Every file somewhere new came from the top of the folder, into the
  // folder its own date names (or its photo's), after the line that says so,
  // written while the file was still in its place.
  const auto dateFolderOfPhoto = [&](const std::string& photo) {
    return dateFolderOf(before.at(kFolder + "/" + photo), allMedia);
  };
  std::size_t moved = 0;
  for (const auto& [path, bytes] : after) {
    if (before.contains(path)) continue;
    const auto slash = path.rfind('/');
    require(!isTopLevel(path), "a file came to the top:", path);
    const std::string folder = path.substr(kFolder.size() + 1, slash - kFolder.size() - 1);
    const std::string target = path.substr(slash + 1);
    bool announced = false;
    std::string groupPhoto;  // the photo whose group the file moved in
    for (const std::string& source : gone) {
      const std::string name = nameOf(source);
      if (!isTopLevel(source) || before.at(source) != bytes) continue;
      for (const MovingLines::Line& line : log.lines) {
        const std::optional<std::string> photo = photoOfLine(line.text, name, folder, target);
        if (!photo) continue;
        const auto present = [&](const std::string& p) {
          return std::find(line.files.begin(), line.files.end(), p) != line.files.end();
        };
        if (!present(source) || present(path)) continue;
        if (photo->empty()) {
          require(dateFolderOf(bytes, allMedia) == folder, "a file outside the folder its date names:", path);
          groupPhoto = name;
        } else {
          require(movedPhotoOf(plan, name, after) == *photo, "a file moved with a photo not its own:", path);
          require(dateFolderOfPhoto(*photo) == folder, "a companion outside its photo's folder:", path);
          groupPhoto = *photo;
        }
        announced = true;
      }
      if (!announced) continue;
      require(!isHidden(name), "a hidden file was moved:", path);
      require(target == name || onCollision == OnCollision::Rename, "a moved file lost its name:", path);
      require(target == name || anyTaken(groupOf(plan, groupPhoto), kFolder + "/" + folder + "/", after),
              "a file was renamed although its group's names were free:", path);
      gone.erase(source);
      break;
    }
    require(announced, "a move without its Moving line before it:", path);
    ++moved;
  }
  require(gone.empty(), "a file left without arriving anywhere:", gone.empty() ? "" : *gone.begin());

  if (failure) {
    // Only a name that was taken before the run, and still is, stops it: a
    // file in the date folder (when taken names stop the run), or a file at
    // the top that holds the date folder's name of a photo still there.
    require(failure->number() == kelvane::failure::kFileAlreadyExists,
            "stopped by another failure:", failure->report());
    const std::string& taken = failure->path();
    require(before.contains(taken) && after.contains(taken),
            "stopped at a name that was not taken:", failure->report());
    if (isTopLevel(taken)) {
      bool blocks = false;
      for (const auto& [path, bytes] : after) {
        blocks = blocks || (isTopLevel(path) && kFolder + "/" + dateFolderOf(bytes, allMedia) == taken);
      }
      require(blocks, "stopped at a file that is no date folder's name:", failure->report());
    } else {
      require(onCollision == OnCollision::Stop,
              "stopped at a taken name it should have passed:", failure->report());
    }
    require(log.lines.size() == moved || log.lines.size() == moved + 1, "moves and Moving lines differ");
    return 0;
  }
  require(log.lines.size() == moved, "moves and Moving lines differ");
  // A dated file, or a companion of a photo that moved, stays at the top of
  // a run that went through only where a name is taken in the folder it
  // belongs in: with skip, any name of its group, by any file; with rename,
  // its own, by a file of the same bytes. A companion of a dated photo that
  // stayed stays with it.
  for (const auto& [path, bytes] : after) {
    if (!isTopLevel(path) || isHidden(nameOf(path))) continue;
    const auto photoOfName = plan.photoOf.find(nameOf(path));
    if (photoOfName != plan.photoOf.end() && after.contains(kFolder + "/" + photoOfName->second) &&
        !dateFolderOfPhoto(photoOfName->second).empty()) {
      continue;
    }
    const std::optional<std::string> photo = movedPhotoOf(plan, nameOf(path), after);
    const std::string folder = photo ? dateFolderOfPhoto(*photo) : dateFolderOf(bytes, allMedia);
    if (folder.empty()) continue;
    const std::string inFolder = kFolder + "/" + folder + "/";
    bool kept = false;
    for (const auto& [other, otherBytes] : after) {
      if (!other.starts_with(inFolder)) continue;
      kept = kept || (onCollision != OnCollision::Stop && otherBytes == bytes);
    }
    kept =
        kept || (onCollision == OnCollision::Skip && anyTaken(groupOf(plan, nameOf(path)), inFolder, after));
    require(kept, "a dated file was left behind:", path);
  }
  return 0;
}
