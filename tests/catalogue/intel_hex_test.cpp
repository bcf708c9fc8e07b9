#include "catalogue/intel_hex.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "support/image_file_fixture.h"
#include "toolkit/errors.h"

namespace {

constexpr const char* kOutsideBox = "地址 0x%s 超出芯片范围，请确认！";

std::string OutsideText(const char* hex) {
  std::string text = kOutsideBox;
  return text.replace(text.find("%s"), 2, hex);
}

class IntelHexTest : public ImageFileTest {
 protected:
  uint8_t Parse(const std::string& line) { return ParseHexLine(line, upper_, segment_, lowest_, highest_, sum_); }

  uint32_t upper_ = 0, segment_ = 0, lowest_ = 0xFFFFFFFF, highest_ = 0, sum_ = 0;
};

TEST(HexPairToByte, DecodesBothCasesAndNeverFails) {
  EXPECT_EQ(HexPairToByte('0', '0'), 0x00);
  EXPECT_EQ(HexPairToByte('F', 'f'), 0xFF);
  EXPECT_EQ(HexPairToByte('a', 'B'), 0xAB);
  EXPECT_EQ(HexPairToByte('9', '1'), 0x91);
  EXPECT_EQ(HexPairToByte('G', '0'), 0x00);  // 16 * 16 wraps to 0
  EXPECT_EQ(HexPairToByte(' ', '0'), static_cast<uint8_t>((0x20 - 0x30) * 16));
}

struct LineCase {
  const char* name;
  const char* line;
  uint8_t code;
  uint32_t storedAt;  // first flash offset stored, or npos
  std::vector<uint8_t> stored;
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

constexpr uint32_t kNothing = 0xFFFFFFFF;

// clang-format off
const LineCase kLineCases[] = {
  {"DataRecord",          ":0400100001020304E2",       0, 0x10, {1, 2, 3, 4}},
  {"LowerCaseDigits",     ":04001000aabbccddDE",       0, 0x10, {0xAA, 0xBB, 0xCC, 0xDD}},
  {"WrongChecksumStored", ":0400100001020304E3",       4, 0x10, {1, 2, 3, 4}},
  {"NoColon",             "0400100001020304E2",        1, kNothing, {}},
  {"ZeroLengthAnyType",   ":00000007FF",               0, kNothing, {}},
  {"EndOfFile",           ":00000001FF",               0, kNothing, {}},
  {"EndOfFileWithData",   ":0100000155AA",             0, kNothing, {}},
  {"StartLinear",         ":0400000500001234B1",       0, kNothing, {}},
  {"TypeSix",             ":0100000655A4",             5, kNothing, {}},
  {"TypeFF",              ":01000FFF559C",             5, kNothing, {}},
  {"BaseWithAddress",     ":020010040001E9",           3, kNothing, {}},
  {"ShortHeader",         ":040010",                   4, kNothing, {}},
  {"ShortData",           ":0400100001020304",         4, kNothing, {}},
  {"ShortByOneChar",      ":0400100001020304E",        4, kNothing, {}},
  {"ShortBaseRecord",     ":02000004000",              4, kNothing, {}},
};
// clang-format on

class HexLineTest : public IntelHexTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(HexLineTest, GivesItsCodeAndStoresOnlyWhatItShould) {
  const LineCase& c = GetParam();
  std::fill(std::begin(g.FlashImage), std::begin(g.FlashImage) + 0x100, uint8_t{0xEE});
  EXPECT_EQ(Parse(c.line), c.code);
  for (uint32_t i = 0; i < 0x100; ++i) {
    const bool inRecord = c.storedAt != kNothing && i >= c.storedAt && i < c.storedAt + c.stored.size();
    EXPECT_EQ(g.FlashImage[i], inRecord ? c.stored[i - c.storedAt] : 0xEE) << "offset " << i;
  }
  EXPECT_EQ(sum_, std::accumulate(c.stored.begin(), c.stored.end(), 0u));
  EXPECT_EQ(upper_, 0u);
  EXPECT_EQ(segment_, 0u);
  if (c.stored.empty()) {
    EXPECT_EQ(lowest_, 0xFFFFFFFFu);
    EXPECT_EQ(highest_, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, HexLineTest, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IntelHexTest, BasesAddUpAndStayInForce) {
  SetRanges(0, 0x3FFFFF, kNoEepAddress, kNoEepAddress);
  EXPECT_EQ(Parse(":020000021000EC"), 0);  // segment 0x1000 -> 0x10000
  EXPECT_EQ(Parse(":020000040002F8"), 0);  // upper 2 -> 0x20000, segment kept
  EXPECT_EQ(Parse(":0100050042B8"), 0);
  EXPECT_EQ(g.FlashImage[0x30005], 0x42);
  EXPECT_EQ(segment_, 0x10000u);
  EXPECT_EQ(upper_, 0x20000u);
  EXPECT_EQ(lowest_, 0x30005u);
  EXPECT_EQ(highest_, 0x30005u);
}

TEST_F(IntelHexTest, BaseRecordWithWrongChecksumKeepsItsBase) {
  EXPECT_EQ(Parse(":020000040001F8"), 4);
  EXPECT_EQ(upper_, 0x10000u);
  EXPECT_EQ(Parse(":020010040005E5"), 3);  // address field set: no change
  EXPECT_EQ(upper_, 0x10000u);
}

TEST_F(IntelHexTest, OutsideBothRangesShowsTheAddressAndStillMovesTheBounds) {
  EXPECT_EQ(Parse(":02400000AABB59"), 8);  // starts at FlashEnd + 1
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{OutsideText("00004000")});
  EXPECT_EQ(boxes_.Shown()[0].buttons, unsigned{mbOK});
  EXPECT_EQ(lowest_, 0x4000u);
  EXPECT_EQ(highest_, 0x4001u);
  EXPECT_EQ(sum_, 0u);
}

TEST_F(IntelHexTest, RecordAtFlashEndIsStoredWholeInsideTheBuffer) {
  SetRanges(0, 0x3FFF, kNoEepAddress, kNoEepAddress);
  EXPECT_EQ(Parse(":023FFF00AABB5B"), 0);
  EXPECT_EQ(g.FlashImage[0x3FFF], 0xAA);
  EXPECT_EQ(g.FlashImage[0x4000], 0xBB);  // past FlashEnd, inside the buffer
  EXPECT_EQ(highest_, 0x4000u);
}

TEST_F(IntelHexTest, RecordRunningPastTheImageBufferIsCutThere) {
  // FlashEnd far past the buffer: only the buffer limits what is stored.
  SetRanges(0, 0xFFFFFFF0, kNoEepAddress, kNoEepAddress);
  g.EepImage[0] = 0x77;
  EXPECT_EQ(Parse(":02000004003FBB"), 0);
  EXPECT_EQ(Parse(":10FFF800000102030405060708090A0B0C0D0E0F81"), 0);
  EXPECT_EQ(g.FlashImage[kFlashImageBytes - 8], 0x00);
  EXPECT_EQ(g.FlashImage[kFlashImageBytes - 1], 0x07);
  EXPECT_EQ(sum_, 0u + 1 + 2 + 3 + 4 + 5 + 6 + 7);  // only the stored bytes
  EXPECT_EQ(highest_, 0x400007u);
  EXPECT_EQ(g.EepImage[0], 0x77);
}

TEST_F(IntelHexTest, EepRangeTakesItsRecordsAndCountsThemInEepSum) {
  SetRanges(0, 0x3FFF, 0x8000, 0x80FF);
  g.EepSum = 5;
  EXPECT_EQ(Parse(":0280000011224B"), 0);
  EXPECT_EQ(g.EepImage[0], 0x11);
  EXPECT_EQ(g.EepImage[1], 0x22);
  EXPECT_EQ(g.EepSum, 5u + 0x33);
  EXPECT_EQ(sum_, 0x33u);
  // Cut at the EEP buffer's end even though EepEnd lies past it.
  SetRanges(0, 0x3FFF, 0x8000, 0xFFFF);
  EXPECT_EQ(Parse(":02BFFF00AABBDB"), 0);
  EXPECT_EQ(g.EepImage[kEepImageBytes - 1], 0xAA);
}

TEST_F(IntelHexTest, HighestAddressDoesNotWrapAround) {
  SetRanges(0xFFFFFF00, 0xFFFFFFFF, kNoEepAddress, kNoEepAddress);
  EXPECT_EQ(Parse(":02000004FFFFFC"), 0);
  EXPECT_EQ(Parse(":04FFFE0001020304F5"), 0);
  EXPECT_EQ(lowest_, 0xFFFFFFFEu);
  EXPECT_EQ(highest_, 0xFFFFFFFFu);
  EXPECT_EQ(g.FlashImage[0xFE], 1);
  EXPECT_EQ(g.FlashImage[0xFF], 2);
}

// --- files ---

TEST_F(IntelHexTest, FileWithOnlyTheEndRecordStoresNothing) {
  uint32_t low = 7, high = 7, sum = 0;
  LoadHexFile(WriteFile("eof.hex", ":00000001FF\r\n"), low, high, sum);
  EXPECT_EQ(low, 0xFFFFFFFFu);
  EXPECT_EQ(high, 0u);
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(IntelHexTest, EmptyFileLeavesTheCallersBounds) {
  uint32_t low = 7, high = 9, sum = 3;
  LoadHexFile(WriteFile("empty.hex", ""), low, high, sum);
  EXPECT_EQ(low, 7u);
  EXPECT_EQ(high, 9u);
  EXPECT_EQ(sum, 3u);
}

TEST_F(IntelHexTest, LinesEndAtLfOrCrLfAndRecordsAfterTheEndRecordAreRead) {
  const std::string text = ":0100000011EE\n\n:00000001FF\r\n:0100010022DC";  // no final line end
  uint32_t low = 0, high = 0, sum = 100;
  LoadHexFile(WriteFile("mixed.hex", text), low, high, sum);
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_EQ(g.FlashImage[0], 0x11);
  EXPECT_EQ(g.FlashImage[1], 0x22);
  EXPECT_EQ(low, 0u);
  EXPECT_EQ(high, 1u);
  EXPECT_EQ(sum, 100u + 0x33);
}

TEST_F(IntelHexTest, FaultyLinesAskAndAbortOnTheThirdKeepsWhatWasStored) {
  const std::string text = Lines({
      ":0100000011EF",  // line 1: checksum wrong, stored
      ":0100010022DC",
      "junk",           // line 3: code 1
      ":0200100033440A",  // line 4: wrong checksum, stored, then Abort
      ":01002000558A",  // never read
  });
  boxes_.Answer(ModalResult::Ok);
  boxes_.Answer(ModalResult::Ok);
  boxes_.Answer(ModalResult::Abort);
  uint32_t low = 0, high = 0, sum = 0;
  LoadHexFile(WriteFile("faulty.hex", text), low, high, sum);
  ASSERT_EQ(boxes_.Shown().size(), 3u);
  EXPECT_EQ(boxes_.Texts()[0], "Line 1 : :0100000011EF, Error=4.");
  EXPECT_EQ(boxes_.Texts()[1], "Line 3 : junk, Error=1.");
  EXPECT_EQ(boxes_.Texts()[2], "Line 4 : :0200100033440A, Error=4.");
  for (const MessageBoxRequest& box : boxes_.Shown()) {
    EXPECT_EQ(box.type, MsgDlgType::Error);
    EXPECT_EQ(box.buttons, unsigned{mbOK | mbAbort});
  }
  EXPECT_EQ(g.FlashImage[0x10], 0x33);  // the aborted line's bytes stay
  EXPECT_EQ(g.FlashImage[0x11], 0x44);
  EXPECT_NE(g.FlashImage[0x20], 0x55);
  EXPECT_EQ(low, 0u);
  EXPECT_EQ(high, 1u);  // from before the aborted line
  EXPECT_EQ(sum, 0x11u + 0x22 + 0x33 + 0x44);
}

TEST_F(IntelHexTest, OutsideRecordBringsTwoBoxes) {
  uint32_t low = 0, high = 0, sum = 0;
  LoadHexFile(WriteFile("out.hex", Lines({":02400000AABB59"})), low, high, sum);
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{OutsideText("00004000"), "Line 1 : :02400000AABB59, Error=8."}));
  EXPECT_EQ(low, 0x4000u);
  EXPECT_EQ(high, 0x4001u);
}

TEST_F(IntelHexTest, UnreadableOrSpecialFilesRaiseTheIoError) {
  uint32_t low = 0, high = 0, sum = 0;
  EXPECT_THROW(LoadHexFile(PathOf("missing.hex"), low, high, sum), EInOutError);
  EXPECT_THROW(LoadHexFile(folder_.string(), low, high, sum), EInOutError);
  const std::string fifo = PathOf("pipe.hex");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(LoadHexFile(fifo, low, high, sum), EInOutError);  // and does not block
}

TEST_F(IntelHexTest, OverlongLineIsCutAndTheNextLineStillRead) {
  const std::string text = ":0100000011EF" + std::string(200000, '0') + "\n:0100010022DC\n";
  uint32_t low = 0, high = 0, sum = 0;
  LoadHexFile(WriteFile("long.hex", text), low, high, sum);
  ASSERT_EQ(boxes_.Shown().size(), 1u);  // the checksum pair is now "00"
  EXPECT_EQ(boxes_.Texts()[0].size(), std::string("Line 1 : , Error=4.").size() + 65536);
  EXPECT_EQ(g.FlashImage[1], 0x22);
}

// --- writer ---

struct WriteCase {
  const char* name;
  uint32_t start, end;
  size_t lines;
  std::vector<std::string> first;  // leading lines
  std::vector<std::string> last;   // trailing lines
};
void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

// clang-format off
const WriteCase kWriteCases[] = {
  {"SixteenBytes", 0x0000, 0x000F, 2,
     {":10000000000102030405060708090A0B0C0D0E0F78"}, {":00000001FF"}},
  {"TwoShortRecords", 0x0000, 0x001F, 3,
     {":10000000000102030405060708090A0B0C0D0E0F78", ":10001000101112131415161718191A1B1C1D1E1F68"}, {":00000001FF"}},
  {"ShortTail", 0x0005, 0x0017, 3,
     {":1000050005060708090A0B0C0D0E0F101112131423"}, {":03001500151617A6", ":00000001FF"}},
  {"OneFullSegment", 0x10000, 0x1FFFF, 2048 + 3,
     {":020000040001F9"}, {":020000040002F8", ":00000001FF"}},
  {"UnalignedAcrossBoundary", 0xFFF0, 0x1000F, 5,
     {":020000040000FA", ":10FFF000F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF89", ":020000040001F9",
      ":10000000000102030405060708090A0B0C0D0E0F78"}, {":00000001FF"}},
  {"EndBelowStartShort", 0x0010, 0x000F, 1, {}, {":00000001FF"}},
  {"EndBelowStartLong", 0x20000, 0x1FFFF, 2, {":020000040002F8"}, {":00000001FF"}},
};
// clang-format on

class HexWriteTest : public IntelHexTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(HexWriteTest, WritesTheRecordsOfTheRange) {
  const WriteCase& c = GetParam();
  for (size_t i = 0; i < kFlashImageBytes; i += 0x100)
    for (size_t j = 0; j < 0x100; ++j) g.FlashImage[i + j] = static_cast<uint8_t>(j);
  const std::string path = PathOf("out.hex");
  WriteHexFile(path, g.FlashImage, kFlashImageBytes, 0, c.start, c.end);
  const std::vector<std::string> lines = FileLines(path);
  ASSERT_EQ(lines.size(), c.lines);
  for (size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(lines[i].substr(0, c.first[i].size()), c.first[i]);
  for (size_t i = 0; i < c.last.size(); ++i) EXPECT_EQ(lines[lines.size() - c.last.size() + i], c.last[i]);
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find_first_not_of(":0123456789ABCDEF"), std::string::npos) << line;
    EXPECT_LE(line.size(), 1u + 2 * (5 + 32));
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, HexWriteTest, ::testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IntelHexTest, WriterStaysInsideItsBufferAndEnds) {
  const uint8_t small[4] = {1, 2, 3, 4};
  const std::string path = PathOf("small.hex");
  WriteHexFile(path, small, sizeof small, 0x1000, 0, 0xFFFFFFFF);
  EXPECT_EQ(FileLines(path), (std::vector<std::string>{":020000040000FA", ":0410000001020304E2", ":00000001FF"}));
  WriteHexFile(path, small, sizeof small, 0xFFFFFFFC, 0xFFFFFFFC, 0xFFFFFFFF);
  EXPECT_EQ(FileLines(path),
            (std::vector<std::string>{":02000004FFFFFC", ":04FFFC0001020304F7", ":020000040000FA", ":00000001FF"}));
}

TEST_F(IntelHexTest, WriterRaisesTheIoErrorWhenItCannotCreate) {
  EXPECT_THROW(WriteHexFile(PathOf("no/such/folder.hex"), g.FlashImage, kFlashImageBytes, 0, 0, 15), EInOutError);
}

}  // namespace
