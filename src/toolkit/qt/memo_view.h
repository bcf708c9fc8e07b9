#pragma once
// The window log on screen: a TMemo's lines as a list model, and a read-only
// view that draws only the rows in sight. Every row is one text line high, so
// the view keeps nothing per line and lays nothing out: an append costs the
// same at the millionth line as at the first. Whole rows are selected (click,
// Shift- or Ctrl-click, drag, the keys) and copied as text.

#include <QAbstractItemView>
#include <QAbstractListModel>

#include "toolkit/memo.h"

class TMemoModel : public QAbstractListModel {
  Q_OBJECT
public:
  // Observes the memo's appends and clears. Whoever owns the memo unhooks
  // its observers before the memo goes.
  explicit TMemoModel(TMemo& memo, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  QString LineText(int row) const;

private:
  TMemo& memo_;
  // Rows announced to the views; a model row count ends at INT_MAX.
  int rows_ = 0;
};

class TMemoView : public QAbstractItemView {
  Q_OBJECT
public:
  explicit TMemoView(TMemo& memo, QWidget* parent = nullptr);

  TMemoModel* LineModel() const { return model_; }
  // The selected lines, top to bottom, each but the last ended by LF; empty
  // when no line is selected.
  QString SelectedText() const;
  int RowHeight() const;
  int TopRow() const;
  // Rows that fit wholly in the viewport, at least one.
  int VisibleRows() const;

  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;
  void reset() override;

protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex&) const override { return false; }
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void updateGeometries() override;
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  void scrollContentsBy(int dx, int dy) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  // The row at viewport height y; may lie before the first or past the last.
  int RowAtY(int y) const;
  void SetVerticalRange();

  TMemoModel* model_;
  // The widest line drawn so far: the horizontal scroll range.
  int contentWidth_ = 0;
};
