// The sort run over folders held in memory, for what the program cannot show:
// the list text form, the processing flag, the items left in the caller's list
// when a run stops, and the reader's boxes during a run. What a user sees of a
// run is checked through the program in the no-window contract.
#include "sort/sort_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "memory_file_system.h"
#include "platform/log.h"
#include "platform/runtime_failure.h"
#include "scripted_message_boxes.h"
#include "sort/date_folder.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;

const std::string kDate = "2021:03:04 05:06:07";

struct Sorter : Log {
  // Every piece logged while no run is under way is marked.
  void append(std::string_view piece) override { text.append(bProcessing ? "" : "(idle)").append(piece); }

  MemoryFileSystem files;
  ScriptedMessageBoxes boxes;
  bool bProcessing = false;
  std::string text;
  SortRun run{files, boxes, *this, bProcessing};
};

// What stops a run of /p: the failure's report, or "" when it goes through.
std::string stopOf(SortRun& run) {
  std::deque<std::string> paths{"/p"};
  try {
    run.processWholePaths(paths);
  } catch (const FileFailure& failure) {
    return failure.report();
  }
  return "";
}

// A run of /p under one policy: its log after the folder's line, the files
// afterwards, and what stopped it.
struct PolicyRun {
  OnCollision onCollision;
  std::string log;
  std::vector<std::string> after;
  std::string stop;
};

void expectRun(Sorter& s, SortRun& run, const PolicyRun& expected) {
  EXPECT_EQ(stopOf(run), expected.stop);
  EXPECT_EQ(s.text, "Input Directory: /p\n" + expected.log);
  EXPECT_EQ(s.files.filePaths(), expected.after);
}

TEST(SortRun, ProcessPathsTakesEveryItemOfTheListText) {
  const std::string myPhotos =
      "Input Directory: /my photos\nCreating Directory \"2021-03-04\"\nMoving \"a.jpg\" to \"2021-03-04\"\n";
  const std::string b =
      "Input Directory: /b\nCreating Directory \"1999-12-31\"\nMoving \"b.jpg\" to \"1999-12-31\"\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"/my photos", myPhotos},
      {"/my photos /b", ""},  // one item, which names nothing
      {"\"/my photos\"   \"/b\"     \"/c\"", myPhotos + b + "Input Directory: /c\n"},
      {"\"\" \"/c\" \"\"", "Input Directory: /c\n"},
  };
  for (const auto& [list, log] : cases) {
    SCOPED_TRACE(list);
    Sorter s;
    s.files.add("/my photos/a.jpg", jpegWithDate(kDate));
    s.files.add("/b/b.jpg", jpegWithDate("1999:12:31 23:59:59"));
    s.files.addFolder("/c");
    std::string sPaths = list;
    EXPECT_TRUE(s.run.ProcessPaths(sPaths));
    EXPECT_EQ(sPaths, "");
    EXPECT_EQ(s.text, log);
    EXPECT_FALSE(s.bProcessing);
  }
}

// The run stops at the taken name; the flag stays set and the second item
// stays in the caller's list, in either form.
TEST(SortRun, AFailureLeavesTheFlagSetAndTheRestOfTheList) {
  for (const bool listForm : {true, false}) {
    SCOPED_TRACE(listForm ? "list text" : "whole paths");
    Sorter s;
    for (const char* name : {"/p/a.jpg", "/p/b.jpg", "/p/c.jpg", "/q/d.jpg"}) {
      s.files.add(name, jpegWithDate(kDate));
    }
    s.files.add("/p/2021-03-04/b.jpg", {});
    std::string sPaths = "\"/p\"  \"/q\"";
    std::deque<std::string> paths{"/p", "/q"};
    try {
      listForm ? s.run.ProcessPaths(sPaths) : s.run.processWholePaths(paths);
      ADD_FAILURE() << "the run went through";
    } catch (const FileFailure& failure) {
      EXPECT_EQ(failure.number(), 58);
    }
    EXPECT_TRUE(s.bProcessing);
    EXPECT_EQ(sPaths, listForm ? "\"/q\"" : "\"/p\"  \"/q\"");
    EXPECT_EQ(paths, (listForm ? std::deque<std::string>{"/p", "/q"} : std::deque<std::string>{"/q"}));
  }
}

