#pragma once
// TConfigSNForm ("Config S/N Constant"): writes fixed serial-number data,
// given as text or as blank-separated hexadecimal bytes, into FlashImage at
// the address the user enters. The program body creates it once, hidden and
// owned by the main window (g.ConfigSNForm), and the serial-number page's
// button shows it through ShowModal; what the user typed and chose stays from
// one showing to the next, except the proposed address. GUI thread only.

#include <QDialog>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class TRadioGroup;

class TConfigSNForm : public QDialog {
  Q_OBJECT
 public:
  explicit TConfigSNForm(QWidget* parent = nullptr);

  QLabel* Label6;
  QLineEdit* AddrEditSN;
  TRadioGroup* RadioGrpSN;    // 0: main flash area, 1: EEP area
  TRadioGroup* RadioGroupFM;  // 0: text data, 1: hexadecimal data
  QCheckBox* ChkBoxSNEndin;   // hidden, never read
  QLabel* Label2;
  QLineEdit* EditDataSN;
  QPushButton* BitBtnOK;
  QPushButton* BitBtnCancel;

  // Proposes FlashStart, whichever area is selected.
  void FormShow(QObject* Sender);
  // Proposes FlashStart (area 0) or EepStart (area 1).
  void RadioGrpSNClick(QObject* Sender);
  // Empty data: a notice, and the dialog stays open with the focus on the
  // data. Otherwise StoreSnData and the dialog closes (with OK); an address
  // that is not a number is reported after the close and nothing is written.
  void BitBtnOKClick(QObject* Sender);
  // Writes the data at the entered address's offset from FlashStart: the
  // text's UTF-8 bytes, or one byte per hexadecimal number. A run of bytes
  // not wholly inside FlashStart..FlashEnd (and FlashImage) is refused whole
  // with "地址超出芯片有效数据范围！". Stored bytes have the image checksums
  // computed over the flash range and shown, as after a load; area 0 then
  // refreshes the flash view.
  // Throws EConvertError for an address that is not a number.
  void StoreSnData();
  // The byte of the blank-delimited number at or after `position`, which then
  // moves past it; nothing when only blanks are left. Digits count 0..15
  // (any other character 0) and the value keeps its low 8 bits: "123" gives
  // 0x23, "G5" gives 0x05.
  static std::optional<uint8_t> NextHexByte(std::string_view text, size_t& position);

 protected:
  void showEvent(QShowEvent* event) override;
};
