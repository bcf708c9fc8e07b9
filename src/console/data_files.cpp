// The main window's file commands: target data files into the images, the
// flash range out to a file, and project files.
#include <QCheckBox>
#include <QLineEdit>
#include <QTabWidget>

#include "catalogue/binary_file.h"
#include "catalogue/data_file_io.h"
#include "catalogue/data_file_kind.h"
#include "catalogue/intel_hex.h"
#include "catalogue/project_file.h"
#include "catalogue/srecord.h"
#include "console/command_guards.h"
#include "console/main_window.h"
#include "console/ofs_addr_form.h"
#include "link/commands.h"
#include "toolkit/clock.h"
#include "toolkit/dialogs.h"
#include "toolkit/format.h"
#include "toolkit/qt/edit_text.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/zero_ended.h"

namespace {

constexpr uint8_t kBlankErased = 0xFF;
constexpr uint8_t kBlankZero = 0x00;

// Entries of SaveDialog1's filter, 1-based as the dialog counts them.
constexpr int kSaveBinaryEntry = 1;
constexpr int kSaveIntelHexEntry = 2;
constexpr int kSaveSRecordEntry = 3;

// Bits of SnDisplayFlags stored in a project.
constexpr uint8_t kSnShownDecimal = 0x01;
constexpr uint8_t kSnBigEndian = 0x04;

constexpr int kFileSumPanel = 0;
constexpr int kFilePathPanel = 2;

constexpr const char* kNoChipForLoadText = "请先选择芯片型号！";
constexpr const char* kNoChipForProjectText = "未选择芯片型号！";
constexpr const char* kNoDataForProjectText = "未加载目标文件！";
constexpr const char* kUnsupportedFileFormat = "File \"%s\" is not a .HEX, .S19 or .BIN file!";
constexpr const char* kOffsetOutsideImageText = "地址超出芯片有效数据范围！";
constexpr const char* kLoadedFormat = "File \"%s\" has been loaded!";
constexpr const char* kProjectLoadFormat = "Load Tesmar Project file of \"%s\" at ";
constexpr const char* kFileSumPanelFormat = "文件校验和：0x%0.8x";

void Inform(std::string_view text) { MessageDlg(text, MsgDlgType::Information, mbOK); }

// What the load commands check of a chosen file before anything changes: a
// reader takes it, it can be opened as a regular file (else the file error
// is raised, for the top-level report to show), and a binary file's offset
// lies before the chip's flash end and inside FlashImage (asked here, so that
// a refused offset leaves the image as it was).
bool DataFileAccepted(const std::string& path) {
  const DataFileKind kind = DataFileKindOf(path);
  if (kind == DataFileKind::Unsupported) {
    Inform(Format(kUnsupportedFileFormat, {path}));
    return false;
  }
  RequireReadableFile(path);
  if (kind != DataFileKind::Binary) return true;
  // The dialog has no cancel: however it is closed, it keeps the offset it showed.
  if (g.FormOfsAddr) ShowModal(*g.FormOfsAddr);
  if (BinRoomToChipEnd(BinPlacement(g.BinOffset), g.FlashEnd, kFlashImageBytes) > 0) return true;
  ShowMessage(kOffsetOutsideImageText);
  return false;
}

// Both load commands: the guards, the dialog and the file's checks.
bool ChooseDataFile(TOrvantBEMxPrg& window, std::string& path) {
  if (!ImageFreeOrLog(TImageUse::Change, &window)) return false;
  if (g.ChipSelected == 0) {
    Inform(kNoChipForLoadText);
    return false;
  }
  if (!window.OpenDialog1.Execute()) return false;
  path = window.OpenDialog1.FileName;
  return DataFileAccepted(path);
}

}  // namespace

void TOrvantBEMxPrg::FileOpenBtnClick(QObject*) {
  std::string path;
  if (!ChooseDataFile(*this, path)) return;
  const uint8_t blank = g.FillZero != 0 ? kBlankZero : kBlankErased;
  FillBytes(g.FlashImage, kFlashImageBytes, blank);
  FillBytes(g.EepImage, kFreshLoadEepBytes, blank);
  // The blank image is no file's: the name comes once the file has been read.
  g.DataFileName.clear();
  SetStatusPanelText(kFilePathPanel, "");
  LoadDataFile(path);
  g.DataFileName = std::string(FileNameOf(path));
  SetStatusPanelText(kFilePathPanel, path);
}

void TOrvantBEMxPrg::SpdBtnLoadMoreClick(QObject*) {
  std::string path;
  if (ChooseDataFile(*this, path)) LoadDataFile(path);
}

