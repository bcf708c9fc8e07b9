// The image checksums with their log lines and status text, and the two hex
// views read through the real QTableViews offscreen.
#include <QAbstractItemModel>
#include <QApplication>
#include <QColor>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QSet>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTableView>
#include <cstring>
#include <string>
#include <vector>

#include "support/main_window_fixture.h"
#include "toolkit/format.h"

namespace {

// Independent codings of the three checksums, bit by bit.
uint16_t CcittFalse(const uint8_t* bytes, size_t n) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < n; ++i) {
    crc ^= static_cast<uint16_t>(bytes[i] << 8);
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

uint16_t PacketCrc(const uint8_t* bytes, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    const bool odd = crc & 1;
    crc = static_cast<uint16_t>((crc >> 1) ^ bytes[i] ^ (odd ? 0x4A12 : 0));
  }
  return crc;
}

uint32_t ByteSum(const uint8_t* bytes, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += bytes[i];
  return sum;
}

class HexViewsTest : public MainWindowTest {
 protected:
  static QString CellOf(QTableView* view, int row, int column) {
    return view->model()->index(row, column).data(Qt::DisplayRole).toString();
  }
  QString FlashCell(int row, int column) { return CellOf(window->HexViewer, row, column); }
  QString EepCell(int row, int column) { return CellOf(window->EEPDataView, row, column); }
  int FlashRows() { return window->HexViewer->model()->rowCount(); }
  int EepRows() { return window->EEPDataView->model()->rowCount(); }

  // Log lines after the clock's time stamp; bare lines stay empty.
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const std::string& line : LogLines())
      out.push_back(line.rfind("> 14:03:22 ", 0) == 0 ? line.substr(11) : line);
    return out;
  }
  bool Logged(const std::string& text) {
    for (const std::string& line : Texts())
      if (line == text) return true;
    return false;
  }
  bool EepPageShown() { return window->ViewPageCtrl->isTabVisible(window->ViewPageCtrl->indexOf(window->TabSheetEEP)); }
};

TEST_F(HexViewsTest, ThirtyTwoKilobytesOfErasedFlash) {
  std::memset(g.FlashImage, 0xFF, 0x8000);
  g.FlashStart = 0;
  g.FlashEnd = 0x7FFF;
  window->ShowChecksums(g.FlashStart, g.FlashEnd);
  window->ShowFlashGrid(g.FlashStart, g.FlashEnd);

  EXPECT_EQ(Texts(), (std::vector<std::string>{"", "目标Flash首地址 = 0x00000000.", "目标Flash尾地址 = 0x00007FFF.", "",
                                               "Chip Main Flash CRC16 CheckSum = 0x" +
                                                   Format("%0.4x", {CcittFalse(g.FlashImage, 0x8000)}) + ".",
                                               "Chip Main Flash ACC32 CheckSum = 0x7F8000."}));
  EXPECT_EQ(g.ImageSum32, 0x7F8000u);
  EXPECT_EQ(g.ImageSum16, 0x8000u);
  EXPECT_EQ(window->StatusPanelText(1), "芯片校验和：0x" + Format("%0.4x", {g.ImageCrc16}));

  ASSERT_EQ(FlashRows(), 2048);
  EXPECT_EQ(FlashCell(0, 0), "0x00000000");
  EXPECT_EQ(FlashCell(2047, 0), "0x00007FF0");
  for (int column = 1; column <= 16; ++column) EXPECT_EQ(FlashCell(2047, column), "FF") << column;
  EXPECT_EQ(FlashCell(2047, 17), QString(16, '.'));
  EXPECT_EQ(window->HexViewer->model()->index(0, 5).data(Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 0x80));
  EXPECT_EQ(window->HexViewer->verticalHeader()->defaultSectionSize(), 20);
}

