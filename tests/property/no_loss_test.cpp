// Whatever a folder holds and whatever names are already taken, a run of
// kelvane --no-window loses no file, moves only dated files and only into the
// folder their own date names, and reports every file it leaves behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::uint64_t fnv1a(const Bytes& bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const std::uint8_t byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
  return hash;
}

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// What the run should make of a file: the date folder it belongs in, or why
// it stays ("" for no date, "!" for not loadable).
using Verdicts = std::map<std::uint64_t, std::string>;
const std::string kInvalid = "!";

// Every path below the top folder: "/" for a folder, else the file's hash.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const fs::path& top) {
  Snapshot all;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(top)) {
    const std::string name = entry.path().lexically_relative(top).string();
    all[name] = entry.is_directory() ? "/" : std::to_string(fnv1a(readFile(entry.path())));
  }
  return all;
}

std::multiset<std::string> contentsOf(const Snapshot& snapshot) {
  std::multiset<std::string> hashes;
  for (const auto& [name, what] : snapshot) {
    if (what != "/") hashes.insert(what);
  }
  return hashes;
}

struct CorpusPhoto {
  const char* file;
  const char* dateFolder;
};
constexpr CorpusPhoto kCorpus[] = {{"ianare-canon-40d.jpg", "2008-05-30"},
                                   {"ianare-fujifilm-finepix-e500.jpg", "2006-08-17"},
                                   {"mei-issue-508.jpg", "2020-09-02"},
                                   {"mei-issue-609.jpg", "0000-00-00"}};

// Fills `top` with a random folder and records what each content should become.
class FolderMaker {
 public:
  FolderMaker(std::mt19937& random, const fs::path& top) : random_(random), top_(top) {}

  Verdicts make() {
    std::vector<std::string> days;
    for (int i = pick(1, 4); i > 0; --i) {
      days.push_back(std::to_string(pick(1990, 2030)) + ":" + digits(pick(1, 12)) + ":" +
                     digits(pick(1, 28)));
    }
    std::vector<std::pair<std::string, std::string>> dated;  // name, date folder
    for (int i = pick(4, 24); i > 0; --i) {
      const std::string name = freshName();
      const int kind = pick(0, 99);
      if (kind < 50) {
        const std::string day = days[static_cast<std::size_t>(pick(0, static_cast<int>(days.size()) - 1))];
        dated.emplace_back(name, folderOf(day));
        place(name, datedPhoto(day), folderOf(day));
      } else if (kind < 58) {
        place(name,
              withTrailer(
                  JpegBuilder().soi().app0().padding(static_cast<std::size_t>(pick(0, 40))).eoi().bytes()),
              kInvalid);
      } else if (kind < 66) {
        TiffBuilder tiff(pick(0, 1) ? ByteOrder::Intel : ByteOrder::Motorola);
        tiff.directory({{271, kAscii, 4, TiffBuilder::raw('A', 'c', 'm', 0)}});
        place(name, withTrailer(JpegBuilder().soi().app0().exif(tiff).padding(16).eoi().bytes()), "");
      } else if (kind < 74) {
        place(name, withTrailer({'X'}), kInvalid);  // not a JPEG: the first byte is no FF
      } else if (kind < 80) {
        place(name, {}, kInvalid);
      } else if (kind < 88) {
        place("." + name, datedPhoto(days.front()), "hidden");
      } else {
        const CorpusPhoto& photo = kCorpus[pick(0, std::size(kCorpus) - 1)];
        place(name, readFile(fs::path(KELVANE_SHARED_DIR) / "corpus" / photo.file), photo.dateFolder);
      }
    }
    // Names already taken: a date folder holding a file of the same name,
    // and a plain file bearing a date folder's name.
    if (!dated.empty() && pick(0, 9) < 3) {
      const auto& [name, folder] =
          dated[static_cast<std::size_t>(pick(0, static_cast<int>(dated.size()) - 1))];
      fs::create_directories(top_ / folder);
      writeFile(top_ / folder / name, withTrailer({'o', 'l', 'd'}));
    }
    if (!dated.empty() && pick(0, 9) < 2) {
      const std::string folder =
          dated[static_cast<std::size_t>(pick(0, static_cast<int>(dated.size()) - 1))].second;
      if (!fs::exists(top_ / folder)) place(folder, withTrailer({'p', 'l', 'a', 'i', 'n'}), kInvalid);
    }
    if (pick(0, 9) < 3 && !fs::exists(top_ / folderOf(days.back())))
      fs::create_directory(top_ / folderOf(days.back()));
    if (pick(0, 9) < 3) {  // never descended into
      fs::create_directories(top_ / "album");
      writeFile(top_ / "album" / freshName(), datedPhoto(days.front()));
    }
    return verdicts_;
  }

