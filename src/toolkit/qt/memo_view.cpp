#include "toolkit/qt/memo_view.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace {

// Room left of each line, as a text box leaves it.
constexpr int kTextMargin = 4;

int ClampToInt(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX)); }

}  // namespace

TMemoModel::TMemoModel(TMemo& memo, QObject* parent) : QAbstractListModel(parent), memo_(memo) {
  rows_ = static_cast<int>(std::min<size_t>(memo_.Count(), INT_MAX));
  memo_.SetOnAdded([this](std::string_view) {
    if (rows_ == INT_MAX) return;  // still saved, no longer shown
    beginInsertRows(QModelIndex(), rows_, rows_);
    ++rows_;
    endInsertRows();
  });
  memo_.SetOnCleared([this] {
    beginResetModel();
    rows_ = 0;
    endResetModel();
  });
}

int TMemoModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

QVariant TMemoModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_) return QVariant();
  return LineText(index.row());
}

Qt::ItemFlags TMemoModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QString TMemoModel::LineText(int row) const {
  const std::string_view line = memo_.Line(static_cast<size_t>(row));
  return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

TMemoView::TMemoView(TMemo& memo, QWidget* parent) : QAbstractItemView(parent), model_(new TMemoModel(memo, this)) {
  setModel(model_);
  setEditTriggers(NoEditTriggers);
  setSelectionMode(ExtendedSelection);
  setSelectionBehavior(SelectRows);
  setVerticalScrollMode(ScrollPerItem);
  setHorizontalScrollMode(ScrollPerPixel);
  setTabKeyNavigation(false);
}

QString TMemoView::SelectedText() const {
  // By ranges, never by index: a selection of the whole log stays a few ranges.
  std::vector<std::pair<int, int>> ranges;
  for (const QItemSelectionRange& range : selectionModel()->selection())
    if (range.isValid()) ranges.emplace_back(range.top(), range.bottom());
  std::sort(ranges.begin(), ranges.end());
  QString text;
  bool firstLine = true;
  int next = 0;  // rows before this one are copied already
  for (const auto& [top, bottom] : ranges) {
    for (int row = std::max(top, next); row <= bottom && row < model_->rowCount(); ++row) {
      if (!firstLine) text += u'\n';
      firstLine = false;
      text += model_->LineText(row);
    }
    next = std::max(next, bottom + 1);
  }
  return text;
}

int TMemoView::RowHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int TMemoView::TopRow() const { return verticalScrollBar()->value(); }

int TMemoView::VisibleRows() const { return std::max(1, viewport()->height() / RowHeight()); }

int TMemoView::RowAtY(int y) const {
  const int h = RowHeight();
  const int rowsDown = y >= 0 ? y / h : -((-y + h - 1) / h);
  return ClampToInt(int64_t{TopRow()} + rowsDown);
}

QRect TMemoView::visualRect(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != model_) return QRect();
  const int h = RowHeight();
  return QRect(-horizontalOffset(), ClampToInt((int64_t{index.row()} - TopRow()) * h),
               std::max(contentWidth_, viewport()->width()), h);
}

void TMemoView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid()) return;
  const int row = index.row();
  const int visible = VisibleRows();
  QScrollBar* bar = verticalScrollBar();
  switch (hint) {
    case PositionAtTop:
      bar->setValue(row);
      break;
    case PositionAtBottom:
      bar->setValue(row - visible + 1);
      break;
    case PositionAtCenter:
      bar->setValue(row - visible / 2);
      break;
    case EnsureVisible:
      if (row < TopRow())
        bar->setValue(row);
      else if (row >= TopRow() + visible)
        bar->setValue(row - visible + 1);
      break;
  }
}

QModelIndex TMemoView::indexAt(const QPoint& point) const {
  const int row = RowAtY(point.y());
  return row >= 0 && row < model_->rowCount() ? model_->index(row, 0) : QModelIndex();
}

void TMemoView::reset() {
  QAbstractItemView::reset();
  contentWidth_ = 0;
  updateGeometries();
  verticalScrollBar()->setValue(0);
  viewport()->update();
}

