// The file layer on a real disk, for what no program run shows: a move never
// replaces and never follows a link, moves only the entry that was read, a
// move cut short is completed, the failure numbers, and paths longer than the
// kernel takes whole.
#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "disk_files.h"
#include "platform/runtime_failure.h"

namespace kelvane {
namespace {

struct Disk {
  testing::TemporaryFolder root;
  posix::PosixFileSystem fs;
  std::unique_ptr<Folder> folder;

  std::string at(const std::string& name) const { return root.path() + "/" + name; }
  void write(const std::string& name) const { std::ofstream(at(name)) << name; }
  std::string read(const std::string& name) const {
    std::ifstream in(at(name));
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "(none)";
  }
  EntryIdentity entry(const std::string& name, Links links = Links::Refuse) {
    return folder->openEntry(name, links)->entry();
  }
};

// The failure number of a step, 0 when it went through.
int numberOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const FileFailure& failure) {
    return failure.number();
  }
  return 0;
}

TEST(PosixFiles, MovesNeverReplaceNorFollowLinksAndMoveOnlyWhatWasRead) {
  Disk disk;
  const auto at = [&](const std::string& name) { return disk.at(name); };
  ASSERT_EQ(::mkdir(at("d").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(at("outside").c_str(), 0700), 0);
  for (const char* name :
       {"a.jpg", "d/a.jpg", "b.jpg", "c.jpg", "e.jpg", "x.jpg", "file", "s.jpg", "t.jpg"}) {
    disk.write(name);
  }
  ASSERT_EQ(::symlink(at("b.jpg").c_str(), at("d/b.jpg").c_str()), 0);
  ASSERT_EQ(::mkdir(at("d/c.jpg").c_str(), 0700), 0);
  // Linked under the new name, the old name not yet removed: a move cut short.
  ASSERT_EQ(::link(at("e.jpg").c_str(), at("d/e.jpg").c_str()), 0);
  // Links where date folders would be, planted by someone else.
  ASSERT_EQ(::symlink(".", at("2021-03-04").c_str()), 0);
  ASSERT_EQ(::symlink(at("outside").c_str(), at("2021-03-05").c_str()), 0);
  disk.folder = disk.fs.openFolder(disk.root.path());
  Folder& folder = *disk.folder;
  const EntryIdentity s = disk.entry("s.jpg");
  const EntryIdentity t = disk.entry("t.jpg");
  // After the reads, s.jpg is replaced by another file and t.jpg by a folder.
  disk.write("s2.jpg");
  ASSERT_EQ(std::rename(at("s2.jpg").c_str(), at("s.jpg").c_str()), 0);
  ASSERT_EQ(::mkdir(at("t2").c_str(), 0700), 0);  // made first, so that it cannot reuse t.jpg's inode
  ASSERT_EQ(::unlink(at("t.jpg").c_str()), 0);
  ASSERT_EQ(std::rename(at("t2").c_str(), at("t.jpg").c_str()), 0);

  const auto move = [&](const std::string& name, const std::string& into) {
    return [&, name, into] { folder.moveInto(name, disk.entry(name), into, name, {}); };
  };
  // The journal hears of a move only once its entry is checked.
  int refusedButRecorded = 0;
  const BeforeMove mustNotRecord = [&](const MoveStep&) { ++refusedButRecorded; };
  std::optional<EntryStamp> recordedE;
  const EntryIdentity e = disk.entry("e.jpg");
  const std::vector<std::pair<std::function<void()>, int>> cases = {
      {move("a.jpg", "d"), 58},
      {move("b.jpg", "d"), 58},  // a link at the target
      {move("c.jpg", "d"), 58},  // a folder at the target
      {[&] {
         folder.moveInto("e.jpg", e, "d", "e.jpg", [&](const MoveStep& step) { recordedE = step.entry; });
       },
       0},
      {move("x.jpg", "2021-03-04"), 58},
      {move("x.jpg", "2021-03-05"), 58},
      {move("file", "missing"), 53},
      {[&] { folder.moveInto("gone.jpg", s, "d", "gone.jpg", mustNotRecord); }, 53},
      {[&] { folder.moveInto("s.jpg", s, "d", "s.jpg", mustNotRecord); }, 75},
      {[&] { folder.moveInto("t.jpg", t, "d", "t.jpg", mustNotRecord); }, 75},
      {[&] { folder.createFolder("d"); }, 0},  // made meanwhile by another run
      {[&] { folder.createFolder("file"); }, 58},
      {[&] { folder.createFolder("2021-03-05"); }, 58},
      {[&] { disk.fs.openFolder(at("gone")); }, 53},
      {[&] { disk.fs.openFolder(at("file")); }, 76},
  };
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(numberOf(cases[i].first), cases[i].second) << "case " << i;

  EXPECT_EQ(refusedButRecorded, 0);
  ASSERT_TRUE(recordedE.has_value());
  EXPECT_EQ(recordedE->entry, e);
  EXPECT_EQ(recordedE->size, 5);  // "e.jpg"
  EXPECT_FALSE(folder.hasFolder("2021-03-04"));
  for (const char* name : {"a.jpg", "d/a.jpg", "b.jpg", "c.jpg", "x.jpg", "file"})
    EXPECT_EQ(disk.read(name), name);
  EXPECT_EQ(disk.read("s.jpg"), "s2.jpg");
  EXPECT_EQ(disk.read("d/s.jpg"), "(none)");
  EXPECT_EQ(disk.read("d/t.jpg"), "(none)");
  EXPECT_EQ(disk.read("e.jpg"), "(none)");
  EXPECT_EQ(disk.read("d/e.jpg"), "e.jpg");
  struct stat info {};
  ASSERT_EQ(::stat(at("d/e.jpg").c_str(), &info), 0);
  EXPECT_EQ(info.st_nlink, 1u);
  EXPECT_EQ(disk.read("outside/x.jpg"), "(none)");
}

// A link is filed as a link: read through, then moved so that it still leads
// to the same photo, never the photo itself. A link at the target, even one
// with the very text the move would give, is a taken name: it is never
// removed.
TEST(PosixFiles, AMovedLinkLeadsWhereItLed) {
  Disk disk;
  ASSERT_EQ(::mkdir(disk.at("photos").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(disk.at("d").c_str(), 0700), 0);
  disk.write("photos/real.jpg");
  ASSERT_EQ(::symlink("photos/real.jpg", disk.at("relative.jpg").c_str()), 0);
  ASSERT_EQ(::symlink(disk.at("photos/real.jpg").c_str(), disk.at("absolute.jpg").c_str()), 0);
  ASSERT_EQ(::symlink("photos/real.jpg", disk.at("taken.jpg").c_str()), 0);
  ASSERT_EQ(::symlink("../photos/real.jpg", disk.at("d/taken.jpg").c_str()), 0);
  disk.folder = disk.fs.openFolder(disk.root.path());
  EXPECT_EQ(numberOf([&] { disk.entry("relative.jpg"); }), 75) << "a listed name never leads elsewhere";
  for (const char* name : {"relative.jpg", "absolute.jpg"}) {
    disk.folder->moveInto(name, disk.entry(name, Links::Follow), "d", name, {});
    struct stat info {};
    EXPECT_NE(::lstat(disk.at(name).c_str(), &info), 0) << name;
    ASSERT_EQ(::lstat(disk.at("d/" + std::string(name)).c_str(), &info), 0) << name;
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << name;
    EXPECT_EQ(disk.read("d/" + std::string(name)), "photos/real.jpg") << name;
  }
  EXPECT_EQ(numberOf([&] {
              disk.folder->moveInto("taken.jpg", disk.entry("taken.jpg", Links::Follow), "d", "taken.jpg",
                                    {});
            }),
            58);
  EXPECT_EQ(disk.read("taken.jpg"), "photos/real.jpg");
  EXPECT_EQ(disk.read("d/taken.jpg"), "photos/real.jpg");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk.at("d")), {}), 3) << "no replacement left";
  EXPECT_EQ(disk.read("photos/real.jpg"), "photos/real.jpg");
}