 private:
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  int pick(int low, std::size_t high) { return pick(low, static_cast<int>(high)); }

  static std::string digits(int number) { return (number < 10 ? "0" : "") + std::to_string(number); }

  static std::string folderOf(std::string day) {
    for (char& c : day) c = c == ':' ? '-' : c;
    return day;
  }

  // Unique contents, so that a file lost and another duplicated cannot cancel out.
  Bytes withTrailer(Bytes bytes) {
    for (int i = pick(1, 8); i > 0; --i) bytes.push_back(static_cast<std::uint8_t>(pick(0, 255)));
    return bytes;
  }

  Bytes datedPhoto(const std::string& day) {
    const std::string time =
        " " + digits(pick(0, 23)) + ":" + digits(pick(0, 59)) + ":" + digits(pick(0, 59));
    return withTrailer(jpegWithDate(day + time, pick(0, 1) ? ByteOrder::Intel : ByteOrder::Motorola));
  }

  std::string freshName() {
    static const char* const stems[] = {"IMG_",         "photo ", "x",     "\"q\" ",
                                        "caf\xc3\xa9-", "-dash",  "2024-", "a:b"};
    static const char* const endings[] = {".jpg", ".JPG", ".jpeg", "", ".txt", " (1).jpg"};
    for (;;) {
      const std::string name = std::string(stems[pick(0, std::size(stems) - 1)]) +
                               std::to_string(pick(0, 999)) + endings[pick(0, std::size(endings) - 1)];
      if (used_.insert(name).second && used_.insert("." + name).second) return name;
    }
  }

  void place(const std::string& name, const Bytes& bytes, const std::string& verdict) {
    writeFile(top_ / name, bytes);
    verdicts_[fnv1a(bytes)] = verdict;
  }

  std::mt19937& random_;
  fs::path top_;
  std::set<std::string> used_;
  Verdicts verdicts_;
};

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> all;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) all.push_back(line);
  return all;
}

