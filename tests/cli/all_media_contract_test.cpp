// --all-media on real files of every format, made by other programs: each
// goes into the folder of its own capture date, a movie's header date in the
// machine's time zone unless --video-utc; without the option the first
// release's run is unchanged.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "disk_files.h"
#include "iso_box_builder.h"
#include "test_data.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
namespace fs = std::filesystem;

const std::vector<std::pair<std::string, std::string>> kMedia = {
    {"photo.png", "2019-05-06"},    {"photo.webp", "2019-05-07"},  {"photo.heic", "2019-05-08"},
    {"photo.avif", "2019-05-09"},   {"photo.tif", "2019-05-10"},   {"clip.mov", "2021-07-06"},
    {"clip-xmp.mp4", "2020-02-03"}, {"clip-xmp.mov", "2020-02-04"}};

class AllMedia : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_STATE_HOME", state_.path().c_str(), 1);
    for (const auto& [name, date] : kMedia) copy(name);
    copy("clip.mp4");
    writeBytes(at("notes.txt"), {'h', 'i'});
    writeBytes(at("jpeg-named.png"), jpegWithDate("2018:01:02 03:04:05"));
    std::vector<std::uint8_t> cut = bytesOf("photo.heic");
    cut.resize(cut.size() / 3);
    writeBytes(at("cut.heic"), cut);
  }
  void TearDown() override { ::unsetenv("TZ"); }

  std::string at(const std::string& name) const { return folder_.path() + "/" + name; }
  static std::vector<std::uint8_t> bytesOf(const std::string& name) {
    const std::string bytes = readBytes(std::string(KELVANE_TEST_DATA_DIR) + "/media/" + name);
    return {bytes.begin(), bytes.end()};
  }
  void copy(const std::string& name) const { writeBytes(at(name), bytesOf(name)); }
  ProcessResult sort(std::vector<std::string> options) const {
    options.insert(options.begin(), {KELVANE_BINARY, "--no-window"});
    options.push_back(folder_.path());
    return runProgram(options);
  }

  TemporaryFolder state_;
  TemporaryFolder folder_;
};

