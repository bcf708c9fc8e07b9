#include "console/hex_grid_model.h"

THexGridModel::THexGridModel(QColor textColor, QObject* parent)
    : QAbstractTableModel(parent), textColor_(textColor) {}

void THexGridModel::SetHeaderCell(int column, const QString& text) {
  if (column < 0 || column >= kColumns) return;
  header_[static_cast<size_t>(column)] = text;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

QString THexGridModel::HeaderCell(int column) const {
  if (column < 0 || column >= kColumns) return {};
  return header_[static_cast<size_t>(column)];
}

int THexGridModel::rowCount(const QModelIndex&) const { return 0; }

int THexGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant THexGridModel::data(const QModelIndex& index, int role) const {
  if (index.isValid() && role == Qt::ForegroundRole) return textColor_;
  return {};
}

QVariant THexGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return HeaderCell(section);
  return {};
}
