// The sort run over folders held in memory: the exact log, where every file
// ends up, and where a run stops when a folder or a move fails.
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "memory_file_system.h"
#include "platform/log.h"
#include "platform/runtime_failure.h"
#include "scripted_message_boxes.h"
#include "sort/date_folder.h"
#include "sort/sort_run.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
using Bytes = std::vector<std::uint8_t>;
using Paths = std::vector<std::string>;

const std::string kDate = "2021:03:04 05:06:07";
const std::string kIndexBox = "Error # 9 Subscript out of range\n\nContinue anyway?";

// Keeps the log's text and, for every line, whether a run was under way.
class RecordingLog : public Log {
 public:
  explicit RecordingLog(const bool& bProcessing) : bProcessing_(bProcessing) {}
  void append(std::string_view piece) override {
    text.append(piece);
    processingSeen.push_back(bProcessing_);
  }
  std::string text;
  std::vector<bool> processingSeen;

 private:
  const bool& bProcessing_;
};

struct Sorter {
  MemoryFileSystem files;
  ScriptedMessageBoxes boxes;
  bool bProcessing = false;
  RecordingLog log{bProcessing};

  bool list(std::string& sPaths) { return SortRun(files, boxes, log, bProcessing).ProcessPaths(sPaths); }
  bool list(const std::string& text) {
    std::string sPaths = text;
    const bool done = list(sPaths);
    EXPECT_EQ(sPaths, "");
    return done;
  }
  bool whole(std::deque<std::string>& paths) {
    return SortRun(files, boxes, log, bProcessing).processWholePaths(paths);
  }
  // The failure number the run stopped with, 0 when it went through.
  template <class Run>
  int failureOf(Run&& run) {
    try {
      run();
    } catch (const FileFailure& failure) {
      return failure.number();
    }
    return 0;
  }
};