QModelIndex TMemoView::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
  const int rows = model_->rowCount();
  if (rows == 0) return QModelIndex();
  const QModelIndex current = currentIndex();
  int row = current.isValid() ? current.row() : -1;
  switch (action) {
    case MoveUp:
    case MovePrevious:
      row -= 1;
      break;
    case MoveDown:
    case MoveNext:
      row += 1;
      break;
    case MovePageUp:
      row -= VisibleRows();
      break;
    case MovePageDown:
      row += VisibleRows();
      break;
    case MoveHome:
      row = 0;
      break;
    case MoveEnd:
      row = rows - 1;
      break;
    default:
      break;
  }
  return model_->index(std::clamp(row, 0, rows - 1), 0);
}

int TMemoView::horizontalOffset() const { return horizontalScrollBar()->value(); }

int TMemoView::verticalOffset() const { return ClampToInt(int64_t{TopRow()} * RowHeight()); }

void TMemoView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
  const QRect area = rect.normalized();
  const int first = std::max(RowAtY(area.top()), 0);
  const int last = std::min(RowAtY(area.bottom()), model_->rowCount() - 1);
  if (first > last) {
    selectionModel()->select(QItemSelection(), command);  // below the last line: a click there clears
    return;
  }
  selectionModel()->select(QItemSelection(model_->index(first, 0), model_->index(last, 0)), command);
}

QRegion TMemoView::visualRegionForSelection(const QItemSelection& selection) const {
  const int top = TopRow();
  const int bottom = top + VisibleRows();  // a partly seen row below the whole ones included
  const int h = RowHeight();
  QRegion region;
  for (const QItemSelectionRange& range : selection) {
    const int first = std::max(range.top(), top);
    const int last = std::min(range.bottom(), bottom);
    if (first <= last) region += QRect(0, (first - top) * h, viewport()->width(), (last - first + 1) * h);
  }
  return region;
}

void TMemoView::SetVerticalRange() {
  const int visible = VisibleRows();
  QScrollBar* bar = verticalScrollBar();
  bar->setSingleStep(1);
  bar->setPageStep(visible);
  bar->setRange(0, std::max(0, model_->rowCount() - visible));
}

void TMemoView::updateGeometries() {
  SetVerticalRange();
  QScrollBar* bar = horizontalScrollBar();
  bar->setSingleStep(std::max(1, fontMetrics().averageCharWidth()));
  bar->setPageStep(std::max(1, viewport()->width()));
  bar->setRange(0, std::max(0, contentWidth_ - viewport()->width()));
  QAbstractItemView::updateGeometries();
}

void TMemoView::rowsInserted(const QModelIndex& parent, int start, int end) {
  // Follows the newest line while the operator has not scrolled back, as a text box does.
  QScrollBar* bar = verticalScrollBar();
  const bool following = bar->value() == bar->maximum();
  SetVerticalRange();
  if (following) bar->setValue(bar->maximum());
  if (start <= TopRow() + VisibleRows()) viewport()->update();
  QAbstractItemView::rowsInserted(parent, start, end);
}

void TMemoView::scrollContentsBy(int, int) {
  // A whole repaint of the few rows in sight; the rows themselves cost nothing to redraw.
  viewport()->update();
}

void TMemoView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const int h = RowHeight();
  const int top = TopRow();
  const QRect area = event->rect();
  const int first = std::max(RowAtY(area.top()), 0);
  const int last = std::min(RowAtY(area.bottom()), model_->rowCount() - 1);
  const QFontMetrics metrics = fontMetrics();
  const int left = kTextMargin - horizontalOffset();
  int widest = contentWidth_;
  for (int row = first; row <= last; ++row) {
    const QRect rowRect(0, (row - top) * h, viewport()->width(), h);
    const bool selected = selectionModel()->isSelected(model_->index(row, 0));
    if (selected) painter.fillRect(rowRect, palette().brush(QPalette::Highlight));
    painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QString text = model_->LineText(row);
    const int textWidth = metrics.horizontalAdvance(text);
    painter.drawText(QRect(left, rowRect.top(), textWidth + 1, h),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    widest = std::max(widest, textWidth + 2 * kTextMargin);
  }
  if (widest > contentWidth_) {
    contentWidth_ = widest;
    // Not from inside the paint: a scroll bar that appears resizes the viewport.
    QTimer::singleShot(0, this, [this] { updateGeometries(); });
  }
}

void TMemoView::keyPressEvent(QKeyEvent* event) {
  if (event == QKeySequence::Copy) {
    const QString text = SelectedText();
    if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
    event->accept();
    return;
  }
  QAbstractItemView::keyPressEvent(event);
}

void TMemoView::changeEvent(QEvent* event) {
  QAbstractItemView::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    updateGeometries();
    viewport()->update();
  }
}
