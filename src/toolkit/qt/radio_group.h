#pragma once
// TRadioGroup: a captioned group of radio buttons, one of them selected,
// laid out in a number of columns. ItemIndex is the selected item (-1: none).
// OnClick runs when the user selects an item, not when the program does.

#include <QGroupBox>
#include <QStringList>
#include <functional>
#include <vector>

class QButtonGroup;
class QGridLayout;
class QRadioButton;

class TRadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent = nullptr);

  int ItemIndex() const;
  // An index past the last item selects the last; a negative one selects none.
  void SetItemIndex(int index);
  int Count() const { return static_cast<int>(buttons_.size()); }
  QRadioButton* Button(int index) const;
  void SetOnClick(std::function<void()> onClick) { onClick_ = std::move(onClick); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // A low group (52 px for two rows on the option pages) has no room for the usual
  // margins between its caption and its rows: they go, so that each button
  // keeps the height of its indicator.
  void FitRows();

  QGridLayout* layout_;
  int rows_;
  QButtonGroup* group_;
  std::vector<QRadioButton*> buttons_;
  std::function<void()> onClick_;
};