Bytes corpusFile(const std::string& name) {
  std::ifstream in(std::string(KELVANE_SHARED_DIR) + "/corpus/" + name, std::ios::binary);
  Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A JPEG whose Exif directory holds one entry of the given tag with an ASCII
// text outside the entry.
Bytes jpegWithText(std::uint16_t tag, const std::string& text) {
  TiffBuilder tiff(ByteOrder::Motorola);
  tiff.directory({{34665, kLong, 1, tiff.number(26)}});
  tiff.directory({{tag, kAscii, static_cast<std::uint32_t>(text.size() + 1), tiff.number(44)}});
  tiff.text(text);
  tiff.append({0});
  return JpegBuilder().soi().app0().exif(tiff).padding(32).eoi().bytes();
}

// The date text ends on the last byte of the reader's first 4096-byte window
// and its count claims five bytes more (so it never fits inside the entry):
// a file cut short to that window while open fails on the byte after it.
Bytes jpegWithDateEndingAtPage(const std::string& date) {
  constexpr std::size_t kTiffStart = 30;  // SOI 2, APP0 18, APP1 marker, length and "Exif\0\0" 10
  const std::size_t textOffset = 4096 - kTiffStart - date.size();
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.directory({{34665, kLong, 1, tiff.number(26)}});
  tiff.directory({{36867, kAscii, static_cast<std::uint32_t>(date.size() + 5),
                   tiff.number(static_cast<std::uint32_t>(textOffset))}});
  tiff.append(Bytes(textOffset - tiff.size(), 0));
  tiff.text(date + "XYZ");
  return JpegBuilder().soi().app0().exif(tiff).padding(64).eoi().bytes();
}

TEST(SortRun, AnEmptyListPrintsNothingAndSucceeds) {
  Sorter s;
  s.files.add("/p/a.jpg", jpegWithDate(kDate));
  EXPECT_TRUE(s.list(std::string()));
  EXPECT_EQ(s.log.text, "");
  EXPECT_FALSE(s.bProcessing);
  EXPECT_EQ(s.files.filePaths(), Paths{"/p/a.jpg"});
}

TEST(SortRun, TakesTheItemsOfAListInTheirForms) {
  struct Case {
    std::string list;
    std::string log;
  };
  const std::string myPhotos =
      "Input Directory: /my photos\nCreating Directory \"2021-03-04\"\nMoving \"a.jpg\" to \"2021-03-04\"\n";
  const std::string other =
      "Input Directory: /b\nCreating Directory \"1999-12-31\"\nMoving \"b.jpg\" to \"1999-12-31\"\n";
  const std::vector<Case> cases = {
      {"/my photos", myPhotos},
      {"/my photos /b", ""},  // one item, which names nothing
      {"\"/my photos\"   \"/b\"     \"/c\"", myPhotos + other + "Input Directory: /c\n"},
      {"\"\" \"/c\" \"\"", "Input Directory: /c\n"},
      {"/nowhere", ""},
      {"\"/my photos/a.jpg\"", "Creating Directory \"2021-03-04\"\nMoving \"a.jpg\" to \"2021-03-04\"\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    Sorter s;
    s.files.add("/my photos/a.jpg", jpegWithDate(kDate));
    s.files.add("/b/b.jpg", jpegWithDate("1999:12:31 23:59:59", ByteOrder::Motorola));
    s.files.addFolder("/c");
    EXPECT_TRUE(s.list(c.list));
    EXPECT_EQ(s.log.text, c.log);
    EXPECT_FALSE(s.bProcessing);
  }
}

TEST(SortRun, AFolderWithoutFilesPrintsOnlyItsLineAndIsNotDescended) {
  Sorter s;
  s.files.add("/c/2020-01-01/old.jpg", jpegWithDate(kDate));
  EXPECT_TRUE(s.list("/c"));
  EXPECT_EQ(s.log.text, "Input Directory: /c\n");
  EXPECT_EQ(s.files.filePaths(), Paths{"/c/2020-01-01/old.jpg"});
}

TEST(SortRun, TwoFilesOfOneDateMakeOneFolderAndTheFlagIsSetMeanwhile) {
  Sorter s;
  s.files.add("/p/a.jpg", jpegWithDate(kDate));
  s.files.add("/p/b.jpg", jpegWithDate("2021:03:04 23:00:00", ByteOrder::Motorola));
  s.files.add("/p/c.jpg", jpegWithDate("2022:01:02 00:00:00"));
  EXPECT_TRUE(s.list("/p"));
  EXPECT_EQ(s.log.text,
            "Input Directory: /p\n"
            "Creating Directory \"2021-03-04\"\n"
            "Moving \"a.jpg\" to \"2021-03-04\"\n"
            "Moving \"b.jpg\" to \"2021-03-04\"\n"
            "Creating Directory \"2022-01-02\"\n"
            "Moving \"c.jpg\" to \"2022-01-02\"\n");
  EXPECT_EQ(s.files.filePaths(), (Paths{"/p/2021-03-04/a.jpg", "/p/2021-03-04/b.jpg", "/p/2022-01-02/c.jpg"}));
  EXPECT_EQ(s.log.processingSeen, std::vector<bool>(6, true));
  EXPECT_FALSE(s.bProcessing);
  EXPECT_TRUE(s.boxes.shown.empty());
}

TEST(SortRun, AnExistingDateFolderIsUsedAsItStands) {
  Sorter s;
  s.files.add("/p/2021-03-04/earlier.jpg", jpegWithDate(kDate));
  s.files.add("/p/a.jpg", jpegWithDate(kDate));
  EXPECT_TRUE(s.list("/p"));
  EXPECT_EQ(s.log.text, "Input Directory: /p\nMoving \"a.jpg\" to \"2021-03-04\"\n");
  EXPECT_EQ(s.files.filePaths(), (Paths{"/p/2021-03-04/a.jpg", "/p/2021-03-04/earlier.jpg"}));
}

TEST(SortRun, ASingleFileGoesIntoADateFolderBesideIt) {
  Sorter s;
  s.files.add("/p/a.jpg", jpegWithDate(kDate));
  s.files.add("/p/b.jpg", jpegWithDate(kDate));
  std::deque<std::string> paths{"/p/a.jpg"};
  EXPECT_TRUE(s.whole(paths));
  EXPECT_EQ(s.log.text, "Creating Directory \"2021-03-04\"\nMoving \"a.jpg\" to \"2021-03-04\"\n");
  EXPECT_EQ(s.files.filePaths(), (Paths{"/p/2021-03-04/a.jpg", "/p/b.jpg"}));
}

// The bare name is what the user gave; the run reads and moves "./NAME".
TEST(SortRun, ABareNameIsAFileOfTheWorkingFolder) {
  Sorter s;
  s.files.add("a.jpg", {});
  s.files.add("./a.jpg", jpegWithDate(kDate));
  EXPECT_TRUE(s.list("a.jpg"));
  EXPECT_EQ(s.log.text, "Creating Directory \"2021-03-04\"\nMoving \"a.jpg\" to \"2021-03-04\"\n");
  EXPECT_EQ(s.files.filePaths(), (Paths{"./2021-03-04/a.jpg", "a.jpg"}));
}

TEST(SortRun, FilesWithoutAUsableDateStayWithoutABox) {
  Sorter s;
  s.files.add("/p/empty.jpg", {});
  s.files.add("/p/notes.txt", bytesOf("hello, no picture"));
  s.files.add("/p/plain.jpg", JpegBuilder().soi().app0().padding(100).eoi().bytes());
  s.files.add("/p/digitized.jpg", jpegWithText(36868, kDate));  // the date of digitising is not taken
  s.files.add("/p/ianare-canon-40d-photoshop-import.jpg", corpusFile("ianare-canon-40d-photoshop-import.jpg"));
  s.files.add("/p/mei-beach.jpg", corpusFile("mei-beach.jpg"));
  const Paths before = s.files.filePaths();
  EXPECT_TRUE(s.list("/p"));
  EXPECT_EQ(s.log.text,
            "Input Directory: /p\n"
            "No date found: digitized.jpg\n"
            "Invalid file: empty.jpg\n"
            "No date found: ianare-canon-40d-photoshop-import.jpg\n"
            "Invalid file: mei-beach.jpg\n"
            "Invalid file: notes.txt\n"
            "Invalid file: plain.jpg\n");
  EXPECT_EQ(s.files.filePaths(), before);
  EXPECT_TRUE(s.boxes.shown.empty());
}

TEST(SortRun, RealPhotosOfBothByteOrdersAreSorted) {
  Sorter s;
  for (const char* name : {"ianare-canon-40d.jpg", "ianare-fujifilm-finepix-e500.jpg"}) {
    s.files.add(std::string("/cam/") + name, corpusFile(name));
  }
  EXPECT_TRUE(s.list("/cam"));
  EXPECT_EQ(s.log.text,
            "Input Directory: /cam\n"
            "Creating Directory \"2008-05-30\"\n"
            "Moving \"ianare-canon-40d.jpg\" to \"2008-05-30\"\n"
            "Creating Directory \"2006-08-17\"\n"
            "Moving \"ianare-fujifilm-finepix-e500.jpg\" to \"2006-08-17\"\n");
  EXPECT_EQ(s.files.filePaths(), (Paths{"/cam/2006-08-17/ianare-fujifilm-finepix-e500.jpg",
                                        "/cam/2008-05-30/ianare-canon-40d.jpg"}));
}

TEST(SortRun, TheDateTextGivesTheFolderNameOrNone) {
  struct Case {
    std::string date;
    std::string folder;  // empty: "No date found: "
  };
  const std::vector<Case> cases = {
      {"2021:03:04", "2021-03-04"},
      {"2021:03", "2021-03"},                      // shorter than ten: used whole
      {"2021:03:04\t05:06", "2021-03-04"},         // only the first ten characters count
      {"    :  :     :  :  ", "    -  -  "},
      {"2021:03:0\xE9 12:00:00", "2021-03-0\xC3\xA9"},  // Latin-1 into UTF-8
      {"2021:03:0\xA0", "2021-03-0\xC2\xA0"},
      {"2021/03/04 05:06:07", ""},
      {std::string("2021:03\0:04 05:06:07", 20), ""},
      {"2021:\t3:04 05:06:07", ""},
      {"2021:03:0\x7F", ""},
      {"2021:03:0\x85", ""},
      {"2021:03:0\x9F", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date);
    Sorter s;
    s.files.add("/p/x.jpg", jpegWithDate(c.date));
    EXPECT_TRUE(s.list("/p"));
    if (c.folder.empty()) {
      EXPECT_EQ(s.log.text, "Input Directory: /p\nNo date found: x.jpg\n");
      EXPECT_EQ(s.files.filePaths(), Paths{"/p/x.jpg"});
    } else {
      EXPECT_EQ(s.log.text, "Input Directory: /p\nCreating Directory \"" + c.folder + "\"\nMoving \"x.jpg\" to \"" +
                                c.folder + "\"\n");
      EXPECT_EQ(s.files.filePaths(), Paths{"/p/" + c.folder + "/x.jpg"});
    }
  }
}

TEST(SortRun, NamesThatLeadOutOfTheFolderAreNoDate) {
  const std::vector<std::pair<TagValue, std::string>> cases = {
      {std::string("."), ""},     {std::string(".."), ""},   {std::string("..."), "..."},
      {std::string(". "), ". "},  {std::string("a/b"), ""},  {TagValue{}, ""},
      {std::string(""), ""},      {Long{20210304}, "20210304"},
  };
  for (const auto& [value, folder] : cases) EXPECT_EQ(dateFolderName(value), folder);
}

// ".." and "." come only from a text cut short, here by a file that shrinks
// while it is read; the walk is ended at the first unreadable byte.
TEST(SortRun, ADateCutShortToDotsIsNoDate) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"..", "Input Directory: /p\nNo date found: x.jpg\n"},
      {".", "Input Directory: /p\nNo date found: x.jpg\n"},
      {"2021:03:04", "Input Directory: /p\nCreating Directory \"2021-03-04\"\nMoving \"x.jpg\" to \"2021-03-04\"\n"},
  };
  for (const auto& [date, log] : cases) {
    SCOPED_TRACE(date);
    Sorter s;
    s.files.add("/p/x.jpg", jpegWithDateEndingAtPage(date));
    bool cut = false;
    s.files.afterEachRead([&] {
      if (!cut) s.files.truncate("/p/x.jpg", 4096);
      cut = true;
    });
    s.boxes.script({Answer::No});
    EXPECT_TRUE(s.list("/p"));
    EXPECT_EQ(s.log.text, log);
    ASSERT_EQ(s.boxes.shown.size(), 1u);
    EXPECT_EQ(s.boxes.shown[0].prompt, "Error # 62 Input past end of file\n\nContinue anyway?");
  }
}

