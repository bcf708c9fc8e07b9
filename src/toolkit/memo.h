#pragma once
// TMemo: the line model of a multi-line text box (the window log).
// Lines are UTF-8 without line ends. A view registers observers to mirror
// appends and clears. GUI thread only.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TMemo {
public:
  void Add(std::string_view line);
  void Clear();
  size_t Count() const { return lines_.size(); }
  const std::string& Line(size_t index) const { return lines_.at(index); }
  const std::vector<std::string>& Lines() const { return lines_; }

  // Writes every line followed by CR LF, replacing the file.
  // Throws EInOutError naming the path and the system's reason.
  void SaveToFile(const std::string& path) const;

  void SetOnAdded(std::function<void(const std::string&)> f) { onAdded_ = std::move(f); }
  void SetOnCleared(std::function<void()> f) { onCleared_ = std::move(f); }

private:
  std::vector<std::string> lines_;
  std::function<void(const std::string&)> onAdded_;
  std::function<void()> onCleared_;
};
