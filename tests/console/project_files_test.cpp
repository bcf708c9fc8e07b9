// Project files through the main window: saving the job a user prepared,
// opening it in a fresh program state, and loads that fail.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTableView>

#include "catalogue/qt/chip_select_form.h"
#include "console/hex_grid_model.h"
#include "support/data_files_fixture.h"
#include "toolkit/qt/radio_group.h"
#include "toolkit/qt/spin_edit_widget.h"

namespace {

// What a job brings back: the chip, the settings, the image and its figures.
struct JobSnapshot {
  std::string chipShown;
  uint8_t chipSeries, chipType, chipIndex;
  uint16_t romSizeKB;
  uint32_t flashStart, flashEnd, baseAddress;
  uint8_t checkFlags, interfaceFlags, powerResetFlags, chipInDelay, chipOutDelay, powerOnDelay, powerOffDelay;
  uint8_t progSpeed, autoDetect, snFlags, snLength, snDisplayFlags;
  uint16_t snIncrement, imageCrc16;
  uint32_t snAddress, snValue, imageSum32, fileSum;
  int32_t maxProgramCount;
  std::vector<uint8_t> flash;
  // The option controls.
  bool blankError, autoDetectBox, vddOff, runAfter, snOn, snDecimal, snBigEndian, countLimit;
  int speedItem, resetItem, chipIn, chipOut, vddTime, powerDownTime, limit;
  std::string snText, gainText, addrText;
  std::string panel0, panel1, panel2;

  bool operator==(const JobSnapshot&) const = default;
};

class ProjectFilesTest : public DataFilesTest {
protected:
  // The chip button, answered as the user would: the series, the chip, OK.
  void ChooseChipInDialog(const QString& chip) {
    ModalHook offsets = SetModalHook([&](QDialog& dialog) {
      dialog.show();
      auto& form = static_cast<TChipSelectForm&>(dialog);
      form.ListBoxSeries->setCurrentRow(0);
      emit form.ListBoxSeries->itemClicked(form.ListBoxSeries->item(0));
      form.ListBoxChips->setCurrentItem(form.ListBoxChips->findItems(chip, Qt::MatchExactly).front());
      form.BitBtnOK->click();
      return dialog.result();
    });
    window->DevButtonClick(nullptr);
    SetModalHook(std::move(offsets));
  }

  // The options a user sets on the three pages.
  void ChooseOptions() {
    window->ChkBoxBlkEr->setChecked(true);
    window->RadioGroupBitF->SetItemIndex(0);
    window->ChkBoxAuto->setChecked(false);
    window->SpinEditIn->Model().SetValue(900);
    window->SpinEditOut->Model().SetValue(1200);
    window->ChkBoxVDD->setChecked(false);
    window->CheckBoxRun->setChecked(true);
    window->SpinEditVddTim->Model().SetValue(250);
    window->SpinEditPwDnTim->Model().SetValue(70);
    window->RadioGrpRST->SetItemIndex(2);
    window->CheckBoxCtrl->setChecked(true);
    window->SpinEditNum->Model().SetValue(5000);
    window->CheckBoxSN->setChecked(true);
    window->SNEdit1->setText("0x12345678");
    window->GainEdit->setText("0x02");
    window->AddrEdit->setText("0x00007FF0");
    window->SNOrderChk->setChecked(true);
  }

