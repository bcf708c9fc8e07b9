#include "toolkit/qt/radio_group.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>
#include <algorithm>

namespace {

constexpr int kLeftMargin = 8;
constexpr int kRightMargin = 4;
constexpr int kVerticalMargin = 4;
constexpr int kSpacing = 2;

}  // namespace

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(caption, parent),
      layout_(new QGridLayout(this)),
      rows_(columns > 0 ? (static_cast<int>(items.size()) + columns - 1) / columns : 1),
      group_(new QButtonGroup(this)) {
  layout_->setContentsMargins(kLeftMargin, kVerticalMargin, kRightMargin, kVerticalMargin);
  layout_->setSpacing(kSpacing);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
    layout_->addWidget(button, i % rows_, i / rows_);
    buttons_.push_back(button);
  }
  connect(group_, &QButtonGroup::idClicked, this, [this](int) {
    if (onClick_) onClick_();
  });
}

int TRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (index >= 0 && Count() > 0) {
    buttons_[static_cast<size_t>(std::min(index, Count() - 1))]->setChecked(true);
    return;
  }
  // An exclusive group keeps one button checked; let go of it for a moment.
  group_->setExclusive(false);
  for (QRadioButton* button : buttons_) button->setChecked(false);
  group_->setExclusive(true);
}

QRadioButton* TRadioGroup::Button(int index) const {
  return index >= 0 && index < Count() ? buttons_[static_cast<size_t>(index)] : nullptr;
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
  FitRows();
  QGroupBox::resizeEvent(event);
}

void TRadioGroup::FitRows() {
  int rowHeight = 0;
  for (QRadioButton* button : buttons_) rowHeight = std::max(rowHeight, button->sizeHint().height());
  const int usual = rows_ * rowHeight + 2 * kVerticalMargin + (rows_ - 1) * kSpacing;
  const bool low = contentsRect().height() < usual;
  const int margin = low ? 0 : kVerticalMargin;
  if (layout_->contentsMargins().top() == margin) return;
  layout_->setContentsMargins(kLeftMargin, margin, kRightMargin, margin);
  layout_->setVerticalSpacing(low ? 0 : kSpacing);
  // Now, not at the next pass of the event loop: a grab right after showing
  // must see the rows as they will be.
  layout_->activate();
}
