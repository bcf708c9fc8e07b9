#include "toolkit/qt/radio_group.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>
#include <algorithm>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(8, 4, 4, 4);
  layout->setSpacing(2);
  const int perColumn = columns > 0 ? (static_cast<int>(items.size()) + columns - 1) / columns : 1;
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
    layout->addWidget(button, i % perColumn, i / perColumn);
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
