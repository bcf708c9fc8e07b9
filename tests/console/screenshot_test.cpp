// Renders the main window after its first show into main_window.png in the
// build folder, for a look at the layout and the Chinese texts; the option
// pages and the two hex views with data beside it.
#include <QGroupBox>
#include <QPainter>
#include <QPixmap>
#include <QTabWidget>
#include <QTableView>

#include "support/build_dir.h"
#include "support/main_window_fixture.h"

namespace {

using ScreenshotTest = MainWindowTest;

TEST_F(ScreenshotTest, MainWindowAfterStartUp) {
  WriteProgramFile("ConfigOvg.ini", {"; two units", "[Connection]", "TOTDEV=4", "DEV1=ttyUSB0", "DEV2=ttyUSB1"});
  window->setWindowTitle("OrvantGenBEM Programmer Wizard");
  window->show();
  window->LogLine("注意：芯片的电源脚需要接到烧写器的8脚(12V)");
  QPixmap picture = window->grab();
  window->hide();
  std::string path = TestBuildDir() + "/main_window.png";
  ASSERT_TRUE(picture.save(QString::fromStdString(path), "PNG")) << path;
  EXPECT_EQ(picture.width(), window->width() * picture.devicePixelRatio());
}

// The three option pages side by side in option_pages.png, for a look at the
// controls the first screenshot shows only one page of.
TEST_F(ScreenshotTest, OptionPages) {
  window->show();
  QTabWidget* pages = window->PageControlSet;
  QPixmap sheet(window->GroupBoxCfg->width() * pages->count(), window->GroupBoxCfg->height());
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  for (int page = 0; page < pages->count(); ++page) {
    pages->setCurrentIndex(page);
    painter.drawPixmap(page * window->GroupBoxCfg->width(), 0, window->GroupBoxCfg->grab());
  }
  painter.end();
  window->hide();
  std::string path = TestBuildDir() + "/option_pages.png";
  ASSERT_TRUE(sheet.save(QString::fromStdString(path), "PNG")) << path;
}

// The Main Flash and EEP Data pages with data in flash_view.png and
// eep_view.png, for a look at whole addresses and text rows. The flash view
// is scrolled to its end, where the widest address, 0x00007FF0, is.
TEST_F(ScreenshotTest, HexViewsWithData) {
  window->show();
  for (uint32_t i = 0; i < 0x8000; ++i) g.FlashImage[i] = static_cast<uint8_t>(0x20 + i % 0x60);
  for (uint32_t i = 0; i < 256; ++i) g.EepImage[i] = static_cast<uint8_t>(i < 128 ? 0x40 + i % 0x40 : i);
  g.BaseAddress = 0;
  g.EepSize = 256;
  g.EepStart = 0x00400000;
  window->ShowFlashGrid(0, 0x7FFF);
  window->ShowEepGrid();
  const struct {
    QWidget* page;
    QTableView* view;
    const char* file;
  } shots[] = {{window->TabSheetFlash, window->HexViewer, "/flash_view.png"},
               {window->TabSheetEEP, window->EEPDataView, "/eep_view.png"}};
  for (const auto& shot : shots) {
    window->ViewPageCtrl->setCurrentWidget(shot.page);
    shot.view->scrollToBottom();
    QPixmap picture = shot.page->grab();
    std::string path = TestBuildDir() + shot.file;
    EXPECT_TRUE(picture.save(QString::fromStdString(path), "PNG")) << path;
  }
  window->hide();
}

}  // namespace
