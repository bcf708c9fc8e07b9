#include "toolkit/ascii.h"

#include <gtest/gtest.h>

namespace {

TEST(UpperAscii, ChangesOnlyTheLettersAToZ) {
  EXPECT_EQ(UpperAscii("totdev=2 Dev1=com3"), "TOTDEV=2 DEV1=COM3");
  // The neighbours of the range stay, as do the bytes of other scripts.
  EXPECT_EQ(UpperAscii("`az{@AZ["), "`AZ{@AZ[");
  EXPECT_EQ(UpperAscii("端口ä"), "端口ä");
  EXPECT_EQ(UpperAscii(std::string_view("a\0b", 3)), std::string("A\0B", 3));
  EXPECT_EQ(UpperAscii(""), "");
}

}  // namespace
