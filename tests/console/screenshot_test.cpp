// Renders the main window after its first show into main_window.png in the
// build folder, for a look at the layout and the Chinese texts.
#include <QGroupBox>
#include <QPainter>
#include <QPixmap>
#include <QTabWidget>

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

}  // namespace