TEST_F(HexViewsTest, ChecksumsAgreeWithIndependentCodings) {
  const char check[] = "123456789";
  ASSERT_EQ(CcittFalse(reinterpret_cast<const uint8_t*>(check), 9), 0x29B1);
  std::memcpy(g.FlashImage + 0x100, check, 9);
  window->ShowChecksums(0x100, 0x108);
  EXPECT_EQ(g.ImageCrc16, 0x29B1);

  for (uint32_t i = 0; i < 0x1000; ++i) g.FlashImage[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  window->ShowChecksums(0x10, 0xFFF);
  const uint8_t* range = g.FlashImage + 0x10;
  EXPECT_EQ(g.ImageCrc16, CcittFalse(range, 0xFF0));
  EXPECT_EQ(g.ImagePacketCrc, PacketCrc(range, 0xFF0));
  EXPECT_EQ(g.ImageSum32, ByteSum(range, 0xFF0));
  EXPECT_EQ(g.ImageSum16, static_cast<uint16_t>(ByteSum(range, 0xFF0)));
}

TEST_F(HexViewsTest, RangeLinesOnlyWhenFlashEndIsAboveFlashStart) {
  g.FlashStart = 0x100;
  g.FlashEnd = 0x100;
  g.EepSize = 256;
  window->ShowChecksums(g.FlashStart, g.FlashEnd);
  EXPECT_EQ(Texts().size(), 3u);
  const uint8_t zero = 0;
  EXPECT_EQ(Texts()[1], "Chip Main Flash CRC16 CheckSum = 0x" + Format("%0.4x", {CcittFalse(&zero, 1)}) + ".");
  EXPECT_EQ(Texts()[2], "Chip Main Flash ACC32 CheckSum = 0x0000.");

  window->InfoMemo().Clear();
  g.FlashStart = 0;
  g.FlashEnd = 0xFF;
  g.EepStart = 0x00400000;
  g.EepEnd = 0x004000FF;
  window->ShowChecksums(g.FlashStart, g.FlashEnd);
  EXPECT_TRUE(Logged("目标EEP Data首地址 = 0x00400000."));
  EXPECT_TRUE(Logged("目标EEP Data尾地址 = 0x004000FF."));
}

TEST_F(HexViewsTest, RangePastTheImageIsNotRead) {
  std::memset(g.FlashImage, 0x5A, 0x100);
  g.FlashStart = 0;
  g.FlashEnd = 0x00FFFFFF;  // a project file's range, beyond the 4 MB buffer
  window->ShowChecksums(g.FlashStart, g.FlashEnd);
  EXPECT_EQ(g.ImageCrc16, 0xFFFF);
  EXPECT_EQ(g.ImagePacketCrc, 0);
  EXPECT_EQ(g.ImageSum32, 0u);
  EXPECT_TRUE(Logged("Chip Main Flash CRC16 CheckSum = 0xFFFF."));
  EXPECT_TRUE(Logged("Chip Main Flash ACC32 CheckSum = 0x0000."));
  window->ShowChecksums(0x10, 0x0F);  // end below start: refused by the routines
  EXPECT_EQ(g.ImageSum32, 0u);
}

TEST_F(HexViewsTest, TextColumnShowsPrintableBytesUpToDel) {
  const uint8_t row[16] = {0x41, 0x7F, 0x80, 0x1F, 0x20, 0x7E, 0x00, 0xFF,
                           'z',  '0',  0x19, 0x21, 0x81, 0x3F, 0x7F, 0x20};
  std::memcpy(g.FlashImage + 0x20, row, 16);
  window->ShowFlashGrid(0, 0x3F);
  ASSERT_EQ(FlashRows(), 4);
  EXPECT_EQ(FlashCell(2, 17), QString::fromLatin1("A\x7F..\x20~..z0.!.?\x7F "));
  EXPECT_EQ(FlashCell(2, 1), "41");
  EXPECT_EQ(FlashCell(2, 3), "80");
  EXPECT_EQ(FlashCell(2, 4), "1F");
}

TEST_F(HexViewsTest, ViewKeepsTheImageAsItWasAtTheRebuild) {
  g.FlashImage[0] = 0xA5;
  window->ShowFlashGrid(0, 0xF);
  g.FlashImage[0] = 0x00;
  EXPECT_EQ(FlashCell(0, 1), "A5");
}

struct RowCountCase {
  const char* name;
  uint32_t base, start, end;
  int rows;
  const char* lastAddress;
};

void PrintTo(const RowCountCase& c, std::ostream* os) { *os << c.name; }

class FlashRowCountTest : public HexViewsTest, public ::testing::WithParamInterface<RowCountCase> {};

TEST_P(FlashRowCountTest, RowsAndTheirAddresses) {
  const RowCountCase& c = GetParam();
  g.BaseAddress = c.base;
  window->ShowFlashGrid(c.start, c.end);
  ASSERT_EQ(FlashRows(), c.rows);
  if (c.rows > 0) {
    EXPECT_EQ(FlashCell(c.rows - 1, 0).toStdString(), c.lastAddress);
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, FlashRowCountTest,
                         ::testing::Values(RowCountCase{"OneRow", 0, 0, 0, 1, "0x00000000"},
                                           RowCountCase{"PartRowCounts", 0, 0, 0x11, 2, "0x00000010"},
                                           RowCountCase{"ExactlyOneMegabyte", 0, 0, 0xFFFFF, 65536, "0x000FFFF0"},
                                           RowCountCase{"OverOneMegabyte", 0, 0, 0x3FFFFF, 65536, "0x000FFFF0"},
                                           RowCountCase{"EndBelowStart", 0, 0x100, 0xFF, 65536, "0x000FFFF0"},
                                           RowCountCase{"BaseSetsTheFirstRow", 0x1238, 0, 0x1F, 2, "0x00001248"},
                                           RowCountCase{"CutAtTheBufferEnd", 0x003FFFF0, 0, 0xFFFFF, 1, "0x003FFFF0"},
                                           RowCountCase{"BasePastTheBuffer", 0x00400000, 0, 0xFF, 0, ""}),
                         [](const ::testing::TestParamInfo<RowCountCase>& info) {
                           return std::string(info.param.name);
                         });

struct EepCase {
  const char* name;
  uint16_t size;
  bool shown;
  int rows;
};

void PrintTo(const EepCase& c, std::ostream* os) { *os << c.name; }

class EepViewTest : public HexViewsTest, public ::testing::WithParamInterface<EepCase> {};

TEST_P(EepViewTest, PageAndRows) {
  const EepCase& c = GetParam();
  g.EepSize = c.size;
  g.EepStart = 0x00010000;
  g.EepImage[16] = 0x3C;
  window->ShowEepGrid();
  EXPECT_EQ(EepPageShown(), c.shown);
  if (!c.shown) return;
  EXPECT_EQ(window->ViewPageCtrl->tabText(window->ViewPageCtrl->indexOf(window->TabSheetEEP)), "OTP Data");
  ASSERT_EQ(EepRows(), c.rows);
  EXPECT_EQ(EepCell(0, 0), "0x00010000");
  EXPECT_EQ(EepCell(c.rows - 1, 0).toStdString(), Format("0x%0.8x", {0x00010000u + 16u * (c.rows - 1)}));
  if (c.rows > 1) {
    EXPECT_EQ(EepCell(1, 1), "3C");
  }
  EXPECT_EQ(window->EEPDataView->model()->index(0, 1).data(Qt::ForegroundRole).value<QColor>(), QColor(0, 0x80, 0));
}

INSTANTIATE_TEST_SUITE_P(Sizes, EepViewTest,
                         ::testing::Values(EepCase{"NoneHidesThePage", 0, false, 0},
                                           EepCase{"FullRowsOnly", 20, true, 1}, EepCase{"SixteenRows", 256, true, 16},
                                           EepCase{"AboveTheBufferShowsItWhole", 20000, true, 1024}),
                         [](const ::testing::TestParamInfo<EepCase>& info) { return std::string(info.param.name); });

// --- What the views show on screen ---

struct FontCase {
  const char* name;
  int windowPixels;  // the application's font; 0 keeps the default
};

void PrintTo(const FontCase& c, std::ostream* os) { *os << c.name; }

class HexViewFitTest : public HexViewsTest, public ::testing::WithParamInterface<FontCase> {
 protected:
  void SetUp() override {
    if (GetParam().windowPixels > 0) {
      QFont large = defaultFont;
      large.setPixelSize(GetParam().windowPixels);
      QApplication::setFont(large);
    }
    HexViewsTest::SetUp();
  }
  void TearDown() override {
    HexViewsTest::TearDown();
    QApplication::setFont(defaultFont);
  }

  // Both views with data, as a person sees them after start-up: every
  // printable character in the text rows, the widest flash address last.
  void ShowData() {
    window->show();
    for (uint32_t i = 0; i < 0x8000; ++i) g.FlashImage[i] = static_cast<uint8_t>(0x20 + i % 0x60);
    for (uint32_t i = 0; i < 256; ++i) g.EepImage[i] = static_cast<uint8_t>(0x20 + i % 0x60);
    g.EepSize = 256;
    g.EepStart = 0x00400000;
    window->ShowFlashGrid(0, 0x7FFF);
    window->ShowEepGrid();
  }

  // The columns line up only when every character the view shows, the hex
  // digits and the text column's characters alike, has one advance. Qt's own
  // fixed-pitch flag is no test of that: it reports some monospaced families
  // (Noto Sans Mono) as proportional.
  static void ExpectOneAdvance(QTableView* view, const QFontMetrics& metrics) {
    QSet<QChar> shown;
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row)
      for (int column = 1; column < model->columnCount(); ++column)
        for (const QChar c : model->index(row, column).data().toString()) shown.insert(c);
    ASSERT_FALSE(shown.isEmpty());
    const int advance = metrics.horizontalAdvance(QChar('0'));
    for (const QChar c : shown)
      EXPECT_EQ(metrics.horizontalAdvance(c), advance)
          << "U+" << std::hex << int{c.unicode()} << " in " << QFontInfo(view->font()).family().toStdString();
  }

  // Each cell of every row, and each header cell, fits its column: the text
  // by the view's own font, with the margin the item delegate keeps either
  // side (the focus frame's and one pixel) and the grid line. The delegate's
  // own size hint must agree.
  void ExpectEveryTextFits(QTableView* view, int addressWidth) {
    SCOPED_TRACE(view->objectName().toStdString());
    const QFontMetrics metrics(view->font());
    ExpectOneAdvance(view, metrics);
    const int margins = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1) + 1;
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.font = view->font();
    option.fontMetrics = metrics;
    QAbstractItemModel* model = view->model();
    ASSERT_GT(model->rowCount(), 0);
    for (int column = 0; column < model->columnCount(); ++column) {
      SCOPED_TRACE(column);
      int widest = 0;
      int hinted = 0;
      for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, column);
        widest = std::max(widest, metrics.horizontalAdvance(index.data().toString()));
        if (row < 64) hinted = std::max(hinted, view->itemDelegate()->sizeHint(option, index).width());
      }
      EXPECT_LE(widest + margins, view->columnWidth(column));
      EXPECT_LE(hinted + 1, view->columnWidth(column));
      const int given = column == 0 ? addressWidth : column == 17 ? 130 : 25;
      EXPECT_GE(view->columnWidth(column), given);
      if (GetParam().windowPixels == 0) {
        EXPECT_EQ(view->columnWidth(column), given) << "the width the window gives fits at the default font";
      }
    }
  }

  QFont defaultFont = QApplication::font();
};

