// The window under the offscreen platform: start-up, the log append, the
// layout, drag-over and drop, and the boxes.
#include "app/frm_main.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/qt_message_boxes.h"
#include "app/text_conversion.h"
#include "disk_files.h"
#include "memory_file_system.h"
#include "platform/posix/posix_file_system.h"
#include "posix/run_store.h"
#include "scripted_message_boxes.h"
#include "tiff_builder.h"

// Readable failures.
void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace kelvane {
namespace {

using namespace kelvane::testing;

const QString kBanner = "Kelvane v.0.1.10\n\n";
const QString kHint = "Start by drag-dropping image-files or folders here\n\n";

// A window over in-memory folders /a, /b and /c, one dated photo in each.
struct Window {
  explicit Window(std::vector<std::string> commandLine = {}) {
    auto memory = std::make_unique<MemoryFileSystem>();
    files = memory.get();
    files->add("/a/1.jpg", jpegWithDate("2020:01:01 10:00:00"));
    files->add("/b/2.jpg", jpegWithDate("2020:02:02 10:00:00"));
    files->add("/c/3.jpg", jpegWithDate("2020:03:03 10:00:00", ByteOrder::Motorola));
    window = std::make_unique<frmMain>(std::move(memory), boxes, std::move(commandLine));
  }
  QString log() const { return window->txtOutput()->toPlainText(); }
  QLabel* status() const { return window->statusLine()->findChild<QLabel*>(); }

  // Sends drag-enter and drop to the log box as a real drag would; true
  // when both were taken as a copy.
  bool drag(QMimeData& data, Qt::DropActions offered, bool drop,
            Qt::KeyboardModifiers keys = Qt::NoModifier) {
    QWidget* viewport = window->txtOutput()->viewport();
    QDragEnterEvent enter(QPoint(5, 5), offered, &data, Qt::LeftButton, keys);
    QApplication::sendEvent(viewport, &enter);
    bool accepted = enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
    if (drop) {
      QDropEvent dropEvent(QPointF(5, 5), offered, &data, Qt::LeftButton, keys);
      QApplication::sendEvent(viewport, &dropEvent);
      accepted = accepted && dropEvent.isAccepted() && dropEvent.dropAction() == Qt::CopyAction;
    }
    return accepted;
  }
  // Drops the paths without waiting for their runs.
  bool dropOnly(const QStringList& paths, Qt::KeyboardModifiers keys = Qt::NoModifier) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls.push_back(QUrl::fromLocalFile(path));
    data.setUrls(urls);
    return drag(data, Qt::CopyAction | Qt::MoveAction, true, keys);
  }
  // Drops the paths and waits until every run has ended.
  bool dropFiles(const QStringList& paths) {
    const bool accepted = dropOnly(paths);
    EXPECT_TRUE(waitIdle());
    return accepted;
  }
  bool waitIdle() {
    return QTest::qWaitFor([&] { return !window->busy(); }, 5000);
  }

  ScriptedMessageBoxes boxes;
  MemoryFileSystem* files;
  std::unique_ptr<frmMain> window;
};

TEST(Window, StartsWithTheBannerAndTheHintAndNoTimer) {
  Window w;
  EXPECT_EQ(w.log(), kBanner + kHint);
  EXPECT_EQ(w.window->windowTitle(), "Kelvane");
  EXPECT_EQ(w.window->size(), QSize(408, 251));
  EXPECT_FALSE(w.window->tmr()->isActive());
}

TEST(Window, RunsItsCommandLineOnceAfterBeingShown) {
  Window w({"/a", "/b"});
  EXPECT_EQ(w.log(), kBanner);
  EXPECT_TRUE(w.window->tmr()->isActive());
  EXPECT_EQ(w.window->tmr()->interval(), 100);
  w.window->show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.log().endsWith("Finished\n"); }, 2000));
  EXPECT_EQ(w.log(),
            kBanner +
                "Input Directory: /a\nCreating Directory \"2020-01-01\"\nMoving \"1.jpg\" to \"2020-01-01\"\n"
                "Input Directory: /b\nCreating Directory \"2020-02-02\"\nMoving \"2.jpg\" to \"2020-02-02\"\n"
                "Finished\n");
  EXPECT_FALSE(w.window->tmr()->isActive());
  EXPECT_FALSE(w.window->bProcessing);
}