// The checks for one folder; `before` and `after` are snapshots of `top`.
void checkRun(const ProcessResult& result, const std::string& top, const Snapshot& before,
              const Snapshot& after, const Verdicts& verdicts) {
  ASSERT_EQ(result.killedBySignal, 0);
  ASSERT_TRUE(result.exitStatus == 0 || result.exitStatus == 1) << result.exitStatus << result.err;
  const bool stopped = result.exitStatus == 1;
  EXPECT_EQ(contentsOf(after), contentsOf(before)) << "a file was lost or duplicated";

  const std::vector<std::string> log = lines(result.out);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], "Kelvane v.0.1.10");
  EXPECT_EQ(log[1], "");
  EXPECT_EQ(log[2], "Input Directory: " + top);
  std::map<std::string, std::string> moved;  // name -> date folder
  std::set<std::string> reported;
  std::set<std::string> created;
  const auto verdictOf = [&](const std::string& name) { return verdicts.at(std::stoull(before.at(name))); };
  for (std::size_t i = 3; i < log.size(); ++i) {
    const std::string& line = log[i];
    const bool last = i + 1 == log.size();
    std::string name;
    if (line.starts_with("Invalid file: ")) {
      name = line.substr(14);
      EXPECT_EQ(verdictOf(name), kInvalid) << line;
    } else if (line.starts_with("No date found: ")) {
      name = line.substr(15);
      EXPECT_EQ(verdictOf(name), "") << line;
    } else if (line.starts_with("Moving \"") && line.ends_with("\"")) {
      const std::size_t to = line.rfind("\" to \"");
      ASSERT_NE(to, std::string::npos) << line;
      name = line.substr(8, to - 8);
      const std::string folder = line.substr(to + 6, line.size() - to - 7);
      EXPECT_EQ(verdictOf(name), folder) << line;
      if (stopped && last) {
        EXPECT_EQ(before.count(folder + "/" + name), 1u)
            << "stopped at a move whose target was free: " << line;
      } else {
        moved[name] = folder;
      }
    } else if (line.starts_with("Creating Directory \"") && line.ends_with("\"")) {
      const std::string folder = line.substr(20, line.size() - 21);
      EXPECT_FALSE(before.count(folder) == 1 && before.at(folder) == "/") << "the folder was there: " << line;
      if (stopped && last) {
        EXPECT_EQ(before.count(folder), 1u) << "stopped at a creation whose name was free: " << line;
      } else {
        EXPECT_TRUE(created.insert(folder).second) << "created twice: " << line;
      }
      continue;
    } else if (line == "Finished" && last && !stopped) {
      continue;
    } else {
      ADD_FAILURE() << "unexpected line: " << line;
      continue;
    }
    EXPECT_TRUE(reported.insert(name).second) << "reported twice: " << name;
  }
  if (stopped) {
    EXPECT_TRUE(log.back().starts_with("Moving ") || log.back().starts_with("Creating Directory "))
        << log.back();
    EXPECT_TRUE(result.err.starts_with("[Kelvane] Error # 58 ") &&
                result.err.find('\n') == result.err.size() - 1)
        << result.err;
  } else {
    EXPECT_EQ(log.back(), "Finished");
    EXPECT_EQ(result.err, "");
  }

  // Every new path is a created date folder or a moved file in its place.
  for (const auto& [path, what] : after) {
    if (before.count(path) == 1) {
      EXPECT_EQ(what, before.at(path)) << "changed: " << path;
      continue;
    }
    const fs::path relative(path);
    const std::string parent = relative.parent_path().string();
    if (what == "/") {
      EXPECT_TRUE(parent.empty() && created.count(path) == 1) << "unexpected folder: " << path;
    } else {
      const std::string name = relative.filename().string();
      EXPECT_TRUE(moved.count(name) == 1 && moved.at(name) == parent) << "unexpected file: " << path;
      EXPECT_EQ(before.count(name) == 1 ? before.at(name) : "", what)
          << "moved with other contents: " << path;
    }
  }
  for (const auto& [name, folder] : moved) {
    EXPECT_EQ(after.count(folder + "/" + name), 1u) << "not moved: " << name;
    EXPECT_EQ(after.count(name), 0u) << "still there: " << name;
  }
  for (const std::string& folder : created) EXPECT_EQ(after.count(folder), 1u) << folder;
  // What is left at the top was reported, is hidden, or was not reached.
  const std::string lastReported = reported.empty() ? std::string() : *reported.rbegin();
  for (const auto& [path, what] : after) {
    if (what == "/" || path.find('/') != std::string::npos || path.starts_with(".")) continue;
    if (reported.count(path) == 1 && moved.count(path) == 0) continue;
    EXPECT_TRUE(stopped && path > lastReported) << "left without a word: " << path;
  }
}

TEST(NoLoss, RandomFoldersKeepEveryFile) {
  const char* seedText = std::getenv("KELVANE_SEED");
  const std::uint32_t seed = seedText != nullptr
                                 ? static_cast<std::uint32_t>(std::strtoul(seedText, nullptr, 10))
                                 : std::random_device()();
  int stops = 0;
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("KELVANE_SEED=" + std::to_string(seed) + ", round " + std::to_string(round));
    std::mt19937 random(seed + static_cast<std::uint32_t>(round));
    TemporaryFolder folder;
    const Verdicts verdicts = FolderMaker(random, folder.path()).make();
    const Snapshot before = snapshot(folder.path());
    const ProcessResult result = runProgram({KELVANE_BINARY, "--no-window", folder.path()});
    checkRun(result, folder.path(), before, snapshot(folder.path()), verdicts);
    stops += result.exitStatus == 1;
    if (HasFailure()) break;
  }
  RecordProperty("runsStoppedOnATakenName", stops);
}

}  // namespace
}  // namespace kelvane
