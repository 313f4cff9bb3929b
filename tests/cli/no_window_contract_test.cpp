// kelvane --no-window run as a child process over folders laid out per row:
// the exact log, the boxes and failure line, the exit status, and what the
// folder holds afterwards.
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "disk_files.h"
#include "test_data.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// IFD0 holds ASCII entries, then a date and its NUL at 8 + 2 + 12 n + 4.
struct Ascii {
  std::uint16_t tag;
  std::uint32_t count, at;
};
Bytes photoWithText(ByteOrder order, const std::vector<Ascii>& ascii, const std::string& text) {
  TiffBuilder tiff(order);
  std::vector<DirectoryEntry> entries;
  for (const Ascii& e : ascii) entries.push_back({e.tag, kAscii, e.count, tiff.number(e.at)});
  tiff.directory(entries);
  tiff.text(text);
  tiff.append({0});
  return JpegBuilder().soi().app0().exif(tiff).padding(32).eoi().bytes();
}

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// 5,000 bytes past the end of the file, then the date: Yes to every box reaches it.
Bytes storm() {
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.directory({{700, kByte, 5000, tiff.number(0x7000)}, {36867, kAscii, 20, tiff.number(38)}});
  tiff.text("2024:01:02 07:00:00");
  tiff.append({0});
  return JpegBuilder().soi().exif(tiff).bytes();
}

// Every file a row may place, by the key its entries name.
const std::map<std::string, Bytes>& contents() {
  static const std::map<std::string, Bytes> all = [] {
    TiffBuilder endless(ByteOrder::Intel);  // IFD0 declares 65535 entries and the file ends there
    endless.u16(0xFFFF);
    return std::map<std::string, Bytes>{
        {"jan2a", jpegWithDate("2024:01:02 08:00:00")},
        {"jan2b", jpegWithDate("2024:01:02 09:30:00", ByteOrder::Motorola)},
        {"jan2c", jpegWithDate("2024:01:02 23:59:59")},
        {"dec31", jpegWithDate("2023:12:31 12:00:00")},
        // Only the date of digitising, which is not the capture date.
        {"nodate", photoWithText(ByteOrder::Motorola, {{36868, 20, 26}}, "2024:01:02 10:00:00")},
        {"noexif", JpegBuilder().soi().app0().padding(64).eoi().bytes()},
        {"text", {'n', 'o', 't', 'e', 's', '\n'}},
        {"older", {'o', 'l', 'd', 'e', 'r', '\n'}},
        {"empty", {}},
        // A text far past the end of the file, then the date: Yes reads on to it, No ends the walk.
        {"damaged",
         photoWithText(ByteOrder::Intel, {{270, 5, 0x7000}, {36867, 20, 38}}, "2024:01:02 07:00:00")},
        {"endless", JpegBuilder().soi().exif(endless).bytes()},
        {"latin1", jpegWithDate("2024:01:0\xe9 10:00:00")},
        {"slash", jpegWithDate("2024/01/02 10:00:00")},
        {"short", jpegWithDate("..")},  // up to four bytes: the text is the field itself
        {"hidden", jpegWithDate(".thumbnails")},
        {"dots", jpegWithDate("...:01:02 10:00:00")},
        {"camera", readFile(testPhoto("mei-fujifilm-finepix1400zoom-1.jpg"))},
        {"its", readFile(testPhoto("mei-its-c3018ebe53d0.jpg"))},  // a SHORT count of about five million
        {"storm", storm()},
    };
  }();
  return all;
}

// Folder entries, relative to the row's folder: "NAME=KEY" a file with the
// contents of KEY, "NAME->TARGET" a symbolic link, "NAME|" a FIFO, "NAME/" an
// empty folder. Folders that hold something are implied by their entries.
using Tree = std::vector<std::string>;

void plant(const fs::path& top, const std::string& entry) {
  constexpr auto kNone = std::string::npos;
  const auto arrow = entry.find("->");
  const auto equals = entry.rfind('=');
  const fs::path path = top / entry.substr(0, std::min({arrow, equals, entry.size() - 1}));
  fs::create_directories(path.parent_path());
  if (arrow != kNone) {
    fs::create_symlink(entry.substr(arrow + 2), path);
  } else if (equals != kNone) {
    const Bytes& bytes = contents().at(entry.substr(equals + 1));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  } else if (entry.ends_with('|')) {
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << entry;
  } else {
    fs::create_directory(path);
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
      const Bytes bytes = readFile(entry.path());
      const auto known = std::find_if(contents().begin(), contents().end(),
                                      [&](const auto& candidate) { return candidate.second == bytes; });
      tree.push_back(name + "=" + (known == contents().end() ? "?" : known->first));
    }
  }
  std::sort(tree.begin(), tree.end());
  return tree;
}