TEST(Window, TheTickRunsNothingWhileARunIsUnderWay) {
  Window w({"/a"});
  w.window->bProcessing = true;
  QTest::qWait(300);
  EXPECT_EQ(w.log(), kBanner);
  EXPECT_FALSE(w.window->tmr()->isActive());
  EXPECT_TRUE(w.files->FileExists("/a/1.jpg"));
}

TEST(Window, PrtAppendsAtTheEndWhateverTheUserSelected) {
  Window w;
  QPlainTextEdit* box = w.window->txtOutput();
  box->moveCursor(QTextCursor::End);
  box->insertPlainText("no line break");
  QTextCursor selection = box->textCursor();
  selection.setPosition(0);
  selection.setPosition(6, QTextCursor::KeepAnchor);  // "Kelvan" selected
  box->setTextCursor(selection);
  w.window->prt("X\n");
  EXPECT_EQ(w.log(), kBanner + kHint + "no line breakX\n");
  EXPECT_EQ(box->textCursor().position(), w.log().size());
  w.window->prt("");
  EXPECT_EQ(w.log(), kBanner + kHint + "no line breakX\n");
}

// The log is a record: keys and its menu select and copy it, never undo,
// redo, cut, paste, delete or type into it.
TEST(Window, TheLogCanBeCopiedButNotEdited) {
  Window w;
  QPlainTextEdit* box = w.window->txtOutput();
  w.window->prt("a line\n");
  const QString log = w.log();
  QApplication::clipboard()->setText("pasted");
  const std::pair<Qt::Key, Qt::KeyboardModifiers> edits[] = {
      {Qt::Key_Z, Qt::ControlModifier},
      {Qt::Key_Y, Qt::ControlModifier},
      {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier},
      {Qt::Key_V, Qt::ControlModifier},
      {Qt::Key_X, Qt::NoModifier},
      {Qt::Key_Return, Qt::NoModifier},
      {Qt::Key_Backspace, Qt::NoModifier},
      {Qt::Key_A, Qt::ControlModifier},
      {Qt::Key_Delete, Qt::NoModifier},
      {Qt::Key_X, Qt::ControlModifier},
  };
  for (const auto& [key, modifiers] : edits) QTest::keyClick(box, key, modifiers);
  EXPECT_EQ(w.log(), log);
  EXPECT_EQ(QApplication::clipboard()->text(), "pasted");
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), log);

  const std::unique_ptr<QMenu> menu(w.window->createLogMenu());
  QStringList entries;
  for (const QAction* action : menu->actions()) entries << action->objectName();
  EXPECT_TRUE(entries.contains("edit-copy") && entries.contains("select-all"))
      << entries.join(' ').toStdString();
  for (const char* edit : {"edit-undo", "edit-redo", "edit-cut", "edit-paste", "edit-delete"})
    EXPECT_FALSE(entries.contains(edit)) << edit;
}

TEST(Window, TheLogBoxFillsTheWindowAtEverySize) {
  Window w;
  w.window->show();
  for (const QSize size : {QSize(600, 400), QSize(300, 120), QSize(1, 1), QSize(0, 0)}) {
    w.window->resize(size);
    QApplication::processEvents();
    const QRect box = w.window->txtOutput()->geometry();
    EXPECT_EQ(box.topLeft(), QPoint(1, 1)) << size.width();
    EXPECT_EQ(box.width(), std::max(0, w.window->width() - 2));
    EXPECT_EQ(box.height(), std::max(0, w.window->height() - 2));
  }
}

