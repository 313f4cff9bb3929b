// Every run that moves a file is recorded, and --undo takes it back exactly:
// the tree as it was, date folders gone, nothing replaced, and what changed
// since reported and left alone; also after runs and undos killed at any
// moment.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "disk_files.h"
#include "test_data.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
using Tree = std::map<std::string, std::string>;

// Kelvane with its standard output going to a pipe of one page that the test
// reads at its own pace: once the test stops reading, the program soon waits
// in a write, holding all it holds, until the test reads on.
class ThrottledKelvane {
 public:
  explicit ThrottledKelvane(const std::vector<std::string>& args) {
    const std::string pipe = folder_.path() + "/stdout";
    if (::mkfifo(pipe.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + pipe);
    // Opened before the program starts, so that the pipe holds one page from
    // the program's first byte on.
    early_ = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (early_ < 0 || ::fcntl(early_, F_SETPIPE_SZ, 4096) < 0) throw std::runtime_error("pipe " + pipe);
    std::vector<std::string> command{"/bin/sh", "-c", "exec \"$@\" >\"$0\"", pipe, KELVANE_BINARY};
    command.insert(command.end(), args.begin(), args.end());
    ended_ = std::async(std::launch::async, [command] { return runProgram(command); });
    output_ = ::open(pipe.c_str(), O_RDONLY | O_CLOEXEC);  // returns once the program has it open
  }

  ~ThrottledKelvane() {
    if (output_ >= 0) finish();
    ::close(early_);
  }
  ThrottledKelvane(const ThrottledKelvane&) = delete;
  ThrottledKelvane& operator=(const ThrottledKelvane&) = delete;

  // Reads the program's output until `text` has come; false at its end.
  bool readUntil(const std::string& text) {
    while (out_.find(text) == std::string::npos) {
      if (!readSome()) return false;
    }
    return true;
  }

  // Reads the rest and waits for the program's end.
  ProcessResult finish() {
    while (readSome()) {
    }
    ::close(std::exchange(output_, -1));
    ProcessResult result = ended_.get();
    result.out = out_;
    return result;
  }

 private:
  bool readSome() {
    std::array<char, 4096> buffer{};
    const ssize_t got = ::read(output_, buffer.data(), buffer.size());
    if (got <= 0) return false;
    out_.append(buffer.data(), static_cast<std::size_t>(got));
    return true;
  }

  TemporaryFolder folder_;
  int early_ = -1;
  int output_ = -1;
  std::future<ProcessResult> ended_;
  std::string out_;
};

// How many whole lines a text holds.
std::size_t lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Runs of each test are recorded in a state folder of its own.
class Undo : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_STATE_HOME", state_.path().c_str(), 1); }

  static ProcessResult kelvane(std::vector<std::string> args,
                               std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    args.insert(args.begin(), KELVANE_BINARY);
    return runProgram(args, {}, limit);
  }

  // Photo i, dated day 1 + i % 4; every contents differs.
  static void plant(const std::string& folder, int photos) {
    for (int i = 0; i < photos; ++i) {
      writeBytes(folder + "/IMG_" + std::to_string(1000 + i) + ".jpg",
                 jpegWithDate("2023:07:0" + std::to_string(1 + i % 4) + " 12:00:00#" + std::to_string(i)));
    }
  }

  // A folder of that name in the photos' folder, with photos planted in it.
  std::string plantedFolder(const std::string& name, int photos) const {
    const std::string folder = photos_.path() + "/" + name;
    ::mkdir(folder.c_str(), 0700);
    plant(folder, photos);
    return folder;
  }

  std::string runsFolder() const { return state_.path() + "/kelvane/runs"; }