  JobSnapshot Snapshot() const {
    JobSnapshot s{};
    s.chipShown = window->MCUNameEdit->text().toStdString();
    s.chipSeries = g.ChipSeries, s.chipType = g.ChipType, s.chipIndex = g.ChipIndex, s.romSizeKB = g.RomSizeKB;
    s.flashStart = g.FlashStart, s.flashEnd = g.FlashEnd, s.baseAddress = g.BaseAddress;
    s.checkFlags = g.CheckFlags, s.interfaceFlags = g.InterfaceFlags, s.powerResetFlags = g.PowerResetFlags;
    s.chipInDelay = g.ChipInDelay, s.chipOutDelay = g.ChipOutDelay;
    s.powerOnDelay = g.PowerOnDelay, s.powerOffDelay = g.PowerOffDelay;
    s.progSpeed = g.ProgSpeed, s.autoDetect = g.AutoDetect, s.snFlags = g.SnFlags, s.snLength = g.SnLength;
    s.snDisplayFlags = g.SnDisplayFlags, s.snIncrement = g.SnIncrement, s.imageCrc16 = g.ImageCrc16;
    s.snAddress = g.SnAddress, s.snValue = g.SnValue, s.imageSum32 = g.ImageSum32, s.fileSum = g.FileSum;
    s.maxProgramCount = g.MaxProgramCount;
    s.flash.assign(g.FlashImage, g.FlashImage + 0x8000);
    s.blankError = window->ChkBoxBlkEr->isChecked(), s.autoDetectBox = window->ChkBoxAuto->isChecked();
    s.vddOff = window->ChkBoxVDD->isChecked(), s.runAfter = window->CheckBoxRun->isChecked();
    s.snOn = window->CheckBoxSN->isChecked(), s.snDecimal = window->ChkBoxSNDP->isChecked();
    s.snBigEndian = window->SNOrderChk->isChecked(), s.countLimit = window->CheckBoxCtrl->isChecked();
    s.speedItem = window->RadioGroupBitF->ItemIndex(), s.resetItem = window->RadioGrpRST->ItemIndex();
    s.chipIn = window->SpinEditIn->Model().Value(), s.chipOut = window->SpinEditOut->Model().Value();
    s.vddTime = window->SpinEditVddTim->Model().Value(), s.powerDownTime = window->SpinEditPwDnTim->Model().Value();
    s.limit = window->SpinEditNum->Model().Value();
    s.snText = window->SNEdit1->text().toStdString(), s.gainText = window->GainEdit->text().toStdString();
    s.addrText = window->AddrEdit->text().toStdString();
    s.panel0 = window->StatusPanelText(0), s.panel1 = window->StatusPanelText(1);
    return s;
  }

  // A new program run over the same program folder: fresh state, fresh window.
  void RestartProgram() {
    window.reset();
    ResetState();
    ResetChipSelection();
    window = std::make_unique<TOrvantBEMxPrg>();
    window->PortSysfsRoot = ports.Sys();
    window->PortDeviceFolder = ports.Dev();
    g.OrvantBEMxPrg = window.get();
    offsetDialog = std::make_unique<TFormOfsAddr>();
    g.FormOfsAddr = offsetDialog.get();
    window->show();
  }

