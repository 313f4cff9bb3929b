// kelvane --no-window run as a child process over folders laid out per row:
// the exact log, the boxes and failure line, the exit status, and what the
// folder holds afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A date entry whose text lies far past the end of the file, then the capture
// date: Yes reads on to the date, No ends the walk before it.
Bytes damagedPhoto() {
  TiffBuilder tiff(ByteOrder::Intel);
  const std::string date = "2024:01:02 07:00:00";
  tiff.directory(
      {{270, kAscii, 5, tiff.number(0x7000)},
       {36867, kAscii, static_cast<std::uint32_t>(date.size() + 1), tiff.number(8 + 2 + 2 * 12 + 4)}});
  tiff.text(date);
  tiff.append({0});
  return JpegBuilder().soi().app0().exif(tiff).padding(32).eoi().bytes();
}

// IFD0 declares 65535 entries and the file ends there: a box for every read.
Bytes endlessPhoto() {
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.u16(0xFFFF);
  return JpegBuilder().soi().exif(tiff).bytes();
}

Bytes photoWithoutDate() {
  TiffBuilder tiff(ByteOrder::Motorola);
  tiff.directory({{271, kAscii, 4, TiffBuilder::raw('A', 'c', 'm', 0)}});
  return JpegBuilder().soi().app0().exif(tiff).padding(32).eoi().bytes();
}

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Every file a row may place, by the key its entries name.
const std::map<std::string, Bytes>& contents() {
  static const std::map<std::string, Bytes> all = {
      {"jan2a", jpegWithDate("2024:01:02 08:00:00")},
      {"jan2b", jpegWithDate("2024:01:02 09:30:00", ByteOrder::Motorola)},
      {"jan2c", jpegWithDate("2024:01:02 23:59:59")},
      {"dec31", jpegWithDate("2023:12:31 12:00:00")},
      {"nodate", photoWithoutDate()},
      {"noexif", JpegBuilder().soi().app0().padding(64).eoi().bytes()},
      {"text", {'n', 'o', 't', 'e', 's', '\n'}},
      {"older", {'a', 'n', ' ', 'o', 'l', 'd', 'e', 'r', ' ', 'f', 'i', 'l', 'e', '\n'}},
      {"empty", {}},
      {"damaged", damagedPhoto()},
      {"endless", endlessPhoto()},
      {"latin1", jpegWithDate("2024:01:0\xe9 10:00:00")},
      {"slash", jpegWithDate("2024/01/02 10:00:00")},
      {"dots", jpegWithDate("..")},
      {"blank", jpegWithDate("")},
      {"canon", readFile(fs::path(KELVANE_SHARED_DIR) / "corpus" / "ianare-canon-40d.jpg")},
  };
  return all;
}

// Folder entries, relative to the row's folder: "NAME=KEY" a file with the
// contents of KEY, "NAME->TARGET" a symbolic link, "NAME|" a FIFO, "NAME/" an
// empty folder. Folders that hold something are implied by their entries.
using Tree = std::vector<std::string>;

void plant(const fs::path& top, const Tree& tree) {
  for (const std::string& entry : tree) {
    if (const auto arrow = entry.find("->"); arrow != std::string::npos) {
      const fs::path link = top / entry.substr(0, arrow);
      fs::create_directories(link.parent_path());
      fs::create_symlink(entry.substr(arrow + 2), link);
    } else if (const auto equals = entry.rfind('='); equals != std::string::npos) {
      const fs::path file = top / entry.substr(0, equals);
      fs::create_directories(file.parent_path());
      const Bytes& bytes = contents().at(entry.substr(equals + 1));
      std::ofstream(file, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    } else if (entry.ends_with('|')) {
      const fs::path fifo = top / entry.substr(0, entry.size() - 1);
      fs::create_directories(fifo.parent_path());
      ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << entry;
    } else {
      fs::create_directories(top / entry);
    }
  }
}

// The folder as entries, sorted; a file whose bytes no key has shows "=?".
Tree treeOf(const fs::path& top) {
  Tree tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(top)) {
    const std::string name = entry.path().lexically_relative(top).string();
    const fs::file_status status = entry.symlink_status();
    if (fs::is_symlink(status)) {
      tree.push_back(name + "->" + fs::read_symlink(entry.path()).string());
    } else if (fs::is_directory(status)) {
      if (fs::is_empty(entry.path())) tree.push_back(name + "/");
    } else if (fs::is_fifo(status)) {
      tree.push_back(name + "|");
    } else {
      std::string key = "?";
      const Bytes bytes = readFile(entry.path());
      for (const auto& [candidate, candidateBytes] : contents()) {
        if (candidateBytes == bytes) key = candidate;
      }
      tree.push_back(name + "=" + key);
    }
  }
  std::sort(tree.begin(), tree.end());
  return tree;
}