TEST(SortRun, ADamagedDirectoryShowsItsBoxesAndTheFileIsStillSorted) {
  TiffBuilder tiff(ByteOrder::Intel);
  // Three shorts far outside the file, then the Exif pointer.
  tiff.directory({{271, kShort, 3, tiff.number(0x00FFFFF0)}, {34665, kLong, 1, tiff.number(38)}});
  tiff.directory({{36867, kAscii, 20, tiff.number(56)}});
  tiff.text(kDate);
  tiff.append({0});
  Sorter s;
  s.files.add("/p/x.jpg", JpegBuilder().soi().exif(tiff).padding(16).eoi().bytes());
  EXPECT_TRUE(s.list("/p"));
  EXPECT_EQ(s.log.text,
            "Input Directory: /p\nCreating Directory \"2021-03-04\"\nMoving \"x.jpg\" to \"2021-03-04\"\n");
  ASSERT_EQ(s.boxes.shown.size(), 3u);
  for (const ShownBox& box : s.boxes.shown) {
    EXPECT_EQ(box.title, "Get Directory Entries");
    EXPECT_EQ(box.prompt, kIndexBox);
    EXPECT_EQ(box.buttons, Buttons::YesNo);
  }
  EXPECT_EQ(s.files.filePaths(), Paths{"/p/2021-03-04/x.jpg"});
}

