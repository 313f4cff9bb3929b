// The file layer on a real disk, for what no program run shows: a move never
// replaces, a move cut short is completed, and the failure numbers.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/posix/posix_file_system.h"
#include "platform/runtime_failure.h"

namespace kelvane {
namespace {

TEST(PosixFiles, MovesNeverReplaceAndFailWithTheFileLayersNumbers) {
  const testing::TemporaryFolder root;
  const auto at = [&](const std::string& name) { return root.path() + "/" + name; };
  const auto write = [&](const std::string& name) { std::ofstream(at(name)) << name; };
  const auto read = [&](const std::string& name) {
    std::ifstream in(at(name));
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "(none)";
  };
  ASSERT_EQ(::mkdir(at("d").c_str(), 0700), 0);
  for (const char* name : {"a.jpg", "d/a.jpg", "b.jpg", "c.jpg", "e.jpg", "x.jpg", "file"}) write(name);
  // A link to the source at the target; the source has a second name, as
  // after a move cut short elsewhere.
  ASSERT_EQ(::link(at("b.jpg").c_str(), at("b2.jpg").c_str()), 0);
  ASSERT_EQ(::symlink(at("b.jpg").c_str(), at("d/b.jpg").c_str()), 0);
  ASSERT_EQ(::mkdir(at("d/c.jpg").c_str(), 0700), 0);
  // Linked under the new name, the old name not yet removed: a move cut short.
  ASSERT_EQ(::link(at("e.jpg").c_str(), at("d/e.jpg").c_str()), 0);
  // A date folder linking back to the photo's own folder makes source and
  // target one name: no move cut short, even with a second name elsewhere.
  ASSERT_EQ(::link(at("x.jpg").c_str(), at("x2.jpg").c_str()), 0);
  ASSERT_EQ(::symlink(".", at("2021-03-04").c_str()), 0);

  posix::PosixFileSystem fs;
  const std::vector<std::pair<std::function<void()>, int>> cases = {
      {[&] { fs.moveFile(at("a.jpg"), at("d/a.jpg")); }, 58},
      {[&] { fs.moveFile(at("b.jpg"), at("d/b.jpg")); }, 58},
      {[&] { fs.moveFile(at("c.jpg"), at("d/c.jpg")); }, 58},
      {[&] { fs.moveFile(at("e.jpg"), at("d/e.jpg")); }, 0},
      {[&] { fs.moveFile(at("x.jpg"), at("2021-03-04/x.jpg")); }, 58},
      {[&] { fs.moveFile(at("gone.jpg"), at("d/gone.jpg")); }, 53},
      {[&] { fs.moveFile(at("file"), at("missing/file")); }, 53},
      {[&] { fs.createFolder(at("d")); }, 58},
      {[&] { fs.createFolder(at("missing/2021-03-04")); }, 53},
      {[&] { fs.createFolder(at("file/2021-03-04")); }, 76},
      {[&] { fs.listPlainFiles(at("gone")); }, 53},
      {[&] { fs.listPlainFiles(at("file")); }, 76},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    int number = 0;
    try {
      cases[i].first();
    } catch (const FileFailure& failure) {
      number = failure.number();
    }
    EXPECT_EQ(number, cases[i].second) << "case " << i;
  }
  for (const char* name : {"a.jpg", "d/a.jpg", "b.jpg", "c.jpg", "x.jpg", "file"}) EXPECT_EQ(read(name), name);
  EXPECT_EQ(read("d/b.jpg"), "b.jpg");
  EXPECT_EQ(read("e.jpg"), "(none)");
  EXPECT_EQ(read("d/e.jpg"), "e.jpg");
  struct stat info {};
  ASSERT_EQ(::stat(at("d/e.jpg").c_str(), &info), 0);
  EXPECT_EQ(info.st_nlink, 1u);
}

}  // namespace
}  // namespace kelvane
