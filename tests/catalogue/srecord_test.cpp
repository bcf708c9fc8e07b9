#include "catalogue/srecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "support/image_file_fixture.h"
#include "toolkit/errors.h"

namespace {

class SRecordTest : public ImageFileTest {
 protected:
  uint8_t Parse(const std::string& line) { return ParseSRecLine(line, address_, lowest_, highest_, sum_); }

  uint32_t address_ = 0, lowest_ = 0xFFFFFFFF, highest_ = 0, sum_ = 0;
};

struct LineCase {
  const char* name;
  const char* line;
  uint8_t code;
  std::vector<uint8_t> stored;  // at flash offset 0x10
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

// clang-format off
const LineCase kLineCases[] = {
  {"S1Data",              "S107001001020304DE",   0, {1, 2, 3, 4}},
  {"S2Data",              "S2060000100102E6",     0, {1, 2}},
  {"S3Data",              "S3060000001005E4",     0, {5}},
  {"WrongChecksumStored", "S107001001020304DF",   4, {1, 2, 3, 4}},
  {"NotAnS",              "107001001020304DE",    1, {}},
  {"EmptyLine",           "",                     1, {}},
  {"Header",              "S00600004844521B",     0, {}},
  {"HeaderBadChecksum",   "S0060000484452FF",     0, {}},
  {"Count",               "S5030001FB",           0, {}},
  {"S7",                  "S70500000000FA",       0, {}},
  {"S8",                  "S804000000FB",         0, {}},
  {"S9",                  "S9030000FC",           0, {}},
  {"S9Short",             "S9",                   0, {}},
  {"S4",                  "S4030000FC",           2, {}},
  {"S6",                  "S6030000FC",           2, {}},
  {"Letter",              "SA030000FC",           2, {}},
  {"TypeMissing",         "S",                    2, {}},
  {"CountMissing",        "S1",                   4, {}},
  {"NoDataByte",          "S1030010EC",           4, {}},
  {"CountBelowAddress",   "S3030010EC",           4, {}},
  {"ShorterThanCount",    "S107001001020304D",    4, {}},
  {"ChecksumMissing",     "S107001001020304",     4, {}},
};
// clang-format on

class SRecLineTest : public SRecordTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(SRecLineTest, GivesItsCodeAndStoresOnlyWhatItShould) {
  const LineCase& c = GetParam();
  std::fill(std::begin(g.FlashImage), std::begin(g.FlashImage) + 0x100, uint8_t{0xEE});
  EXPECT_EQ(Parse(c.line), c.code);
  for (uint32_t i = 0; i < 0x100; ++i) {
    const bool inRecord = i >= 0x10 && i < 0x10 + c.stored.size();
    EXPECT_EQ(g.FlashImage[i], inRecord ? c.stored[i - 0x10] : 0xEE) << "offset " << i;
  }
  EXPECT_EQ(sum_, std::accumulate(c.stored.begin(), c.stored.end(), 0u));
  if (c.stored.empty()) {
    EXPECT_EQ(address_, 0u);
    EXPECT_EQ(lowest_, 0xFFFFFFFFu);
    EXPECT_EQ(highest_, 0u);
  } else {
    EXPECT_EQ(address_, 0x10u);
  }
  EXPECT_TRUE(boxes_.Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Lines, SRecLineTest, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SRecordTest, RangeEdgesGoToTheirBuffers) {
  SetRanges(0, 0x3FFF, 0x8000, 0x80FF);
  EXPECT_EQ(Parse("S1048000116A"), 0);
  EXPECT_EQ(g.EepImage[0], 0x11);
  EXPECT_EQ(g.EepSum, 0x11u);
  EXPECT_EQ(Parse("S1053FFFAABB57"), 0);
  EXPECT_EQ(g.FlashImage[0x3FFF], 0xAA);
  EXPECT_EQ(g.FlashImage[0x4000], 0xBB);  // stored whole past FlashEnd
  EXPECT_EQ(Parse("S1044000AA11"), 8);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"地址 0x00004000 超出芯片范围，请确认！"});
  EXPECT_EQ(address_, 0x4000u);
  EXPECT_EQ(lowest_, 0x3FFFu);
  EXPECT_EQ(highest_, 0x8000u);
}

TEST_F(SRecordTest, DescendingRecordsKeepTheHighestAddress) {
  const std::string text = Lines({"S10B01000001020304050607D7", "S10501040909E3", "S10400F0010A"});
  uint32_t low = 0, high = 0, sum = 0;
  LoadSRecFile(WriteFile("down.s19", text), low, high, sum);
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_EQ(low, 0xF0u);
  EXPECT_EQ(high, 0x107u);
  EXPECT_EQ(g.FlashImage[0x104], 9);
  EXPECT_EQ(sum, 28u + 18 + 1);
}

TEST_F(SRecordTest, EmptyLineAsksWithTwoBlanksAndOkGoesOn) {
  const std::string text = Lines({"S104000011EA", "", "S9030000FC", "S104000122D8"});
  boxes_.Answer(ModalResult::Ok);
  uint32_t low = 0, high = 0, sum = 0;
  LoadSRecFile(WriteFile("gap.s19", text), low, high, sum);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Texts()[0], "Line 2 : ,  Error=1.");
  EXPECT_EQ(boxes_.Shown()[0].type, MsgDlgType::Error);
  EXPECT_EQ(boxes_.Shown()[0].buttons, unsigned{mbOK | mbAbort});
  EXPECT_EQ(g.FlashImage[1], 0x22);  // read after the termination record
  EXPECT_EQ(high, 1u);
}

