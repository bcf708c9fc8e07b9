#pragma once
// What choosing each catalogue chip must give, and a snapshot of the shared
// fields a chip choice may write. Shared by the catalogue and the dialog tests.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "shared/state.h"

struct ExpectedChip {
  int index;
  const char* name;
  uint8_t type;
  uint16_t romKB;
  uint8_t modelA;
  uint8_t modelB;
  uint16_t pageSize;
};

// clang-format off
inline constexpr ExpectedChip kExpectedChips[] = {
    // idx name        type  KB  mA mB page
    { 0, "FU6811N",  0x00, 16, 2, 1, 128},
    { 1, "FU6811L",  0x00, 16, 2, 1, 128},
    { 2, "FU6812L",  0x01, 16, 1, 2, 128},
    { 3, "FU6812N",  0x01, 16, 1, 2, 128},
    { 4, "FU6812S",  0x01, 16, 1, 2, 128},
    { 5, "FU6812P",  0x01, 16, 1, 2, 128},
    { 6, "FU6813P",  0x02, 32, 5, 3, 256},
    { 7, "FU6813L",  0x02, 32, 5, 3, 256},
    { 8, "FU6813N",  0x02, 32, 5, 3, 256},
    { 9, "FU6815L",  0x04, 32, 1, 5, 256},
    {10, "FU6818Q",  0x08, 16, 2, 1, 128},
    {11, "FU6831L",  0x10, 16, 2, 1, 128},
    {12, "FU6831Q",  0x10, 16, 2, 1, 128},
    {13, "FU6831N",  0x10, 16, 2, 1, 128},
    {14, "FU6832L",  0x12, 16, 1, 4, 128},
    {15, "FU6832S",  0x12, 16, 1, 4, 128},
    {16, "FU6832N",  0x12, 16, 1, 4, 128},
    {17, "FU6861L",  0x20, 16, 1, 2, 128},
    {18, "FU6861Q",  0x20, 16, 1, 2, 128},
    {19, "FU6861N",  0x20, 16, 1, 2, 128},
    {20, "FU6863L",  0x21, 32, 1, 3, 256},
    {21, "FU6865Q",  0x04, 32, 5, 5, 256},
    {22, "FU6866Q1", 0x40, 32, 2, 5, 256},
};
// clang-format on

// The shared fields that choosing a chip writes.
struct ChipStateSnapshot {
  uint8_t FillZero, ChipSelected, ChipSeries, ChipType, ChipIndex;
  uint16_t RomSizeKB, EepSize;
  uint32_t EepStart, EepEnd;
  std::string ChipName;
  uint8_t ControlByte4, ControlByte5, ControlByte6, ControlByte8, CheckFlags, InterfaceFlags;
  uint8_t ChipModelA, ChipModelB, ControlByte14, ProgSpeed;
  uint32_t FlashStart, FlashEnd, BaseAddress;
  uint16_t PageSize, PageCount;
  std::array<uint8_t, kProjectCfgBlockBytes> ProjectCfgBlock;

  bool operator==(const ChipStateSnapshot&) const = default;
};

inline ChipStateSnapshot TakeChipStateSnapshot() {
  ChipStateSnapshot s{g.FillZero,     g.ChipSelected, g.ChipSeries,   g.ChipType,     g.ChipIndex,
                      g.RomSizeKB,    g.EepSize,      g.EepStart,     g.EepEnd,       g.ChipName,
                      g.ControlByte4, g.ControlByte5, g.ControlByte6, g.ControlByte8, g.CheckFlags,
                      g.InterfaceFlags, g.ChipModelA, g.ChipModelB,   g.ControlByte14, g.ProgSpeed,
                      g.FlashStart,   g.FlashEnd,     g.BaseAddress,  g.PageSize,     g.PageCount,
                      {}};
  std::copy(std::begin(g.ProjectCfgBlock), std::end(g.ProjectCfgBlock), s.ProjectCfgBlock.begin());
  return s;
}

// Gives every field of the snapshot a value that no chip choice produces, as a
// loaded project might have left them.
inline void FillChipStateWithProjectValues() {
  g.FillZero = 0;
  g.ChipSelected = 0;
  g.ChipSeries = 59;
  g.ChipType = 0x77;
  g.ChipIndex = 0x33;
  g.RomSizeKB = 128;
  g.EepSize = 512;
  g.EepStart = 0x4000;
  g.EepEnd = 0x41FF;
  g.ChipName = "FU6899X";
  g.ControlByte4 = 0x14;
  g.ControlByte5 = 0x15;
  g.ControlByte6 = 0x80;
  g.ControlByte8 = 0x18;
  g.CheckFlags = 0x07;
  g.InterfaceFlags = 0x20;
  g.ChipModelA = 9;
  g.ChipModelB = 9;
  g.ControlByte14 = 0x11;
  g.ProgSpeed = 3;
  g.FlashStart = 0x800;
  g.FlashEnd = 0x1FFFF;
  g.BaseAddress = 0x800;
  g.PageSize = 512;
  g.PageCount = 512;
  for (size_t i = 0; i < kProjectCfgBlockBytes; ++i) g.ProjectCfgBlock[i] = static_cast<uint8_t>(i * 7);
}

// The catalogue's promise for one chip, checked on the shared state.
inline void ExpectChipCommitted(const ExpectedChip& chip) {
  SCOPED_TRACE(chip.name);
  EXPECT_EQ(g.ChipName, chip.name);
  EXPECT_EQ(g.ChipSeries, 80);
  EXPECT_EQ(g.ChipIndex, chip.index);
  EXPECT_EQ(g.ChipType, chip.type);
  EXPECT_EQ(g.RomSizeKB, chip.romKB);
  EXPECT_EQ(g.ChipModelA, chip.modelA);
  EXPECT_EQ(g.ChipModelB, chip.modelB);
  EXPECT_EQ(g.PageSize, chip.pageSize);
  EXPECT_EQ(g.PageCount, 128);
  EXPECT_EQ(g.FlashStart, 0u);
  EXPECT_EQ(g.BaseAddress, 0u);
  EXPECT_EQ(g.FlashEnd, uint32_t{chip.romKB} * 1024 - 1);
  EXPECT_EQ(g.EepSize, 0);
  EXPECT_EQ(g.EepStart, 0xFFFFFFFFu);
  EXPECT_EQ(g.EepEnd, 0xFFFFFFFFu);
  EXPECT_EQ(g.FillZero, 1);
  EXPECT_EQ(g.ChipSelected, 1);
}

// The settings every OK puts back to their chip defaults, whatever they held.
inline void ExpectChipDefaultSettings() {
  EXPECT_EQ(g.ControlByte4, 0);
  EXPECT_EQ(g.ControlByte5, 0);
  EXPECT_EQ(g.ControlByte6, 0);
  EXPECT_EQ(g.ControlByte8, 0);
  EXPECT_EQ(g.InterfaceFlags, 0);
  EXPECT_EQ(g.CheckFlags, 0x80);
  EXPECT_EQ(g.ControlByte14, 0x68);
  EXPECT_EQ(g.ProgSpeed, 10);
  EXPECT_TRUE(std::all_of(std::begin(g.ProjectCfgBlock), std::end(g.ProjectCfgBlock),
                          [](uint8_t b) { return b == 0xFF; }));
}
