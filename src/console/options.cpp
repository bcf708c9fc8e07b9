// The programming options: reading the option controls into the settings,
// showing loaded settings in them, the enabling handlers, the chip button and
// the serial-number advance.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "catalogue/qt/chip_select_form.h"
#include "console/command_guards.h"
#include "console/config_sn_form.h"
#include "console/hex_grid_model.h"
#include "console/main_window.h"
#include "link/wire.h"
#include "toolkit/dialogs.h"
#include "toolkit/format.h"
#include "toolkit/int_conv.h"
#include "toolkit/qt/edit_text.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/qt/radio_group.h"
#include "toolkit/qt/spin_edit_widget.h"

namespace {

// InterfaceFlags
constexpr uint8_t kVoltageBits = 0x03;
constexpr uint8_t kFiveVoltBit = 0x01;
constexpr uint8_t kFiceSharedBit = 0x10;
constexpr uint8_t kAdapterBit = 0x40;
constexpr uint8_t kAdapterKeptBits = 0x7C;  // bits 0, 1 and 7 go with the adapter
// PowerResetFlags
constexpr uint8_t kResetBits = 0x03;
constexpr uint8_t kRunAfterBit = 0x04;
constexpr uint8_t kPowerStaysOnBit = 0x10;
constexpr uint8_t kRunShutBit = 0x80;
// SnFlags
constexpr uint8_t kSnOnBit = 0x01;
constexpr uint8_t kSnDecimalBit = 0x04;
constexpr uint8_t kSnBigEndianBit = 0x08;
constexpr uint8_t kCountLimitBit = 0x40;
// SnDisplayFlags
constexpr uint8_t kShowDecimalBit = 0x01;
constexpr uint8_t kShowBigEndianBit = 0x04;

constexpr uint8_t kHighVoltageChipType = 0x40;
constexpr uint8_t kAutoDetectOn = 15;
constexpr uint8_t kSlowProgSpeed = 20;
constexpr uint8_t kFastProgSpeed = 10;
constexpr uint8_t kSnBytes = 4;
constexpr int32_t kNoCountLimit = -1;
constexpr int kDetectDelayUnitMs = 30;
constexpr int kPowerDelayUnitMs = 10;
constexpr int kFiveVoltItem = 1;

void SetBits(uint8_t& flags, uint8_t bits, bool on) { flags = static_cast<uint8_t>(on ? flags | bits : flags & ~bits); }

std::string HexSnText(uint32_t value) { return Format("0x%0.8x", {value}); }

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }
void SetText(QLineEdit* edit, std::string_view text) { SetEditText(*edit, text); }

// Ends a dialog's time in the shared pointer with the dialog, however it ends.
struct ChipFormLease {
  explicit ChipFormLease(TChipSelectForm* form) { g.ChipSelectForm = form; }
  ~ChipFormLease() { g.ChipSelectForm = nullptr; }
};

}  // namespace