TEST(Window, RefusesAnythingButAFileListOfferedAsACopy) {
  struct Row {
    const char* name;
    std::function<void(QMimeData&)> fill;
    Qt::DropActions offered;
  };
  const Row rows[] = {
      {"plain text", [](QMimeData& d) { d.setText("/a"); }, Qt::CopyAction},
      {"web link", [](QMimeData& d) { d.setUrls({QUrl("https://example.org/a.jpg")}); }, Qt::CopyAction},
      {"move only", [](QMimeData& d) { d.setUrls({QUrl::fromLocalFile("/a")}); }, Qt::MoveAction},
      {"link only", [](QMimeData& d) { d.setUrls({QUrl::fromLocalFile("/a")}); }, Qt::LinkAction},
  };
  for (const Row& row : rows) {
    Window w;
    QMimeData data;
    row.fill(data);
    EXPECT_FALSE(w.drag(data, row.offered, true)) << row.name;
    EXPECT_EQ(w.log(), kBanner + kHint) << row.name;
    EXPECT_TRUE(w.files->FileExists("/a/1.jpg")) << row.name;
  }
}

TEST(Window, RunsEveryDroppedPathAloneThenFinishesOnce) {
  Window w;
  EXPECT_TRUE(w.dropFiles({"/a", "/b", "/c"}));
  const QString lines = w.log().mid(kBanner.size() + kHint.size());
  EXPECT_EQ(lines.count("Input Directory: "), 3);
  EXPECT_LT(lines.indexOf("/a"), lines.indexOf("/b"));
  EXPECT_LT(lines.indexOf("/b"), lines.indexOf("/c"));
  EXPECT_EQ(lines.count("Finished"), 1);
  EXPECT_TRUE(lines.endsWith("Moving \"3.jpg\" to \"2020-03-03\"\nFinished\n"));
}

TEST(Window, ADroppedFileIsSortedBesideItselfAndAnEmptyListJustFinishes) {
  Window w;
  EXPECT_TRUE(w.dropFiles({"/b/2.jpg"}));
  EXPECT_TRUE(w.dropFiles({}));
  EXPECT_EQ(w.log(), kBanner + kHint +
                         "Creating Directory \"2020-02-02\"\nMoving \"2.jpg\" to \"2020-02-02\"\n" +
                         "Finished\nFinished\n");
  EXPECT_TRUE(w.files->FileExists("/b/2020-02-02/2.jpg"));
}

TEST(Window, AFailedRunShowsABoxAndTheWindowTakesTheNextDrop) {
  Window w;
  w.files->add("/a/2020-01-01/1.jpg", {'x'});  // the target name is taken
  QString logBehindTheBox;
  w.boxes.onShow = [&] { logBehindTheBox = w.log(); };
  w.dropFiles({"/a", "/b"});
  EXPECT_FALSE(w.window->statusLine()->isVisible());
  // The log behind the box, and after it, says where the run stopped.
  const QString stopped =
      "Input Directory: /a\nMoving \"1.jpg\" to \"2020-01-01\"\n"
      "Stopped: Error # 58 File already exists: /a/2020-01-01/1.jpg\n";
  EXPECT_TRUE(logBehindTheBox.endsWith(stopped)) << logBehindTheBox.toStdString();
  ASSERT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_EQ(w.boxes.shown[0].title, "Kelvane");
  EXPECT_EQ(w.boxes.shown[0].prompt, "Error # 58 File already exists: /a/2020-01-01/1.jpg");
  EXPECT_EQ(w.boxes.shown[0].buttons, Buttons::Ok);
  EXPECT_TRUE(w.log().endsWith(stopped));
  EXPECT_TRUE(w.files->FileExists("/b/2.jpg"));  // the rest of the drop was not run
  w.dropFiles({"/b"});
  EXPECT_TRUE(w.log().endsWith("Moving \"2.jpg\" to \"2020-02-02\"\nFinished\n"));
}

