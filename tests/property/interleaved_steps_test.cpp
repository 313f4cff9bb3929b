// Another program's step taken exactly between two of Kelvane's, with no
// timing involved: after each check of the file layer and before the act
// that relies on it, in a run and in its undo; and a kill at each of those
// instants. Nothing is lost or replaced, what was swapped in stays, a filed
// link stands under exactly one of its two names at every instant, and an
// undo after any kill brings the tree back exactly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "disk_files.h"
#include "journal/undo_run.h"
#include "platform/posix/posix_file_system.h"
#include "platform/runtime_failure.h"
#include "posix/run_store.h"
#include "scripted_message_boxes.h"
#include "sort/sort_run.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

// Every entry below `top`, hidden ones too: a folder "/", a link "-> TEXT",
// a file its bytes.
Tree treeOf(const std::string& top) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(top)) {
    const std::string name = entry.path().lexically_relative(top).string();
    if (entry.is_symlink()) {
      tree[name] = "-> " + fs::read_symlink(entry.path()).string();
    } else {
      tree[name] = entry.is_directory() ? "/" : readBytes(entry.path());
    }
  }
  return tree;
}

int visibleLinks(const Tree& tree) {
  int links = 0;
  for (const auto& [name, what] : tree) {
    if (what.starts_with("-> ") && fs::path(name).filename().string()[0] != '.') ++links;
  }
  return links;
}

struct TextLog : Log {
  void append(std::string_view line) override { text += line; }
  std::string text;
};

constexpr const char* kDay = "2023-07-01";

// top/p holds a photo a.jpg and a relative link l.jpg to top/photos/real.jpg;
// the run is given the link (a link is filed only when named) and then p.
class Scene {
 public:
  Scene() {
    fs::create_directories(p());
    fs::create_directories(top_.path() + "/photos");
    writeBytes(top_.path() + "/photos/real.jpg", jpegWithDate("2023:07:01 10:00:00#real"));
    writeBytes(at("a.jpg"), jpegWithDate("2023:07:01 11:00:00#a"));
    fs::create_symlink("../photos/real.jpg", at("l.jpg"));
    original_ = treeOf(top_.path());
  }

  std::string p() const { return top_.path() + "/p"; }
  std::string at(const std::string& name) const { return p() + "/" + name; }
  std::string dated(const std::string& name) const { return p() + "/" + kDay + "/" + name; }
  Tree tree() const { return treeOf(top_.path()); }
  const Tree& original() const { return original_; }

  // The failure that stopped the run; 0 when it went through.
  int sort(const BetweenSteps& between = {}) {
    posix::PosixFileSystem files(between);
    ScriptedMessageBoxes boxes;
    TextLog log;
    bool processing = false;
    const posix::RunStore store(state_.path());
    posix::RunJournal journal(store, [](const RuntimeFailure&) { ADD_FAILURE() << "not recorded"; });
    SortRun run(files, boxes, log, processing, {OnCollision::Stop, nullptr, &journal});
    std::deque<std::string> paths{at("l.jpg"), p()};
    try {
      run.processWholePaths(paths);
    } catch (const RuntimeFailure& failure) {
      return failure.number();
    }
    return 0;
  }

  journal::UndoOutcome undo(const BetweenSteps& between = {}) {
    posix::PosixFileSystem files(between);
    const posix::RunStore store(state_.path());
    const journal::RunHistory run = store.read(store.runIds().back());
    posix::UndoJournal recorder(store, run.id);
    TextLog log;
    return journal::takeBack(run, files, recorder, log);
  }

 private:
  TemporaryFolder top_;
  TemporaryFolder state_;
  Tree original_;
};

// Another program's step, the first time the file layer reaches `step`.
BetweenSteps onceAt(Step step, std::function<void()> act) {
  return [step, act, done = false](Step reached) mutable {
    if (reached != step || done) return;
    done = true;
    act();
  };
}

void replaceWithFile(const std::string& path, const std::string& bytes) {
  fs::remove(path);
  writeBytes(path, {bytes.begin(), bytes.end()});
}

TEST(InterleavedSteps, WhatIsSwappedInBetweenCheckAndMoveStaysAndTheRunStops) {
  {
    SCOPED_TRACE("a file put in place of the link after its check");
    Scene scene;
    EXPECT_EQ(scene.sort(onceAt(Step::EntryChecked, [&] { replaceWithFile(scene.at("l.jpg"), "mine"); })),
              failure::kPathFileAccess);
    EXPECT_EQ(readBytes(scene.at("l.jpg")), "mine");
    EXPECT_FALSE(fs::exists(fs::symlink_status(scene.dated("l.jpg"))));
    EXPECT_TRUE(fs::is_empty(scene.p() + "/" + kDay)) << "no replacement link is left";
  }
  {
    SCOPED_TRACE("a folder put in place of the photo after its check");
    Scene scene;
    int checks = 0;  // the link goes first: the photo's check is the second
    const int stopped = scene.sort([&](Step step) {
      if (step != Step::EntryChecked || ++checks != 2) return;
      fs::rename(scene.at("a.jpg"), scene.p() + "/../a-aside.jpg");
      fs::create_directory(scene.at("a.jpg"));
      writeBytes(scene.at("a.jpg") + "/inside", {1});
    });
    EXPECT_EQ(stopped, failure::kPathFileAccess);
    EXPECT_EQ(readBytes(scene.at("a.jpg") + "/inside"), "\x01");
    EXPECT_FALSE(fs::exists(scene.dated("a.jpg")));
  }
  {
    SCOPED_TRACE("a file put in place of the moved link before it gets its new text");
    Scene scene;
    EXPECT_EQ(scene.sort(onceAt(Step::LinkReady, [&] { replaceWithFile(scene.dated("l.jpg"), "mine"); })),
              failure::kPathFileAccess);
    EXPECT_EQ(readBytes(scene.dated("l.jpg")), "mine");
    EXPECT_EQ(visibleLinks(scene.tree()), 0) << "the link was the other program's to remove";
    EXPECT_EQ(fs::directory_iterator(scene.p() + "/" + kDay)->path().filename(), "l.jpg")
        << "nothing but the other program's file in the date folder";
  }
}

