#include "catalogue/chip_catalogue.h"

#include <algorithm>

#include "shared/state.h"

const std::array<std::string_view, ChipNameLast + 1> ChipNameList = {
    "FU6811N", "FU6811L", "FU6812L", "FU6812N", "FU6812S", "FU6812P", "FU6813P", "FU6813L",
    "FU6813N", "FU6815L", "FU6818Q", "FU6831L", "FU6831Q", "FU6831N", "FU6832L", "FU6832S",
    "FU6832N", "FU6861L", "FU6861Q", "FU6861N", "FU6863L", "FU6865Q", "FU6866Q1",
};

uint8_t SelChipSeries;
uint8_t SelChipType;
uint8_t SelChipIndex;
uint16_t SelRomKB;
uint16_t SelEepSize;
uint32_t SelEepStart;
uint32_t SelEepEnd;

namespace {

// What a chip's six-character family prefix decides. The prefixes are
// distinct, so the order of the rows never changes a result; it is the order
// in which the dialog tests them.
struct ChipFamily {
  std::string_view prefix;
  uint16_t romKB;   // flash size, KB
  uint8_t type;     // type code of the packet header
  uint8_t modelA;   // ChipModelA
  uint8_t modelB;   // ChipModelB
};

// clang-format off
constexpr ChipFamily kChipFamilies[] = {
    // prefix    KB  type  modelA modelB
    {"FU6811",   16, 0x00, 2,     1},
    {"FU6812",   16, 0x01, 1,     2},
    {"FU6813",   32, 0x02, 5,     3},
    {"FU6818",   16, 0x08, 2,     1},
    {"FU6831",   16, 0x10, 2,     1},
    {"FU6832",   16, 0x12, 1,     4},
    {"FU6861",   16, 0x20, 1,     2},
    {"FU6863",   32, 0x21, 1,     3},
    {"FU6815",   32, 0x04, 1,     5},
    {"FU6865",   32, 0x04, 5,     5},
    {"FU6866",   32, 0x40, 2,     5},
};
// clang-format on
// Any other name.
constexpr ChipFamily kOtherFamily = {"", 16, 0x02, 2, 1};

const ChipFamily& FamilyOf(std::string_view name) {
  const auto* row = std::find_if(std::begin(kChipFamilies), std::end(kChipFamilies),
                                 [name](const ChipFamily& f) { return name.starts_with(f.prefix); });
  return row == std::end(kChipFamilies) ? kOtherFamily : *row;
}

// Page size, bytes: the sixth character of the name tells the flash's page
// organisation.
uint16_t PageSizeOf(std::string_view name) {
  constexpr uint16_t kLargePageBytes = 256;
  constexpr uint16_t kSmallPageBytes = 128;
  if (name.size() < 6) return kSmallPageBytes;
  char c = name[5];
  return (c == '3' || c == '5' || c == '6') ? kLargePageBytes : kSmallPageBytes;
}

// Start values of the chip parameters until a chip or a project is chosen.
constexpr uint8_t kStartCheckFlags = 0x80;
constexpr uint16_t kStartRomSizeKB = 128;
constexpr uint16_t kStartPageSize = 256;  // bytes
constexpr uint16_t kPagesPerKB = 4;
constexpr uint8_t kStartChipSeries = 59;
constexpr uint8_t kControlByte6Bit7 = 0x80;
constexpr uint32_t kStartSnAddress = 0x00FFFFFF;

}  // namespace

void ApplyStartUpChipValues() {
  g.CheckFlags = kStartCheckFlags;
  g.DataLoaded = 0;
  g.ChipSelected = 0;
  g.RomSizeKB = kStartRomSizeKB;
  g.PageSize = kStartPageSize;
  g.PageCount = static_cast<uint16_t>(g.RomSizeKB * kPagesPerKB);
  g.ChipType = 0;
  g.ChipSeries = kStartChipSeries;
  g.ControlByte6 |= kControlByte6Bit7;
  g.ChipIndex = 0;
  g.EepSize = 0;
  g.InterfaceFlags = 0;
  g.ControlByte5 = 0;
  g.ChipModelA = 0;
  g.ControlByte8 = 0;
  g.ImageSum32 = 0;
  g.FileSum = 0;
  g.EepSum = 0;
  g.SnAddress = kStartSnAddress;
}

void ResetChipSelection() {
  SelChipSeries = 0;
  SelChipType = 0;
  SelChipIndex = 0;
  SelRomKB = 0;
  SelEepSize = 0;
  SelEepStart = 0;
  SelEepEnd = 0;
}

void SetChipParams(std::string_view name) {
  const ChipFamily& family = FamilyOf(name);
  SelRomKB = family.romKB;
  SelChipType = family.type;
  SelEepSize = 0;
  SelEepStart = kNoEepAddress;
  SelEepEnd = kNoEepAddress;
}

void ApplyChipDefaults() {
  constexpr uint8_t kDefaultControlByte14 = 0x68;
  constexpr uint8_t kDefaultProgSpeed = 10;
  constexpr uint8_t kDefaultCheckFlags = 0x80;
  constexpr uint32_t kBytesPerKB = 1024;

  g.ControlByte14 = kDefaultControlByte14;
  g.ProgSpeed = kDefaultProgSpeed;
  g.FlashStart = 0;
  g.BaseAddress = 0;
  g.CheckFlags = kDefaultCheckFlags;
  g.InterfaceFlags = 0;
  const uint32_t romBytes = uint32_t{g.RomSizeKB} * kBytesPerKB;
  g.FlashEnd = g.FlashStart + romBytes - 1;
  std::fill(std::begin(g.ProjectCfgBlock), std::end(g.ProjectCfgBlock), uint8_t{0xFF});

  const ChipFamily& family = FamilyOf(g.ChipName);
  g.ChipModelA = family.modelA;
  g.ChipModelB = family.modelB;
  g.PageSize = PageSizeOf(g.ChipName);
  g.PageCount = static_cast<uint16_t>(romBytes / g.PageSize);
}

void CommitChipSelection(std::string_view chipName) {
  g.FillZero = 1;
  g.ChipSelected = 1;
  g.ControlByte4 = 0;
  g.ControlByte5 = 0;
  g.ControlByte6 = 0;
  g.ControlByte8 = 0;
  g.ChipSeries = SelChipSeries;
  g.ChipType = SelChipType;
  g.ChipIndex = SelChipIndex;
  g.RomSizeKB = SelRomKB;
  g.EepSize = SelEepSize;
  g.EepStart = SelEepStart;
  g.EepEnd = SelEepEnd;
  g.ChipName = chipName;
  ApplyChipDefaults();
}