// A folder whose path is longer than PATH_MAX is found, listed and sorted in.
TEST(PosixFiles, PathsLongerThanTheKernelTakesWhole) {
  Disk disk;
  const std::string step(200, 'n');
  std::string deep = disk.root.path();
  ASSERT_EQ(::chdir(deep.c_str()), 0);
  while (deep.size() <= PATH_MAX) {
    ASSERT_EQ(::mkdir(step.c_str(), 0700), 0);
    ASSERT_EQ(::chdir(step.c_str()), 0);
    deep += "/" + step;
  }
  std::ofstream("photo.jpg") << "photo";
  ASSERT_EQ(::chdir("/"), 0);

  EXPECT_TRUE(disk.fs.FolderExists(deep));
  EXPECT_TRUE(disk.fs.FileExists(deep + "/photo.jpg"));
  EXPECT_FALSE(disk.fs.FileExists(deep + "/none.jpg"));
  EXPECT_EQ(disk.fs.openForReading(deep + "/photo.jpg")->size(), 5);
  const std::unique_ptr<Folder> folder = disk.fs.openFolder(deep + "/");
  EXPECT_EQ(folder->listPlainFiles().toStrings(), std::vector<std::string>{"photo.jpg"});
  folder->createFolder("2021-03-04");
  folder->moveInto("photo.jpg", folder->openEntry("photo.jpg", Links::Refuse)->entry(), "2021-03-04",
                   "photo.jpg", {});
  EXPECT_TRUE(disk.fs.FileExists(deep + "/2021-03-04/photo.jpg"));
}

}  // namespace
}  // namespace kelvane