// A photo whose walk asks "Continue anyway?" (a text far past the end), so
// that a test can act while its box is open and the run waits.
void addAskingPhoto(MemoryFileSystem& files, const std::string& path) {
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.directory({{270, kAscii, 5, tiff.number(0x7000)}});
  files.add(path, JpegBuilder().soi().exif(tiff).padding(16).eoi().bytes());
}

// While a run waits on a box, the window is alive: the status line names the
// file, the title counts, drops are counted and kept, and run after, in order.
TEST(Window, DropsDuringARunWaitTheirTurnAndTheStatusLineFollowsTheRun) {
  Window w;
  w.window->show();
  addAskingPhoto(*w.files, "/a/0.jpg");
  QStringList statuses;
  QString title;
  w.boxes.onShow = [&] {
    if (!statuses.isEmpty()) return;  // the first of the photo's boxes
    for (const QStringList& drop : {QStringList{"/c"}, QStringList{}}) {
      EXPECT_TRUE(w.dropOnly(drop));
      statuses << w.status()->text();
    }
    EXPECT_TRUE(w.window->busy());
    title = w.window->windowTitle();
    EXPECT_TRUE(w.window->statusLine()->isVisible());
  };
  EXPECT_TRUE(w.dropFiles({"/a", "/b"}));
  EXPECT_EQ(
      statuses,
      QStringList({"Waiting for your answer about \"0.jpg\"\n0 of 2 done in /a (1 more drop waiting)",
                   "Waiting for your answer about \"0.jpg\"\n0 of 2 done in /a (2 more drops waiting)"}));
  EXPECT_EQ(title, "0 of 2 - Kelvane");
  const QString lines = w.log().mid(kBanner.size() + kHint.size());
  EXPECT_EQ(lines.count("Finished"), 3);
  EXPECT_LT(lines.indexOf("/b"), lines.indexOf("Finished"));
  EXPECT_GT(lines.indexOf("/c"), lines.indexOf("Finished"));
  EXPECT_TRUE(lines.endsWith("Moving \"3.jpg\" to \"2020-03-03\"\nFinished\nFinished\n"));
  EXPECT_FALSE(w.window->statusLine()->isVisible());
  EXPECT_EQ(w.window->windowTitle(), "Kelvane");
}

// At the window's start size a long folder and a long file name lose their
// middles, each line fits, and the count stays whole; given room, all shows.
TEST(Window, TheStatusLineFitsTheWindow) {
  Window w;
  w.window->show();
  const QString folder = "/tmp/a folder with a rather long name/and another folder inside it/camera roll";
  const QString name = "a-photo-whose-name-is-far-too-long-for-one-line-c3018ebe53c.jpg";
  addAskingPhoto(*w.files, toPathBytes(folder + "/" + name));
  w.files->add(toPathBytes(folder + "/z.jpg"), jpegWithDate("2020:01:01 10:00:00"));
  QStringList narrow;
  QStringList wide;
  w.boxes.onShow = [&] {
    if (!narrow.isEmpty()) return;  // the first of the photo's boxes
    QApplication::processEvents();  // as the box's own event loop would
    const QFontMetrics metrics(w.status()->font());
    narrow = w.status()->text().split('\n');
    for (const QString& line : narrow)
      EXPECT_LE(metrics.horizontalAdvance(line), w.status()->contentsRect().width()) << line.toStdString();
    w.window->resize(1000, 251);
    QApplication::processEvents();
    wide = w.status()->text().split('\n');
    w.window->resize(408, 251);
  };
  w.dropFiles({folder});
  ASSERT_EQ(narrow.size(), 2);
  EXPECT_TRUE(narrow[0].startsWith("Waiting for your answer about \"a-photo-") &&
              narrow[0].endsWith("53c.jpg\""))
      << narrow[0].toStdString();
  EXPECT_TRUE(narrow[1].startsWith("0 of 2 done in /tmp/") && narrow[1].contains(QChar(0x2026)) &&
              narrow[1].endsWith("roll"))
      << narrow[1].toStdString();
  EXPECT_EQ(wide,
            QStringList({"Waiting for your answer about \"" + name + "\"", "0 of 2 done in " + folder}));
}