TEST(SortRun, ATakenTargetNameStopsTheRunAtTheMove) {
  auto prepare = [](Sorter& s) {
    for (const char* name : {"/p/a.jpg", "/p/b.jpg", "/p/c.jpg"}) s.files.add(name, jpegWithDate(kDate));
    s.files.add("/p/2021-03-04/b.jpg", bytesOf("sorted before"));
    s.files.add("/q/d.jpg", jpegWithDate(kDate));
  };
  const std::string log = "Input Directory: /p\nMoving \"a.jpg\" to \"2021-03-04\"\nMoving \"b.jpg\" to \"2021-03-04\"\n";
  const Paths after = {"/p/2021-03-04/a.jpg", "/p/2021-03-04/b.jpg", "/p/b.jpg", "/p/c.jpg", "/q/d.jpg"};

  Sorter s;
  prepare(s);
  std::string sPaths = "\"/p\"  \"/q\"";
  EXPECT_EQ(s.failureOf([&] { s.list(sPaths); }), 58);
  EXPECT_EQ(s.log.text, log);
  EXPECT_EQ(sPaths, "\"/q\"");
  EXPECT_TRUE(s.bProcessing);
  EXPECT_EQ(s.files.filePaths(), after);

  Sorter w;
  prepare(w);
  std::deque<std::string> paths{"/p", "/q"};
  EXPECT_EQ(w.failureOf([&] { w.whole(paths); }), 58);
  EXPECT_EQ(w.log.text, log);
  EXPECT_EQ(paths, std::deque<std::string>{"/q"});
  EXPECT_TRUE(w.bProcessing);
  EXPECT_EQ(w.files.filePaths(), after);
}