// The failure line on standard error, and the log's last line, for a name
// taken at PATH ("@" the row's folder).
std::string takenErr(const std::string& path) {
  return "[Kelvane] Error # 58 File already exists: " + path + "\n";
}
std::string takenOut(const std::string& path) {
  return "Stopped: Error # 58 File already exists: " + path + "\n";
}
const std::string kYesToAllLine =
    "Kelvane: 1000 boxes for one file; its further boxes are answered Yes to All, without being shown\n";
const std::string kDamagedBox =
    "[Get Directory Entries] Error # 9 Subscript out of range\n\nContinue anyway?\n";

std::string repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

const std::string kLoop = "Error # 75 Path/File access error (Too many levels of symbolic links): @/loop\n";

// The log lines of a file moved into its date folder, created first or not.
std::string sorted(const std::string& name, const std::string& folder, bool create = true) {
  const std::string moving = "Moving \"" + name + "\" to \"" + folder + "\"\n";
  return create ? "Creating Directory \"" + folder + "\"\n" + moving : moving;
}

struct Row {
  std::string name;
  Tree before;
  std::vector<std::string> arguments;  // "@" stands for the row's folder
  std::string workingFolder;           // relative to the row's folder
  std::string out;                     // between the banner and "Finished" (status 0); "@" as above
  std::string err;
  int status;
  std::vector<std::string> moves;  // "FILE>DATE": FILE now lies in DATE beside where it was
  Tree after = {};                 // when not empty: the whole tree afterwards, moves ignored
};

// clang-format off
// Everything a folder may hold. Upper case sorts before lower case (by bytes);
// sub-folders are not descended; a FIFO (even named), hidden files and links
// inside the folder stay.
const Tree kMixed = {
    "p/a.jpg=jan2a", "p/b.jpg=dec31", "p/c.jpg=jan2b", "p/camera.jpg=camera", "p/empty=empty", "p/Z.txt=text",
    "p/nodate.jpg=nodate", "p/noexif.jpg=noexif", "p/latin1.jpg=latin1", "p/short.jpg=short",
    "p/slash.jpg=slash", "p/sub/x.jpg=jan2c", "p/pipe|", "p/.hidden.jpg=jan2a", "p/.hidden/e.jpg=jan2c",
    "p/link.jpg->b.jpg", "p/outside.jpg->../q/c.jpg", "p/folder->../q", "p/dangling.jpg->gone",
    "q/c.jpg=jan2b"};
const std::string kMixedLog = "Input Directory: @/p\nInvalid file: Z.txt\n" + sorted("a.jpg", "2024-01-02") +
    sorted("b.jpg", "2023-12-31") + sorted("c.jpg", "2024-01-02", false) + sorted("camera.jpg", "2002-08-15") +
    "Invalid file: empty\n" + sorted("latin1.jpg", "2024-01-0\xc3\xa9") + "No date found: nodate.jpg\n" +
    "Invalid file: noexif.jpg\nNo date found: short.jpg\nNo date found: slash.jpg\n";
const std::vector<std::string> kMixedMoves = {"p/a.jpg>2024-01-02", "p/b.jpg>2023-12-31",
                                              "p/c.jpg>2024-01-02", "p/camera.jpg>2002-08-15",
                                              "p/latin1.jpg>2024-01-0\xc3\xa9"};