// An observer hears of each folder and file, and a stop takes effect before
// the next file: it stays, and so do the items not yet taken.
TEST(SortRun, AnObserverFollowsTheRunAndStopsItBetweenTwoFiles) {
  struct Observer : RunObserver {
    void folderStarted(const std::string& folder, std::size_t files) override {
      events.push_back(folder + " " + std::to_string(files));
    }
    void fileStarted(const std::string& name, std::size_t index) override {
      events.push_back(name + " #" + std::to_string(index));
    }
    bool stopRequested() override { return events.size() == 3; }
    std::vector<std::string> events;
  } observer;
  Sorter s;
  for (const char* name : {"/p/a.jpg", "/p/b.jpg", "/p/c.jpg", "/q/d.jpg"})
    s.files.add(name, jpegWithDate(kDate));
  SortRun run(s.files, s.boxes, s, s.bProcessing, {OnCollision::Stop, &observer});
  std::deque<std::string> paths{"/p", "/q"};
  EXPECT_FALSE(run.processWholePaths(paths));
  EXPECT_EQ(observer.events, (std::vector<std::string>{"/p 3", "a.jpg #0", "b.jpg #1"}));
  EXPECT_TRUE(s.text.ends_with("Moving \"b.jpg\" to \"2021-03-04\"\nStopped by the user before \"c.jpg\"\n"));
  EXPECT_EQ(s.files.filePaths(),
            (std::vector<std::string>{"/p/2021-03-04/a.jpg", "/p/2021-03-04/b.jpg", "/p/c.jpg", "/q/d.jpg"}));
  EXPECT_EQ(paths, std::deque<std::string>{"/q"});
  EXPECT_FALSE(s.bProcessing);
}

// The boxes come while the run is under way: a box's own event loop may let
// the window's timer fire, which must then start nothing.
TEST(SortRun, TheReadersBoxesComeDuringTheRun) {
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.directory({{270, kAscii, 5, tiff.number(0x7000)}});  // a text far past the end of the file
  Sorter s;
  s.files.add("/p/x.jpg", JpegBuilder().soi().exif(tiff).padding(16).eoi().bytes());
  std::vector<bool> processingSeen;
  s.boxes.onShow = [&] { processingSeen.push_back(s.bProcessing); };
  std::string sPaths = "/p";
  EXPECT_TRUE(s.run.ProcessPaths(sPaths));
  ASSERT_FALSE(processingSeen.empty());
  EXPECT_EQ(processingSeen, std::vector<bool>(processingSeen.size(), true));
  EXPECT_EQ(s.boxes.shown[0].prompt, "Error # 9 Subscript out of range\n\nContinue anyway?");
}

// Each move is recorded right before it is made, with the stamp the move's
// own check of the entry took: a file swapped after its read is neither
// recorded nor moved, and a journal that cannot record stops the run, naming
// itself, before the move.
TEST(SortRun, TheJournalRecordsWhatTheMoveChecked) {
  struct Journal : MoveJournal {
    void sortingFolder(const std::string& /*folder*/, const EntryIdentity& /*identity*/) override {}
    void creatingFolder(const std::string& folder, const std::string& dateFolder) override {
      records.push_back("create " + folder + "/" + dateFolder);
    }
    void createdFolder(const std::string& /*folder*/, const std::string& /*dateFolder*/,
                       const EntryIdentity& /*identity*/) override {}
    void moving(const std::string& folder, const std::string& name, const MoveStep& step,
                const std::string& dateFolder, const std::string& target) override {
      if (refusal) throw *refusal;
      records.push_back(folder + "/" + name + " (" + std::to_string(step.entry.size) + " bytes) to " +
                        dateFolder + "/" + target);
    }
    std::vector<std::string> records;
    std::optional<FileFailure> refusal;
  };
  const std::vector<std::uint8_t> photo = jpegWithDate(kDate);
  const std::string size = std::to_string(photo.size());

  Journal journal;
  Sorter s;
  s.files.add("/p/a.jpg", photo);
  s.files.add("/p/b.jpg", photo);
  bool swapped = false;
  s.files.afterEachRead([&] {
    const std::vector<std::string> paths = s.files.filePaths();
    if (swapped || std::find(paths.begin(), paths.end(), "/p/2021-03-04/a.jpg") == paths.end()) return;
    swapped = true;
    s.files.add("/p/b.jpg", photo);  // another file at b.jpg's name, after b.jpg's first read
  });
  SortRun run(s.files, s.boxes, s, s.bProcessing, {OnCollision::Stop, nullptr, &journal});
  EXPECT_EQ(stopOf(run), "Error # 75 Path/File access error (changed since it was read): /p/b.jpg");
  EXPECT_EQ(journal.records, (std::vector<std::string>{"create /p/2021-03-04",
                                                       "/p/a.jpg (" + size + " bytes) to 2021-03-04/a.jpg"}));
  EXPECT_EQ(s.files.filePaths(), (std::vector<std::string>{"/p/2021-03-04/a.jpg", "/p/b.jpg"}));

  Journal full;
  full.refusal = FileFailure(28, "No space left on device");
  full.refusal->setPath("/state/runs/1.journal");
  Sorter t;
  t.files.add("/p/a.jpg", photo);
  SortRun refused(t.files, t.boxes, t, t.bProcessing, {OnCollision::Stop, nullptr, &full});
  EXPECT_EQ(stopOf(refused), "Error # 28 No space left on device: /state/runs/1.journal");
  EXPECT_EQ(t.files.filePaths(), std::vector<std::string>{"/p/a.jpg"});
}

