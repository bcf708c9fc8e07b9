#include "toolkit/memo.h"

#include "toolkit/text_file.h"

void TMemo::Add(std::string_view line) {
  lines_.emplace_back(line);
  if (onAdded_) onAdded_(lines_.back());
}

void TMemo::Clear() {
  lines_.clear();
  if (onCleared_) onCleared_();
}

void TMemo::SaveToFile(const std::string& path) const {
  WriteTextLines(path, lines_);
}