TEST_P(HexViewFitTest, AddressesBytesAndTextRowsFitTheirColumns) {
  ShowData();
  ExpectEveryTextFits(window->HexViewer, 70);
  ExpectEveryTextFits(window->EEPDataView, 73);
}

TEST_P(HexViewFitTest, AColumnSetNarrowerKeepsRoomForItsText) {
  ShowData();
  QTableView* view = window->HexViewer;
  const int before = view->columnWidth(0);
  view->setColumnWidth(0, 40);
  view->setColumnWidth(17, 60);
  EXPECT_EQ(view->columnWidth(0), before);
  EXPECT_GE(view->columnWidth(17), 130);
}

TEST_P(HexViewFitTest, HeaderRowIsWrittenInTheViewsColour) {
  ShowData();
  for (auto [view, colour] : {std::pair{window->HexViewer, QColor(0, 0, 0x80)},
                              std::pair{window->EEPDataView, QColor(0, 0x80, 0)}}) {
    EXPECT_EQ(view->model()->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), "  4");
    EXPECT_EQ(view->model()->headerData(5, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(), colour);
  }
}

INSTANTIATE_TEST_SUITE_P(Fonts, HexViewFitTest,
                         ::testing::Values(FontCase{"DefaultFont", 0}, FontCase{"LargeFont", 16}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
