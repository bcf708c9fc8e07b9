#include "console/set_address_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "console/dialog_parts.h"
#include "shared/state.h"
#include "toolkit/format.h"
#include "toolkit/int_conv.h"
#include "toolkit/qt/place.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/qt/spin_edit_widget.h"

namespace {

constexpr int32_t kShortestRead = 16;    // bytes
constexpr int32_t kLongestRead = 4096;   // bytes
constexpr int32_t kReadLengthStep = 16;  // bytes
constexpr int32_t kFirstReadLength = 1024;
constexpr int kReadLengthCharacters = 4;
constexpr uint32_t kRowAlignmentMask = ~uint32_t{0xF};

}  // namespace

TSetAddressForm::TSetAddressForm(QWidget* parent) : QDialog(parent) {
  setObjectName("SetAddressForm");
  setWindowTitle("Specify Read Address");
  setFixedSize(340, 170);
  setSizeGripEnabled(false);
  Label1 = Place(new QLabel("设置需要读取的首地址：  ", this), "Label1", 16, 16, 180, 20);
  EditAddr = Place(new QLineEdit(" 0x00000000", this), "EditAddr", 200, 12, 124, 26);
  Label2 = Place(new QLabel("设置需要读取的数据长度：  ", this), "Label2", 16, 56, 180, 20);
  SpinEditRD = Place(
      new TSpinEditWidget(kShortestRead, kLongestRead, kReadLengthStep, kFirstReadLength, kReadLengthCharacters, this),
      "SpinEditRD", 200, 52, 124, 26);
  BitBtnOK = AddDialogButton(this, "BitBtnOK", "OK", QStyle::SP_DialogOkButton, 224, 126);
  connect(BitBtnOK, &QPushButton::clicked, this, [this] { BitBtnOKClick(BitBtnOK); });
}

void TSetAddressForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow(this);
}

void TSetAddressForm::FormShow(QObject*) {
  EditAddr->setText(QString::fromStdString(Format("0x%0.8x", {g.ReadAddress})));
  SpinEditRD->Model().SetValue(g.ReadLength);
}

void TSetAddressForm::BitBtnOKClick(QObject*) {
  // The button takes the focus from the length field, which applies its range.
  SpinEditRD->Model().ApplyRange();
  StoreAndClose(*this, [this] {
    const uint32_t address = static_cast<uint32_t>(StrToInt(EditAddr->text().toStdString()));
    g.ReadAddress = address & kRowAlignmentMask;
    g.ReadLength = static_cast<uint16_t>(SpinEditRD->Model().Value());
  });
}

int ShowSetAddressForm(QWidget* owner) {
  auto* form = new TSetAddressForm(owner);
  g.SetAddressForm = form;
  const int result = ShowModal(*form);
  g.SetAddressForm = nullptr;
  delete form;
  return result;
}
