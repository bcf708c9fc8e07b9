// The image checksums with their log lines and status text, and the two hex
// views of the flash and EEP images.
#include <QTabWidget>
#include <algorithm>

#include "console/hex_grid_model.h"
#include "console/main_window.h"
#include "link/image_checksums.h"
#include "toolkit/format.h"

namespace {

constexpr uint32_t kBytesPerRow = THexGridModel::kBytesPerRow;
constexpr int kChipChecksumPanel = 1;
constexpr const char* kEepPageCaption = "OTP Data";


// Rows of start..end: (end - start) div 16 + 1, as many as the view can show;
// an end below start wraps to a huge count and so shows the most rows.
uint32_t FlashRowCount(uint32_t start, uint32_t end) {
  const uint32_t rows = (end - start) / kBytesPerRow + 1;
  return std::min<uint32_t>(rows, THexGridModel::kMaxRows);
}

}  // namespace

void TOrvantBEMxPrg::ShowChecksums(uint32_t start, uint32_t end) {
  ComputeImageChecksums(start, end);
  ShowImageChecksums();
}

void TOrvantBEMxPrg::ShowImageQuietly() {
  ComputeImageChecksums(g.FlashStart, g.FlashEnd);
  ShowChipChecksumPanel();
  ShowFlashGrid(g.FlashStart, g.FlashEnd);
  ShowEepGrid();
}

void TOrvantBEMxPrg::ShowImageChecksums() {
  if (g.FlashEnd > g.FlashStart) {
    infoMemo_.Add("");
    LogLine(Format("目标Flash首地址 = 0x%0.8x.", {g.FlashStart}));
    LogLine(Format("目标Flash尾地址 = 0x%0.8x.", {g.FlashEnd}));
    if (g.EepSize > 0) {
      infoMemo_.Add("");
      LogLine(Format("目标EEP Data首地址 = 0x%0.8x.", {g.EepStart}));
      LogLine(Format("目标EEP Data尾地址 = 0x%0.8x.", {g.EepEnd}));
    }
  }
  infoMemo_.Add("");
  LogLine(Format("Chip Main Flash CRC16 CheckSum = 0x%0.4x.", {g.ImageCrc16}));
  LogLine(Format("Chip Main Flash ACC32 CheckSum = 0x%0.4x.", {g.ImageSum32}));
  ShowChipChecksumPanel();
}

void TOrvantBEMxPrg::ShowChipChecksumPanel() {
  SetStatusPanelText(kChipChecksumPanel, Format("芯片校验和：0x%0.4x", {g.ImageCrc16}));
}

void TOrvantBEMxPrg::ShowFlashGrid(uint32_t start, uint32_t end) {
  // The rows start at BaseAddress's row of the buffer; start only sets the count.
  const size_t firstByte = static_cast<size_t>(g.BaseAddress / kBytesPerRow) * kBytesPerRow;
  const size_t available = firstByte < kFlashImageBytes ? kFlashImageBytes - firstByte : 0;
  HexViewerCells->Rebuild(g.FlashImage + std::min(firstByte, kFlashImageBytes), available, g.BaseAddress,
                          FlashRowCount(start, end));
}

void TOrvantBEMxPrg::ShowEepGrid() {
  const int page = ViewPageCtrl->indexOf(TabSheetEEP);
  if (g.EepSize == 0) {
    ViewPageCtrl->setTabVisible(page, false);
    return;
  }
  ViewPageCtrl->setTabVisible(page, true);
  ViewPageCtrl->setTabText(page, kEepPageCaption);
  // A remainder of fewer than 16 bytes is not shown; a stored size above the
  // buffer shows the whole buffer.
  EEPDataViewCells->Rebuild(g.EepImage, kEepImageBytes, g.EepStart, g.EepSize / kBytesPerRow);
}