// A photo and its companions share one date folder under matching names or
// stay together: every member's name is looked at before any of them moves.
// Here the photo's own name is free but a stranger's sidecar holds the name
// of its .xmp, and another "IMG_5 (2)" is there.
TEST(SortRun, APhotoAndItsCompanionsMoveUnderMatchingNamesOrNotAtAll) {
  const std::vector<std::string> before = {"/p/2021-03-04/IMG_5 (2).JPG", "/p/2021-03-04/IMG_5.xmp",
                                           "/p/IMG_5.JPG", "/p/IMG_5.JPG.xmp", "/p/IMG_5.xmp"};
  const PolicyRun cases[] = {
      {OnCollision::Rename,
       "Moving \"IMG_5.JPG\" to \"2021-03-04\" as \"IMG_5 (3).JPG\"\n"
       "Moving \"IMG_5.JPG.xmp\" to \"2021-03-04\" as \"IMG_5 (3).JPG.xmp\" with \"IMG_5.JPG\"\n"
       "Moving \"IMG_5.xmp\" to \"2021-03-04\" as \"IMG_5 (3).xmp\" with \"IMG_5.JPG\"\n",
       {"/p/2021-03-04/IMG_5 (2).JPG", "/p/2021-03-04/IMG_5 (3).JPG", "/p/2021-03-04/IMG_5 (3).JPG.xmp",
        "/p/2021-03-04/IMG_5 (3).xmp", "/p/2021-03-04/IMG_5.xmp"},
       ""},
      {OnCollision::Skip, "Name taken: \"IMG_5.xmp\" in \"2021-03-04\"\n", before, ""},
      {OnCollision::Stop, "", before, "Error # 58 File already exists: /p/2021-03-04/IMG_5.xmp"},
  };
  for (const PolicyRun& expected : cases) {
    SCOPED_TRACE(expected.log);
    Sorter s;
    s.files.add("/p/IMG_5.JPG", jpegWithDate(kDate));
    s.files.add("/p/2021-03-04/IMG_5 (2).JPG", jpegWithDate("2021:03:04 11:00:00"));
    for (const char* sidecar : {"/p/IMG_5.JPG.xmp", "/p/IMG_5.xmp", "/p/2021-03-04/IMG_5.xmp"})
      s.files.add(sidecar, {'x', 'm', 'p'});  // the stranger's sidecar holds the same bytes
    SortRun run(s.files, s.boxes, s, s.bProcessing, {.onCollision = expected.onCollision, .allMedia = true});
    expectRun(s, run, expected);
  }
}

