#pragma once
// THexGridView: the table view of a hex grid (HexViewer, EEPDataView). It
// draws in the system's fixed-width font, so that the digits of the rows line
// up, at the largest size, no larger than the window's own text, at which the
// widest address, a byte and a whole 16-character text row fit the column
// widths the window gives (ColumnWidths) with the cell margins. The hex text
// is never made smaller than five sixths of the window's text, though: where
// the desktop's font scaling needs more room than that, a column grows to fit
// its text. No column is ever narrower than the width the window gives it or
// than its widest text, whoever sets its width.

#include <QTableView>
#include <array>

class THexGridView : public QTableView {
 public:
  struct ColumnWidths {
    int address;  // column 0
    int byte;     // columns 1..16
    int text;     // column 17
  };

  THexGridView(const ColumnWidths& widths, QWidget* parent = nullptr);

  void setModel(QAbstractItemModel* model) override;

  // The widest text column `column` can hold (the address "0x" and eight of
  // the widest hex digit, two of them for a byte, sixteen of the widest shown
  // character for the text), in this view's font.
  int WidestTextWidth(int column) const;
  // The width a cell needs around its text: the margins the item delegate
  // keeps on either side and the grid line.
  int CellMargins() const;

 private:
  int ColumnWidth(int column) const;
  int NeededWidth(int column) const { return WidestTextWidth(column) + CellMargins(); }
  void KeepWideEnough(int column, int width);

  ColumnWidths widths_;
};
