#pragma once
// What the two record-line targets share: ranges that reach past both image
// buffers (so the cuts at their ends are reached), and the input split into
// lines that one reader state carries from the first to the last.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shared/state.h"

inline void SetFuzzRanges() {
  g.FlashStart = 0x00000100;
  g.FlashEnd = 0x7FFFFFFF;
  g.EepStart = 0x80000000;
  g.EepEnd = 0xFFFFFFFE;
}

template <typename ParseLine>
void ForEachLine(const uint8_t* data, size_t size, ParseLine&& parse) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (!rest.empty()) {
    const size_t lf = rest.find('\n');
    parse(rest.substr(0, lf));
    if (lf == std::string_view::npos) break;
    rest.remove_prefix(lf + 1);
  }
}