  // A job saved through the window: chip, HEX data, the options.
  std::string SaveJob(const std::vector<uint8_t>& data) {
    window->show();
    ChooseChipInDialog("FU6813P");
    files.Choose(WriteHex("job.hex", 0x0100, data));
    window->FileOpenBtnClick(nullptr);
    ChooseOptions();
    const std::string job = folder + "job.ptv";
    files.Choose(job);
    window->SavetoProjectFile1Click(nullptr);
    return job;
  }
};

TEST_F(ProjectFilesTest, JobSavedByTheUserComesBackWholeInAFreshProgram) {
  PlaceFirmwareImage();
  const std::vector<uint8_t> data = Pattern(0x2000, 29);
  const std::string job = SaveJob(data);
  ASSERT_TRUE(std::filesystem::exists(job));
  EXPECT_EQ(boxes.Texts().back(), "Created Tesmar Project File : " + job);
  EXPECT_EQ(g.SnDisplayFlags, 4);  // big-endian, hexadecimal display
  window->ShowChecksums(g.FlashStart, g.FlashEnd);
  const JobSnapshot saved = Snapshot();
  EXPECT_EQ(saved.chipShown, "FU6813P");
  EXPECT_EQ(saved.chipInDelay, 900 / 30);
  EXPECT_TRUE(FlashHolds(0x100, data));

  RestartProgram();
  ASSERT_NE(Snapshot(), saved);
  files.Choose(job);
  window->SpdBtnLdPrjClick(nullptr);

  EXPECT_EQ(g.ChipSelected, 1);
  EXPECT_EQ(g.DataLoaded, 1);
  JobSnapshot loaded = Snapshot();
  EXPECT_EQ(loaded, saved);
  EXPECT_EQ(loaded.flash, saved.flash);
  EXPECT_EQ(loaded.snText, "0x12345678");
  EXPECT_EQ(window->StatusPanelText(2), "job.hex");
  EXPECT_EQ(window->StatusPanelText(1), Format("芯片校验和：0x%0.4x", {Crc16(0, 0x7FFF)}));
  EXPECT_TRUE(Logged("> 14:03:22 Load Tesmar Project file of \"" + job + "\" at 2026-12-08"));
  EXPECT_TRUE(Logged("> 14:03:22 Chip \"FU6813P\" has been selected!"));
  EXPECT_EQ(window->HexViewerCells->rowCount(), 0x8000 / 16);
  EXPECT_EQ(window->ViewPageCtrl->currentIndex(), 0);
}

TEST_F(ProjectFilesTest, ChipNameEditChangesOnlyWhenTheShownNameChanges) {
  PlaceFirmwareImage();
  const std::string job = SaveJob(Pattern(0x100, 3));
  // The same chip shown already: no change event, so nothing logs the chip.
  boxes.Clear();
  const size_t before = LogLines().size();
  files.Choose(job);
  window->SpdBtnLdPrjClick(nullptr);
  EXPECT_EQ(std::count(LogLines().begin() + static_cast<long>(before), LogLines().end(),
                       "> 14:03:22 Chip \"FU6813P\" has been selected!"),
            0);
  EXPECT_EQ(g.DataLoaded, 1);
  // Another chip shown before: the project's name, without its padding, and one change.
  ChooseChipInDialog("FU6811N");
  files.Choose(job);
  window->SpdBtnLdPrjClick(nullptr);
  EXPECT_EQ(window->MCUNameEdit->text().toStdString(), "FU6813P");
  EXPECT_EQ(std::count(LogLines().begin(), LogLines().end(), "> 14:03:22 Chip \"FU6813P\" has been selected!"), 2);
  EXPECT_EQ(g.DataLoaded, 1);
}

TEST_F(ProjectFilesTest, FailedLoadLeavesTheWindowAsItWas) {
  PlaceFirmwareImage();
  const std::string job = SaveJob(Pattern(0x100, 5));
  std::vector<uint8_t> damaged = ReadFile(job);
  damaged[damaged.size() / 2] ^= 0x01;
  const std::string damagedJob = WriteFile("damaged.ptv", damaged);
  RestartProgram();
  const JobSnapshot before = Snapshot();
  const int rows = window->HexViewerCells->rowCount();
  const std::string panel2 = window->StatusPanelText(2);
  boxes.Clear();
  files.Choose(damagedJob);
  window->SpdBtnLdPrjClick(nullptr);
  EXPECT_EQ(g.ChipSelected, 0);
  EXPECT_EQ(g.DataLoaded, 0);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(window->HexViewerCells->rowCount(), rows);
  EXPECT_EQ(window->StatusPanelText(2), panel2);
  EXPECT_EQ(boxes.Shown().size(), 1u);  // the reader's own report
  EXPECT_TRUE(Logged("> 14:03:22 Load Tesmar Project file of \"" + damagedJob + "\" at 2026-12-08"));
}

TEST_F(ProjectFilesTest, ProjectSaveTakesTheSerialNumberDisplayFromItsBoxes) {
  PlaceFirmwareImage();
  window->show();
  ChooseChipInDialog("FU6813P");
  g.DataLoaded = 1;
  window->SNOrderChk->setChecked(false);
  window->ChkBoxSNDP->setChecked(true);
  files.Choose(folder + "decimal.ptv");
  window->SavetoProjectFile1Click(nullptr);
  EXPECT_EQ(g.SnDisplayFlags, 1);
  EXPECT_TRUE(std::filesystem::exists(folder + "decimal.ptv"));
}

}  // namespace
