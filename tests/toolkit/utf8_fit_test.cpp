// A text cut to a fixed field keeps whole UTF-8 characters; bytes that form
// no character are cut where the field ends, as before.
#include <gtest/gtest.h>

#include <string>

#include "toolkit/utf8_fit.h"

namespace {

TEST(FittingUtf8Bytes, CutsAtTheLastWholeCharacter) {
  struct Case {
    std::string text;
    size_t field;
    size_t fitting;
  } const cases[] = {
      {"", 4, 0},
      {"abc", 3, 3},
      {"abcd", 3, 3},
      {"a\xC3\xA9", 2, 1},          // é across the end
      {"a\xC3\xA9z", 3, 3},         // é just fits
      {"\xE4\xBB\xB6", 2, 0},       // a 3-byte character, nothing else fits
      {"ab\xF0\x9F\x98\x80", 5, 2}, // a 4-byte character, three bytes in
      {"ab\xF0\x9F\x98\x80", 6, 6},
      {"ab\xF0\x9F\x98\x80z", 6, 6},
      {"abc\xE4" "b", 4, 4},        // a lead byte that starts nothing
      {"abc\x80\x80\x80", 4, 4},    // continuation bytes without a lead
      {"ab\xE4\xBB", 3, 3},         // the text ends inside the character
      {"\xC3\xA9", 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(FittingUtf8Bytes(c.text, c.field), c.fitting) << c.text << " in " << c.field;
}

}  // namespace