void TOrvantBEMxPrg::LoadDataFile(const std::string& path) {
  // Until a reader has returned the image holds no whole job (blanked, or
  // partly overwritten): a file that fails while it is read raises with
  // nothing to program and nothing saying that it was loaded.
  g.DataLoaded = 0;
  g.FileSum = 0;
  try {
    switch (DataFileKindOf(path)) {
      case DataFileKind::IntelHex:
        LoadHexFile(path, g.FileStart, g.FileEnd, g.FileSum);
        break;
      case DataFileKind::SRecord:
        LoadSRecFile(path, g.FileStart, g.FileEnd, g.FileSum);
        break;
      case DataFileKind::Binary: {
        // The limit is what the chip holds from the offset on, so the reader
        // reports a file that runs past the chip's end; it may store the rest of
        // FlashImage (the chunk that crosses the limit is kept whole). FileEnd
        // becomes the number of bytes read. DataFileAccepted has refused an offset
        // without room (a limit of 0 would read as none).
        const uint32_t at = BinPlacement(g.BinOffset);
        g.FileStart = 0;
        g.FileEnd = BinRoomToChipEnd(at, g.FlashEnd, kFlashImageBytes);
        if (g.FileEnd > 0) LoadBinFileSum(path, g.FlashImage + at, kFlashImageBytes - at, g.FileEnd, g.FileSum);
        break;
      }
      case DataFileKind::Unsupported:
        break;
    }
  } catch (...) {
    // The views and the checksum panels showed the image before the load:
    // they show what the failed read left in it, and the log stays silent.
    ShowImageQuietly();
    SetStatusPanelText(kFileSumPanel, Format(kFileSumPanelFormat, {g.FileSum}));
    throw;
  }
  LogLine(Format(kLoadedFormat, {path}));
  g.DataLoaded = 1;
  infoMemo_.Add("");
  LogLine(Format("目标文件首地址 = 0x%0.8x.", {g.FileStart}));
  LogLine(Format("目标文件尾地址 = 0x%0.8x.", {g.FileEnd}));
  LogLine(Format("目标文件校验和 = 0x%0.8x", {g.FileSum}));
  SetStatusPanelText(kFileSumPanel, Format(kFileSumPanelFormat, {g.FileSum}));
  RefreshDataViews();
}

void TOrvantBEMxPrg::FileSaveBtnClick(QObject*) {
  if (g.DataLoaded == 0) return;
  if (SaveDialog1.Execute()) SaveMemoryFile();
}

void TOrvantBEMxPrg::SaveMemoryFile() {
  const std::string& path = SaveDialog1.FileName;
  switch (SaveDialog1.FilterIndex) {
    case kSaveBinaryEntry:
      WriteBinFile(path, g.FlashImage, kFlashImageBytes, 0, g.FlashEnd - g.FlashStart);
      break;
    case kSaveIntelHexEntry:
      WriteHexFile(path, g.FlashImage, kFlashImageBytes, g.BaseAddress, g.FlashStart, g.FlashEnd);
      break;
    case kSaveSRecordEntry:
      WriteSRecFile(path, g.FlashImage, kFlashImageBytes, g.BaseAddress, g.FlashStart, g.FlashEnd);
      break;
    default:
      break;
  }
}

void TOrvantBEMxPrg::SavetoProjectFile1Click(QObject*) {
  if (g.ChipSelected == 0) {
    Inform(kNoChipForProjectText);
    return;
  }
  if (g.DataLoaded == 0) {
    Inform(kNoDataForProjectText);
    return;
  }
  if (!SaveDialogPrj.Execute()) return;
  g.SnDisplayFlags = static_cast<uint8_t>((ChkBoxSNDP->isChecked() ? kSnShownDecimal : 0) |
                                          (SNOrderChk->isChecked() ? kSnBigEndian : 0));
  ReadSettingsFromUi();
  SaveProjectFile(SaveDialogPrj.FileName, g.ChipSeries, CopyOfflineInfoBlock);
}

void TOrvantBEMxPrg::SpdBtnLdPrjClick(QObject*) {
  // Refused before the dialog, so that no file is chosen in vain.
  if (ImageFreeOrLog(TImageUse::Change, this) && OpenDialogPrj.Execute()) OpenProject(OpenDialogPrj.FileName);
}

bool TOrvantBEMxPrg::OpenProject(const std::string& path) {
  // Also the command line's project, which the start-up timer opens.
  if (!ImageFreeOrLog(TImageUse::Change, this)) return false;
  LogLine(Format(kProjectLoadFormat, {path}) + ShortDateText(Now()));
  if (LoadProjectFile(path) != 0) return false;
  g.ChipSelected = 1;
  g.DataLoaded = 1;
  // The edit's change handler runs only when the shown name changes; the
  // stored name comes padded with zeros, which the edit does not keep.
  SetEditText(*MCUNameEdit, g.ChipName);
  ApplyProjectCfg();
  RefreshDataViews();
  ShowSettingsInUi();
  SetStatusPanelText(kFilePathPanel, ZeroEnded(g.DataFileName));
  SetStatusPanelText(kFileSumPanel, Format(kFileSumPanelFormat, {g.FileSum}));
  ShowChipChecksumPanel();
  return true;
}

void TOrvantBEMxPrg::RefreshDataViews() {
  ShowChecksums(g.FlashStart, g.FlashEnd);
  ShowFlashGrid(g.FlashStart, g.FlashEnd);
  ShowEepGrid();
  ViewPageCtrl->setCurrentIndex(0);
}