// Stop takes effect before the next file; the log says where, the rest stays,
// and no "Finished" claims the drop went through. Closing does the same, then
// closes.
TEST(Window, StopAndCloseEndARunBetweenTwoFiles) {
  for (const bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "close" : "stop");
    Window w;
    w.window->show();
    addAskingPhoto(*w.files, "/a/0.jpg");
    w.boxes.onShow = [&] {
      if (closing) {
        EXPECT_FALSE(w.window->close());
      } else {
        QTest::keyClick(w.window.get(), Qt::Key_Escape);
      }
    };
    w.dropFiles({"/a", "/b"});
    EXPECT_TRUE(
        w.log().endsWith("Input Directory: /a\nNo date found: 0.jpg\nStopped by the user before \"1.jpg\"\n"))
        << w.log().toStdString();
    EXPECT_TRUE(w.files->FileExists("/a/1.jpg"));
    EXPECT_TRUE(w.files->FileExists("/b/2.jpg"));
    EXPECT_EQ(w.window->isVisible(), !closing);
  }
}

// Stop rests while a box waits for its answer (the box takes no clicks
// elsewhere); otherwise Tab reaches it from the log and Space presses it.
TEST(Window, StopIsOffWhileABoxWaitsAndTabReachesItOtherwise) {
  Window w;
  w.window->show();
  w.window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
  addAskingPhoto(*w.files, "/a/0.jpg");
  std::atomic<bool> holdReads = false;  // the run waits in its next read
  w.files->afterEachRead([&] {
    while (holdReads) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  bool stopOnDuringBox = false;
  int boxes = 0;
  w.boxes.onShow = [&] {
    stopOnDuringBox = stopOnDuringBox || w.window->stopButton()->isEnabled();
    if (++boxes == 1) holdReads = true;
  };
  ASSERT_TRUE(w.dropOnly({"/a", "/b"}));
  const bool stopOnAgain =
      QTest::qWaitFor([&] { return boxes > 0 && w.window->stopButton()->isEnabled(); }, 2000);
  w.window->txtOutput()->setFocus();
  QTest::keyClick(w.window->txtOutput(), Qt::Key_Tab);
  const bool stopFocused = QApplication::focusWidget() == w.window->stopButton();
  QTest::keyClick(w.window->stopButton(), Qt::Key_Space);
  holdReads = false;
  ASSERT_TRUE(w.waitIdle());
  EXPECT_FALSE(stopOnDuringBox);
  EXPECT_TRUE(stopOnAgain);
  EXPECT_TRUE(stopFocused);
  EXPECT_TRUE(w.log().contains("Stopped by the user before ")) << w.log().toStdString();
  EXPECT_TRUE(w.files->FileExists("/b/2.jpg"));
}

// Shift makes a drag a move; the window still takes the drop as a copy.
TEST(Window, ADropWithShiftIsStillACopy) {
  Window w;
  EXPECT_TRUE(w.dropOnly({"/a"}, Qt::ShiftModifier));
  EXPECT_TRUE(w.waitIdle());
}

// The newest line stays in view when the window shrinks and grows.
TEST(Window, TheNewestLineStaysInView) {
  Window w;
  w.window->show();
  for (int i = 0; i < 200; ++i) w.window->prt(QStringLiteral("line %1\n").arg(i));
  QScrollBar* bar = w.window->txtOutput()->verticalScrollBar();
  for (const QSize size : {QSize(300, 120), QSize(700, 500), QSize(200, 100)}) {
    w.window->resize(size);
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), bar->maximum()) << size.width();
  }
}

// Triggers the entry of the log box's context menu (or of a menu in it).
void chooseFromLogMenu(frmMain& window, const QString& text) {
  const std::unique_ptr<QMenu> menu(window.createLogMenu());
  for (QAction* action : menu->findChildren<QAction*>()) {
    if (action->text() == text) {
      action->trigger();
      return;
    }
  }
  ADD_FAILURE() << "no menu entry " << text.toStdString();
}

