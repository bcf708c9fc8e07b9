// Where a line ends, one rule for the settings file and the image files: the
// same lines whatever the line ends, however the reads cut the text, and from
// a file on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "toolkit/line_splitter.h"
#include "toolkit/text_file.h"

namespace {

using Lines = std::vector<std::string>;

// The lines of `text` read in pieces of at most `pieceBytes`.
Lines SplitInPieces(const std::string& text, size_t pieceBytes) {
  size_t at = 0;
  Lines lines;
  SplitLines(
      [&](char* into, size_t count) {
        const size_t n = std::min({count, pieceBytes, text.size() - at});
        std::copy_n(text.data() + at, n, into);
        at += n;
        return n;
      },
      [&lines](std::string_view line) {
        lines.emplace_back(line);
        return true;
      });
  return lines;
}

struct SplitCase {
  const char* what;
  std::string text;
  Lines lines;
};
void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.what; }

class LineSplitTest : public ::testing::TestWithParam<SplitCase> {};

// Whole reads, small reads (of one byte: every line end cut between any two
// of its characters) and a real file give the same lines. A long text is
// read in pieces of an odd size: byte by byte, each read would move the
// whole line held so far.
TEST_P(LineSplitTest, GivesTheSameLinesHoweverTheTextIsRead) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(SplitInPieces(c.text, c.text.size() + 1), c.lines) << "read whole";
  const size_t small = c.text.size() < 4096 ? 1 : 4093;
  EXPECT_EQ(SplitInPieces(c.text, small), c.lines) << "read in pieces of " << small;
  TempFolder folder;
  const std::string path = folder.File("ConfigOvg.ini");
  std::ofstream(path, std::ios::binary) << c.text;
  EXPECT_EQ(ReadTextLines(path), c.lines) << "read from a file";
}

const std::string kLong(kMaxLineBytes + 7, 'p');

INSTANTIATE_TEST_SUITE_P(
    Ends, LineSplitTest,
    ::testing::Values(
        SplitCase{"LF", "a\nb\n", {"a", "b"}},
        SplitCase{"CR LF", "a\r\nb\r\n", {"a", "b"}},
        SplitCase{"CR CR LF", "a\r\r\nb\r\r\n", {"a", "b"}},
        SplitCase{"CR CR CR LF", "a\r\r\r\nb\r\r\r\n", {"a", "b"}},
        SplitCase{"lone CR", "a\rb\r", {"a", "b"}},
        SplitCase{"each CR of a run without LF ends a line", "a\r\r\rb\r\r", {"a", "", "", "b", ""}},
        SplitCase{"empty lines stay", "\n\r\n\r\r\n\r", {"", "", "", ""}},
        SplitCase{"a CR after an LF begins a new end", "a\n\rb\n\r\n", {"a", "", "b", ""}},
        SplitCase{"a last line without an end counts", "a\r\nb", {"a", "b"}},
        SplitCase{"blanks are part of the line", "[Connection] \r\r\n", {"[Connection] "}},
        SplitCase{"empty", "", {}},
        SplitCase{"an overlong line is cut and its rest dropped",
                  "x\r\r\n" + kLong + "\r\r\nnext",
                  {"x", kLong.substr(0, kMaxLineBytes), "next"}}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

}  // namespace
