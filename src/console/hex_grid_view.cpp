#include "console/hex_grid_view.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <algorithm>

#include "console/hex_grid_model.h"

namespace {

constexpr int kAddressDigits = 8;
constexpr int kByteDigits = 2;
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kAddressPrefix[] = "0x";
constexpr char16_t kFirstShownCharacter = 0x20;
constexpr char16_t kLastShownCharacter = 0x7F;
// The hex text may be this much smaller than the window's text, and no more.
constexpr int kSmallestShareNumerator = 5;
constexpr int kSmallestShareDenominator = 6;

int WidestDigit(const QFontMetrics& metrics) {
  int widest = 0;
  for (const char* digit = kHexDigits; *digit; ++digit)
    widest = std::max(widest, metrics.horizontalAdvance(QChar::fromLatin1(*digit)));
  return widest;
}

int WidestCharacter(const QFontMetrics& metrics) {
  int widest = 0;
  for (char16_t c = kFirstShownCharacter; c <= kLastShownCharacter; ++c)
    widest = std::max(widest, metrics.horizontalAdvance(QChar(c)));
  return widest;
}

int WidestText(const QFontMetrics& metrics, int column) {
  if (column == 0) return metrics.horizontalAdvance(kAddressPrefix) + kAddressDigits * WidestDigit(metrics);
  if (column == THexGridModel::kTextColumn) return THexGridModel::kBytesPerRow * WidestCharacter(metrics);
  return kByteDigits * WidestDigit(metrics);
}

}  // namespace

THexGridView::THexGridView(const ColumnWidths& widths, QWidget* parent) : QTableView(parent), widths_(widths) {
  // The size the window's text has here, inherited from the parent.
  const int windowPixels = std::max(1, QFontInfo(font()).pixelSize());
  const int smallest =
      std::max(1, (windowPixels * kSmallestShareNumerator + kSmallestShareDenominator / 2) / kSmallestShareDenominator);
  QFont hex = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  int pixels = windowPixels;
  for (; pixels > smallest; --pixels) {
    hex.setPixelSize(pixels);
    const QFontMetrics metrics(hex);
    bool fits = true;
    for (int column : {0, 1, static_cast<int>(THexGridModel::kTextColumn)})
      fits = fits && WidestText(metrics, column) + CellMargins() <= ColumnWidth(column);
    if (fits) break;
  }
  hex.setPixelSize(pixels);
  setFont(hex);

  // The minimum first: a default below the minimum of that moment (the
  // style's) would be raised to it.
  QHeaderView* header = horizontalHeader();
  header->setMinimumSectionSize(widths_.byte);
  header->setDefaultSectionSize(std::max(widths_.byte, NeededWidth(1)));
  connect(header, &QHeaderView::sectionResized, this,
          [this](int column, int, int width) { KeepWideEnough(column, width); });
}

void THexGridView::setModel(QAbstractItemModel* model) {
  QTableView::setModel(model);
  if (!model) return;
  for (int column : {0, static_cast<int>(THexGridModel::kTextColumn)})
    if (column < model->columnCount()) setColumnWidth(column, ColumnWidth(column));
}

int THexGridView::WidestTextWidth(int column) const { return WidestText(fontMetrics(), column); }

int THexGridView::CellMargins() const {
  // The delegate keeps the focus frame's margin and one pixel more on either
  // side of a cell's text; the grid line takes one pixel of the column.
  const int textMargin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  return 2 * textMargin + (showGrid() ? 1 : 0);
}

int THexGridView::ColumnWidth(int column) const {
  if (column == 0) return widths_.address;
  if (column == THexGridModel::kTextColumn) return widths_.text;
  return widths_.byte;
}

void THexGridView::KeepWideEnough(int column, int width) {
  const int least = std::max(ColumnWidth(column), NeededWidth(column));
  if (width < least) horizontalHeader()->resizeSection(column, least);
}
