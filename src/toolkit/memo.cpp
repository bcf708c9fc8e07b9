#include "toolkit/memo.h"

#include <algorithm>
#include <cstring>

#include "toolkit/text_file.h"
#include "toolkit/zero_ended.h"

namespace {

// Text of many lines per allocation; a longer line gets a chunk of its own.
constexpr size_t kChunkBytes = size_t{1} << 20;

}  // namespace

void TMemo::Add(std::string_view text) {
  // A memo line is a zero-terminated string of the toolkit: what follows a
  // character of code 0 is never shown, saved or copied.
  const std::string_view line = ZeroEnded(text);
  if (chunks_.empty() || chunks_.back().capacity - chunks_.back().used < line.size()) {
    const size_t capacity = std::max(kChunkBytes, line.size());
    chunks_.push_back(Chunk{std::make_unique_for_overwrite<char[]>(capacity), capacity, 0});
  }
  Chunk& chunk = chunks_.back();
  if (!line.empty()) std::memcpy(chunk.bytes.get() + chunk.used, line.data(), line.size());
  spans_.push_back(Span{static_cast<uint32_t>(chunks_.size() - 1), static_cast<uint32_t>(chunk.used), line.size()});
  chunk.used += line.size();
  if (onAdded_) onAdded_(Line(spans_.size() - 1));
}

void TMemo::Clear() {
  // Gives the memory back: a cleared log of a long shift should not stay resident.
  std::vector<Chunk>().swap(chunks_);
  std::deque<Span>().swap(spans_);
  if (onCleared_) onCleared_();
}

std::string_view TMemo::Line(size_t index) const {
  const Span& span = spans_.at(index);
  return std::string_view(chunks_[span.chunk].bytes.get() + span.offset, span.size);
}

std::vector<std::string> TMemo::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(Count());
  for (size_t i = 0; i < Count(); ++i) lines.emplace_back(Line(i));
  return lines;
}

void TMemo::SaveToFile(const std::string& path) const {
  WriteTextLines(path, Count(), [this](size_t i) { return Line(i); });
}
