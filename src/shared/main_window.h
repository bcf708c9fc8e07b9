#pragma once
// What the link and the catalogue reach of the main window. The console's
// TOrvantBEMxPrg implements it; core tests plug in a plain stand-in. Every
// member runs on the GUI thread.

#include <cstdint>
#include <string_view>

class TComboBoxModel;

class IMainWindow {
public:
  // Appends "> ", the time, a blank and the text to the window log.
  virtual void LogLine(std::string_view text) = 0;
  // The caption of the device line above the window log.
  virtual void SetInfoPanelCaption(std::string_view caption) = 0;
  // The port combo box ComboBoxCOM.
  virtual TComboBoxModel& ComboBoxCOM() = 0;
  // Advances the serial number after a good run.
  virtual void AdvanceSerialNumber() = 0;
  // Rebuild the flash hex view from FlashImage over start..end (inclusive),
  // and the EEP view from EepImage.
  virtual void ShowFlashGrid(uint32_t start, uint32_t end) = 0;
  virtual void ShowEepGrid() = 0;
  // The image checksums in g were just computed over the flash range, since
  // FlashImage changed: log them with the ranges and show the chip checksum,
  // as after a load.
  virtual void ShowImageChecksums() = 0;
  // FlashImage now holds what a chip read returned, not a file's data: the
  // window stops naming the file it was loaded from.
  virtual void ShowDataFromChip() = 0;

protected:
  ~IMainWindow() = default;
};
