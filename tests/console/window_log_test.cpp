// The window log: its file on close, the context-menu commands, About and Exit.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "console/about_form.h"
#include "link/channel_log.h"
#include "support/main_window_fixture.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/text_file.h"

namespace {

class WindowLogTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    PlaceFirmwareImage();
    window->FormShow(nullptr);  // one line: the greeting
  }
  void LogUpTo(size_t lines) {
    while (window->InfoMemo().Count() < lines) window->LogLine("line " + std::to_string(window->InfoMemo().Count()));
  }
  std::vector<std::string> LogFiles() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder + "Log"))
      names.push_back(entry.path().filename().string());
    return names;
  }
  void SelectRows(int first, int last, QItemSelectionModel::SelectionFlags how) {
    const QAbstractItemModel* model = window->InfoMemoView->model();
    window->InfoMemoView->selectionModel()->select(QItemSelection(model->index(first, 0), model->index(last, 0)), how);
  }
  // Whether the view shows the row wholly, within its viewport.
  bool RowInSight(int row) const {
    const TMemoView& view = *window->InfoMemoView;
    return view.viewport()->rect().contains(view.visualRect(view.model()->index(row, 0)));
  }
  static std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
};

TEST_F(WindowLogTest, SixLinesAreNotSaved) {
  LogUpTo(6);
  window->FormClose(nullptr);
  EXPECT_TRUE(LogFiles().empty());
  EXPECT_TRUE(boxes.Shown().empty());
}