void TOrvantBEMxPrg::ReadSettingsFromUi() {
  // A command started from the keyboard (a shortcut, Space, Enter) leaves the
  // focus where it was, so a typed number has not met its range yet: bring
  // each one into it, as leaving the field would, so that what is sent is
  // what the field shows.
  for (TSpinEditWidget* spin : {SpinEditNum, SpinEditIn, SpinEditOut, SpinEditRTM, SpinEditVddTim, SpinEditPwDnTim})
    spin->Model().ApplyRange();
  // The typed numbers first, so that a bad one leaves every setting as it was.
  const auto increment = static_cast<uint16_t>(StrToInt(Text(GainEdit)));
  const auto snValue = static_cast<uint32_t>(StrToInt64(Text(SNEdit1)));
  const auto snAddress = static_cast<uint32_t>(StrToInt64(Text(AddrEdit)));

  if (g.FoundDevices == 0) g.FoundDevices = 1;
  SetBits(g.CheckFlags, kCheckNotBlankIsErrorBit, ChkBoxBlkEr->isChecked());
  if (RadioGpVolt->ItemIndex() == 0)
    SetBits(g.InterfaceFlags, kVoltageBits, false);
  else
    SetBits(g.InterfaceFlags, kFiveVoltBit, true);
  SetBits(g.InterfaceFlags, kFiceSharedBit, ChkBoxFICE->isChecked());
  g.AutoDetect = ChkBoxAuto->isChecked() ? kAutoDetectOn : 0;
  g.ChipInDelay = static_cast<uint8_t>(SpinEditIn->Model().Value() / kDetectDelayUnitMs);
  g.ChipOutDelay = static_cast<uint8_t>(SpinEditOut->Model().Value() / kDetectDelayUnitMs);

  g.PowerResetFlags = static_cast<uint8_t>(RadioGrpRST->ItemIndex());
  if (CheckBoxRun->isChecked()) SetBits(g.PowerResetFlags, kRunAfterBit, true);
  SetBits(g.PowerResetFlags, kPowerStaysOnBit, !ChkBoxVDD->isChecked());
  SetBits(g.PowerResetFlags, kRunShutBit, ChkBoxRunSHT->isChecked());
  g.RunShutTime = static_cast<uint16_t>(SpinEditRTM->Model().Value() / kPowerDelayUnitMs);
  g.PowerOffDelay = static_cast<uint8_t>(SpinEditPwDnTim->Model().Value() / kPowerDelayUnitMs);
  g.PowerOnDelay = static_cast<uint8_t>(SpinEditVddTim->Model().Value() / kPowerDelayUnitMs);
  g.ProgSpeed = RadioGroupBitF->ItemIndex() == 0 ? kSlowProgSpeed : kFastProgSpeed;

  const bool limited = CheckBoxCtrl->isChecked();
  g.SnFlags = limited ? kCountLimitBit : 0;
  g.MaxProgramCount = limited ? SpinEditNum->Model().Value() : kNoCountLimit;
  // A limit of 0 holds for this reading only; the box's handler disables the count.
  if (g.MaxProgramCount == 0) CheckBoxCtrl->setChecked(false);
  g.SnLength = kSnBytes;
  SetBits(g.SnFlags, kSnOnBit, CheckBoxSN->isChecked());
  SetBits(g.SnFlags, kSnBigEndianBit, SNOrderChk->isChecked());
  SetBits(g.SnFlags, kSnDecimalBit, ChkBoxSNDP->isChecked());
  g.SnIncrement = increment;
  g.SnValue = snValue;
  g.SnAddress = snAddress;
  if (ChkBoxCvtB->isChecked() || g.ChipType == kHighVoltageChipType)
    g.InterfaceFlags = static_cast<uint8_t>((g.InterfaceFlags | kAdapterBit) & kAdapterKeptBits);

  infoMemo_.Add(
      Format("> Control Setting(Hex): %0.2x,%0.2x,%0.2x,%0.2x,  ", {g.ChipType, g.ChipIndex, g.PageSize, g.PageCount}) +
      Format("%0.2x,%0.2x,%0.2x,%0.2x,  ", {g.CheckFlags, g.InterfaceFlags, g.PowerResetFlags, g.ControlByte4}) +
      Format("%0.2x,%0.2x,%0.2x,%0.2x, %0.4x.",
             {g.ControlByte5, g.ControlByte6, g.ChipModelA, g.ControlByte8, g.ImageCrc16}));
}

void TOrvantBEMxPrg::ShowSettingsInUi() {
  // The ticks below run their handlers; what they cannot convert is rewritten anyway.
  showingSettings_ = true;
  struct Shown {
    bool& showing;
    ~Shown() { showing = false; }
  } shown{showingSettings_};

  g.DataLoaded = 1;
  ChkBoxSNDP->setChecked(g.SnDisplayFlags & kShowDecimalBit);
  SNOrderChk->setChecked(g.SnDisplayFlags & kShowBigEndianBit);
  CheckBoxSN->setChecked(g.SnFlags & kSnOnBit);
  ChkBoxBlkEr->setChecked(g.CheckFlags & kCheckNotBlankIsErrorBit);
  ChkBoxFICE->setChecked(g.InterfaceFlags & kFiceSharedBit);
  RadioGroupBitF->SetItemIndex(g.ProgSpeed == kFastProgSpeed ? 1 : 0);
  RadioGpVolt->SetItemIndex(g.InterfaceFlags & kVoltageBits);

  SpinEditNum->Model().SetValue(g.MaxProgramCount);
  CheckBoxCtrl->setChecked(g.SnFlags & kCountLimitBit);
  ChkBoxAuto->setChecked(g.AutoDetect != 0);
  SpinEditIn->Model().SetValue(g.ChipInDelay * kDetectDelayUnitMs);
  SpinEditOut->Model().SetValue(g.ChipOutDelay * kDetectDelayUnitMs);
  SpinEditRTM->Model().SetValue(g.RunShutTime * kPowerDelayUnitMs);
  ChkBoxRunSHT->setChecked(g.PowerResetFlags & kRunShutBit);

  SetText(SNEdit1, ChkBoxSNDP->isChecked() ? Format("%d", {static_cast<int32_t>(g.SnValue)}) : HexSnText(g.SnValue));
  SetText(GainEdit, Format("0x%0.2x", {g.SnIncrement}));
  SetText(AddrEdit, HexSnText(g.SnAddress));

  ChkBoxVDD->setChecked(!(g.PowerResetFlags & kPowerStaysOnBit));
  CheckBoxRun->setChecked(g.PowerResetFlags & kRunAfterBit);
  SpinEditVddTim->Model().SetValue(g.PowerOnDelay * kPowerDelayUnitMs);
  SpinEditPwDnTim->Model().SetValue(g.PowerOffDelay * kPowerDelayUnitMs);
  RadioGrpRST->SetItemIndex(g.PowerResetFlags & kResetBits);
}