// A previewed drop logs what the run would do, every line marked, and
// changes nothing; the next drop is a real one again.
TEST(Window, APreviewedDropChangesNothing) {
  Window w;
  chooseFromLogMenu(*w.window, "Preview the next drop (changes nothing)");
  w.dropFiles({"/a"});
  const QString preview =
      "Preview: Input Directory: /a\nPreview: Creating Directory \"2020-01-01\"\n"
      "Preview: Moving \"1.jpg\" to \"2020-01-01\"\nPreview: Finished\n";
  EXPECT_EQ(w.log(), kBanner + kHint + preview);
  EXPECT_TRUE(w.files->FileExists("/a/1.jpg"));
  EXPECT_FALSE(w.files->FolderExists("/a/2020-01-01"));
  w.dropFiles({"/a"});
  EXPECT_TRUE(w.files->FileExists("/a/2020-01-01/1.jpg"));
}

// What a taken name does is chosen in the menu and kept for the next session.
TEST(Window, TheChoiceForTakenNamesIsKept) {
  {
    Window first;
    chooseFromLogMenu(*first.window, "Leave the file and go on");
  }
  Window w;
  w.files->add("/a/2020-01-01/1.jpg", {'x'});
  w.dropFiles({"/a", "/b"});
  EXPECT_TRUE(
      w.log().endsWith("Name taken: \"1.jpg\" in \"2020-01-01\"\n"
                       "Input Directory: /b\nCreating Directory \"2020-02-02\"\n"
                       "Moving \"2.jpg\" to \"2020-02-02\"\nFinished\n"))
      << w.log().toStdString();
}

// Sorting every format is chosen in the menu and kept for the next session.
TEST(Window, TheChoiceOfAllMediaIsKept) {
  const std::string png = readBytes(std::string(KELVANE_TEST_DATA_DIR) + "/media/photo.png");
  {
    Window first;
    first.files->add("/a/shot.png", {png.begin(), png.end()});
    first.dropFiles({"/a"});
    EXPECT_TRUE(first.log().contains("Invalid file: shot.png\n"));
    chooseFromLogMenu(*first.window, "Sort every photo and video format (raw, HEIC, PNG, videos...)");
  }
  Window w;
  w.files->add("/a/shot.png", {png.begin(), png.end()});
  w.dropFiles({"/a"});
  EXPECT_TRUE(w.files->FileExists("/a/2019-05-06/shot.png")) << w.log().toStdString();
}

// "Undo last run..." asks first, saying how many files will move back, then
// takes the last drop's run back on the disk, its lines in the log.
TEST(Window, UndoesTheLastRunAfterAsking) {
  TemporaryFolder state;
  const QByteArray testState = qgetenv("XDG_STATE_HOME");
  qputenv("XDG_STATE_HOME", QByteArray::fromStdString(state.path()));
  TemporaryFolder photos;
  writeBytes(photos.path() + "/1.jpg", jpegWithDate("2020:01:01 10:00:00"));
  writeBytes(photos.path() + "/2.jpg", jpegWithDate("2020:01:02 10:00:00"));
  const auto before = folderFiles(photos.path());
  ScriptedMessageBoxes boxes;
  frmMain window(std::make_unique<posix::PosixFileSystem>(), boxes, {});
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(photos.path()))});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.txtOutput()->viewport(), &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.txtOutput()->viewport(), &drop);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.busy(); }, 5000));
  ASSERT_NE(folderFiles(photos.path()), before);

  QString question;
  QTimer::singleShot(50, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    question = box->text();
    box->button(QMessageBox::Yes)->click();
  });
  chooseFromLogMenu(window, "Undo last run...");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.busy(); }, 5000));
  EXPECT_TRUE(question.startsWith("Move the 2 file(s) of run ")) << question.toStdString();
  EXPECT_TRUE(window.txtOutput()->toPlainText().endsWith(
      "Moving \"2020-01-01/1.jpg\" back to \"1.jpg\"\nRemoved Directory \"2020-01-02\"\n"
      "Removed Directory \"2020-01-01\"\nFinished\n"))
      << window.txtOutput()->toPlainText().toStdString();
  EXPECT_EQ(folderFiles(photos.path()), before);
  qputenv("XDG_STATE_HOME", testState);
}