// An unattended run's log is the only account of it: saved however short.
TEST_F(WindowLogTest, UnattendedRunSavesEvenAShortLog) {
  window->SetCommandLine({folder + "JOB.ptv", "OFF"});
  LogUpTo(2);
  window->FormClose(nullptr);
  ASSERT_EQ(LogFiles(), std::vector<std::string>{"ORxBEM_2026_12_08_14_03_22.log"});
  EXPECT_EQ(FileBytes(folder + "Log/ORxBEM_2026_12_08_14_03_22.log"), LogLines()[0] + "\r\n" + LogLines()[1] + "\r\n");
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(WindowLogTest, SevenLinesAreSavedAsCrLfText) {
  LogUpTo(7);
  window->FormClose(nullptr);
  ASSERT_EQ(LogFiles(), std::vector<std::string>{"ORxBEM_2026_12_08_14_03_22.log"});
  std::string expected;
  for (const std::string& line : LogLines()) expected += line + "\r\n";
  EXPECT_EQ(FileBytes(folder + "Log/ORxBEM_2026_12_08_14_03_22.log"), expected);
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(WindowLogTest, DateAndTimeSeparatorsBecomeUnderscores) {
  struct Case {
    const char* date;
    const char* time;
    const char* file;
  } cases[] = {
      {"%Y-%m-%d", "%H:%M:%S", "ORxBEM_2026_12_08_14_03_22.log"},
      {"%d/%m/%Y", "%H:%M:%S", "ORxBEM_08_12_2026_14_03_22.log"},
      {"%d.%m.%Y", "%I:%M:%S %p", "ORxBEM_08.12.2026_02_03_22 PM.log"},
  };
  LogUpTo(7);
  for (const Case& c : cases) {
    SetLocaleFormatsForTest(c.date, c.time);
    window->FormClose(nullptr);
    EXPECT_TRUE(FileExists(folder + "Log/" + c.file)) << c.file;
  }
  EXPECT_EQ(LogFiles().size(), std::size(cases));
}

// An operator sees the box; a close that nobody watches (asked for by a
// signal, or of an unattended run) must never wait on one: the text goes to
// standard error with the path and the reason, and the window closes.
TEST_F(WindowLogTest, WriteFailureGoesToABoxOnlyWhenAnOperatorIsThere) {
  struct Case {
    const char* name;
    std::vector<std::string> commandLine;
    bool bySignal;
    bool box;
  } cases[] = {
      {"the window's own close", {}, false, true},
      {"a close asked for by a signal", {}, true, false},
      {"the close of an unattended run", {folder + "JOB.ptv", "off"}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.Clear();
    window = std::make_unique<TOrvantBEMxPrg>();
    g.OrvantBEMxPrg = window.get();
    window->SetCommandLine(c.commandLine);
    std::filesystem::remove_all(folder + "Log");
    WriteProgramFile("Log", {"not a folder"});
    LogUpTo(7);
    window->show();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(c.bySignal ? window->CloseOnSignal() : window->close());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(window->isVisible());
    if (c.box) {
      EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Write Log File error!"});
      EXPECT_EQ(said, "");
    } else {
      EXPECT_TRUE(boxes.Shown().empty());
      std::string expected = "OrvantGenBEM: Write Log File error! " + folder + "Log/ORxBEM_2026_12_08_14_03_22.log: " +
                             std::strerror(ENOTDIR) + "\n";
      // An unattended run's log is its only account: its lines follow.
      if (!c.commandLine.empty())
        for (const std::string& line : LogLines()) expected += line + "\n";
      EXPECT_EQ(said, expected);
    }
    std::filesystem::remove(folder + "Log");
  }
}

// Runs that end within the same second share a name: each later log gets the
// first free suffix, and no log already there is touched. Nor is a name that
// something else holds (a link is not followed).
TEST_F(WindowLogTest, SavesWithinOneSecondKeepEveryLogByteForByte) {
  const std::string name = "ORxBEM_2026_12_08_14_03_22";
  std::filesystem::create_directory(folder + "elsewhere");
  std::filesystem::create_symlink(folder + "elsewhere/target.log", folder + "Log/" + name + "_2.log");
  std::map<std::string, std::string> saved;
  for (const char* file : {"", "_1", "_3"}) {
    LogUpTo(window->InfoMemo().Count() + 7);
    window->FormClose(nullptr);
    std::string expected;
    for (const std::string& line : LogLines()) expected += line + "\r\n";
    saved[name + file + ".log"] = expected;
  }
  std::vector<std::string> expectedFiles = {name + ".log", name + "_1.log", name + "_2.log", name + "_3.log"};
  std::vector<std::string> files = LogFiles();
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, expectedFiles);
  for (const auto& [file, bytes] : saved) EXPECT_EQ(FileBytes(folder + "Log/" + file), bytes) << file;
  EXPECT_FALSE(std::filesystem::exists(folder + "elsewhere/target.log"));
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(WindowLogTest, ExitCommandClosesTheWindowAndSavesTheLog) {
  LogUpTo(7);
  window->show();
  window->Exit1->trigger();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(LogFiles().size(), 1u);
}

TEST_F(WindowLogTest, ClearInformationEmptiesTheLogAndItsView) {
  LogUpTo(3);
  window->ClearInformation1->trigger();
  EXPECT_EQ(window->InfoMemo().Count(), 0u);
  EXPECT_TRUE(ShownLogLines().empty());
  window->ClearInformation1Click(nullptr);  // on an empty log: nothing
  EXPECT_EQ(window->InfoMemo().Count(), 0u);
}

TEST_F(WindowLogTest, CopyInformationCopiesOnlyTheSelectedLines) {
  LogUpTo(6);
  SelectRows(2, 4, QItemSelectionModel::ClearAndSelect);
  QGuiApplication::clipboard()->setText("before");
  window->CopytoCli1->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), LogLines()[2] + "\n" + LogLines()[3] + "\n" + LogLines()[4]);
}

TEST_F(WindowLogTest, CopyInformationCopiesTheSelectionHoweverItWasMade) {
  struct Case {
    const char* name;
    std::function<void()> select;
    std::vector<int> rows;
  } cases[] = {
      {"two separate runs",
       [&] {
         SelectRows(1, 1, QItemSelectionModel::ClearAndSelect);
         SelectRows(4, 5, QItemSelectionModel::Select);
       },
       {1, 4, 5}},
      {"runs given bottom first and overlapping",
       [&] {
         SelectRows(3, 5, QItemSelectionModel::ClearAndSelect);
         SelectRows(0, 4, QItemSelectionModel::Select);
       },
       {0, 1, 2, 3, 4, 5}},
      {"a click and a shift-click",
       [&] {
         TMemoView& view = *window->InfoMemoView;
         QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(view.model()->index(1, 0)).center());
         QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                           view.visualRect(view.model()->index(3, 0)).center());
       },
       {1, 2, 3}},
      {"the keys: Home, then Shift+Down twice",
       [&] {
         TMemoView& view = *window->InfoMemoView;
         view.setFocus();
         QTest::keyClick(&view, Qt::Key_Home);
         QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
         QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
       },
       {0, 1, 2}},
  };
  window->show();
  for (int i = 0; i < 6; ++i) window->LogLine(i % 2 ? "芯片校验和不正确！" : "Do Chip Erasing....");
  window->InfoMemo().Add("");  // a separator line is copied as an empty line
  window->LogLine("last");
  QApplication::processEvents();
  for (const Case& c : cases) {
    window->InfoMemoView->clearSelection();
    c.select();
    std::string expected = LogLines()[c.rows.front()];
    for (size_t i = 1; i < c.rows.size(); ++i) expected += "\n" + LogLines()[c.rows[i]];
    window->CopytoCli1Click(nullptr);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected) << c.name;
  }
  // Across the blank separator: the empty line keeps its place.
  SelectRows(6, 8, QItemSelectionModel::ClearAndSelect);
  window->CopytoCli1->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), LogLines()[6] + "\n\n" + LogLines()[8]);
}

