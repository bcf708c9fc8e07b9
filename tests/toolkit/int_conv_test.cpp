#include "toolkit/int_conv.h"

#include <gtest/gtest.h>

#include "toolkit/errors.h"

namespace {

TEST(StrToInt, AcceptsDecimalAndEveryHexPrefix) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"0", 0},          {"123", 123},          {"  42", 42},           {"+7", 7},
      {"-7", -7},        {"0x1F", 31},          {"0X1f", 31},           {"$FF", 255},
      {"xA", 10},        {"X10", 16},           {"-$10", -16},          {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN}, {"$FFFFFFFF", -1}, {"0x0000FFF0", 0xFFF0}, {"  0x10", 16},
  };
  for (const auto& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(StrToInt, RejectsAnythingElseWithTheConversionText) {
  const char* bad[] = {"", " ", "abc", "12a", "12 ", "0x", "$", "+", "- 1", "1.5", "2147483648", "$100000000", "0x-1"};
  for (const char* text : bad) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + text + "' is not a valid integer value");
    }
  }
}

TEST(StrToInt64, ReadsWideValues) {
  EXPECT_EQ(StrToInt64("4294967296"), 4294967296LL);
  EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
}

}  // namespace