const std::string kBanner = "Kelvane v.0.1.10\n\n";
const std::string kFinished = "Finished\n";
const std::string kTaken = "[Kelvane] Error # 58 ";  // the description is the program's own
const std::string kDamagedBox =
    "[Get Directory Entries] Error # 9 Subscript out of range\n\nContinue anyway?\n";

std::string repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

struct Row {
  std::string name;
  Tree before;
  std::vector<std::string> arguments;  // "@" stands for the row's folder
  std::string workingFolder;           // relative to the row's folder
  std::string out;                     // "@" as above
  std::string err;                     // exact; kTaken: one line beginning so; "*": anything but empty
  int status;
  Tree after;  // empty: as before
};

// clang-format off
const Tree kMixed = {"p/a.jpg=jan2a", "p/b.jpg=dec31",       "p/c.jpg=jan2b",       "p/canon.jpg=canon",
                     "p/empty=empty", "p/nodate.jpg=nodate", "p/noexif.jpg=noexif", "p/notes.txt=text"};
const std::string kMixedLog = kBanner +
    "Input Directory: @/p\n"
    "Creating Directory \"2024-01-02\"\nMoving \"a.jpg\" to \"2024-01-02\"\n"
    "Creating Directory \"2023-12-31\"\nMoving \"b.jpg\" to \"2023-12-31\"\n"
    "Moving \"c.jpg\" to \"2024-01-02\"\n"
    "Creating Directory \"2008-05-30\"\nMoving \"canon.jpg\" to \"2008-05-30\"\n"
    "Invalid file: empty\nNo date found: nodate.jpg\nInvalid file: noexif.jpg\nInvalid file: notes.txt\n" + kFinished;
const Tree kMixedSorted = {"p/2008-05-30/canon.jpg=canon", "p/2023-12-31/b.jpg=dec31", "p/2024-01-02/a.jpg=jan2a",
                           "p/2024-01-02/c.jpg=jan2b", "p/empty=empty", "p/nodate.jpg=nodate",
                           "p/noexif.jpg=noexif", "p/notes.txt=text"};

