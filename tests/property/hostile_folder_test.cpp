// Another user of a shared folder plants links while a run is under way: in
// place of date folders (the real ones moved aside) and in place of photos
// not yet moved. Whatever the timing, nothing outside the folder is created,
// moved or changed, no photo is lost or duplicated, and every photo moved was
// logged.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "disk_files.h"
#include "test_data.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
namespace fs = std::filesystem;

constexpr int kPhotos = 300;
constexpr int kRounds = 12;

std::string nameOf(int i) { return "IMG_" + std::to_string(1000 + i) + ".jpg"; }
std::string dayOf(int i) { return "2023-07-0" + std::to_string(1 + i % 3); }
std::string photo(int i) {
  const std::vector<std::uint8_t> bytes =
      jpegWithDate("2023:07:0" + std::to_string(1 + i % 3) + " 12:00:" + std::to_string(10 + i % 50) + "#" +
                   std::to_string(i));
  return std::string(bytes.begin(), bytes.end());
}

// Until told to stop: move a date folder aside and plant a link to `outside`
// at its name, swap a photo for a link to a file outside, then take the
// planted folder link away again so that the run can go on.
void attack(const std::string& folder, const std::string& outside, std::uint32_t seed,
            const std::atomic<bool>& running) {
  std::mt19937 random(seed);
  std::this_thread::sleep_for(std::chrono::microseconds(random() % 10000));  // some moves come first
  for (int n = 0; running; ++n) {
    const std::string day = folder + "/" + dayOf(static_cast<int>(random() % 3));
    std::rename(day.c_str(), (day + ".aside" + std::to_string(n)).c_str());
    ::symlink(outside.c_str(), day.c_str());
    const std::string victim = folder + "/" + nameOf(static_cast<int>(random() % kPhotos));
    if (::renameat2(AT_FDCWD, victim.c_str(), AT_FDCWD, (victim + ".aside").c_str(), RENAME_NOREPLACE) == 0) {
      ::symlink((outside + "/secret.jpg").c_str(), victim.c_str());
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 400));
    struct stat info {};
    if (::lstat(day.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) ::unlink(day.c_str());
  }
}

TEST(HostileFolder, LinksPlantedDuringARunLeadNowhere) {
  const std::uint32_t seed = propertySeed();
  const std::string secret = photo(kPhotos);
  std::multiset<std::string> photos;
  for (int i = 0; i < kPhotos; ++i) photos.insert(photo(i));
  int stopped = 0;
  for (int round = 0; round < kRounds && !HasFailure(); ++round) {
    SCOPED_TRACE("KELVANE_SEED=" + std::to_string(seed) + ", round " + std::to_string(round));
    TemporaryFolder top;
    const std::string folder = top.path() + "/p";
    const std::string outside = top.path() + "/outside";
    fs::create_directory(folder);
    fs::create_directory(outside);
    writeBytes(outside + "/secret.jpg", {secret.begin(), secret.end()});
    for (int i = 0; i < kPhotos; ++i) {
      const std::string bytes = photo(i);
      writeBytes(folder + "/" + nameOf(i), {bytes.begin(), bytes.end()});
    }
    std::atomic<bool> running = true;
    std::thread attacker(attack, folder, outside, seed + static_cast<std::uint32_t>(round),
                         std::cref(running));
    const ProcessResult run = runProgram({KELVANE_BINARY, "--no-window", folder});
    running = false;
    attacker.join();

    EXPECT_TRUE(run.exitStatus == 0 || run.exitStatus == 1) << run.exitStatus;
    // A photo swapped for a link before its read gets an "Open JPEG File" box;
    // a stopped run has one failure line.
    std::size_t failureLines = 0;
    for (auto at = run.err.find("[Kelvane] Error # "); at != std::string::npos;
         at = run.err.find("[Kelvane] Error # ", at + 1)) {
      ++failureLines;
    }
    EXPECT_EQ(failureLines, run.exitStatus == 1 ? 1u : 0u) << run.err;
    std::vector<std::string> outsideNames;
    for (const auto& [path, bytes] : folderFiles(outside)) outsideNames.push_back(path);
    EXPECT_EQ(outsideNames, std::vector<std::string>{"secret.jpg"});
    EXPECT_EQ(readBytes(outside + "/secret.jpg"), secret);
    std::multiset<std::string> found;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
      if (entry.is_symlink() || !entry.is_regular_file()) continue;
      found.insert(readBytes(entry.path()));
      const std::string parent = entry.path().parent_path().filename();
      const std::string moving = "Moving \"" + entry.path().filename().string() + "\" to \"" +
                                 parent.substr(0, parent.find(".aside")) + "\"\n";
      EXPECT_TRUE(parent == "p" || run.out.find(moving) != std::string::npos) << "unlogged: " << entry.path();
    }
    EXPECT_TRUE(found == photos) << "a photo was lost or duplicated";
    stopped += run.exitStatus == 1;
  }
  // A planted link stops a run; runs that all ended before the attack prove nothing.
  EXPECT_GT(stopped, 0);
}

}  // namespace
}  // namespace kelvane

namespace kelvane {
namespace {

// Three runs that rename on taken names, on one folder at once, whose date
// folders already hold other files of the same names: every file is there
// once afterwards, unchanged, each dated photo in its date folder; the
// no-replace move decides each name, so no run overwrites another's.
TEST(HostileFolder, ConcurrentRenamingRunsLoseAndDuplicateNothing) {
  using namespace kelvane::testing;
  for (int round = 0; round < 4 && !HasFailure(); ++round) {
    TemporaryFolder folder;
    std::multiset<std::string> before;
    for (int i = 0; i < 60; ++i) {
      const std::string day = dayOf(i);
      ::mkdir((folder.path() + "/" + day).c_str(), 0700);
      const std::string bytes = photo(i);
      writeBytes(folder.path() + "/" + nameOf(i), std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
      // One byte, never "/", which folderFiles gives for a folder.
      writeBytes(folder.path() + "/" + day + "/" + nameOf(i), {static_cast<std::uint8_t>(100 + i)});
      before.insert(bytes);
      before.insert(std::string(1, static_cast<char>(100 + i)));
    }
    std::vector<std::thread> runs;
    for (int k = 0; k < 3; ++k) {
      runs.emplace_back([&] {
        runProgram({KELVANE_BINARY, "--no-window", "--on-collision=rename", folder.path()});
      });
    }
    for (std::thread& run : runs) run.join();
    // A run may stop where another took a file from under it; one more
    // finishes the job.
    EXPECT_EQ(runProgram({KELVANE_BINARY, "--no-window", "--on-collision=rename", folder.path()}).exitStatus,
              0);
    std::multiset<std::string> after;
    for (const auto& [path, bytes] : folderFiles(folder.path())) {
      if (bytes == "/") continue;
      after.insert(bytes);
      EXPECT_NE(path.find('/'), std::string::npos) << path << " was left at the top";
    }
    EXPECT_EQ(after, before) << "round " << round;
  }
}

}  // namespace
}  // namespace kelvane
