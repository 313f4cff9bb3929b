// A run killed at any moment leaves every file exactly once, either where it
// was or in its date folder, and a second run finishes the job.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kPhotos = 400;
constexpr int kRounds = 15;

struct Photo {
  std::string name;
  std::string dateFolder;  // empty: no date, the file stays
  Bytes bytes;
};

std::string twoDigits(int number) { return (number < 10 ? "0" : "") + std::to_string(number); }

// Small photos of a handful of days, every contents unique; a few lack a date.
std::vector<Photo> makePhotos() {
  std::vector<Photo> photos;
  for (int i = 0; i < kPhotos; ++i) {
    const std::string name = "IMG_" + std::to_string(1000 + i) + ".jpg";
    const std::string unique = std::to_string(i);
    if (i % 37 == 5) {
      Bytes bytes = JpegBuilder().soi().app0().padding(32).eoi().bytes();
      bytes.insert(bytes.end(), unique.begin(), unique.end());
      photos.push_back({name, "", bytes});
      continue;
    }
    const int day = 1 + i % 5;
    const std::string time = twoDigits(i / 60 % 24) + ":" + twoDigits(i % 60) + ":" + twoDigits(i / 7 % 60);
    photos.push_back({name, "2023-07-" + twoDigits(day),
                      jpegWithDate("2023:07:" + twoDigits(day) + " " + time + "#" + unique,
                                   i % 3 == 0 ? ByteOrder::Motorola : ByteOrder::Intel)});
  }
  return photos;
}

void plant(const fs::path& top, const std::vector<Photo>& photos) {
  for (const Photo& photo : photos) {
    std::ofstream(top / photo.name, std::ios::binary)
        .write(reinterpret_cast<const char*>(photo.bytes.data()),
               static_cast<std::streamsize>(photo.bytes.size()));
  }
}

// Every path below the top folder: "/" for a folder, else the file's bytes.
std::map<std::string, std::string> snapshot(const fs::path& top) {
  std::map<std::string, std::string> all;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(top)) {
    std::string what = "/";
    if (!entry.is_directory()) {
      std::ifstream in(entry.path(), std::ios::binary);
      what.assign(std::istreambuf_iterator<char>(in), {});
    }
    all[entry.path().lexically_relative(top).string()] = what;
  }
  return all;
}

// Each photo lies once, unchanged, at the top or in its date folder, and
// nothing else is there but date folders. Returns how many were moved.
int checkEveryPhotoOnce(const std::vector<Photo>& photos, const std::map<std::string, std::string>& found) {
  std::multiset<std::string> expected;
  std::multiset<std::string> actual;
  for (const Photo& photo : photos) expected.emplace(photo.bytes.begin(), photo.bytes.end());
  for (const auto& [path, what] : found) {
    if (what != "/") actual.insert(what);
  }
  EXPECT_TRUE(actual == expected) << "files lost or duplicated: " << expected.size() << " photos, "
                                  << actual.size() << " files";
  int moved = 0;
  std::set<std::string> places;
  for (const Photo& photo : photos) {
    const std::string contents(photo.bytes.begin(), photo.bytes.end());
    const bool atTop = found.count(photo.name) == 1;
    const std::string sorted = photo.dateFolder + "/" + photo.name;
    const bool inFolder = !photo.dateFolder.empty() && found.count(sorted) == 1;
    EXPECT_TRUE(atTop != inFolder) << photo.name << (atTop ? " is in both places" : " is in neither place");
    if (atTop) {
      EXPECT_EQ(found.at(photo.name), contents) << photo.name;
    }
    if (inFolder) {
      EXPECT_EQ(found.at(sorted), contents) << sorted;
    }
    places.insert(atTop ? photo.name : sorted);
    if (!photo.dateFolder.empty()) places.insert(photo.dateFolder);
    moved += inFolder;
  }
  for (const auto& [path, what] : found) {
    EXPECT_TRUE(places.count(path) == 1 &&
                (what == "/") == (path.rfind("2023-07-", 0) == 0 && path.size() == 10))
        << "unexpected: " << path;
  }
  return moved;
}

TEST(CrashSafety, KilledRunsLoseNothingAndASecondRunFinishes) {
  const std::vector<Photo> photos = makePhotos();
  const int dated = static_cast<int>(std::count_if(
      photos.begin(), photos.end(), [](const Photo& photo) { return !photo.dateFolder.empty(); }));

  // Kill between the program's start-up and the end of a whole run, both
  // measured here, so that most kills land among the moves on fast and slow
  // machines alike.
  double startUp = 0;
  double wholeRun = 0;
  {
    TemporaryFolder empty;
    startUp = 1e9;
    for (int i = 0; i < 3; ++i) {
      startUp = std::min(startUp, runProgram({KELVANE_BINARY, "--no-window", empty.path()}).seconds);
    }
    TemporaryFolder folder;
    plant(folder.path(), photos);
    const ProcessResult result = runProgram({KELVANE_BINARY, "--no-window", folder.path()});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(checkEveryPhotoOnce(photos, snapshot(folder.path())), dated);
    wholeRun = std::max(result.seconds, startUp);
  }
  const char* seedText = std::getenv("KELVANE_SEED");
  const std::uint32_t seed = seedText != nullptr
                                 ? static_cast<std::uint32_t>(std::strtoul(seedText, nullptr, 10))
                                 : std::random_device()();
  std::mt19937 random(seed);
  std::uniform_int_distribution<long> delays(static_cast<long>(startUp * 0.8e6),
                                             static_cast<long>(wholeRun * 1.1e6));
  int cutShort = 0;
  for (int round = 0; round < kRounds && !HasFailure(); ++round) {
    const auto delay = std::chrono::microseconds(delays(random));
    SCOPED_TRACE("KELVANE_SEED=" + std::to_string(seed) + ", round " + std::to_string(round) +
                 ", killed after " + std::to_string(delay.count()) + " us; start-up " +
                 std::to_string(startUp) + " s, whole run " + std::to_string(wholeRun) + " s");
    TemporaryFolder folder;
    plant(folder.path(), photos);
    const ProcessResult killed =
        ChildProcess({KELVANE_BINARY, "--no-window", folder.path()}).killAfter(delay);
    const int moved = checkEveryPhotoOnce(photos, snapshot(folder.path()));
    if (killed.killedBySignal == SIGKILL && moved > 0 && moved < dated) ++cutShort;

    const ProcessResult again = runProgram({KELVANE_BINARY, "--no-window", folder.path()});
    EXPECT_EQ(again.exitStatus, 0);
    EXPECT_EQ(again.err, "");
    EXPECT_TRUE(again.out.ends_with("\nFinished\n")) << again.out;
    EXPECT_EQ(checkEveryPhotoOnce(photos, snapshot(folder.path())), dated);
  }
  // Kills that all fell before the first move or after the last prove nothing.
  EXPECT_GT(cutShort, 0) << "no kill fell in the middle of a run";
  RecordProperty("roundsCutShort", cutShort);
}

}  // namespace
}  // namespace kelvane