const std::vector<Row> kRows = {
    {"MixedFolder", kMixed, {"--no-window", "@/p"}, "", kMixedLog, "", 0, kMixedSorted},
    {"WithoutADisplayPathsAloneSortAsNoWindow", kMixed, {"@/p"}, "", kMixedLog, "", 0, kMixedSorted},
    {"EmptyFolder",
     {"p/"},
     {"--no-window", "@/p"}, "",
     kBanner + "Input Directory: @/p\n" + kFinished, "", 0, {}},
    {"TakenNameStopsAtTheMove",
     {"p/2024-01-02/b.jpg=older", "p/a.jpg=jan2a", "p/b.jpg=jan2b", "p/c.jpg=jan2c"},
     {"--no-window", "@/p"}, "",
     kBanner +
         "Input Directory: @/p\nMoving \"a.jpg\" to \"2024-01-02\"\nMoving \"b.jpg\" to \"2024-01-02\"\n", kTaken, 1,
     {"p/2024-01-02/a.jpg=jan2a", "p/2024-01-02/b.jpg=older", "p/b.jpg=jan2b", "p/c.jpg=jan2c"}},
    {"FileBearingTheDateFolderNameStopsAtTheCreation",
     {"p/2024-01-02=text", "p/a.jpg=jan2a", "p/b.jpg=dec31"},
     {"--no-window", "@/p"}, "",
     kBanner + "Input Directory: @/p\nInvalid file: 2024-01-02\nCreating Directory \"2024-01-02\"\n", kTaken, 1, {}},
    {"ArgumentsFormOneBatch",
     {"one/a.jpg=jan2a", "two/x.jpg=dec31", "two/y.jpg=noexif", "three/c.jpg=jan2b"},
     {"--no-window", "@/one", "@/two/x.jpg", "@/missing", "", "@/three"}, "",
     kBanner +
         "Input Directory: @/one\nCreating Directory \"2024-01-02\"\nMoving \"a.jpg\" to \"2024-01-02\"\n"
         "Creating Directory \"2023-12-31\"\nMoving \"x.jpg\" to \"2023-12-31\"\n"
         "Input Directory: @/three\nCreating Directory \"2024-01-02\"\nMoving \"c.jpg\" to \"2024-01-02\"\n" +
         kFinished, "", 0,
     {"one/2024-01-02/a.jpg=jan2a", "three/2024-01-02/c.jpg=jan2b", "two/2023-12-31/x.jpg=dec31",
      "two/y.jpg=noexif"}},
    {"AFailureEndsTheBatch",
     {"one/2024-01-02/a.jpg=older", "one/a.jpg=jan2a", "two/b.jpg=jan2b"},
     {"--no-window", "@/one", "@/two"}, "",
     kBanner + "Input Directory: @/one\nMoving \"a.jpg\" to \"2024-01-02\"\n", kTaken, 1, {}},
    {"BlanksAndQuotesBelongToTheName",
     {"my \"best\" photos/\"a\" b.jpg=jan2a", "x y.jpg=dec31"},
     {"--no-window", "\"@/my \"best\" photos\"", "@/my \"best\" photos", "@/x y.jpg"}, "",
     kBanner +
         "Input Directory: @/my \"best\" photos\nCreating Directory \"2024-01-02\"\n"
         "Moving \"\"a\" b.jpg\" to \"2024-01-02\"\n"
         "Creating Directory \"2023-12-31\"\nMoving \"x y.jpg\" to \"2023-12-31\"\n" +
         kFinished, "", 0,
     {"2023-12-31/x y.jpg=dec31", "my \"best\" photos/2024-01-02/\"a\" b.jpg=jan2a"}},
    {"RelativePathsAndBareNamesFromTheWorkingFolder",
     {"w/sub/p.jpg=jan2a", "w/sub/q.jpg=jan2c", "w/bare.jpg=dec31", "w/dot.jpg=jan2b"},
     {"--no-window", "sub", "bare.jpg", "./dot.jpg"}, "w",
     kBanner +
         "Input Directory: sub\nCreating Directory \"2024-01-02\"\nMoving \"p.jpg\" to \"2024-01-02\"\n"
         "Moving \"q.jpg\" to \"2024-01-02\"\n"
         "Creating Directory \"2023-12-31\"\nMoving \"bare.jpg\" to \"2023-12-31\"\n"
         "Creating Directory \"2024-01-02\"\nMoving \"dot.jpg\" to \"2024-01-02\"\n" +
         kFinished, "", 0,
     {"w/2023-12-31/bare.jpg=dec31", "w/2024-01-02/dot.jpg=jan2b", "w/sub/2024-01-02/p.jpg=jan2a",
      "w/sub/2024-01-02/q.jpg=jan2c"}},
    {"EmptyArgumentNamesNothing",
     {"w/a.jpg=jan2a"},
     {"--no-window", ""}, "w",
     kBanner + kFinished, "", 0, {}},
    {"MissingPathsPrintNothing",
     {"w/a.jpg=jan2a"},
     {"--no-window", "@/nope", "@/w/nope.jpg", "@/nope/a.jpg"}, "w",
     kBanner + kFinished, "", 0, {}},
    {"DoubleDashBeforeADashedPath",
     {"-p/a.jpg=jan2a", "-b.jpg=dec31"},
     {"--no-window", "--", "-p", "-b.jpg"}, "",
     kBanner +
         "Input Directory: -p\nCreating Directory \"2024-01-02\"\nMoving \"a.jpg\" to \"2024-01-02\"\n"
         "Creating Directory \"2023-12-31\"\nMoving \"-b.jpg\" to \"2023-12-31\"\n" +
         kFinished, "", 0,
     {"-p/2024-01-02/a.jpg=jan2a", "2023-12-31/-b.jpg=dec31"}},
    {"DamagedFileAnsweredYesByDefault",
     {"p/d.jpg=damaged"},
     {"--no-window", "@/p"}, "",
     kBanner +
         "Input Directory: @/p\nCreating Directory \"2024-01-02\"\nMoving \"d.jpg\" to \"2024-01-02\"\n" +
         kFinished, repeat(kDamagedBox, 6), 0,
     {"p/2024-01-02/d.jpg=damaged"}},
    {"DamagedFileAnsweredNoStops",
     {"p/d.jpg=damaged"},
     {"--no-window", "--answer=no", "@/p"}, "",
     kBanner + "Input Directory: @/p\nNo date found: d.jpg\n" + kFinished, kDamagedBox, 0, {}},
    {"EveryFileGetsItsOwnThousandBoxes",
     {"p/a.jpg=endless", "p/b.jpg=endless"},
     {"--no-window", "@/p"}, "",
     kBanner + "Input Directory: @/p\nNo date found: a.jpg\nNo date found: b.jpg\n" + kFinished,
     repeat(kDamagedBox, 2 * 1001), 0, {}},
    {"DateTextsBecomeFolderNames",
     {"p/dots.jpg=dots", "p/empty.jpg=blank", "p/latin1.jpg=latin1", "p/slash.jpg=slash"},
     {"--no-window", "@/p"}, "",
     kBanner + "Input Directory: @/p\nNo date found: dots.jpg\nNo date found: empty.jpg\n"
         "Creating Directory \"2024-01-0\xc3\xa9\"\nMoving \"latin1.jpg\" to \"2024-01-0\xc3\xa9\"\n"
         "No date found: slash.jpg\n" +
         kFinished, "", 0,
     {"p/2024-01-0\xc3\xa9/latin1.jpg=latin1", "p/dots.jpg=dots", "p/empty.jpg=blank", "p/slash.jpg=slash"}},
    {"FolderTextIsJoinedAsGiven",
     {"p/a.jpg=jan2a"},
     {"--no-window", "@/p/"}, "",
     kBanner +
         "Input Directory: @/p/\nCreating Directory \"2024-01-02\"\nMoving \"a.jpg\" to \"2024-01-02\"\n" +
         kFinished, "", 0,
     {"p/2024-01-02/a.jpg=jan2a"}},
    {"FifoIsPassedOverAndStays",
     {"p/a.jpg=jan2a", "p/pipe|"},
     {"--no-window", "@/p", "@/p/pipe"}, "",
     kBanner +
         "Input Directory: @/p\nCreating Directory \"2024-01-02\"\nMoving \"a.jpg\" to \"2024-01-02\"\n" +
         kFinished, "", 0,
     {"p/2024-01-02/a.jpg=jan2a", "p/pipe|"}},
    {"HiddenFilesAndLinksStay",
     {"p/.hidden.jpg=jan2a", "p/.hidden/e.jpg=jan2c", "p/b.jpg=dec31", "p/link.jpg->b.jpg",
      "p/outside.jpg->../q/c.jpg", "p/folder->../q", "q/c.jpg=jan2b"},
     {"--no-window", "@/p"}, "",
     kBanner +
         "Input Directory: @/p\nCreating Directory \"2023-12-31\"\nMoving \"b.jpg\" to \"2023-12-31\"\n" +
         kFinished, "", 0,
     {"p/.hidden.jpg=jan2a", "p/.hidden/e.jpg=jan2c", "p/2023-12-31/b.jpg=dec31", "p/folder->../q",
      "p/link.jpg->b.jpg", "p/outside.jpg->../q/c.jpg", "q/c.jpg=jan2b"}},
    {"LinkToAFolderIsAFolder",
     {"q/c.jpg=jan2b", "l->q"},
     {"--no-window", "@/l"}, "",
     kBanner +
         "Input Directory: @/l\nCreating Directory \"2024-01-02\"\nMoving \"c.jpg\" to \"2024-01-02\"\n" +
         kFinished, "", 0,
     {"l->q", "q/2024-01-02/c.jpg=jan2b"}},
    {"NamedLinkToAFileSortsThePhotoItLeadsTo",
     {"p/a.jpg=jan2a", "l.jpg->p/a.jpg"},
     {"--no-window", "@/l.jpg"}, "",
     kBanner + "Creating Directory \"2024-01-02\"\nMoving \"a.jpg\" to \"2024-01-02\"\n" + kFinished, "", 0,
     {"l.jpg->p/a.jpg", "p/2024-01-02/a.jpg=jan2a"}},
    {"DashedPathWithoutDoubleDashIsAUsageError",
     {"-p/a.jpg=jan2a"},
     {"--no-window", "-p"}, "", "", "*", 2, {}},
};
// clang-format on

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