TEST(InterleavedSteps, AnUndoMovesBackAndRemovesOnlyWhatTheRunLeft) {
  for (const char* name : {"l.jpg", "a.jpg"}) {
    SCOPED_TRACE(std::string("a file put in place of ") + name + " in the date folder after its check");
    Scene scene;
    ASSERT_EQ(scene.sort(), 0);
    int checks = 0;
    const std::string moved = scene.dated(name);
    const journal::UndoOutcome outcome = scene.undo([&](Step step) {
      if (step == Step::EntryChecked && ++checks == (name == std::string("l.jpg") ? 2 : 1)) {
        replaceWithFile(moved, "mine");  // the undo takes a.jpg first, newest move first
      }
    });
    EXPECT_EQ(outcome.notBack, 1u);
    EXPECT_EQ(readBytes(moved), "mine");
    EXPECT_FALSE(fs::exists(fs::symlink_status(scene.at(name))));
  }
  {
    SCOPED_TRACE("another folder put in place of the date folder after its check");
    Scene scene;
    ASSERT_EQ(scene.sort(), 0);
    const std::string day = scene.p() + "/" + kDay;
    const journal::UndoOutcome outcome = scene.undo(onceAt(Step::FolderChecked, [&] {
      fs::rename(day, scene.p() + "/.aside");
      fs::create_directory(day);
      writeBytes(day + "/theirs.jpg", {2});
    }));
    EXPECT_EQ(outcome.notBack, 0u);
    EXPECT_EQ(readBytes(day + "/theirs.jpg"), "\x02");
  }
  {
    SCOPED_TRACE("the sorted folder's path leads to another folder since the run");
    Scene scene;
    ASSERT_EQ(scene.sort(), 0);
    fs::rename(scene.p(), scene.p() + "-sorted");
    fs::create_directories(scene.p() + "/" + kDay);
    EXPECT_EQ(scene.undo().notBack, 2u);
    EXPECT_TRUE(fs::is_directory(scene.p() + "/" + kDay)) << "an empty date folder not the run's stays";
    EXPECT_TRUE(fs::exists(scene.p() + "-sorted/" + kDay + "/a.jpg"));
  }
}

// How many times the file layer pauses in a whole, uninterrupted step.
int pausesOf(const std::function<void(const BetweenSteps&)>& step) {
  int pauses = 0;
  step([&](Step) { ++pauses; });
  return pauses;
}

// Runs `step` in a child process killed at its pause number `kill`, as a
// power cut or SIGKILL would end it there.
void killedAt(int kill, const std::function<void(const BetweenSteps&)>& step) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int pauses = 0;
    step([&](Step) {
      if (++pauses == kill) ::_exit(9);
    });
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9) << "killed at pause " << kill;
}

TEST(InterleavedSteps, AKillAtAnyStepLeavesOneLinkAndAnUndoRestoresTheTree) {
  const int runPauses = pausesOf([](const BetweenSteps& between) { Scene().sort(between); });
  ASSERT_GE(runPauses, 4);
  for (int kill = 1; kill <= runPauses; ++kill) {
    SCOPED_TRACE("the run killed at pause " + std::to_string(kill));
    Scene scene;
    killedAt(kill, [&](const BetweenSteps& between) { scene.sort(between); });
    EXPECT_EQ(visibleLinks(scene.tree()), 1);
    EXPECT_EQ(scene.undo().notBack, 0u);
    EXPECT_EQ(scene.tree(), scene.original());
  }
  const int undoPauses = pausesOf([](const BetweenSteps& between) {
    Scene scene;
    scene.sort();
    scene.undo(between);
  });
  ASSERT_GE(undoPauses, 5);
  for (int kill = 1; kill <= undoPauses; ++kill) {
    SCOPED_TRACE("the undo killed at pause " + std::to_string(kill));
    Scene scene;
    ASSERT_EQ(scene.sort(), 0);
    killedAt(kill, [&](const BetweenSteps& between) { scene.undo(between); });
    EXPECT_EQ(visibleLinks(scene.tree()), 1);
    EXPECT_EQ(scene.undo().notBack, 0u);
    EXPECT_EQ(scene.tree(), scene.original());
  }
}

}  // namespace
}  // namespace kelvane
