#include "console/config_sn_form.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <cstring>
#include <string>
#include <vector>

#include "console/command_guards.h"
#include "console/dialog_parts.h"
#include "link/image_checksums.h"
#include "shared/main_window.h"
#include "shared/state.h"
#include "toolkit/dialogs.h"
#include "toolkit/format.h"
#include "toolkit/int_conv.h"
#include "toolkit/qt/place.h"
#include "toolkit/qt/radio_group.h"
#include "toolkit/qt/typing_limit.h"

namespace {

constexpr int kAddressCharacters = 10;
constexpr int kDataCharacters = 255;
constexpr int kMainFlashArea = 0;
constexpr int kHexData = 1;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

std::string AddressText(uint32_t address) { return Format("0x%0.8x", {address}); }

// Whether count bytes from address lie inside the chip's flash range and the image.
bool InsideFlash(uint32_t address, size_t count) {
  if (address < g.FlashStart) return false;
  const uint64_t last = static_cast<uint64_t>(address) + count - 1;
  const uint64_t offsetEnd = static_cast<uint64_t>(address - g.FlashStart) + count;
  return last <= g.FlashEnd && offsetEnd <= kFlashImageBytes;
}

}  // namespace

TConfigSNForm::TConfigSNForm(QWidget* parent) : QDialog(parent) {
  setObjectName("ConfigSNForm");
  setWindowTitle("Config S/N Constant");
  setFixedSize(420, 270);
  setSizeGripEnabled(false);

  Label6 = Place(new QLabel("数据存储首地址：   ", this), "Label6", 16, 18, 130, 22);
  AddrEditSN = Place(new QLineEdit("0x00000000", this), "AddrEditSN", 150, 16, 160, 26);
  LimitTyping(AddrEditSN, kAddressCharacters);
  QFont bold = AddrEditSN->font();
  bold.setBold(true);
  AddrEditSN->setFont(bold);
  QPalette blue = AddrEditSN->palette();
  blue.setColor(QPalette::Text, Qt::blue);
  AddrEditSN->setPalette(blue);

  RadioGrpSN =
      Place(new TRadioGroup(" SN地址区域 ", {"主数据地址区", "EEP数据地址区"}, 2, this), "RadioGrpSN", 16, 52, 388, 52);
  RadioGrpSN->SetItemIndex(kMainFlashArea);
  RadioGroupFM =
      Place(new TRadioGroup("数据格式", {"字符串数据", "16进制数据"}, 2, this), "RadioGroupFM", 16, 110, 388, 52);
  RadioGroupFM->SetItemIndex(0);
  ChkBoxSNEndin = Place(new QCheckBox("数据保存为大端模式", this), "ChkBoxSNEndin", 16, 166, 200, 20);
  ChkBoxSNEndin->hide();
  Label2 = Place(new QLabel("数据内容(16进制格式以空格分隔）：   ", this), "Label2", 16, 168, 388, 20);
  EditDataSN = Place(new QLineEdit(this), "EditDataSN", 16, 190, 388, 26);
  LimitTyping(EditDataSN, kDataCharacters, TypedLetters::UpperCase);
  BitBtnOK = AddDialogButton(this, "BitBtnOK", "OK", QStyle::SP_DialogOkButton, 196, 228);
  BitBtnCancel = AddDialogButton(this, "BitBtnCancel", "Cancel", QStyle::SP_DialogCancelButton, 304, 228);

  RadioGrpSN->SetOnClick([this] { RadioGrpSNClick(RadioGrpSN); });
  connect(BitBtnOK, &QPushButton::clicked, this, [this] { BitBtnOKClick(BitBtnOK); });
  connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TConfigSNForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow(this);
}

void TConfigSNForm::FormShow(QObject*) { AddrEditSN->setText(QString::fromStdString(AddressText(g.FlashStart))); }

void TConfigSNForm::RadioGrpSNClick(QObject*) {
  const uint32_t proposed = RadioGrpSN->ItemIndex() == kMainFlashArea ? g.FlashStart : g.EepStart;
  AddrEditSN->setText(QString::fromStdString(AddressText(proposed)));
}

void TConfigSNForm::BitBtnOKClick(QObject*) {
  // Refused, the dialog stays open with what was typed, for once the units are done.
  if (!ImageFreeOrLog(TImageUse::Change, g.OrvantBEMxPrg)) return;
  if (EditDataSN->text().isEmpty()) {
    MessageDlg("请输入有效的序列号数据!", MsgDlgType::Information, mbOK);
    EditDataSN->setFocus();
    return;
  }
  StoreAndClose(*this, [this] { StoreSnData(); });
}

void TConfigSNForm::StoreSnData() {
  const uint32_t address = static_cast<uint32_t>(StrToInt(AddrEditSN->text().toStdString()));
  const std::string text = EditDataSN->text().toStdString();
  std::vector<uint8_t> bytes;
  if (RadioGroupFM->ItemIndex() == kHexData) {
    size_t position = 0;
    while (std::optional<uint8_t> byte = NextHexByte(text, position)) bytes.push_back(*byte);
  } else {
    bytes.assign(text.begin(), text.end());
  }
  if (!bytes.empty()) {
    if (!InsideFlash(address, bytes.size())) {
      MessageDlg("地址超出芯片有效数据范围！", MsgDlgType::Warning, mbOK);
      return;
    }
    std::memcpy(g.FlashImage + (address - g.FlashStart), bytes.data(), bytes.size());
    // Whichever area was chosen the bytes went into FlashImage, so the next
    // verify, program and download need the checksums of the image with them.
    ComputeImageChecksums(g.FlashStart, g.FlashEnd);
    if (g.OrvantBEMxPrg) g.OrvantBEMxPrg->ShowImageChecksums();
  }
  if (RadioGrpSN->ItemIndex() == kMainFlashArea && g.OrvantBEMxPrg)
    g.OrvantBEMxPrg->ShowFlashGrid(g.FlashStart, g.FlashEnd);
}

std::optional<uint8_t> TConfigSNForm::NextHexByte(std::string_view text, size_t& position) {
  while (position < text.size() && text[position] == ' ') ++position;
  if (position >= text.size()) return std::nullopt;
  uint8_t value = 0;
  for (; position < text.size() && text[position] != ' '; ++position)
    value = static_cast<uint8_t>(value * 16 + HexDigit(text[position]));
  return value;
}
