#include "toolkit/spin_edit.h"

#include <gtest/gtest.h>

namespace {

TEST(SpinEdit, ValueIsTheTextsIntegerOrTheMinimum) {
  TSpinEditModel spin(16, 4096, 16, 1024);
  EXPECT_EQ(spin.Text(), "1024");
  spin.SetTypedText("99999");
  EXPECT_EQ(spin.Value(), 99999) << "a typed text keeps its value until the range is applied";
  spin.SetTypedText(" 0x20");
  EXPECT_EQ(spin.Value(), 32);
  for (const char* notANumber : {"", "abc", "12a", "-"}) {
    spin.SetTypedText(notANumber);
    EXPECT_EQ(spin.Value(), 16) << notANumber;
  }
}

TEST(SpinEdit, RangeAppliesWhenSetOnFocusLossAndByTheArrows) {
  TSpinEditModel spin(300, 1500, 30, 500);
  int changes = 0;
  spin.SetOnChange([&] { ++changes; });
  spin.SetValue(17 * 30);
  EXPECT_EQ(spin.Text(), "510");
  spin.SetValue(0);
  EXPECT_EQ(spin.Text(), "300");
  spin.SetValue(int64_t{1} << 40);
  EXPECT_EQ(spin.Text(), "1500");
  spin.SetTypedText("2000");
  spin.ApplyRange();
  EXPECT_EQ(spin.Text(), "1500");
  spin.SetTypedText("nonsense");
  spin.ApplyRange();
  EXPECT_EQ(spin.Text(), "300");
  spin.StepBy(-1);
  EXPECT_EQ(spin.Value(), 300);
  spin.StepBy(3);
  EXPECT_EQ(spin.Value(), 390);
  EXPECT_EQ(changes, 7);
}

TEST(SpinEdit, StartValueIsBroughtIntoTheRange) {
  TSpinEditModel spin(10, 1000, 10, 5, 3);
  EXPECT_EQ(spin.Value(), 10);
  EXPECT_EQ(spin.MaxLength(), 3);
}

}  // namespace
