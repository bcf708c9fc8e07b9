#pragma once
// The main window as the core reaches it (IMainWindow), for tests that run
// without the console: it records what the core asks of it and does nothing
// else. Plug it in with g.OrvantBEMxPrg = &window; the per-test process
// reset puts the pointer back to null afterwards.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shared/main_window.h"
#include "shared/state.h"
#include "toolkit/combo_box.h"

class StandInWindow : public IMainWindow {
public:
  void LogLine(std::string_view text) override { logLines.emplace_back(text); }
  void SetInfoPanelCaption(std::string_view text) override {
    caption = text;
    captionSets += 1;
  }
  TComboBoxModel& ComboBoxCOM() override { return combo; }
  void AdvanceSerialNumber() override { serialAdvances += 1; }
  void ShowFlashGrid(uint32_t start, uint32_t end) override { flashGrids.emplace_back(start, end); }
  void ShowEepGrid() override { eepGrids += 1; }
  void ShowImageChecksums() override { shownChecksums.push_back(g.ImageCrc16); }
  void ShowDataFromChip() override { dataFromChip += 1; }

  std::vector<std::string> logLines;
  std::string caption;  // the last caption set
  int captionSets = 0;
  int serialAdvances = 0;
  std::vector<std::pair<uint32_t, uint32_t>> flashGrids;  // start, end of each call
  int eepGrids = 0;
  std::vector<uint16_t> shownChecksums;  // ImageCrc16 at each showing
  int dataFromChip = 0;
  TComboBoxModel combo;
};