const std::vector<Row> kRows = {
    {"MixedFolder", kMixed, {"--no-window", "@/p", "@/p/pipe"}, "", kMixedLog, "", 0, kMixedMoves},
    {"WithoutADisplayPathsAloneSortAsNoWindow", kMixed, {"@/p", "@/p/pipe"}, "", kMixedLog, "", 0,
     kMixedMoves},
    // The taken name stops the run: c.jpg and the second argument stay untouched.
    {"TakenNameStopsTheRunAtTheMove",
     {"p/2024-01-02/b.jpg=older", "p/a.jpg=jan2a", "p/b.jpg=jan2b", "p/c.jpg=jan2c", "q/d.jpg=dec31"},
     {"--no-window", "@/p", "@/q"}, "",
     "Input Directory: @/p\n" + sorted("a.jpg", "2024-01-02", false) + sorted("b.jpg", "2024-01-02", false) +
         takenOut("@/p/2024-01-02/b.jpg"),
     takenErr("@/p/2024-01-02/b.jpg"), 1, {"p/a.jpg>2024-01-02"}},
    {"FileBearingTheDateFolderNameStopsAtTheCreation",
     {"p/2024-01-02=text", "p/a.jpg=jan2a", "p/b.jpg=dec31"}, {"--no-window", "@/p"}, "",
     "Input Directory: @/p\nInvalid file: 2024-01-02\nCreating Directory \"2024-01-02\"\n" +
         takenOut("@/p/2024-01-02"),
     takenErr("@/p/2024-01-02"), 1, {}},
    // A link where a date folder would be is never entered, wherever it leads.
    {"LinkAtTheDateFolderIsATakenName",
     {"p/2023-12-31->../outside", "outside/", "p/a.jpg=dec31", "p/b.jpg=jan2a", "p/2024-01-02->."},
     {"--no-window", "@/p/a.jpg", "@/p"}, "",
     "Creating Directory \"2023-12-31\"\n" + takenOut("@/p/2023-12-31"), takenErr("@/p/2023-12-31"), 1, {}},
    {"LinkToTheOwnFolderAtTheDateFolderIsATakenName", {"p/2024-01-02->.", "p/b.jpg=jan2a"},
     {"--no-window", "@/p"}, "",
     "Input Directory: @/p\nCreating Directory \"2024-01-02\"\n" + takenOut("@/p/2024-01-02"),
     takenErr("@/p/2024-01-02"), 1, {}},
    // A path that may name something out of reach is not passed over.
    {"AnItemOutOfReachStopsTheRun", {"loop->loop", "p/a.jpg=jan2a"}, {"--no-window", "@/loop", "@/p"}, "",
     "Stopped: " + kLoop, "[Kelvane] " + kLoop, 1, {}},
    // A date folder's name must not hide it.
    {"DotFirstIsNoDate", {"p/h.jpg=hidden", "p/d.jpg=dots"}, {"--no-window", "@/p"}, "",
     "Input Directory: @/p\nNo date found: d.jpg\nNo date found: h.jpg\n", "", 0, {}},
    // A file item sorts that file alone; a folder's text is joined as given;
    // missing paths and the empty one (not the working folder) name nothing.
    {"ArgumentsFormOneBatch",
     {"one/a.jpg=jan2a", "two/x.jpg=dec31", "two/y.jpg=noexif", "three/c.jpg=jan2b", "four/"},
     {"--no-window", "@/one", "@/two/x.jpg", "@/missing", "", "@/one/nope.jpg", "@/four", "@/three/"}, "",
     "Input Directory: @/one\n" + sorted("a.jpg", "2024-01-02") + sorted("x.jpg", "2023-12-31") +
         "Input Directory: @/four\nInput Directory: @/three/\n" + sorted("c.jpg", "2024-01-02"),
     "", 0, {"one/a.jpg>2024-01-02", "two/x.jpg>2023-12-31", "three/c.jpg>2024-01-02"}},
    {"BlanksAndQuotesBelongToTheName", {"my \"best\" photos/\"a\" b.jpg=jan2a", "x y.jpg=dec31"},
     {"--no-window", "\"@/my \"best\" photos\"", "@/my \"best\" photos", "@/x y.jpg"}, "",
     "Input Directory: @/my \"best\" photos\n" + sorted("\"a\" b.jpg", "2024-01-02") +
         sorted("x y.jpg", "2023-12-31"),
     "", 0, {"my \"best\" photos/\"a\" b.jpg>2024-01-02", "x y.jpg>2023-12-31"}},
    {"DoubleDashRelativePathsAndBareNames",
     {"w/-b.jpg=jan2b", "w/sub/p.jpg=jan2a", "w/sub/q.jpg=jan2c", "w/bare.jpg=dec31", "w/dot.jpg=jan2b"},
     {"--no-window", "--", "-b.jpg", "sub", "bare.jpg", "./dot.jpg"}, "w",
     sorted("-b.jpg", "2024-01-02") + "Input Directory: sub\n" + sorted("p.jpg", "2024-01-02") +
         sorted("q.jpg", "2024-01-02", false) + sorted("bare.jpg", "2023-12-31") +
         sorted("dot.jpg", "2024-01-02", false),
     "", 0, {"w/-b.jpg>2024-01-02", "w/sub/p.jpg>2024-01-02", "w/sub/q.jpg>2024-01-02",
             "w/bare.jpg>2023-12-31", "w/dot.jpg>2024-01-02"}},
    // Every file gets its own thousand Yes boxes; then its walk goes on as Yes to All.
    {"DamagedFilesAnsweredYes", {"p/a.jpg=endless", "p/b.jpg=endless", "p/d.jpg=damaged"},
     {"--no-window", "--answer", "yes", "@/p"}, "",
     "Input Directory: @/p\nNo date found: a.jpg\nNo date found: b.jpg\n" + sorted("d.jpg", "2024-01-02"),
     repeat(repeat(kDamagedBox, 1000) + kYesToAllLine, 2) + repeat(kDamagedBox, 6), 0, {"p/d.jpg>2024-01-02"}},
    // A taken name need not stop the run: skip leaves the file, rename takes
    // the first free numbered name; a file of the same bytes there is a
    // duplicate either way, and stays.
    {"TakenNamesSkipped",
     {"p/2024-01-02/b.jpg=older", "p/2024-01-02/c.jpg=jan2c", "p/a.jpg=jan2a", "p/b.jpg=jan2b", "p/c.jpg=jan2c",
      "p/d.jpg=dec31"},
     {"--no-window", "--on-collision", "skip", "@/p"}, "",
     "Input Directory: @/p\n" + sorted("a.jpg", "2024-01-02", false) +
         "Name taken: \"b.jpg\" in \"2024-01-02\"\nDuplicate: \"c.jpg\" in \"2024-01-02\"\n" +
         sorted("d.jpg", "2023-12-31"),
     "", 0, {"p/a.jpg>2024-01-02", "p/d.jpg>2023-12-31"}},
    {"TakenNamesRenamed",
     {"p/2024-01-02/b.jpg=older", "p/2024-01-02/b (2).jpg=text", "p/2024-01-02/c=older", "p/2024-01-02/d.jpg=text",
      "p/2024-01-02/d (2).jpg=jan2a", "p/b.jpg=jan2b", "p/c=jan2c", "p/d.jpg=jan2a"},
     {"--no-window", "--on-collision=rename", "@/p"}, "",
     "Input Directory: @/p\nMoving \"b.jpg\" to \"2024-01-02\" as \"b (3).jpg\"\n"
     "Moving \"c\" to \"2024-01-02\" as \"c (2)\"\nDuplicate: \"d.jpg\" in \"2024-01-02\" as \"d (2).jpg\"\n",
     "", 0, {}, {"p/2024-01-02/b.jpg=older", "p/2024-01-02/b (2).jpg=text", "p/2024-01-02/b (3).jpg=jan2b",
                 "p/2024-01-02/c=older", "p/2024-01-02/c (2)=jan2c", "p/2024-01-02/d.jpg=text",
                 "p/2024-01-02/d (2).jpg=jan2a", "p/d.jpg=jan2a"}},
    // Anything at the name makes it taken, never the same bytes: a folder, a
    // FIFO, a link (even one to the very file), and a named link meeting a
    // file of its photo's bytes.
    {"NamesTakenByAnyEntrySkipped",
     {"p/2024-01-02/a.jpg/", "p/2024-01-02/b.jpg|", "p/2024-01-02/c.jpg->../c.jpg", "p/a.jpg=jan2a",
      "p/b.jpg=jan2b", "p/c.jpg=jan2c", "l.jpg->q/e.jpg", "q/e.jpg=dec31", "2023-12-31/l.jpg=dec31"},
     {"--no-window", "--on-collision", "skip", "@/p", "@/l.jpg"}, "",
     "Input Directory: @/p\nName taken: \"a.jpg\" in \"2024-01-02\"\nName taken: \"b.jpg\" in \"2024-01-02\"\n"
     "Name taken: \"c.jpg\" in \"2024-01-02\"\nName taken: \"l.jpg\" in \"2023-12-31\"\n",
     "", 0, {}},
    {"NamesTakenByAnyEntryRenamed",
     {"p/2024-01-02/a.jpg/", "p/2024-01-02/b.jpg|", "p/2024-01-02/c.jpg->../c.jpg", "p/a.jpg=jan2a",
      "p/b.jpg=jan2b", "p/c.jpg=jan2c", "l.jpg->q/e.jpg", "q/e.jpg=jan2a", "2024-01-02/l.jpg=jan2a"},
     {"--no-window", "--on-collision=rename", "@/p", "@/l.jpg"}, "",
     "Input Directory: @/p\nMoving \"a.jpg\" to \"2024-01-02\" as \"a (2).jpg\"\n"
     "Moving \"b.jpg\" to \"2024-01-02\" as \"b (2).jpg\"\nMoving \"c.jpg\" to \"2024-01-02\" as \"c (2).jpg\"\n"
     "Moving \"l.jpg\" to \"2024-01-02\" as \"l (2).jpg\"\n",
     "", 0, {}, {"p/2024-01-02/a.jpg/", "p/2024-01-02/a (2).jpg=jan2a", "p/2024-01-02/b.jpg|",
                 "p/2024-01-02/b (2).jpg=jan2b", "p/2024-01-02/c.jpg->../c.jpg", "p/2024-01-02/c (2).jpg=jan2c",
                 "q/e.jpg=jan2a", "2024-01-02/l.jpg=jan2a", "2024-01-02/l (2).jpg->../q/e.jpg"}},
    // Past the bound, Yes to All: a storm of boxes still reaches the date, and
    // a real photo that would ask five million times ends at once.
    {"AStormOfBoxesStillReachesTheDate", {"p/s.jpg=storm", "p/t.jpg=its"}, {"--no-window", "@/p"}, "",
     "Input Directory: @/p\n" + sorted("s.jpg", "2024-01-02") + "No date found: t.jpg\n",
     repeat(repeat(kDamagedBox, 1000) + kYesToAllLine, 2), 0, {"p/s.jpg>2024-01-02"}},
    {"DamagedFileAnsweredNo", {"p/d.jpg=damaged"}, {"--no-window", "--answer=no", "@/p"}, "",
     "Input Directory: @/p\nNo date found: d.jpg\n", kDamagedBox, 0, {}},
    // A named link to a folder is that folder. One to a file gives the date
    // of the photo it leads to, and is filed itself, still leading there: the
    // photo, outside the link's folder, stays.
    {"NamedLinksGiveTheirPhotosDateAndAreFiled",
     {"q/c.jpg=jan2b", "l->q", "p/a.jpg=dec31", "l.jpg->p/a.jpg", "m.jpg->/nowhere"},
     {"--no-window", "@/l", "@/l.jpg", "@/m.jpg"}, "",
     "Input Directory: @/l\n" + sorted("c.jpg", "2024-01-02") + sorted("l.jpg", "2023-12-31"),
     "", 0, {"q/c.jpg>2024-01-02"},
     {"q/2024-01-02/c.jpg=jan2b", "l->q", "p/a.jpg=dec31", "2023-12-31/l.jpg->../p/a.jpg", "m.jpg->/nowhere"}},
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
  for (const std::string& entry : row.before) plant(top.path(), entry);
  ASSERT_EQ(treeOf(top.path()).size(), row.before.size()) << "a row's entries are planted one for one";

  std::vector<std::string> command{KELVANE_BINARY};
  for (const std::string& argument : row.arguments) command.push_back(withFolder(argument, top.path()));
  const std::string finished = row.status == 0 ? "Finished\n" : "";
  // A preview first: the same output and status, and nothing changed.
  if (row.arguments.front() == "--no-window") {
    std::vector<std::string> preview = command;
    preview[1] = "--preview";
    const ProcessResult previewed =
        runProgram(preview, top.path() + "/" + row.workingFolder, std::chrono::seconds(20));
    EXPECT_EQ(previewed.exitStatus, row.status) << "preview";
    EXPECT_EQ(previewed.out, "Kelvane v.0.1.10\n\n" + withFolder(row.out, top.path()) + finished)
        << "preview";
    EXPECT_EQ(previewed.err, withFolder(row.err, top.path())) << "preview";
    Tree before = row.before;
    std::sort(before.begin(), before.end());
    EXPECT_EQ(treeOf(top.path()), before) << "the preview changed the folder";
  }
  const ProcessResult result =
      runProgram(command, top.path() + "/" + row.workingFolder, std::chrono::seconds(20));

  EXPECT_EQ(result.killedBySignal, 0);
  EXPECT_EQ(result.exitStatus, row.status);
  EXPECT_LT(result.seconds, 5.0);
  EXPECT_EQ(result.out, "Kelvane v.0.1.10\n\n" + withFolder(row.out, top.path()) + finished);
  EXPECT_EQ(result.err, withFolder(row.err, top.path()));
  if (!row.after.empty()) {
    Tree after = row.after;
    std::sort(after.begin(), after.end());
    EXPECT_EQ(treeOf(top.path()), after);
    return;
  }
  Tree expected = row.before;
  for (const std::string& move : row.moves) {
    const fs::path file = move.substr(0, move.find('>'));
    const std::string prefix = file.string() + "=";
    const auto at = std::find_if(expected.begin(), expected.end(),
                                 [&](const std::string& entry) { return entry.starts_with(prefix); });
    ASSERT_NE(at, expected.end()) << move;
    *at = (file.parent_path() / move.substr(move.find('>') + 1) / file.filename()).string() +
          at->substr(file.string().size());
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(treeOf(top.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, NoWindowContract, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& row) { return row.param.name; });

// A log that cannot be written stops the run before the step it announces,
// with the reason on standard error; nothing is moved unlogged.
TEST(NoWindowContract, AnUnwritableLogStopsTheRunBeforeAnyStep) {
  const std::vector<std::pair<std::string, std::string>> outputs = {
      {">/dev/full", "Error # 61 Disk full: standard output"},
      {">&-", "Error # 75 Path/File access error (Bad file descriptor): standard output"},
  };
  for (const auto& [redirection, failure] : outputs) {
    SCOPED_TRACE(redirection);
    TemporaryFolder top;
    plant(top.path(), "p/a.jpg=jan2a");
    const ProcessResult result = runProgram({"/bin/sh", "-c", "exec \"$0\" --no-window \"$1\" " + redirection,
                                             KELVANE_BINARY, top.path() + "/p"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "[Kelvane] " + failure + "\n");
    EXPECT_EQ(treeOf(top.path()), Tree{"p/a.jpg=jan2a"});
  }
}

// A display variable that names no usable display (stale over ssh or in
// cron): paths are sorted without a window, nothing alone is a usage error.
TEST(NoWindowContract, AStaleDisplayFallsBackToNoWindow) {
  TemporaryFolder top;
  plant(top.path(), "p/a.jpg=jan2a");
  const std::string stale = "DISPLAY=" + top.path() + "/no-display:0";
  const ProcessResult sorted = runProgram({"/usr/bin/env", stale, KELVANE_BINARY, top.path() + "/p"});
  EXPECT_EQ(sorted.exitStatus, 0);
  EXPECT_EQ(sorted.out, "Kelvane v.0.1.10\n\nInput Directory: " + top.path() + "/p\n" +
                            ::kelvane::sorted("a.jpg", "2024-01-02") + "Finished\n");
  EXPECT_EQ(sorted.err, "Kelvane: no window could open on the display; sorting without a window\n");
  const ProcessResult alone = runProgram({"/usr/bin/env", stale, KELVANE_BINARY});
  EXPECT_EQ(alone.exitStatus, 2);
  EXPECT_EQ(alone.out, "");
  EXPECT_NE(alone.err.find("no window could open"), std::string::npos) << alone.err;
}

// Paths longer than the kernel takes in one piece, as arguments: a folder, and
// a photo in it named alone.
TEST(NoWindowContract, PathsOfAnyLengthAreSorted) {
  TemporaryFolder top;
  const std::string step(250, 'd');
  std::string deep = top.path();
  ASSERT_EQ(::chdir(deep.c_str()), 0);
  while (deep.size() <= 2 * PATH_MAX) {
    ASSERT_EQ(::mkdir(step.c_str(), 0700), 0);
    ASSERT_EQ(::chdir(step.c_str()), 0);
    deep += "/" + step;
  }
  writeBytes("a.jpg", contents().at("jan2a"));
  writeBytes("b.jpg", contents().at("dec31"));
  ASSERT_EQ(::chdir("/"), 0);
  const ProcessResult result = runProgram({KELVANE_BINARY, "--no-window", deep, deep + "/b.jpg"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, "Kelvane v.0.1.10\n\nInput Directory: " + deep + "\n" +
                            sorted("a.jpg", "2024-01-02") + sorted("b.jpg", "2023-12-31") + "Finished\n");
  EXPECT_EQ(result.err, "");
}

}  // namespace
}  // namespace kelvane
