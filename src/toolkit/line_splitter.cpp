#include "toolkit/line_splitter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kReadPieceBytes = 1 << 16;

// The first CR or LF in [from, to), or `to`.
const char* FindLineEnd(const char* from, const char* to) {
  for (; from != to; ++from)
    if (*from == '\n' || *from == '\r') return from;
  return to;
}

// A line as it is handed on. The buffer holds a line of up to twice the
// limit when its end came in the same piece, so the cut is made here too:
// where a line is cut must not depend on where the reads fell.
std::string_view Cut(const char* line, size_t bytes) { return {line, std::min(bytes, kMaxLineBytes)}; }

}  // namespace

void SplitLines(const PieceReader& read, const LineHandler& handle) {
  std::vector<char> buffer(kReadPieceBytes + kMaxLineBytes);
  size_t have = 0;          // bytes in buffer
  bool discarding = false;  // the rest of an overlong line is dropped
  uint64_t crRun = 0;       // CRs since the last line ended, not yet known to end in an LF
  for (;;) {
    const size_t got = read(buffer.data() + have, buffer.size() - have);
    const bool atEnd = got == 0;
    const size_t end = have + got;
    size_t start = 0;
    for (;;) {
      if (crRun > 0) {
        while (start < end && buffer[start] == '\r') {
          ++crRun;
          ++start;
        }
        if (start == end && !atEnd) break;  // the run goes on in the next piece
        if (start < end && buffer[start] == '\n') {
          ++start;
        } else {
          for (; crRun > 1; --crRun)
            if (!handle(std::string_view())) return;
        }
        crRun = 0;
      }
      const char* found = FindLineEnd(buffer.data() + start, buffer.data() + end);
      if (found == buffer.data() + end) break;
      const size_t stop = static_cast<size_t>(found - buffer.data());
      if (!discarding && !handle(Cut(buffer.data() + start, stop - start))) return;
      discarding = false;
      start = stop + 1;
      if (*found == '\r') crRun = 1;
    }
    if (atEnd) {
      if (start < end && !discarding) handle(Cut(buffer.data() + start, end - start));
      return;
    }
    if (discarding) {
      have = 0;
      continue;
    }
    have = end - start;
    if (have >= kMaxLineBytes) {
      // Overlong: hand on what fits, skip to the next line end.
      if (!handle(std::string_view(buffer.data() + start, kMaxLineBytes))) return;
      discarding = true;
      have = 0;
      continue;
    }
    std::memmove(buffer.data(), buffer.data() + start, have);
  }
}
