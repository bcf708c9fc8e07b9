#pragma once
// What the project file tests and the make_project tests share: the link's
// off-line block builder in the form the saver takes, a window stand-in that
// keeps log lines, and a snapshot of every shared value a project load may
// write.

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/project_file.h"
#include "link/commands.h"
#include "link/wire.h"
#include "shared/main_window.h"
#include "support/stand_in_window.h"
#include "shared/state.h"
#include "toolkit/combo_box.h"


// Every shared value that a project load or ApplyProjectCfg writes.
struct JobSnapshot {
  uint8_t ChipSeries, ChipType, ChipIndex;
  std::string ChipName, DataFileName;
  uint16_t RomSizeKB, PageSize, PageCount, EepSize, SizeWord5, SizeWord6;
  uint32_t FlashStart, FlashEnd, EepStart, EepEnd, BaseAddress;
  std::vector<uint8_t> controls;  // CheckFlags .. ProgSpeed
  uint8_t AutoDetect, SnFlags, SnLength, SnDisplayFlags;
  uint16_t RunShutTime, SnIncrement;
  uint32_t SnAddress, SnValue;
  int32_t MaxProgramCount;
  std::vector<uint16_t> checkWords;
  uint32_t ImageSum32, FileSum, EepSum, FileStart, FileEnd;
  std::vector<uint8_t> flash, eep, cfg, pad;
  uint32_t spareWord, flashBytes;

  bool operator==(const JobSnapshot&) const = default;

  static JobSnapshot Take() {
    return {g.ChipSeries, g.ChipType, g.ChipIndex, g.ChipName, g.DataFileName,
            g.RomSizeKB, g.PageSize, g.PageCount, g.EepSize, g.SizeWord5, g.SizeWord6,
            g.FlashStart, g.FlashEnd, g.EepStart, g.EepEnd, g.BaseAddress,
            {g.CheckFlags, g.InterfaceFlags, g.PowerResetFlags, g.ControlByte4, g.ControlByte5, g.ControlByte6,
             g.ChipModelA, g.ControlByte8, g.PowerOnDelay, g.PowerOffDelay, g.ChipInDelay, g.ChipOutDelay,
             g.ChipModelB, g.ControlByte14, g.ProgSpeed},
            g.AutoDetect, g.SnFlags, g.SnLength, g.SnDisplayFlags, g.RunShutTime, g.SnIncrement,
            g.SnAddress, g.SnValue, g.MaxProgramCount,
            {g.ImageCrc16, g.ImagePacketCrc, g.ImageSum16, g.AuxCheckWord1, g.AuxCheckWord2, g.AuxCheckWord3,
             g.AuxCheckWord4},
            g.ImageSum32, g.FileSum, g.EepSum, g.FileStart, g.FileEnd,
            {std::begin(g.FlashImage), std::end(g.FlashImage)}, {std::begin(g.EepImage), std::end(g.EepImage)},
            {std::begin(g.ProjectCfgBlock), std::end(g.ProjectCfgBlock)},
            {std::begin(ProjectPad), std::end(ProjectPad)}, ProjectSpareWord, ProjectFlashBytes};
  }
};
