// The window log: its file on close, the context-menu commands, About and Exit.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <fstream>
#include <sstream>

#include "console/about_form.h"
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

TEST_F(WindowLogTest, WriteFailureIsReportedAndTheWindowStillCloses) {
  // A file where the Log folder should be: the save cannot create its file.
  std::filesystem::remove_all(folder + "Log");
  WriteProgramFile("Log", {"not a folder"});
  LogUpTo(7);
  window->show();
  EXPECT_TRUE(window->close());
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Write Log File error!"});
  EXPECT_FALSE(window->isVisible());
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
  EXPECT_TRUE(window->InfoMemoView->toPlainText().isEmpty());
  window->ClearInformation1Click(nullptr);  // on an empty log: nothing
  EXPECT_EQ(window->InfoMemo().Count(), 0u);
}

TEST_F(WindowLogTest, CopyInformationCopiesOnlyTheSelectedLines) {
  LogUpTo(6);
  QTextCursor cursor(window->InfoMemoView->document()->findBlockByNumber(2));
  cursor.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor, 2);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  window->InfoMemoView->setTextCursor(cursor);
  QGuiApplication::clipboard()->setText("before");
  window->CopytoCli1->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), LogLines()[2] + "\n" + LogLines()[3] + "\n" + LogLines()[4]);
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