TEST_F(AllMedia, EveryFormatGoesByItsOwnDate) {
  ::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);  // the mp4's 02:30 UTC is the evening before there
  const ProcessResult run = sort({"--all-media"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  for (const auto& [name, date] : kMedia)
    EXPECT_TRUE(fs::exists(at(date + "/" + name))) << name << "\n" << run.out;
  EXPECT_TRUE(fs::exists(at("2021-07-04/clip.mp4"))) << run.out;
  EXPECT_TRUE(fs::exists(at("2018-01-02/jpeg-named.png")));  // told by its bytes
  for (const char* line : {"Invalid file: notes.txt\n", "No date found: cut.heic\n"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
  }
}

// Raw files that are not TIFF, told by their first bytes: a damaged one stays
// where it is, and nothing of them is read without the option.
TEST_F(AllMedia, RawFilesThatAreNotTiffGoByTheirOwnDate) {
  ::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);  // a CRW's midnight would be the day before there
  const std::vector<std::uint8_t> jpeg = jpegWithDate("2017:02:03 04:05:06");
  writeBytes(at("DSCF1.RAF"), rafWith(jpeg));
  writeBytes(at("PICT2.MRW"), mrwWith(tiffWithDate("2017:02:04 04:05:06", ByteOrder::Motorola).bytes()));
  writeBytes(at("mrw-named.raf"), mrwWith(tiffWithDate("2017:02:05 04:05:06", ByteOrder::Motorola).bytes()));
  writeBytes(at("DSCF3.RAF"), rafWith(jpeg, 0xFFFF'FF00));
  writeBytes(at("PICT4.MRW"), mrwWith(tiffWithDate("2017:02:06 04:05:06").bytes(), 0xFFFF'FFFF));
  writeBytes(at("CRW_5.CRW"), crwWith(1'486'252'800));     // 2017-02-05 00:00:00 on the camera's clock
  writeBytes(at("CRW_6.CRW"), crwWith(std::uint32_t{0}));  // time unknown
  const std::vector<std::string> dated = {"2017-02-03/DSCF1.RAF", "2017-02-04/PICT2.MRW",
                                          "2017-02-05/mrw-named.raf", "2017-02-05/CRW_5.CRW"};
  const std::vector<std::string> undated = {"DSCF3.RAF", "PICT4.MRW", "CRW_6.CRW"};

  const ProcessResult without = sort({});
  EXPECT_EQ(without.exitStatus, 0) << without.err;
  for (const char* name : {"DSCF1.RAF", "PICT2.MRW", "DSCF3.RAF", "CRW_5.CRW"})
    EXPECT_NE(without.out.find(std::string("Invalid file: ") + name + "\n"), std::string::npos)
        << without.out;

  const ProcessResult run = sort({"--all-media"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  for (const std::string& path : dated) EXPECT_TRUE(fs::exists(at(path))) << path << "\n" << run.out;
  for (const std::string& name : undated) {
    EXPECT_TRUE(fs::exists(at(name))) << name;
    EXPECT_NE(run.out.find("No date found: " + name + "\n"), std::string::npos) << run.out;
  }
}

TEST_F(AllMedia, VideoUtcKeepsTheMovieHeadersUtcDate) {
  ::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  EXPECT_EQ(sort({"--all-media", "--video-utc"}).exitStatus, 0);
  EXPECT_TRUE(fs::exists(at("2021-07-05/clip.mp4")));
  EXPECT_TRUE(fs::exists(at("2021-07-06/clip.mov")));  // Apple's key is local time already
}

// The movie header of a CR3 holds UTC, a day off from the camera's own date
// both east and west of it; the Exif block's date wins wherever the program
// runs. 2022-03-11 12:00 UTC is the 12th in Kiritimati, the 11th in Los Angeles.
TEST_F(AllMedia, ACanonRawGoesByItsExifDateInEveryZone) {
  for (const char* zone : {"Pacific/Kiritimati", "America/Los_Angeles"}) {
    TemporaryFolder folder;
    writeBytes(folder.path() + "/IMG_1.CR3", canonRaw("2022:03:10 18:00:00", movieTime(1'647'000'000)));
    ::setenv("TZ", zone, 1);
    const ProcessResult run = runProgram({KELVANE_BINARY, "--no-window", "--all-media", folder.path()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(fs::exists(folder.path() + "/2022-03-10/IMG_1.CR3")) << zone << "\n" << run.out;
  }
}

// A QuickTime file that begins with another box than ftyp is a movie, dated
// by its header; one whose first box has an impossible size is no file of ours.
TEST_F(AllMedia, AQuickTimeFileWithoutFtypGoesByItsMovieHeader) {
  const Bytes moov = box("moov", movieHeader(movieTime(1'625'452'200)));  // 2021-07-05 02:30 UTC
  writeBytes(at("old.mov"), box("wide", {}) + box("mdat", Bytes(32, 0)) + moov);
  writeBytes(at("odd.mov"), big(4, 4) + text("wide") + moov);
  const ProcessResult run = sort({"--all-media", "--video-utc"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_TRUE(fs::exists(at("2021-07-05/old.mov"))) << run.out;
  EXPECT_NE(run.out.find("Invalid file: odd.mov\n"), std::string::npos) << run.out;
}

TEST_F(AllMedia, WithoutTheOptionOnlyJpegFilesMove) {
  const ProcessResult run = sort({});
  EXPECT_EQ(run.exitStatus, 0);
  for (const auto& [name, date] : kMedia) {
    EXPECT_NE(run.out.find("Invalid file: " + name + "\n"), std::string::npos) << run.out;
  }
  EXPECT_TRUE(fs::exists(at("2018-01-02/jpeg-named.png")));
}

// Raw partners and sidecars go with their photo in one step, a line each,
// under names that match its own: a name taken in the date folder for any of
// them stops the run before the group moves, leaves the whole group (skip) or
// gives every member the same free number (rename). A raw file without a
// photo is one itself, and --undo takes each run back.
TEST(AllMediaCompanions, GoWithTheirPhotoUnderMatchingNamesOrStayWithIt) {
  TemporaryFolder state;
  ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
  TemporaryFolder folder;
  const auto put = [&](const std::string& name, const std::vector<std::uint8_t>& bytes) {
    writeBytes(folder.path() + "/" + name, bytes);
  };
  const std::string tiff = readBytes(std::string(KELVANE_TEST_DATA_DIR) + "/media/photo.tif");  // 2019-05-10
  put("IMG_1.JPG", jpegWithDate("2020:09:02 10:00:00"));
  put("IMG_1.CR2", {tiff.begin(), tiff.end()});
  for (const char* sidecar : {"IMG_1.xmp", "IMG_1.JPG.XMP", "IMG_1.AAE", "RAW_2.pp3", "lonely.xmp"})
    put(sidecar, {'s'});
  put("RAW_2.NEF", {tiff.begin(), tiff.end()});
  ::mkdir((folder.path() + "/2020-09-02").c_str(), 0700);
  put("2020-09-02/IMG_1.AAE", {'t'});  // another photo's sidecar
  const auto before = folderFiles(folder.path());
  const auto sortWith = [&](const std::string& onCollision) {
    return runProgram(
        {KELVANE_BINARY, "--no-window", "--all-media", "--on-collision=" + onCollision, folder.path()});
  };
  const auto expectFiles = [&](const std::vector<std::string>& paths, const ProcessResult& run) {
    const auto now = folderFiles(folder.path());
    for (const std::string& path : paths) EXPECT_EQ(now.count(path), 1u) << path << "\n" << run.out;
  };

  const ProcessResult stopped = sortWith("stop");
  EXPECT_EQ(stopped.exitStatus, 1);
  EXPECT_EQ(stopped.err,
            "[Kelvane] Error # 58 File already exists: " + folder.path() + "/2020-09-02/IMG_1.AAE\n");
  EXPECT_EQ(stopped.out.find("Moving"), std::string::npos) << stopped.out;
  EXPECT_EQ(folderFiles(folder.path()), before);

  const ProcessResult skipped = sortWith("skip");
  EXPECT_EQ(skipped.exitStatus, 0) << skipped.err;
  EXPECT_NE(skipped.out.find("Name taken: \"IMG_1.AAE\" in \"2020-09-02\"\n"), std::string::npos)
      << skipped.out;
  EXPECT_EQ(skipped.out.find("Moving \"IMG_1"), std::string::npos) << skipped.out;
  EXPECT_NE(skipped.out.find("Invalid file: lonely.xmp\n"), std::string::npos);
  expectFiles({"IMG_1.JPG", "IMG_1.CR2", "IMG_1.xmp", "IMG_1.JPG.XMP", "IMG_1.AAE", "2019-05-10/RAW_2.NEF",
               "2019-05-10/RAW_2.pp3", "lonely.xmp"},
              skipped);
  EXPECT_EQ(runProgram({KELVANE_BINARY, "--undo"}).exitStatus, 0);
  EXPECT_EQ(folderFiles(folder.path()), before);

  const ProcessResult renamed = sortWith("rename");
  EXPECT_EQ(renamed.exitStatus, 0) << renamed.err;
  EXPECT_NE(
      renamed.out.find(
          "Moving \"IMG_1.JPG\" to \"2020-09-02\" as \"IMG_1 (2).JPG\"\n"
          "Moving \"IMG_1.AAE\" to \"2020-09-02\" as \"IMG_1 (2).AAE\" with \"IMG_1.JPG\"\n"
          "Keeping \"IMG_1.CR2\" with \"IMG_1.JPG\" in \"2020-09-02\"; its own date says \"2019-05-10\"\n"
          "Moving \"IMG_1.CR2\" to \"2020-09-02\" as \"IMG_1 (2).CR2\" with \"IMG_1.JPG\"\n"
          "Moving \"IMG_1.JPG.XMP\" to \"2020-09-02\" as \"IMG_1 (2).JPG.XMP\" with \"IMG_1.JPG\"\n"
          "Moving \"IMG_1.xmp\" to \"2020-09-02\" as \"IMG_1 (2).xmp\" with \"IMG_1.JPG\"\n"),
      std::string::npos)
      << renamed.out;
  expectFiles({"2020-09-02/IMG_1.AAE", "2020-09-02/IMG_1 (2).JPG", "2020-09-02/IMG_1 (2).AAE",
               "2020-09-02/IMG_1 (2).CR2", "2020-09-02/IMG_1 (2).JPG.XMP", "2020-09-02/IMG_1 (2).xmp"},
              renamed);
  EXPECT_EQ(runProgram({KELVANE_BINARY, "--undo"}).exitStatus, 0);
  EXPECT_EQ(folderFiles(folder.path()), before);
}

// A photo named on its own takes the companions along that naming its folder
// would; a companion named on its own stays with its photo, and says so;
// without --all-media the photo goes alone, as ever.
TEST(AllMediaCompanions, GoWithAPhotoNamedOnItsOwn) {
  TemporaryFolder state;
  ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
  TemporaryFolder folder;
  const auto at = [&](const std::string& name) { return folder.path() + "/" + name; };
  const std::string tiff = readBytes(std::string(KELVANE_TEST_DATA_DIR) + "/media/photo.tif");  // 2019-05-10
  writeBytes(at("IMG_1.JPG"), jpegWithDate("2020:09:02 10:00:00"));
  writeBytes(at("IMG_1.CR2"), {tiff.begin(), tiff.end()});
  writeBytes(at("IMG_2.JPG"), jpegWithDate("2020:09:03 10:00:00"));
  for (const char* sidecar : {"IMG_1.xmp", "IMG_1.JPG.xmp", "IMG_2.xmp"}) writeBytes(at(sidecar), {'s'});
  const auto sort = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {KELVANE_BINARY, "--no-window"});
    return runProgram(arguments);
  };
  const std::string banner = "Kelvane v.0.1.10\n\n";

  for (const char* companion : {"IMG_1.xmp", "IMG_1.CR2", "IMG_1.JPG.xmp"}) {
    const ProcessResult left = sort({"--all-media", at(companion)});
    EXPECT_EQ(left.exitStatus, 0) << left.err;
    EXPECT_EQ(left.out, banner + "Keeping \"" + companion + "\" with \"IMG_1.JPG\"\nFinished\n");
  }
  const ProcessResult alone = sort({at("IMG_2.JPG")});
  EXPECT_EQ(alone.out,
            banner + "Creating Directory \"2020-09-03\"\nMoving \"IMG_2.JPG\" to \"2020-09-03\"\nFinished\n");
  const ProcessResult together = sort({"--all-media", at("IMG_1.JPG")});
  EXPECT_EQ(together.exitStatus, 0) << together.err;
  EXPECT_EQ(
      together.out,
      banner +
          "Creating Directory \"2020-09-02\"\n"
          "Moving \"IMG_1.JPG\" to \"2020-09-02\"\n"
          "Keeping \"IMG_1.CR2\" with \"IMG_1.JPG\" in \"2020-09-02\"; its own date says \"2019-05-10\"\n"
          "Moving \"IMG_1.CR2\" to \"2020-09-02\" with \"IMG_1.JPG\"\n"
          "Moving \"IMG_1.JPG.xmp\" to \"2020-09-02\" with \"IMG_1.JPG\"\n"
          "Moving \"IMG_1.xmp\" to \"2020-09-02\" with \"IMG_1.JPG\"\n"
          "Finished\n");
  std::map<std::string, std::string> expected;
  for (const char* dated : {"2020-09-02/IMG_1.JPG", "2020-09-02/IMG_1.CR2", "2020-09-02/IMG_1.JPG.xmp",
                            "2020-09-02/IMG_1.xmp", "2020-09-03/IMG_2.JPG", "IMG_2.xmp"}) {
    expected[dated] = "";
  }
  std::map<std::string, std::string> now;
  for (const auto& [path, bytes] : folderFiles(folder.path())) {
    if (bytes != "/") now[path] = "";
  }
  EXPECT_EQ(now, expected);
}

}  // namespace
}  // namespace kelvane