std::string withFolder(std::string text, const std::string& folder) {
  for (auto at = text.find('@'); at != std::string::npos; at = text.find('@', at + folder.size())) {
    text.replace(at, 1, folder);
  }
  return text;
}

class NoWindowContract : public ::testing::TestWithParam<Row> {};

TEST_P(NoWindowContract, Runs) {
  const Row& row = GetParam();
  TemporaryFolder top;
  plant(top.path(), row.before);
  const Tree before = treeOf(top.path());
  ASSERT_EQ(before.size(), row.before.size()) << "a row's entries are planted one for one";

  std::vector<std::string> command{KELVANE_BINARY};
  for (const std::string& argument : row.arguments) command.push_back(withFolder(argument, top.path()));
  const ProcessResult result =
      runProgram(command, top.path() + "/" + row.workingFolder, std::chrono::seconds(20));

  EXPECT_EQ(result.killedBySignal, 0);
  EXPECT_EQ(result.exitStatus, row.status);
  EXPECT_LT(result.seconds, 5.0);
  EXPECT_EQ(result.out, withFolder(row.out, top.path()));
  if (row.err == "*") {
    EXPECT_NE(result.err, "");
  } else if (row.err == kTaken) {
    EXPECT_TRUE(result.err.starts_with(kTaken)) << result.err;
    EXPECT_TRUE(result.err.ends_with("\n") && result.err.find('\n') == result.err.size() - 1) << result.err;
  } else {
    EXPECT_EQ(result.err, row.err);
  }
  Tree expected = row.after.empty() ? row.before : row.after;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(treeOf(top.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, NoWindowContract, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& row) { return row.param.name; });

}  // namespace
}  // namespace kelvane