// A member's name taken between the look and the move (the no-replace move
// fails) after others moved: they go back under their own names, announced,
// and the name counts as taken.
TEST(SortRun, ANameTakenDuringTheGroupsMovesTakesTheMovedMembersBack) {
  const std::string moves =
      "Moving \"IMG_5.JPG\" to \"2021-03-04\"\n"
      "Moving \"IMG_5.JPG.xmp\" to \"2021-03-04\" with \"IMG_5.JPG\"\n"
      "Moving \"IMG_5.xmp\" to \"2021-03-04\" with \"IMG_5.JPG\"\n"
      "Moving \"2021-03-04/IMG_5.JPG.xmp\" back to \"IMG_5.JPG.xmp\"\n"
      "Moving \"2021-03-04/IMG_5.JPG\" back to \"IMG_5.JPG\"\n";
  const std::vector<std::string> stayed = {"/p/2021-03-04/IMG_5.xmp", "/p/IMG_5.JPG", "/p/IMG_5.JPG.xmp",
                                           "/p/IMG_5.xmp"};
  const PolicyRun cases[] = {
      {OnCollision::Rename,
       moves + "Moving \"IMG_5.JPG\" to \"2021-03-04\" as \"IMG_5 (2).JPG\"\n"
               "Moving \"IMG_5.JPG.xmp\" to \"2021-03-04\" as \"IMG_5 (2).JPG.xmp\" with \"IMG_5.JPG\"\n"
               "Moving \"IMG_5.xmp\" to \"2021-03-04\" as \"IMG_5 (2).xmp\" with \"IMG_5.JPG\"\n",
       {"/p/2021-03-04/IMG_5 (2).JPG", "/p/2021-03-04/IMG_5 (2).JPG.xmp", "/p/2021-03-04/IMG_5 (2).xmp",
        "/p/2021-03-04/IMG_5.xmp"},
       ""},
      {OnCollision::Skip, moves + "Name taken: \"IMG_5.xmp\" in \"2021-03-04\"\n", stayed, ""},
      {OnCollision::Stop, moves, stayed, "Error # 58 File already exists: /p/2021-03-04/IMG_5.xmp"},
  };
  // Plants a stranger's sidecar at IMG_5.xmp's name right before its move.
  struct Intruder : MoveJournal {
    explicit Intruder(MemoryFileSystem& files) : files_(files) {}
    void sortingFolder(const std::string&, const EntryIdentity&) override {}
    void creatingFolder(const std::string&, const std::string&) override {}
    void createdFolder(const std::string&, const std::string&, const EntryIdentity&) override {}
    void moving(const std::string&, const std::string& name, const MoveStep&, const std::string&,
                const std::string& target) override {
      if (name == "IMG_5.xmp" && target == name) files_.add("/p/2021-03-04/IMG_5.xmp", {'o'});
    }
    MemoryFileSystem& files_;
  };
  for (const PolicyRun& expected : cases) {
    SCOPED_TRACE(expected.stop.empty() ? expected.log : expected.stop);
    Sorter s;
    s.files.add("/p/IMG_5.JPG", jpegWithDate(kDate));
    s.files.add("/p/IMG_5.JPG.xmp", {'j'});
    s.files.add("/p/IMG_5.xmp", {'x'});
    s.files.addFolder("/p/2021-03-04");
    Intruder intruder(s.files);
    SortRun run(s.files, s.boxes, s, s.bProcessing,
                {.onCollision = expected.onCollision, .journal = &intruder, .allMedia = true});
    expectRun(s, run, expected);
  }
}

// The texts the no-window contract does not show ("/", Latin-1, a short text
// and none at all are there): control characters, dots and numbers.
TEST(DateFolder, TheFirstTenCharactersGiveTheNameOrNone) {
  const std::vector<std::pair<TagValue, std::string>> cases = {
      {std::string("2021:03:04\t05:06"), "2021-03-04"},
      {std::string("2021:03"), "2021-03"},
      {std::string("    :  :     :  :  "), "    -  -  "},
      {std::string("2021:03:0\xA0"), "2021-03-0\xC2\xA0"},
      {std::string("2021:\x1F"
                   "3:04"),
       ""},
      {std::string("2021:03\0:04", 11), ""},
      {std::string("2021:03:0\x7F"), ""},
      {std::string("2021:03:0\x9F"), ""},
      {std::string("."), ""},
      {std::string(".."), ""},   // only from a text cut short while the file is read
      {std::string("..."), ""},  // a "." first would hide the folder
      {std::string(".thumbnails"), ""},
      {std::string("2021.03.04"), "2021.03.04"},
      {Long{20210304}, "20210304"},
  };
  for (const auto& [value, folder] : cases) {
    EXPECT_EQ(dateFolderName(value), folder) << ::testing::PrintToString(value);
  }
}

}  // namespace
}  // namespace kelvane