TEST_F(SRecordTest, AbortStopsAtOnceWithTheBoundsFromBefore) {
  const std::string text = Lines({"S104000011EA", "S4030000FC", "S104001001EB", "S104000122D8"});
  boxes_.Answer(ModalResult::Ok);
  boxes_.Answer(ModalResult::Abort);
  uint32_t low = 0, high = 0, sum = 0;
  LoadSRecFile(WriteFile("abort.s19", text), low, high, sum);
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"Line 2 : S4030000FC,  Error=2.", "Line 3 : S104001001EB,  Error=4."}));
  EXPECT_EQ(g.FlashImage[0x10], 0x01);  // stored by the aborted line
  EXPECT_NE(g.FlashImage[1], 0x22);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(sum, 0x11u + 0x01);
}

TEST_F(SRecordTest, UnreadableFileRaisesTheIoError) {
  uint32_t low = 0, high = 0, sum = 0;
  EXPECT_THROW(LoadSRecFile(PathOf("missing.s19"), low, high, sum), EInOutError);
  EXPECT_THROW(WriteSRecFile(PathOf("no/folder.s19"), g.FlashImage, kFlashImageBytes, 0, 0, 1), EInOutError);
}

// --- writer ---

struct WriteCase {
  const char* name;
  uint32_t start, end;
  std::vector<std::string> expected;  // "..." stands for any run of lines
};
void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

// clang-format off
const WriteCase kWriteCases[] = {
  {"OneFullS1", 0x0000, 0x001F,
     {"S1230000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1FEC", "S9030000FC"}},
  {"ShortS1Tail", 0x0000, 0x0020,
     {"S1230000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1FEC", "S1040020AB30", "S9030000FC"}},
  {"S2FromTheFirstRecord", 0xFFF0, 0x10000,
     {"S21500FFF0", "...", "S804000000FB"}},
  {"S3AboveSixteenMegabytes", 0x00FFFFE0, 0x01000000,
     {"S32500FFFFE0", "...", "S70500000000FA"}},
  {"EndBelowStartS1", 0x10, 0x0F, {"S9030000FC"}},
  {"EndBelowStartS2", 0x20000, 0x1FFFF, {"S804000000FB"}},
};
// clang-format on

class SRecWriteTest : public SRecordTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(SRecWriteTest, WritesTheRecordsOfTheRange) {
  const WriteCase& c = GetParam();
  std::vector<uint8_t> buffer(0x1000100);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i);
  buffer[0x20] = 0xAB;
  const std::string path = PathOf("out.s19");
  WriteSRecFile(path, buffer.data(), buffer.size(), 0, c.start, c.end);
  const std::vector<std::string> lines = FileLines(path);
  const bool open = c.expected.size() > 1 && c.expected[1] == "...";
  if (open) {
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front().substr(0, c.expected[0].size()), c.expected[0]);
    EXPECT_EQ(lines.back(), c.expected[2]);
  } else {
    EXPECT_EQ(lines, c.expected);
  }
  for (const std::string& line : lines) EXPECT_EQ(line.find_first_not_of("S0123456789ABCDEF"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Ranges, SRecWriteTest, ::testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SRecordTest, WriterStaysInsideItsBufferAndEnds) {
  const uint8_t small[2] = {0x11, 0x22};
  const std::string path = PathOf("small.s19");
  WriteSRecFile(path, small, sizeof small, 0xFFFFFFFE, 0, 0xFFFFFFFF);
  EXPECT_EQ(FileLines(path), (std::vector<std::string>{"S307FFFFFFFE1122CA", "S70500000000FA"}));
}

}  // namespace