// A run that still goes holds its journal: "Undo last run..." says so in its
// box, in the words of --undo, and starts nothing.
TEST(Window, RefusesToUndoARunThatStillGoes) {
  TemporaryFolder state;
  const QByteArray testState = qgetenv("XDG_STATE_HOME");
  qputenv("XDG_STATE_HOME", QByteArray::fromStdString(state.path()));
  const posix::RunStore store(posix::RunStore::defaultFolder());
  posix::RunJournal running(store, [](const RuntimeFailure& failure) { ADD_FAILURE() << failure.report(); });
  running.creatingFolder(state.path(), "2020-01-01");
  ScriptedMessageBoxes boxes;
  frmMain window(std::make_unique<posix::PosixFileSystem>(), boxes, {});
  QTimer noQuestion;  // a question asked instead of the refusal is answered No, and the test fails
  noQuestion.setSingleShot(true);
  QObject::connect(&noQuestion, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      ADD_FAILURE() << "asked: " << box->text().toStdString();
      box->button(QMessageBox::No)->click();
    }
  });
  noQuestion.start(50);
  chooseFromLogMenu(window, "Undo last run...");
  EXPECT_FALSE(window.busy());
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt,
            "run " + store.runIds().back() + " is still running: it can be taken back once it has ended");
  qputenv("XDG_STATE_HOME", testState);
}

// Every box opens over the window it was given, whichever window is active
// (none, just after a box closed).
TEST(QtMessageBoxes, OpenOverTheirWindowEveryTime) {
  QWidget window;
  window.setGeometry(0, 0, 408, 251);
  window.show();
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  QtMessageBoxes boxes;
  boxes.setOwner(&window);
  for (int box = 0; box < 2; ++box) {
    const QWidget* parent = nullptr;
    QPoint centre;
    QTimer::singleShot(0, [&] {
      auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(shown, nullptr);
      parent = shown->parentWidget();
      centre = shown->geometry().center();
      shown->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(boxes.show("Continue anyway?", "Get Directory Entries", Buttons::YesNo, Icon::Critical),
              Answer::Yes);
    EXPECT_EQ(parent, &window) << box;
    EXPECT_TRUE(window.geometry().contains(centre)) << box;
  }
}

TEST(QtMessageBoxes, ShowsAModalCriticalBoxWithYesAsTheDefault) {
  QtMessageBoxes boxes;
  for (const auto& [click, expected] : {std::pair{QMessageBox::No, Answer::No},
                                        {QMessageBox::Yes, Answer::Yes},
                                        {QMessageBox::YesToAll, Answer::YesToAll}}) {
    QString title;
    QString text;
    bool yesIsDefault = false;
    QTimer::singleShot(50, [&, click = click] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      title = box->windowTitle();
      text = box->text();
      yesIsDefault =
          box->defaultButton() == box->button(QMessageBox::Yes) && box->icon() == QMessageBox::Critical;
      box->button(click)->click();
    });
    EXPECT_EQ(boxes.show("Error # 9 Subscript out of range\n\nContinue anyway?", "Get Directory Entries",
                         Buttons::YesNo, Icon::Critical),
              expected);
    EXPECT_EQ(title, "Get Directory Entries");
    EXPECT_EQ(text, "Error # 9 Subscript out of range\n\nContinue anyway?");
    EXPECT_TRUE(yesIsDefault);
  }
}

}  // namespace
}  // namespace kelvane

// Offscreen unless told otherwise, so that listing the tests needs no display.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  // Settings of this process only: never the user's, nor another test's.
  const QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
