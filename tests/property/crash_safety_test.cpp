// A run killed at any moment leaves every file exactly once, either where it
// was or in its date folder, has logged every move it made, and a second run
// finishes the job.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "child_process.h"
#include "disk_files.h"
#include "test_data.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;

constexpr int kPhotos = 400;
constexpr int kRounds = 15;

// Photo i is IMG_<1000 + i>.jpg of day 1 + i % 5, except every 37th, whose
// date is no folder name; every contents differs.
std::string nameOf(int i) { return "IMG_" + std::to_string(1000 + i) + ".jpg"; }
std::string dateFolderOf(int i) { return i % 37 == 5 ? "" : "2023-07-0" + std::to_string(1 + i % 5); }
std::vector<std::uint8_t> photo(int i) {
  const std::string date = i % 37 == 5 ? "/" : "2023:07:0" + std::to_string(1 + i % 5) + " 12:00:00";
  return jpegWithDate(date + "#" + std::to_string(i), i % 3 == 0 ? ByteOrder::Motorola : ByteOrder::Intel);
}

// Each photo lies once, unchanged, at the top or in its date folder, and
// nothing else is there but date folders; the log, when given, has a "Moving"
// line for every photo moved. Returns how many were moved.
int checkEveryPhotoOnce(const std::string& top, const std::string* log = nullptr) {
  const std::map<std::string, std::string> found = folderFiles(top);
  const auto files =
      std::count_if(found.begin(), found.end(), [](const auto& entry) { return entry.second != "/"; });
  EXPECT_EQ(files, kPhotos) << "files lost or duplicated";
  int moved = 0;
  for (int i = 0; i < kPhotos; ++i) {
    const std::string name = nameOf(i);
    const std::string sorted = dateFolderOf(i) + "/" + name;
    const bool atTop = found.count(name) == 1;
    const bool inFolder = !dateFolderOf(i).empty() && found.count(sorted) == 1;
    EXPECT_NE(atTop, inFolder) << name << (atTop ? " is in both places" : " is in neither place");
    const std::vector<std::uint8_t> bytes = photo(i);
    EXPECT_TRUE(!(atTop || inFolder) ||
                found.at(atTop ? name : sorted) == std::string(bytes.begin(), bytes.end()))
        << name << " changed";
    const std::string moving = "Moving \"" + name + "\" to \"" + dateFolderOf(i) + "\"\n";
    EXPECT_TRUE(!inFolder || log == nullptr || log->find(moving) != std::string::npos)
        << name << " moved unlogged";
    moved += inFolder;
  }
  static const std::regex dateFolder("2023-07-0[1-5]");
  for (const auto& [path, what] : found) {
    EXPECT_TRUE(what != "/" || std::regex_match(path, dateFolder)) << "unexpected folder: " << path;
  }
  return moved;
}

TEST(CrashSafety, KilledRunsLoseNothingAndASecondRunFinishes) {
  int dated = 0;
  for (int i = 0; i < kPhotos; ++i) dated += !dateFolderOf(i).empty();
  const auto plant = [](const TemporaryFolder& folder) {
    for (int i = 0; i < kPhotos; ++i) writeBytes(folder.path() + "/" + nameOf(i), photo(i));
  };
  const auto sort = [](const TemporaryFolder& folder) {
    return runProgram({KELVANE_BINARY, "--no-window", folder.path()});
  };
  // Kills fall between the program's start-up and the end of a whole run,
  // both measured here, so that most land among the moves on any machine.
  double startUp = 1e9;
  double wholeRun = 0;
  {
    TemporaryFolder empty;
    for (int i = 0; i < 3; ++i) startUp = std::min(startUp, sort(empty).seconds);
    TemporaryFolder folder;
    plant(folder);
    wholeRun = std::max(sort(folder).seconds, startUp);
  }
  const std::uint32_t seed = propertySeed();
  std::mt19937 random(seed);
  std::uniform_int_distribution<long> delays(static_cast<long>(startUp * 800),
                                             static_cast<long>(wholeRun * 1100));
  int cutShort = 0;
  for (int round = 0; round < kRounds && !HasFailure(); ++round) {
    const auto delay = std::chrono::milliseconds(delays(random));
    SCOPED_TRACE("KELVANE_SEED=" + std::to_string(seed) + ", round " + std::to_string(round) +
                 ", killed after " + std::to_string(delay.count()) + " ms; start-up " +
                 std::to_string(startUp) + " s, whole run " + std::to_string(wholeRun) + " s");
    TemporaryFolder folder;
    plant(folder);
    const ProcessResult killed = runProgram({KELVANE_BINARY, "--no-window", folder.path()}, {}, delay);
    const int moved = checkEveryPhotoOnce(folder.path(), &killed.out);
    cutShort += killed.killedBySignal == SIGKILL && moved > 0 && moved < dated;

    const ProcessResult again = sort(folder);
    EXPECT_EQ(again.exitStatus, 0);
    EXPECT_EQ(again.err, "");
    EXPECT_TRUE(again.out.ends_with("\nFinished\n")) << again.out;
    EXPECT_EQ(checkEveryPhotoOnce(folder.path()), dated);
  }
  // Kills that all fell before the first move or after the last prove nothing.
  EXPECT_GT(cutShort, 0) << "no kill fell in the middle of a run";
}

}  // namespace
}  // namespace kelvane
