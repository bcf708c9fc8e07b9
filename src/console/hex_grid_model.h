#pragma once
// THexGridModel: a hex view (HexViewer, EEPDataView) laid out as a string
// grid: 18 columns (address, 16 bytes, text) under a fixed header row 0,
// which the view shows as its horizontal header.
//
// A rebuild copies the bytes it shows (at most kMaxRows rows of 16, 1 MB), so
// the view keeps showing the image as it was at that call whatever changes the
// buffer later; cells are formatted only when the view asks for them. Column
// 0 reads "0x%0.8x" of the row's address, columns 1..16 "%0.2x" of its bytes,
// column 17 the bytes as text (0x20..0x7F as the character, any other byte
// "."). Cells and header row are written in the view's colour. GUI thread
// only.

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class THexGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int kColumns = 18;
  static constexpr int kTextColumn = 17;
  static constexpr int kBytesPerRow = 16;
  // Rows are counted in 16 bits: 65,536 rows of 16 bytes show 1 MB, which
  // bounds the copy a rebuild makes and the rows a view scrolls through.
  static constexpr int kMaxRows = 65536;

  explicit THexGridModel(QColor textColor, QObject* parent = nullptr);

  // Row 0, the fixed header row; columns outside 0..17 are ignored.
  void SetHeaderCell(int column, const QString& text);
  QString HeaderCell(int column) const;

  // One model reset: `rows` data rows (at most kMaxRows, and no more than the
  // whole rows of the `byteCount` bytes at `bytes`), row i showing address
  // firstAddress + 16 * i (wrapping at 32 bits) and bytes[16 * i .. 16 * i + 15].
  // The bytes are copied; `bytes` may be null when byteCount is 0.
  void Rebuild(const uint8_t* bytes, size_t byteCount, uint32_t firstAddress, uint32_t rows);
  // Back to the header row alone.
  void Clear();

  // The text of data row `row` (0-based, below the header), column `column`;
  // empty outside the grid.
  QString Cell(int row, int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QColor textColor_;
  std::array<QString, kColumns> header_;
  std::vector<uint8_t> bytes_;  // rows_ * 16 bytes
  uint32_t firstAddress_ = 0;
  int rows_ = 0;
};
