#pragma once
// Where a line of a text file ends, one rule for every file the program reads
// line by line (the settings file, Intel HEX and S-record files): the files
// come from editors and tools of every system, and from copies that converted
// their line ends once too often. Qt-free; any thread.

#include <cstddef>
#include <functional>
#include <string_view>

// The most bytes of one line handed on; no line of these files comes near it.
inline constexpr size_t kMaxLineBytes = 1 << 16;

// Reads up to `count` bytes into `into`; returns 0 at the end of the file.
// May throw: the exception ends SplitLines and travels on.
using PieceReader = std::function<size_t(char* into, size_t count)>;
// Takes one line, without its end; false stops the reading. The view is
// valid during the call only.
using LineHandler = std::function<bool(std::string_view line)>;

// Feeds the lines of what `read` gives to `handle`, in order.
// - A line ends at LF, or at one or more CRs and an LF: CR LF, and CR CR LF
//   (a CR LF file converted once more), are one line end each.
// - A CR that no LF follows after its run of CRs ends a line by itself (a
//   CR-only file), so each CR of such a run ends one line (the further ones
//   end empty lines).
// - A last line without an end counts; an empty file has no line.
// - A line longer than kMaxLineBytes is cut there: its first kMaxLineBytes
//   are handed on and the rest, up to its end, is dropped.
// Line ends split between two reads count the same.
void SplitLines(const PieceReader& read, const LineHandler& handle);