TEST_F(WindowLogTest, ViewShowsTheNewestLineUntilTheOperatorScrollsBack) {
  window->show();
  TMemoView& view = *window->InfoMemoView;
  QScrollBar& bar = *view.verticalScrollBar();
  LogUpTo(300);  // many times what the view can show
  QApplication::processEvents();
  const auto lastRow = [&] { return static_cast<int>(window->InfoMemo().Count()) - 1; };
  EXPECT_TRUE(RowInSight(lastRow()));
  EXPECT_EQ(view.indexAt(view.visualRect(view.model()->index(lastRow(), 0)).center()).row(), lastRow());
  EXPECT_FALSE(RowInSight(0));

  bar.setValue(10);  // scrolled back: the view stays where the operator put it
  LogUpTo(320);
  EXPECT_TRUE(RowInSight(10));
  EXPECT_FALSE(RowInSight(lastRow()));

  bar.setValue(bar.maximum());  // back at the end: it follows again
  LogUpTo(340);
  EXPECT_TRUE(RowInSight(lastRow()));
  EXPECT_EQ(bar.value(), bar.maximum());
  EXPECT_EQ(ShownLogLines(), LogLines());
}

TEST_F(WindowLogTest, ClearInformationEmptiesAScrolledLogAndItsSelection) {
  window->show();
  TMemoView& view = *window->InfoMemoView;
  LogUpTo(300);
  SelectRows(200, 299, QItemSelectionModel::ClearAndSelect);
  view.verticalScrollBar()->setValue(150);
  window->ClearInformation1->trigger();
  EXPECT_EQ(view.model()->rowCount(), 0);
  EXPECT_EQ(view.verticalScrollBar()->maximum(), 0);
  EXPECT_FALSE(view.selectionModel()->hasSelection());
  EXPECT_FALSE(view.indexAt(QPoint(5, 5)).isValid());
  QGuiApplication::clipboard()->setText("before");
  window->CopytoCli1Click(nullptr);  // nothing left to copy
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "before");

  window->LogLine("after");
  QApplication::processEvents();
  EXPECT_EQ(ShownLogLines(), std::vector<std::string>{"> 14:03:22 after"});
  EXPECT_TRUE(RowInSight(0));
}

TEST_F(WindowLogTest, SaveAtCloseHoldsEveryLineOfALongLog) {
  window->show();
  for (int i = 0; i < 15000; ++i) {
    LogChannelLine("Progrmming Completed : Error：芯片未设定读保护！", static_cast<uint8_t>(i % kChannels));
    window->LogLine("第" + std::to_string(i) + "颗");
    if (i % 500 == 0) QApplication::processEvents();
  }
  ASSERT_EQ(window->InfoMemo().Count(), 30001u);  // and the greeting
  std::string expected;
  for (const std::string& line : LogLines()) expected += line + "\r\n";
  window->FormClose(nullptr);
  EXPECT_EQ(FileBytes(folder + "Log/ORxBEM_2026_12_08_14_03_22.log"), expected);
  EXPECT_EQ(ShownLogLines().size(), 30001u);  // the view showed them all as well
}

TEST_F(WindowLogTest, CopyInformationWithoutSelectionLeavesTheClipboard) {
  LogUpTo(3);
  QGuiApplication::clipboard()->setText("before");
  window->CopytoCli1Click(nullptr);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "before");
}

TEST_F(WindowLogTest, AboutShowsTheAboutBoxModally) {
  TAboutForm about(window.get());
  g.AboutForm = &about;
  std::vector<QDialog*> shown;
  ModalHook previous = SetModalHook([&](QDialog& form) {
    shown.push_back(&form);
    return int{QDialog::Accepted};
  });
  window->About1->trigger();
  SetModalHook(std::move(previous));
  g.AboutForm = nullptr;
  EXPECT_EQ(shown, std::vector<QDialog*>{&about});
}

}  // namespace
