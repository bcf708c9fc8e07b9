// Both record readers on the same records with each line end that the tools
// writing these files use: LF, CR LF, a lone CR, and CR CR LF (a CR LF file
// converted once more), which is one line end as CR LF is.

#include <gtest/gtest.h>

#include <numeric>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "catalogue/intel_hex.h"
#include "catalogue/srecord.h"
#include "support/image_file_fixture.h"

namespace {

struct Format {
  const char* name;
  const char* extension;
  void (*load)(const std::string& path, uint32_t& lowest, uint32_t& highest, uint32_t& sum);
  std::vector<std::string> records;  // 0x00..0x1F as two 16-byte records, a faulty line 3, the end
  const char* faultBox;              // the box of line 3
};
void PrintTo(const Format& f, std::ostream* os) { *os << f.name; }

const Format kFormats[] = {
    {"IntelHex", ".hex", LoadHexFile,
     {":10000000000102030405060708090A0B0C0D0E0F78", ":10001000101112131415161718191A1B1C1D1E1F68", "junk",
      ":00000001FF"},
     "Line 3 : junk, Error=1."},
    {"SRecord", ".s19", LoadSRecFile,
     {"S1130000000102030405060708090A0B0C0D0E0F74", "S1130010101112131415161718191A1B1C1D1E1F64", "junk",
      "S9030000FC"},
     "Line 3 : junk,  Error=1."},
};

struct LineEnd {
  const char* name;
  const char* text;
};
void PrintTo(const LineEnd& e, std::ostream* os) { *os << e.name; }
const LineEnd kLineEnds[] = {{"Lf", "\n"}, {"CrLf", "\r\n"}, {"Cr", "\r"}, {"CrCrLf", "\r\r\n"}};

using StyleCase = std::tuple<Format, LineEnd>;
class LineEndTest : public ImageFileTest, public ::testing::WithParamInterface<StyleCase> {};

TEST_P(LineEndTest, EveryStyleGivesTheSameImageSumBoundsAndLineNumbers) {
  const auto& [format, end] = GetParam();
  uint32_t low = 7, high = 7, sum = 0;
  format.load(WriteFile(std::string("image") + format.extension, Lines(format.records, end.text)), low, high, sum);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{format.faultBox});
  std::vector<uint8_t> expected(32);
  std::iota(expected.begin(), expected.end(), uint8_t{0});
  EXPECT_EQ(std::vector<uint8_t>(g.FlashImage, g.FlashImage + 32), expected);
  EXPECT_EQ(g.FlashImage[32], 0);  // the fixture's image is all zero
  EXPECT_EQ(low, 0u);
  EXPECT_EQ(high, 0x1Fu);
  EXPECT_EQ(sum, std::accumulate(expected.begin(), expected.end(), 0u));
}

INSTANTIATE_TEST_SUITE_P(Styles, LineEndTest, ::testing::Combine(::testing::ValuesIn(kFormats),
                                                                 ::testing::ValuesIn(kLineEnds)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
                         });

class SplitLineEndTest : public ImageFileTest, public ::testing::WithParamInterface<LineEnd> {};

// The file is read in pieces, so a line end may be cut by a piece's end: a
// CR LF or CR CR LF split there (between any two of its characters) is still
// one line end, a lone CR there still ends its line. The first line's length is stepped through one whole period of the
// end records that follow it, so in one of the runs a line end falls across
// the border of the first piece, whatever its size below the file's; every
// run counts its lines the same.
TEST_P(SplitLineEndTest, LineEndCutByAReadStillCountsOnce) {
  constexpr int kEndRecords = 30000;
  const std::string endRecord = std::string(":00000001FF") + GetParam().text;
  for (size_t pad = 0; pad < endRecord.size(); ++pad) {
    boxes_.Clear();
    // A zero-length record is taken at once, whatever follows its type.
    std::string text = ":00000001" + std::string(2 + pad, 'F') + GetParam().text;
    for (int i = 0; i < kEndRecords; ++i) text += endRecord;
    text += std::string("junk") + GetParam().text;
    uint32_t low = 0, high = 0, sum = 0;
    LoadHexFile(WriteFile("split.hex", text), low, high, sum);
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Line 30002 : junk, Error=1."}) << "pad " << pad;
  }
}

INSTANTIATE_TEST_SUITE_P(Ends, SplitLineEndTest, ::testing::Values(kLineEnds[1], kLineEnds[2], kLineEnds[3]),
                         [](const auto& info) { return std::string(info.param.name); });

// CRs that no LF follows are lone CRs, each the end of a line: the empty line
// between two of them counts, and in an S-record file it is a faulty line.
TEST_F(ImageFileTest, CrsWithoutAnLfEndALineEach) {
  uint32_t low = 0, high = 0, sum = 0;
  LoadHexFile(WriteFile("crs.hex", ":00000001FF\r\r\r\njunk\r\rmore\r"), low, high, sum);
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"Line 2 : junk, Error=1.", "Line 4 : more, Error=1."}));
  boxes_.Clear();
  LoadSRecFile(WriteFile("crs.s19", "S9030000FC\r\rjunk\r\n"), low, high, sum);
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"Line 2 : ,  Error=1.", "Line 3 : junk,  Error=1."}));
}

}  // namespace
