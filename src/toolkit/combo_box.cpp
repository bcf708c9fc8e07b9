#include "toolkit/combo_box.h"

#include <algorithm>

void TComboBoxModel::Clear() {
  items_.clear();
  Changed();
}

void TComboBoxModel::Add(std::string_view item) {
  auto at = std::upper_bound(items_.begin(), items_.end(), item,
                             [](std::string_view a, const std::string& b) { return a < b; });
  items_.emplace(at, item);
  Changed();
}

void TComboBoxModel::Delete(size_t index) {
  if (index >= items_.size()) return;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  Changed();
}

void TComboBoxModel::SetText(std::string_view text) {
  text_ = text;
  Changed();
}

void TComboBoxModel::Changed() {
  if (onChange_) onChange_();
}
