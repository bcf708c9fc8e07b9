// The main window's form as the program starts it: client area, pages,
// panels, timers, the log memo, and the exit, log and About commands; and the
// top-level report of an exception that leaves a handler.
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <chrono>

#include "support/main_window_fixture.h"
#include "toolkit/errors.h"

namespace {

using MainWindowFormTest = MainWindowTest;

TEST_F(MainWindowFormTest, FixedClientAreaWithoutMaximiseBox) {
  EXPECT_EQ(window->objectName().toStdString(), "OrvantBEMxPrg");
  EXPECT_EQ(window->centralWidget()->width(), 914);
  EXPECT_EQ(window->centralWidget()->height() + window->StatusBar1->height(), 577);
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(window->PanelBtns->geometry(), QRect(0, 0, 914, 41));
  EXPECT_EQ(window->ViewPageCtrl->geometry(), QRect(0, 48, 918, 497));
}

TEST_F(MainWindowFormTest, PagesGroupsAndPanelsCarryTheirCaptions) {
  ASSERT_EQ(window->ViewPageCtrl->count(), 3);
  const struct {
    QWidget* page;
    const char* caption;
  } pages[] = {{window->ChipSett, "Chip Setting"}, {window->TabSheetFlash, "Main Flash"}, {window->TabSheetEEP, "EEP Data"}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(window->ViewPageCtrl->widget(i), pages[i].page);
    EXPECT_EQ(window->ViewPageCtrl->tabText(i).toStdString(), pages[i].caption);
  }
  EXPECT_EQ(window->GroupBoxChip->title().toStdString(), "芯片设置");
  EXPECT_EQ(window->GroupBoxCfg->title().toStdString(), "烧写功能配置");
  EXPECT_EQ(window->GroupBoxCom->title().toStdString(), "通讯配置");
  EXPECT_EQ(window->InfoPanel->text().toStdString(), "Device = ??????");

  EXPECT_EQ(window->StatusBar1->height(), 27);
  const struct {
    const char* text;
    int width;
  } panels[] = {{"文件校验和：", 160}, {"芯片校验和：", 160}, {"", 400}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    auto* label = window->StatusBar1->findChild<QLabel*>(QString("StatusPanel%1").arg(i));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().toStdString(), panels[i].text);
    EXPECT_EQ(label->width(), panels[i].width);
  }
}

TEST_F(MainWindowFormTest, TimersAsTheFormSetsThem) {
  EXPECT_TRUE(window->Timer1->isActive());
  EXPECT_EQ(window->Timer1->interval(), 10);
  EXPECT_FALSE(window->Timer2->isActive());
  EXPECT_EQ(window->Timer2->interval(), 100);
}

TEST_F(MainWindowFormTest, InfoMemoIsTheReadOnlyBlueLog) {
  const TMemoView& memo = *window->InfoMemoView;
  EXPECT_EQ(memo.objectName().toStdString(), "InfoMemo");
  EXPECT_EQ(memo.editTriggers(), QAbstractItemView::NoEditTriggers);  // read-only
  EXPECT_EQ(memo.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo.palette().color(QPalette::Text), QColor(0, 0, 255));
  EXPECT_EQ(memo.palette().color(QPalette::Base), memo.palette().color(QPalette::Window));
  EXPECT_EQ(memo.font().pixelSize(), 12);
  EXPECT_EQ(memo.font().families().value(0).toStdString(), "宋体");
}

TEST_F(MainWindowFormTest, ExitLogAndAboutCommandsCarryTheirCaptionsAndKeys) {
  EXPECT_EQ(window->SpdBtnExit->text().toStdString(), "退出");
  EXPECT_EQ(window->SpdBtnExit->toolTip().toStdString(), "Exit Application");
  const struct {
    QAction* action;
    QMenu* menu;
    const char* caption;
    const char* shortcut;
  } entries[] = {
      {window->Exit1, window->File1, "E&xit", "Ctrl+X"},
      {window->About1, window->Help1, "About", "F1"},
      {window->ClearInformation1, window->PopupMenu2, "Clear Information", ""},
      {window->CopytoCli1, window->PopupMenu2, "Copy Information", ""},
  };
  for (const auto& e : entries) {
    SCOPED_TRACE(e.caption);
    EXPECT_EQ(e.action->text().toStdString(), e.caption);
    EXPECT_EQ(e.action->shortcut(), QKeySequence(e.shortcut));
    EXPECT_TRUE(e.menu->actions().contains(e.action));
  }
  EXPECT_EQ(window->File1->title().toStdString(), "&File");
  EXPECT_EQ(window->Help1->title().toStdString(), "&Help");
}

TEST_F(MainWindowFormTest, ButtonPanelIsTheActiveControlOnceShown) {
  PlaceFirmwareImage();
  window->show();
  EXPECT_EQ(window->focusWidget(), window->PanelBtns);
  window->hide();
}

TEST_F(MainWindowFormTest, ExceptionLeavingAHandlerIsShownAndTheWindowStaysOpen) {
  PlaceFirmwareImage();
  window->show();
  QTimer::singleShot(0, window.get(), [] { throw ECommsError("Error opening serial port:ttyUSB7"); });
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (boxes.Shown().empty() && std::chrono::steady_clock::now() < limit) QApplication::processEvents();
  ASSERT_EQ(boxes.Texts(), std::vector<std::string>{"Error opening serial port:ttyUSB7"});
  EXPECT_EQ(boxes.Shown()[0].caption, "");  // the application title
  EXPECT_EQ(boxes.Shown()[0].type, MsgDlgType::Error);
  EXPECT_EQ(boxes.Shown()[0].buttons, unsigned{mbOK});
  EXPECT_TRUE(window->isVisible());
  window->hide();
}

}  // namespace
