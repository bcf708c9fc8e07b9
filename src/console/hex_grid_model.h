#pragma once
// THexGridModel: a hex view (HexViewer, EEPDataView) in the shape of the
// design's string grid: 18 columns (address, 16 bytes, text) under a fixed
// header row 0, which the view shows as its horizontal header. The data rows
// come with the hex-view rebuild; until then the grid holds its header row
// only. GUI thread only.

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <array>

class THexGridModel : public QAbstractTableModel {
  Q_OBJECT
public:
  static constexpr int kColumns = 18;

  explicit THexGridModel(QColor textColor, QObject* parent = nullptr);

  // Row 0, the fixed header row; columns outside 0..17 are ignored.
  void SetHeaderCell(int column, const QString& text);
  QString HeaderCell(int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
  QColor textColor_;
  std::array<QString, kColumns> header_;
};