  // The journals in the runs folder, by name.
  std::vector<std::string> journals() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(runsFolder()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TemporaryFolder state_;
  TemporaryFolder photos_;
};

TEST_F(Undo, TakesBackARunWithRenamedCollisionsToTheExactTree) {
  const std::string top = photos_.path();
  plant(top, 40);
  // Taken names: another file (renamed), and the same bytes (a duplicate).
  ::mkdir((top + "/2023-07-01").c_str(), 0700);
  writeBytes(top + "/2023-07-01/IMG_1000.jpg", {1, 2, 3});
  writeBytes(top + "/2023-07-01/IMG_1004.jpg", jpegWithDate("2023:07:01 12:00:00#4"));
  // A name the journal must escape.
  writeBytes(top + "/tab\tline\nback\\slash.jpg", jpegWithDate("2023:07:03 12:00:00#x"));
  const Tree before = folderFiles(top);

  const ProcessResult sorted = kelvane({"--no-window", "--on-collision", "rename", top});
  ASSERT_EQ(sorted.exitStatus, 0) << sorted.err;
  ASSERT_NE(sorted.out.find("as \"IMG_1000 (2).jpg\""), std::string::npos) << sorted.out;
  ASSERT_NE(folderFiles(top), before);

  const ProcessResult runs = kelvane({"--runs"});
  EXPECT_EQ(runs.exitStatus, 0);
  EXPECT_NE(runs.out.find("\t40\t-\t" + top + "\n"), std::string::npos) << runs.out;

  const ProcessResult undone = kelvane({"--undo"});
  EXPECT_EQ(undone.exitStatus, 0) << undone.out << undone.err;
  EXPECT_NE(undone.out.find("Moving \"2023-07-01/IMG_1000 (2).jpg\" back to \"IMG_1000.jpg\"\n"),
            std::string::npos)
      << undone.out;
  EXPECT_TRUE(undone.out.ends_with("Removed Directory \"2023-07-02\"\nFinished\n")) << undone.out;
  EXPECT_EQ(folderFiles(top), before);
  EXPECT_NE(kelvane({"--runs"}).out.find("\t40\tundone\t"), std::string::npos);
  // Taking it back again finds everything in its place.
  EXPECT_EQ(kelvane({"--undo"}).exitStatus, 0);
  EXPECT_EQ(folderFiles(top), before);
}

TEST_F(Undo, LeavesWhatChangedWentOrWasTakenSinceAndReplacesNothing) {
  const std::string top = photos_.path();
  plant(top, 4);  // IMG_1000 .. IMG_1003, one a day
  // Named from its parent folder; taken back from another working folder.
  const auto slash = top.rfind('/');
  ASSERT_EQ(
      runProgram({KELVANE_BINARY, "--no-window", top.substr(slash + 1)}, top.substr(0, slash)).exitStatus, 0);
  writeBytes(top + "/2023-07-01/IMG_1000.jpg", {9});                      // written to since
  writeBytes(top + "/IMG_1001.jpg", {7, 7});                              // its name taken again
  ASSERT_EQ(std::remove((top + "/2023-07-03/IMG_1002.jpg").c_str()), 0);  // gone
  const Tree sorted = folderFiles(top);

  const ProcessResult undone = kelvane({"--undo"});
  EXPECT_EQ(undone.exitStatus, 1);
  for (const char* line :
       {"Changed since the run, left there: \"2023-07-01/IMG_1000.jpg\"\n",
        "Name taken: \"IMG_1001.jpg\", so \"2023-07-02/IMG_1001.jpg\" stays\n",
        "Gone since the run: \"2023-07-03/IMG_1002.jpg\"\n",
        "Moving \"2023-07-04/IMG_1003.jpg\" back to \"IMG_1003.jpg\"\n", "Removed Directory \"2023-07-04\"\n",
        "Removed Directory \"2023-07-03\"\n", "Not taken back: 3 of 4 files\n"}) {
    EXPECT_NE(undone.out.find(line), std::string::npos) << line << undone.out;
  }
  Tree expected = sorted;
  expected["IMG_1003.jpg"] = expected.at("2023-07-04/IMG_1003.jpg");
  expected.erase("2023-07-04/IMG_1003.jpg");
  expected.erase("2023-07-04");
  expected.erase("2023-07-03");  // emptied by the file that went
  EXPECT_EQ(folderFiles(top), expected);
  EXPECT_NE(kelvane({"--runs"}).out.find("\t4\tpartly\t"), std::string::npos);
}

// A link named as a file is filed as a link, with one "../" more; taken back,
// it leads where it led, under its own name. One that is not the run's link
// any more, even with the same text, is left.
TEST_F(Undo, TakesBackAFiledLinkAndOnlyThatLink) {
  const std::string top = photos_.path();
  ::mkdir((top + "/p").c_str(), 0700);
  writeBytes(top + "/p/a.jpg", jpegWithDate("2023:07:01 12:00:00"));
  ASSERT_EQ(::symlink("p/a.jpg", (top + "/l.jpg").c_str()), 0);
  ASSERT_EQ(::symlink("p/a.jpg", (top + "/m.jpg").c_str()), 0);
  ASSERT_EQ(kelvane({"--no-window", top + "/l.jpg", top + "/m.jpg"}).exitStatus, 0);
  const std::string replaced = top + "/2023-07-01/m.jpg";
  ASSERT_EQ(::unlink(replaced.c_str()), 0);
  ASSERT_EQ(::symlink("../p/a.jpg", replaced.c_str()), 0);  // the user's own, as the run made it
  const ProcessResult undone = kelvane({"--undo"});
  EXPECT_EQ(undone.exitStatus, 1) << undone.out;
  EXPECT_NE(undone.out.find("Changed since the run, left there: \"2023-07-01/m.jpg\"\n"), std::string::npos)
      << undone.out;
  const auto textOf = [](const std::string& link) {
    std::array<char, 64> text{};
    return std::string(text.data(),
                       static_cast<std::size_t>(::readlink(link.c_str(), text.data(), text.size())));
  };
  EXPECT_EQ(textOf(top + "/l.jpg"), "p/a.jpg");
  EXPECT_EQ(textOf(replaced), "../p/a.jpg");
  EXPECT_EQ(folderFiles(top).count("m.jpg"), 0u);
}

// Without a state folder to keep journals in, runs sort as ever, unrecorded,
// and say so in one line of their own.
TEST_F(Undo, ARunThatCannotBeRecordedStillSorts) {
  writeBytes(state_.path() + "/file", {1});
  ::setenv("XDG_STATE_HOME", (state_.path() + "/file").c_str(), 1);
  plant(photos_.path(), 2);
  const ProcessResult run = kelvane({"--no-window", photos_.path()});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(run.out.ends_with("Moving \"IMG_1001.jpg\" to \"2023-07-02\"\nFinished\n")) << run.out;
  EXPECT_TRUE(run.err.starts_with("Kelvane: this run is not recorded and cannot be undone: Error # "))
      << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
}

TEST_F(Undo, SaysWhenThereIsNothingToTakeBack) {
  const ProcessResult none = kelvane({"--undo"});
  EXPECT_EQ(none.exitStatus, 1);
  EXPECT_NE(none.err.find("no recorded run"), std::string::npos) << none.err;
  // A run that moves nothing, and a preview, record nothing.
  plant(photos_.path(), 2);
  EXPECT_EQ(kelvane({"--preview", photos_.path()}).exitStatus, 0);
  writeBytes(photos_.path() + "/notes.txt", {1});
  EXPECT_EQ(kelvane({"--no-window", photos_.path() + "/notes.txt"}).exitStatus, 0);
  EXPECT_EQ(kelvane({"--runs"}).out, "RUN\tSTARTED\tMOVED\tUNDONE\tFOLDERS\n");
  EXPECT_EQ(kelvane({"--undo", "20200101-000000"}).exitStatus, 1);
}

// A run killed at a random moment, then an undo killed at a random moment,
// then the undo run again: the tree is exactly as it was.
TEST_F(Undo, KilledRunsAndKilledUndosEndInTheExactTree) {
  const std::uint32_t seed = propertySeed();
  std::mt19937 random(seed);
  int undoneInPart = 0;
  double startUp = 1e9;
  for (int i = 0; i < 3; ++i) startUp = std::min(startUp, kelvane({"--runs"}).seconds);
  for (int round = 0; round < 10 && !HasFailure(); ++round) {
    TemporaryFolder state;
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    TemporaryFolder folder;
    plant(folder.path(), 200);
    const Tree before = folderFiles(folder.path());
    const ProcessResult run = kelvane({"--no-window", folder.path()});
    const ProcessResult undo = kelvane({"--undo"});
    ASSERT_EQ(undo.exitStatus, 0);
    ASSERT_EQ(folderFiles(folder.path()), before);
    // Kills fall between start-up and the end of a whole run as measured
    // here; the undo's within the time taking back that much of it takes.
    const auto killAfter = [&](double seconds) {
      return std::chrono::milliseconds(std::uniform_int_distribution<long>(
          static_cast<long>(startUp * 800), static_cast<long>(std::max(seconds, startUp) * 1000))(random));
    };
    const auto runKilledAfter = killAfter(run.seconds);
    const auto undoKilledAfter = killAfter(
        undo.seconds * (static_cast<double>(runKilledAfter.count()) / 1000) / std::max(run.seconds, 1e-3));
    SCOPED_TRACE("KELVANE_SEED=" + std::to_string(seed) + ", round " + std::to_string(round) +
                 ", run killed after " + std::to_string(runKilledAfter.count()) + " ms, undo after " +
                 std::to_string(undoKilledAfter.count()) + " ms");
    kelvane({"--no-window", folder.path()}, runKilledAfter);
    const ProcessResult cut = kelvane({"--undo"}, undoKilledAfter);
    undoneInPart += cut.killedBySignal != 0 && cut.out.find("back to") != std::string::npos;
    const ProcessResult finish = kelvane({"--undo"});
    EXPECT_EQ(finish.exitStatus, 0) << finish.out << finish.err;
    EXPECT_EQ(folderFiles(folder.path()), before);
  }
  EXPECT_GT(undoneInPart, 0) << "no undo was killed half-way";
}

// An edited journal must not steer an undo anywhere: a journal with any
// record that is not valid is refused whole, before anything moves, naming
// the journal and the line.
TEST_F(Undo, RefusesAJournalWithARecordThatIsNotValidWhole) {
  struct Edit {
    const char* what;
    std::string from;  // first occurrence, replaced; empty: `to` is added as a line
    std::string to;
  };
  TemporaryFolder top;
  const std::string tree = top.path() + "/tree";
  const std::string outside = top.path() + "/outside";
  const Edit edits[] = {
      {"a name leading out of the folder", "\tIMG_1000.jpg\t2023-07-01\t",
       "\t../outside/IMG_1000.jpg\t2023-07-01\t"},
      {"a created folder outside", "create\t" + tree + "\t2023-07-02",
       "create\t" + tree + "\t../outside/keep"},
      {"an absolute date folder", "\tIMG_1001.jpg\t2023-07-02\t", "\tIMG_1001.jpg\t" + outside + "\t"},
      {"a relative folder", "move\t" + tree + "\t", "move\ttree\t"},
      {"a line that is no record", "", "move\t" + tree + "\tIMG_1000.jpg\n"},
  };
  for (const Edit& edit : edits) {
    SCOPED_TRACE(edit.what);
    TemporaryFolder state;
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    std::filesystem::remove_all(tree);
    std::filesystem::remove_all(outside);
    ::mkdir(tree.c_str(), 0700);
    ::mkdir(outside.c_str(), 0700);
    ::mkdir((outside + "/keep").c_str(), 0700);
    plant(tree, 2);  // IMG_1000 of the first day, IMG_1001 of the second
    ASSERT_EQ(kelvane({"--no-window", tree}).exitStatus, 0);
    // The same file under a name outside, as a changed journal could name it.
    ASSERT_EQ(::link((tree + "/2023-07-02/IMG_1001.jpg").c_str(), (outside + "/IMG_1001.jpg").c_str()), 0);

    const std::string journal =
        state.path() + "/kelvane/runs/" +
        std::filesystem::directory_iterator(state.path() + "/kelvane/runs")->path().filename().string();
    std::string text = readBytes(journal);
    std::size_t line = lines(text) + 1;
    if (edit.from.empty()) {
      text += edit.to;
    } else {
      const std::size_t at = text.find(edit.from);
      ASSERT_NE(at, std::string::npos) << text;
      line = lines(text.substr(0, at)) + 1;
      text.replace(at, edit.from.size(), edit.to);
    }
    writeBytes(journal, {text.begin(), text.end()});
    const Tree before = folderFiles(top.path());

    const ProcessResult undone = kelvane({"--undo"});
    EXPECT_EQ(undone.exitStatus, 1);
    EXPECT_EQ(undone.out, "");
    EXPECT_NE(undone.err.find(journal + ":" + std::to_string(line) + ": "), std::string::npos) << undone.err;
    EXPECT_EQ(folderFiles(top.path()), before);
  }
}

// A run holds its journal for its whole life, and an undo holds the run while
// it works: an undo of a run that still goes is refused (--runs says it is
// running), and so is a second undo of a run being taken back.
TEST_F(Undo, RefusesARunThatStillGoesAndASecondUndoAtOnce) {
  const std::string top = photos_.path();
  plant(top, 300);
  const Tree before = folderFiles(top);
  ThrottledKelvane run({"--no-window", top});
  // The second move's line comes after the first move's record.
  ASSERT_TRUE(run.readUntil("Moving \"IMG_1001.jpg\""));

  const ProcessResult early = kelvane({"--undo"});
  EXPECT_EQ(early.exitStatus, 1);
  EXPECT_EQ(early.out, "");
  EXPECT_NE(early.err.find(" is still running"), std::string::npos) << early.err;
  const ProcessResult runs = kelvane({"--runs"});
  EXPECT_EQ(lines(runs.out), 2u) << runs.out;
  EXPECT_TRUE(runs.out.ends_with("\trunning\t" + top + "\n")) << runs.out;

  const ProcessResult sorted = run.finish();
  EXPECT_EQ(sorted.exitStatus, 0) << sorted.err;
  EXPECT_TRUE(sorted.out.ends_with("Finished\n"));
  // Every photo is in a date folder: the refused undo moved none back.
  const Tree filed = folderFiles(top);
  EXPECT_EQ(std::count_if(filed.begin(), filed.end(),
                          [](const auto& entry) {
                            return entry.first.find('/') == std::string::npos && entry.second != "/";
                          }),
            0);
  EXPECT_TRUE(kelvane({"--runs"}).out.ends_with("\t300\t-\t" + top + "\n"));

  ThrottledKelvane first({"--undo"});
  ASSERT_TRUE(first.readUntil("\" back to \""));
  const ProcessResult second = kelvane({"--undo"});
  EXPECT_EQ(second.exitStatus, 1);
  EXPECT_EQ(second.out, "");
  EXPECT_NE(second.err.find(" is being taken back by another undo"), std::string::npos) << second.err;
  const ProcessResult undone = first.finish();
  EXPECT_EQ(undone.exitStatus, 0) << undone.out << undone.err;
  EXPECT_EQ(folderFiles(top), before);
}

// Run ids are local start times; "last" is still the run that started last
// when the time zone changed between two runs. Journals of the first format
// name their start in local time only: they come before every newer one, in
// the order of their last records.
TEST_F(Undo, OrdersRunsByWhenTheyStartedWhateverTheTimeZone) {
  std::filesystem::create_directories(runsFolder());
  const auto writeOld = [&](const std::string& id, std::time_t lastRecord) {
    const std::string path = runsFolder() + "/" + id + ".journal";
    const std::string text =
        "kelvane-journal 1\t2020-01-01 00:00:00\ncreate\t" + photos_.path() + "\t2020-01-01\n";
    writeBytes(path, {text.begin(), text.end()});
    const timespec times[2] = {{lastRecord, 0}, {lastRecord, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  writeOld("20300101-000000", 1'000'000'000);  // ran first, in a zone far ahead
  writeOld("20200101-000000", 1'000'000'100);
  const std::string east = plantedFolder("east", 2);
  const std::string west = plantedFolder("west", 2);
  const Tree westBefore = folderFiles(west);
  const char* zone = std::getenv("TZ");
  const std::optional<std::string> savedZone =
      zone != nullptr ? std::optional<std::string>(zone) : std::nullopt;
  ::setenv("TZ", "UTC-12", 1);  // local time is 24 hours ahead of the next run's
  ASSERT_EQ(kelvane({"--no-window", east}).exitStatus, 0);
  ::setenv("TZ", "UTC+12", 1);
  ASSERT_EQ(kelvane({"--no-window", west}).exitStatus, 0);
  savedZone ? ::setenv("TZ", savedZone->c_str(), 1) : ::unsetenv("TZ");

  const ProcessResult runs = kelvane({"--runs"});
  ASSERT_EQ(lines(runs.out), 5u) << runs.out;
  const std::size_t first = runs.out.find("\n20300101-000000\t");
  const std::size_t second = runs.out.find("\n20200101-000000\t");
  EXPECT_LT(first, second) << runs.out;
  EXPECT_LT(second, runs.out.find("\t" + east + "\n")) << runs.out;
  EXPECT_LT(runs.out.find("\t" + east + "\n"), runs.out.find("\t" + west + "\n")) << runs.out;
  const ProcessResult undone = kelvane({"--undo"});
  EXPECT_EQ(undone.exitStatus, 0) << undone.out;
  EXPECT_EQ(folderFiles(west), westBefore);
  EXPECT_NE(folderFiles(east).count("2023-07-01"), 0u);
}

// A run that cannot write its journal (no byte may go to a file) sorts
// unrecorded, says so, and leaves no journal; empty journals left by earlier
// releases are passed over, so the last real run is the one taken back.
TEST_F(Undo, LeavesNoEmptyJournalAndPassesOverOnesFound) {
  const std::string recorded = plantedFolder("recorded", 2);
  const std::string unrecorded = plantedFolder("unrecorded", 2);
  const Tree before = folderFiles(recorded);
  ASSERT_EQ(kelvane({"--no-window", recorded}).exitStatus, 0);
  const std::vector<std::string> journalsBefore = journals();

  // Its outputs go through a pipe, which the file size limit does not bound.
  const ProcessResult full =
      runProgram({"/bin/sh", "-c", "(trap '' XFSZ; ulimit -f 0; \"$@\"; echo \"exit $?\") 2>&1 | cat", "sh",
                  KELVANE_BINARY, "--no-window", unrecorded});
  EXPECT_NE(full.out.find("Kelvane: this run is not recorded and cannot be undone: Error # "),
            std::string::npos)
      << full.out;
  EXPECT_TRUE(full.out.ends_with("Finished\nexit 0\n")) << full.out;
  EXPECT_EQ(journals(), journalsBefore);

  writeBytes(runsFolder() + "/29990101-000000.journal", {});
  const std::string headerOnly = "kelvane-journal 1\t2999-01-01 00:00:01\n";
  writeBytes(runsFolder() + "/29990101-000001.journal", {headerOnly.begin(), headerOnly.end()});
  const ProcessResult runs = kelvane({"--runs"});
  EXPECT_EQ(lines(runs.out), 2u) << runs.out;
  EXPECT_EQ(kelvane({"--undo", "29990101-000001"}).exitStatus, 1);
  const ProcessResult undone = kelvane({"--undo"});
  EXPECT_EQ(undone.exitStatus, 0) << undone.out;
  EXPECT_EQ(folderFiles(recorded), before);
}

// A run started in a working folder deeper than PATH_MAX records that folder
// whole: it is taken back from anywhere, and a folder of the same name where
// the undo starts is not touched.
TEST_F(Undo, RecordsTheWholePathOfAWorkingFolderDeeperThanPathMax) {
  const std::string step(250, 'd');
  std::string deep = photos_.path();
  const auto enterDeep = [&] {
    ASSERT_EQ(::chdir(photos_.path().c_str()), 0);
    for (std::size_t length = photos_.path().size(); length < deep.size(); length += 1 + step.size())
      ASSERT_EQ(::chdir(step.c_str()), 0);
  };
  ASSERT_EQ(::chdir(deep.c_str()), 0);
  while (deep.size() <= PATH_MAX) {
    ASSERT_EQ(::mkdir(step.c_str(), 0700), 0);
    ASSERT_EQ(::chdir(step.c_str()), 0);
    deep += "/" + step;
  }
  ASSERT_EQ(::mkdir("photos", 0700), 0);
  plant("photos", 2);
  const Tree before = folderFiles("photos");
  const ProcessResult sorted = kelvane({"--no-window", "photos"});  // from the deep working folder
  const Tree after = folderFiles("photos");
  ASSERT_EQ(::chdir("/"), 0);
  ASSERT_EQ(sorted.exitStatus, 0) << sorted.err;
  ASSERT_NE(after, before);
  EXPECT_TRUE(kelvane({"--runs"}).out.ends_with("\t2\t-\t" + deep + "/photos\n"));

  TemporaryFolder elsewhere;
  ::mkdir((elsewhere.path() + "/photos").c_str(), 0700);
  ::mkdir((elsewhere.path() + "/photos/2023-07-01").c_str(), 0700);
  const ProcessResult undone = runProgram({KELVANE_BINARY, "--undo"}, elsewhere.path());
  EXPECT_EQ(undone.exitStatus, 0) << undone.out;
  EXPECT_EQ(folderFiles(elsewhere.path()).count("photos/2023-07-01"), 1u);
  enterDeep();
  EXPECT_EQ(folderFiles("photos"), before);
  ASSERT_EQ(::chdir("/"), 0);
}

// One line a run, whatever its folders are named: tabs, line breaks and
// backslashes are written as the journal writes them.
TEST_F(Undo, ListsARunOnOneLineWhateverItsFolderIsNamed) {
  const std::string folder = plantedFolder("tab\there\nline\\", 1);
  ASSERT_EQ(kelvane({"--no-window", folder}).exitStatus, 0);
  const ProcessResult runs = kelvane({"--runs"});
  EXPECT_EQ(lines(runs.out), 2u) << runs.out;
  EXPECT_TRUE(runs.out.ends_with("\t" + photos_.path() + "/tab\\there\\nline\\\\\n")) << runs.out;
}

}  // namespace
}  // namespace kelvane
