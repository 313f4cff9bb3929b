// The file layer on a real disk, in a fresh folder under /tmp: what counts as a
// folder or a file, what a listing delivers, and that a move never replaces.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/log.h"
#include "platform/runtime_failure.h"
#include "platform/posix/posix_file_system.h"
#include "scripted_message_boxes.h"
#include "sort/sort_run.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using posix::PosixFileSystem;

class PosixFiles : public ::testing::Test {
 protected:
  PosixFiles() {
    char pattern[] = "/tmp/kelvane-fs-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    root = pattern;
  }
  ~PosixFiles() override { std::filesystem::remove_all(root); }

  std::string at(const std::string& name) const { return root + "/" + name; }

  void write(const std::string& name, const std::string& content) const {
    std::ofstream(at(name), std::ios::binary) << content;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(at(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  bool present(const std::string& name) const {
    struct stat info {};
    return ::lstat(at(name).c_str(), &info) == 0;
  }
  template <class Action>
  static int failureOf(Action&& action) {
    try {
      action();
    } catch (const FileFailure& failure) {
      return failure.number();
    }
    return 0;
  }

  std::string root;
  PosixFileSystem fs;
};

TEST_F(PosixFiles, TellsFoldersFromFilesFollowingNamedLinks) {
  ASSERT_EQ(::mkdir(at("dir").c_str(), 0700), 0);
  write("file", "x");
  ASSERT_EQ(::symlink(at("dir").c_str(), at("link-dir").c_str()), 0);
  ASSERT_EQ(::symlink("file", at("link-file").c_str()), 0);
  ASSERT_EQ(::symlink(at("gone").c_str(), at("dangling").c_str()), 0);
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  struct Case {
    std::string path;
    bool folder;
    bool file;
  };
  const std::vector<Case> cases = {
      {at("dir"), true, false},        {at("dir/"), true, false},      {at("file"), false, true},
      {at("file/"), false, false},     {at("link-dir"), true, false},  {at("link-file"), false, true},
      {at("dangling"), false, false},  {at("fifo"), false, false},     {"/dev/null", false, false},
      {"", false, false},              {at("gone"), false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fs.FolderExists(c.path), c.folder) << c.path;
    EXPECT_EQ(fs.FileExists(c.path), c.file) << c.path;
  }
}

TEST_F(PosixFiles, ListsOnlyPlainFilesSortedByTheirBytes) {
  for (const char* name : {"b.jpg", "a.jpg", "B.jpg", "a b.jpg", "\xC3\xA9.jpg", ".hidden.jpg", "..x"}) write(name, "x");
  ASSERT_EQ(::mkdir(at("sub").c_str(), 0700), 0);
  write("sub/inner.jpg", "x");
  ASSERT_EQ(::symlink("a.jpg", at("link.jpg").c_str()), 0);
  ASSERT_EQ(::symlink("gone", at("dangling.jpg").c_str()), 0);
  ASSERT_EQ(::symlink("sub", at("link-sub").c_str()), 0);
  ASSERT_EQ(::mkfifo(at("fifo.jpg").c_str(), 0600), 0);
  EXPECT_EQ(fs.listPlainFiles(root), (std::vector<std::string>{"B.jpg", "a b.jpg", "a.jpg", "b.jpg", "\xC3\xA9.jpg"}));
  // A named link to a folder is listed like the folder.
  EXPECT_EQ(fs.listPlainFiles(at("link-sub")), std::vector<std::string>{"inner.jpg"});
  EXPECT_EQ(failureOf([&] { fs.listPlainFiles(at("gone")); }), 53);
  EXPECT_EQ(failureOf([&] { fs.listPlainFiles(at("b.jpg")); }), 76);
}

TEST_F(PosixFiles, AMoveNeverReplacesAFile) {
  ASSERT_EQ(::mkdir(at("d").c_str(), 0700), 0);
  write("a.jpg", "new");
  write("d/a.jpg", "old");
  EXPECT_EQ(failureOf([&] { fs.moveFile(at("a.jpg"), at("d/a.jpg")); }), 58);
  EXPECT_EQ(read("a.jpg"), "new");
  EXPECT_EQ(read("d/a.jpg"), "old");

  // A link at the target that names the source is not the source.
  write("b.jpg", "bee");
  ASSERT_EQ(::symlink(at("b.jpg").c_str(), at("d/b.jpg").c_str()), 0);
  EXPECT_EQ(failureOf([&] { fs.moveFile(at("b.jpg"), at("d/b.jpg")); }), 58);
  EXPECT_EQ(read("b.jpg"), "bee");
  EXPECT_EQ(read("d/b.jpg"), "bee");

  // Nor is a folder of that name.
  ASSERT_EQ(::mkdir(at("d/c.jpg").c_str(), 0700), 0);
  write("c.jpg", "sea");
  EXPECT_EQ(failureOf([&] { fs.moveFile(at("c.jpg"), at("d/c.jpg")); }), 58);
  EXPECT_EQ(read("c.jpg"), "sea");
}

TEST_F(PosixFiles, MovesIntoAFolderAndCompletesAMoveCutShort) {
  ASSERT_EQ(::mkdir(at("d").c_str(), 0700), 0);
  write("a.jpg", "ay");
  fs.moveFile(at("a.jpg"), at("d/a.jpg"));
  EXPECT_FALSE(present("a.jpg"));
  EXPECT_EQ(read("d/a.jpg"), "ay");

  // Linked under the new name, the old name not yet removed.
  write("b.jpg", "bee");
  ASSERT_EQ(::link(at("b.jpg").c_str(), at("d/b.jpg").c_str()), 0);
  fs.moveFile(at("b.jpg"), at("d/b.jpg"));
  EXPECT_FALSE(present("b.jpg"));
  EXPECT_EQ(read("d/b.jpg"), "bee");
  struct stat info {};
  ASSERT_EQ(::stat(at("d/b.jpg").c_str(), &info), 0);
  EXPECT_EQ(info.st_nlink, 1u);

  EXPECT_EQ(failureOf([&] { fs.moveFile(at("gone.jpg"), at("d/gone.jpg")); }), 53);
  EXPECT_EQ(failureOf([&] { fs.moveFile(at("d/a.jpg"), at("missing/a.jpg")); }), 53);
  EXPECT_EQ(read("d/a.jpg"), "ay");
}

// A date folder that links back to the photo's own folder makes source and
// target one and the same name: that is no move cut short, and the photo's
// only name must not be removed.
TEST_F(PosixFiles, AMoveOntoItselfThroughALinkedFolderKeepsTheFile) {
  write("x.jpg", "photo");
  ASSERT_EQ(::symlink(".", at("2021-03-04").c_str()), 0);
  EXPECT_EQ(failureOf([&] { fs.moveFile(at("x.jpg"), at("2021-03-04/x.jpg")); }), 58);
  EXPECT_EQ(read("x.jpg"), "photo");
  EXPECT_TRUE(present("x.jpg"));
}

TEST_F(PosixFiles, CreatesOneFolderInsideAnExistingOne) {
  fs.createFolder(at("2021-03-04"));
  EXPECT_TRUE(fs.FolderExists(at("2021-03-04")));
  write("file", "x");
  EXPECT_EQ(failureOf([&] { fs.createFolder(at("2021-03-04")); }), 58);
  EXPECT_EQ(failureOf([&] { fs.createFolder(at("file")); }), 58);
  EXPECT_EQ(read("file"), "x");
  EXPECT_EQ(failureOf([&] { fs.createFolder(at("missing/2021-03-04")); }), 53);  // ENOENT
  EXPECT_EQ(failureOf([&] { fs.createFolder(at("file/2021-03-04")); }), 76);     // ENOTDIR
}

TEST_F(PosixFiles, OpensOnlyPlainFilesAndAFifoDoesNotHang) {
  write("a.jpg", "abc");
  const auto file = fs.openForReading(at("a.jpg"));
  ASSERT_EQ(file->size(), 3);
  std::vector<std::uint8_t> out(8);
  EXPECT_EQ(file->readAt(1, out), 2u);
  EXPECT_EQ(out[0], 'b');
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  EXPECT_NE(failureOf([&] { fs.openForReading(at("fifo")); }), 0);
  EXPECT_NE(failureOf([&] { fs.openForReading(root); }), 0);
  EXPECT_EQ(failureOf([&] { fs.openForReading(at("gone")); }), 53);
}

class TextLog : public Log {
 public:
  void append(std::string_view piece) override { text.append(piece); }
  std::string text;
};

// A bare name is sorted in the working folder; a folder given with a trailing
// "/" is joined as it stands.
TEST_F(PosixFiles, SortsABareNameAndAFolderWithATrailingSlashOnDisk) {
  const auto photo = testing::jpegWithDate("2021:03:04 05:06:07");
  write("bare.jpg", std::string(photo.begin(), photo.end()));
  ASSERT_EQ(::mkdir(at("d").c_str(), 0700), 0);
  write("d/x.jpg", std::string(photo.begin(), photo.end()));
  struct WorkingFolder {
    explicit WorkingFolder(const std::string& path) { std::filesystem::current_path(path); }
    ~WorkingFolder() { std::filesystem::current_path(previous); }
    std::filesystem::path previous = std::filesystem::current_path();
  };
  testing::ScriptedMessageBoxes boxes;
  TextLog log;
  bool bProcessing = false;
  std::deque<std::string> paths{"bare.jpg", "d/"};
  bool done = false;
  {
    const WorkingFolder inRoot(root);
    done = SortRun(fs, boxes, log, bProcessing).processWholePaths(paths);
  }
  EXPECT_TRUE(done);
  EXPECT_EQ(log.text,
            "Creating Directory \"2021-03-04\"\nMoving \"bare.jpg\" to \"2021-03-04\"\n"
            "Input Directory: d/\nCreating Directory \"2021-03-04\"\nMoving \"x.jpg\" to \"2021-03-04\"\n");
  EXPECT_EQ(read("2021-03-04/bare.jpg"), read("d/2021-03-04/x.jpg"));
  EXPECT_TRUE(present("2021-03-04/bare.jpg"));
  EXPECT_FALSE(present("bare.jpg"));
  EXPECT_FALSE(present("d/x.jpg"));
}

}  // namespace
}  // namespace kelvane