TEST(SortRun, AFileBearingTheDateFolderNameStopsTheRunAtTheCreation) {
  Sorter s;
  s.files.add("/p/2021-03-04", {});
  s.files.add("/p/a.jpg", jpegWithDate(kDate));
  s.files.add("/p/b.jpg", jpegWithDate(kDate));
  EXPECT_EQ(s.failureOf([&] { s.list("/p"); }), 58);
  EXPECT_EQ(s.log.text, "Input Directory: /p\nInvalid file: 2021-03-04\nCreating Directory \"2021-03-04\"\n");
  EXPECT_TRUE(s.bProcessing);
  EXPECT_EQ(s.files.filePaths(), (Paths{"/p/2021-03-04", "/p/a.jpg", "/p/b.jpg"}));
}

TEST(SortRun, WholePathsKeepTheirBlanksAndQuotes) {
  Sorter s;
  s.files.add("/my \"best\" photos/a.jpg", jpegWithDate(kDate));
  s.files.addFolder("/p");
  s.files.addFolder("/q");
  std::deque<std::string> paths{"/my \"best\" photos", "\"/p\" \"/q\"", ""};
  EXPECT_TRUE(s.whole(paths));
  EXPECT_EQ(s.log.text,
            "Input Directory: /my \"best\" photos\n"
            "Creating Directory \"2021-03-04\"\n"
            "Moving \"a.jpg\" to \"2021-03-04\"\n");
  EXPECT_TRUE(paths.empty());
  EXPECT_FALSE(s.bProcessing);
  EXPECT_EQ(s.files.filePaths(), Paths{"/my \"best\" photos/2021-03-04/a.jpg"});
}

}  // namespace
}  // namespace kelvane