void TOrvantBEMxPrg::AdvanceSerialNumber() {
  if (!ChkBoxPCSN->isChecked() || !CheckBoxSN->isChecked()) return;
  g.SnValue += g.SnIncrement;
  SetText(SNEdit1, ChkBoxSNDP->isChecked() ? Format("%u", {g.SnValue}) : HexSnText(g.SnValue));
}

void TOrvantBEMxPrg::DevButtonClick(QObject*) {
  if (!ImageFreeOrLog(TImageUse::Change, this)) return;
  {
    TChipSelectForm form(this);
    ChipFormLease lease(&form);
    ShowModal(form);
  }
  SetText(MCUNameEdit, g.ChipName);
}

void TOrvantBEMxPrg::MCUNameEditChange(QObject*) {
  if (g.ChipSelected == 0) return;
  g.DataLoaded = 0;
  ButtonCfg->hide();
  HexViewerCells->Clear();
  RadioGpVolt->setEnabled(false);
  RadioGpVolt->SetItemIndex(kFiveVoltItem);
  LogLine("Chip \"" + Text(MCUNameEdit) + "\" has been selected!");
  if (g.EepSize > 0)
    LogLine(Format("Chip Flash Size=%dB/%dKB,EEP Data=%dB.", {g.RomSizeKB * 1024, g.RomSizeKB, g.EepSize}));
  else
    LogLine(Format("Chip Flash Size=%dB/%dKB,No EEP Data.", {g.RomSizeKB * 1024, g.RomSizeKB}));
  if (g.ChipType == kHighVoltageChipType) {
    infoMemo_.Add("");
    LogLine("注意：芯片的电源脚需要接到烧写器的8脚(12V)");
  }
}

void TOrvantBEMxPrg::ChkBoxAutoClick(QObject*) {
  const bool on = ChkBoxAuto->isChecked();
  SpinEditIn->setEnabled(on);
  SpinEditOut->setEnabled(on);
}

void TOrvantBEMxPrg::CheckBoxSNClick(QObject*) {
  const bool on = CheckBoxSN->isChecked();
  for (QWidget* field :
       {static_cast<QWidget*>(AddrEdit), static_cast<QWidget*>(SNEdit1), static_cast<QWidget*>(GainEdit),
        static_cast<QWidget*>(SNOrderChk), static_cast<QWidget*>(ChkBoxPCSN)})
    field->setEnabled(on);
}

void TOrvantBEMxPrg::ChkBoxSNDPClick(QObject*) {
  const auto value = static_cast<uint32_t>(StrToInt64(Text(SNEdit1)));
  SetText(SNEdit1, ChkBoxSNDP->isChecked() ? Format("%u", {value}) : HexSnText(value));
}

void TOrvantBEMxPrg::CheckBoxCtrlClick(QObject*) { SpinEditNum->setEnabled(CheckBoxCtrl->isChecked()); }

void TOrvantBEMxPrg::ButtonCfgClick(QObject*) {}

void TOrvantBEMxPrg::ButtonCfgSNClick(QObject*) {
  if (g.ChipSelected != 1 || g.DataLoaded != 1) {
    MessageDlg("请先选择芯片并加载数据文件！", MsgDlgType::Warning, mbOK);
    return;
  }
  if (g.ConfigSNForm) ShowModal(*g.ConfigSNForm);
}
