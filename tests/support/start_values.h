#pragma once
// The chip parameters and settings the program starts with before any chip
// is chosen, as the main window's first showing gives them; for tests of the
// core that run without a window.

#include "shared/state.h"

inline void SetStartUpValues() {
  g.CheckFlags = 0x80;
  g.ChipSeries = 59;
  g.RomSizeKB = 128;
  g.PageSize = 256;
  g.PageCount = 512;
  g.ControlByte6 = 0x80;
  g.SnAddress = 0x00FFFFFF;
}
