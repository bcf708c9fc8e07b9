// Zero-padded texts as the toolkit holds them: they end at their first
// character of code 0, in a text and in the window log's lines.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/temp_folder.h"
#include "toolkit/memo.h"
#include "toolkit/zero_ended.h"

namespace {

using namespace std::string_literals;

struct PaddedCase {
  std::string text;
  std::string shown;
};

// clang-format off
const PaddedCase kPadded[] = {
  {"FU6813L"s,                          "FU6813L"},
  {"FU6813L\0\0\0\0\0\0\0\0\0\0\0\0\0"s, "FU6813L"},   // a 20-byte chip name field
  {"\0FU6813L"s,                         ""},
  {"a.hex\0junk\0"s,                     "a.hex"},     // what follows the first zero is not the text
  {""s,                                  ""},
  {"芯片读出数据"s,                        "芯片读出数据"},  // UTF-8 holds no zero byte
};
// clang-format on

TEST(ZeroEnded, EndsAtTheFirstZeroCharacter) {
  for (const PaddedCase& c : kPadded) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(ZeroEnded(c.text), c.shown);
  }
}

TEST(Memo, LinesEndAtTheirFirstZeroCharacterShownAndSaved) {
  TMemo memo;
  std::string added;
  memo.SetOnAdded([&](std::string_view line) { added = line; });
  for (const PaddedCase& c : kPadded) {
    memo.Add(c.text);
    EXPECT_EQ(added, c.shown);
    EXPECT_EQ(memo.Line(memo.Count() - 1), c.shown);
  }
  TempFolder folder("orv_memo_");
  const std::string path = folder.Slashed() + "log.txt";
  memo.SaveToFile(path);
  std::ifstream in(path, std::ios::binary);
  const std::string saved{std::istreambuf_iterator<char>(in), {}};
  std::string expected;
  for (const PaddedCase& c : kPadded) expected += c.shown + "\r\n";
  EXPECT_EQ(saved, expected);
}

}  // namespace
