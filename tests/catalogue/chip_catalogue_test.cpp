#include "catalogue/chip_catalogue.h"

#include <gtest/gtest.h>


#include "catalogue/support/chip_expectations.h"
#include "shared/state.h"
#include "support/process_state.h"

namespace {

class ChipCatalogueTest : public ::testing::Test {};

// What the dialog does for the chip at `index`, without the dialog.
void ChooseAndCommit(int index) {
  SelChipSeries = kFortiorSeries;
  SelChipIndex = static_cast<uint8_t>(index);
  SetChipParams(ChipNameList[index]);
  CommitChipSelection(ChipNameList[index]);
}

TEST_F(ChipCatalogueTest, ListHoldsTheChipsInIndexOrder) {
  ASSERT_EQ(ChipNameList.size(), std::size(kExpectedChips));
  for (const ExpectedChip& chip : kExpectedChips) EXPECT_EQ(ChipNameList[chip.index], chip.name);
  EXPECT_EQ(ChipNameList[ChipNameLast], "FU6866Q1");
}

TEST_F(ChipCatalogueTest, EveryChipCommitsItsParameters) {
  for (const ExpectedChip& chip : kExpectedChips) {
    FillChipStateWithProjectValues();
    ChooseAndCommit(chip.index);
    ExpectChipCommitted(chip);
  }
}

TEST_F(ChipCatalogueTest, CommitReplacesWhatAProjectLeftAndKeepsOtherSettings) {
  FillChipStateWithProjectValues();
  g.PowerResetFlags = 0x42;
  g.PowerOnDelay = 7;
  g.ChipModelB = 0x99;
  g.SnAddress = 0x00FFFFFF;
  g.MaxProgramCount = -1;
  g.AutoDetect = 1;

  ChooseAndCommit(6);  // FU6813P

  ExpectChipDefaultSettings();
  // The flash range starts at 0 whatever start the project had.
  EXPECT_EQ(g.FlashStart, 0u);
  EXPECT_EQ(g.FlashEnd, 0x7FFFu);
  // Settings outside the chip defaults stay as they were.
  EXPECT_EQ(g.PowerResetFlags, 0x42);
  EXPECT_EQ(g.PowerOnDelay, 7);
  EXPECT_EQ(g.SnAddress, 0x00FFFFFFu);
  EXPECT_EQ(g.MaxProgramCount, -1);
  EXPECT_EQ(g.AutoDetect, 1);
}

TEST_F(ChipCatalogueTest, ChoosingAChipMakesOnlyItsSizeAndTypePending) {
  SelChipSeries = 80;
  SelChipIndex = 5;
  SelEepSize = 512;
  SelEepStart = 0x4000;
  SelEepEnd = 0x41FF;
  SetChipParams("FU6863L");
  EXPECT_EQ(SelRomKB, 32);
  EXPECT_EQ(SelChipType, 0x21);
  EXPECT_EQ(SelEepSize, 0);
  EXPECT_EQ(SelEepStart, kNoEepAddress);
  EXPECT_EQ(SelEepEnd, kNoEepAddress);
  EXPECT_EQ(SelChipSeries, 80);
  EXPECT_EQ(SelChipIndex, 5);
  // Nothing shared moves before OK.
  EXPECT_EQ(g.RomSizeKB, 0);
  EXPECT_EQ(g.ChipSelected, 0);
}

// Names outside the list take the fall-back row; the page size still follows
// the sixth character.
TEST_F(ChipCatalogueTest, UnknownNamesTakeTheFallBackRow) {
  struct Case {
    const char* name;
    uint16_t romKB;
    uint16_t pageSize;
    uint16_t pageCount;
  };
  const Case cases[] = {
      {"FU6899X", 16, 128, 128},
      {"fu6813p", 16, 256, 64},  // prefixes compare case-sensitively
      {"XX0005", 16, 256, 64},
      {"FU681", 16, 128, 128},  // shorter than a prefix
      {"", 16, 128, 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetProcessState();
    SetChipParams(c.name);
    EXPECT_EQ(SelRomKB, c.romKB);
    EXPECT_EQ(SelChipType, 0x02);
    CommitChipSelection(c.name);
    EXPECT_EQ(g.ChipModelA, 2);
    EXPECT_EQ(g.ChipModelB, 1);
    EXPECT_EQ(g.PageSize, c.pageSize);
    EXPECT_EQ(g.PageCount, c.pageCount);
    EXPECT_EQ(g.FlashEnd, 0x3FFFu);
  }
}

TEST_F(ChipCatalogueTest, DefaultsFollowTheFlashSizeInPlace) {
  // A project may have set the size; the defaults take whatever stands.
  g.ChipName = "FU6866Q1";
  g.RomSizeKB = 64;
  g.FlashStart = 0x1000;
  ApplyChipDefaults();
  EXPECT_EQ(g.FlashStart, 0u);
  EXPECT_EQ(g.FlashEnd, 0xFFFFu);
  EXPECT_EQ(g.PageSize, 256);
  EXPECT_EQ(g.PageCount, 256);
  EXPECT_EQ(g.ChipModelA, 2);
  EXPECT_EQ(g.ChipModelB, 5);
}

}  // namespace

namespace {

TEST(StartUpChipValues, GiveTheFirstShowingsParametersAndKeepTheRest) {
  g.ChipSelected = 1;
  g.DataLoaded = 1;
  g.ChipType = 0x21;
  g.ChipIndex = 7;
  g.EepSize = 512;
  g.InterfaceFlags = 0x20;
  g.ControlByte6 = 0x05;
  g.FileSum = 99;
  g.ProgSpeed = 3;  // not a start value: left as it is
  g.ChipName = "FU6812";
  ApplyStartUpChipValues();
  EXPECT_EQ(g.ChipSeries, 59);
  EXPECT_EQ(g.RomSizeKB, 128);
  EXPECT_EQ(g.PageSize, 256);
  EXPECT_EQ(g.PageCount, 512);
  EXPECT_EQ(g.CheckFlags, 0x80);
  EXPECT_EQ(g.ControlByte6, 0x85) << "bit 7 set, the others kept";
  EXPECT_EQ(g.SnAddress, 0x00FFFFFFu);
  for (const uint32_t cleared : {uint32_t{g.ChipSelected}, uint32_t{g.DataLoaded}, uint32_t{g.ChipType},
                                 uint32_t{g.ChipIndex}, uint32_t{g.EepSize}, uint32_t{g.InterfaceFlags}, g.FileSum})
    EXPECT_EQ(cleared, 0u);
  EXPECT_EQ(g.ProgSpeed, 3);
  EXPECT_EQ(g.ChipName, "FU6812");
}

}  // namespace
