#pragma once
// TComboBoxModel: the items and the text of a combo box whose items stay
// sorted as text (byte order, so "ttyUSB10" comes before "ttyUSB2"), as the
// port list needs. Duplicates are kept. A view mirrors it through the observer.
// GUI thread only.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TComboBoxModel {
public:
  void Clear();
  void Add(std::string_view item);
  // Removes the item at index; an index past the items removes nothing. The
  // text stays as it is.
  void Delete(size_t index);
  const std::vector<std::string>& Items() const { return items_; }
  size_t Count() const { return items_.size(); }

  const std::string& Text() const { return text_; }
  void SetText(std::string_view text);

  void SetOnChange(std::function<void()> f) { onChange_ = std::move(f); }

private:
  void Changed();
  std::vector<std::string> items_;
  std::string text_;
  std::function<void()> onChange_;
};
