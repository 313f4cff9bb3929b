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
  // What stops a run of /p.
  const auto stopOf = [](SortRun& run) -> std::string {
    std::deque<std::string> paths{"/p"};
    try {
      run.processWholePaths(paths);
    } catch (const FileFailure& failure) {
      return failure.report();
    }
    return "(nothing)";
  };
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
