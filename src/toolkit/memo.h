#pragma once
// TMemo: the line model of a multi-line text box (the window log).
// Lines are UTF-8 without line ends, each ended at its first character of
// code 0 as the toolkit's memo ends it (Add keeps the text before it). A view registers observers to mirror
// appends and clears. GUI thread only.
//
// The window log grows for as long as the station runs, so a line costs its
// text and one small index entry: the text is packed into large chunks that
// never move, and the index is a deque, so an append never copies the lines
// already held.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TMemo {
public:
  void Add(std::string_view line);
  void Clear();
  size_t Count() const { return spans_.size(); }
  // Line `index`; throws std::out_of_range past the last. The view stays
  // valid until the next Clear.
  std::string_view Line(size_t index) const;
  // A copy of every line, for small logs and tests.
  std::vector<std::string> Lines() const;

  // Writes every line followed by CR LF, replacing the file whole or not at
  // all (WriteTextLines).
  // Throws EInOutError naming the path and the system's reason.
  void SaveToFile(const std::string& path) const;

  void SetOnAdded(std::function<void(std::string_view)> f) { onAdded_ = std::move(f); }
  void SetOnCleared(std::function<void()> f) { onCleared_ = std::move(f); }

private:
  // Where a line's text lies: chunk number, offset in it, length.
  struct Span {
    uint32_t chunk;
    uint32_t offset;
    size_t size;
  };
  struct Chunk {
    std::unique_ptr<char[]> bytes;
    size_t capacity;
    size_t used;
  };
  std::vector<Chunk> chunks_;
  std::deque<Span> spans_;
  std::function<void(std::string_view)> onAdded_;
  std::function<void()> onCleared_;
};
