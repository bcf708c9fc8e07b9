#include "console/hex_grid_model.h"

#include <algorithm>

#include "toolkit/format.h"

namespace {

constexpr uint8_t kFirstShownCharacter = 0x20;
constexpr uint8_t kLastShownCharacter = 0x7F;

QString RowText(const uint8_t* row) {
  QString text(THexGridModel::kBytesPerRow, QChar('.'));
  for (int j = 0; j < THexGridModel::kBytesPerRow; ++j)
    if (row[j] >= kFirstShownCharacter && row[j] <= kLastShownCharacter) text[j] = QChar(row[j]);
  return text;
}

}  // namespace

THexGridModel::THexGridModel(QColor textColor, QObject* parent) : QAbstractTableModel(parent), textColor_(textColor) {}

void THexGridModel::SetHeaderCell(int column, const QString& text) {
  if (column < 0 || column >= kColumns) return;
  header_[static_cast<size_t>(column)] = text;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

QString THexGridModel::HeaderCell(int column) const {
  if (column < 0 || column >= kColumns) return {};
  return header_[static_cast<size_t>(column)];
}

void THexGridModel::Rebuild(const uint8_t* bytes, size_t byteCount, uint32_t firstAddress, uint32_t rows) {
  const size_t wholeRows = bytes ? byteCount / kBytesPerRow : 0;
  const size_t shown = std::min({static_cast<size_t>(rows), wholeRows, static_cast<size_t>(kMaxRows)});
  beginResetModel();
  bytes_.assign(bytes, bytes + shown * kBytesPerRow);
  firstAddress_ = firstAddress;
  rows_ = static_cast<int>(shown);
  endResetModel();
}

void THexGridModel::Clear() { Rebuild(nullptr, 0, 0, 0); }

QString THexGridModel::Cell(int row, int column) const {
  if (row < 0 || row >= rows_ || column < 0 || column >= kColumns) return {};
  const uint8_t* rowBytes = bytes_.data() + static_cast<size_t>(row) * kBytesPerRow;
  if (column == 0) {
    const uint32_t address = firstAddress_ + static_cast<uint32_t>(row) * kBytesPerRow;
    return QString::fromStdString(Format("0x%0.8x", {address}));
  }
  if (column == kTextColumn) return RowText(rowBytes);
  return QString::fromStdString(Format("%0.2x", {rowBytes[column - 1]}));
}

int THexGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int THexGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant THexGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::ForegroundRole) return textColor_;
  if (role == Qt::DisplayRole) return Cell(index.row(), index.column());
  return {};
}

QVariant THexGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  // The fixed header row is written in the view's colour, as the cells are.
  if (role == Qt::ForegroundRole) return textColor_;
  if (role == Qt::DisplayRole) return HeaderCell(section);
  return {};
}
