#include "console/ofs_addr_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "console/dialog_parts.h"
#include "shared/state.h"
#include "toolkit/format.h"
#include "toolkit/int_conv.h"
#include "toolkit/qt/place.h"

TFormOfsAddr::TFormOfsAddr(QWidget* parent) : QDialog(parent) {
  setObjectName("FormOfsAddr");
  setWindowTitle("设置BIN文件偏移地址");
  setFixedSize(330, 120);
  setSizeGripEnabled(false);
  Label1 = Place(new QLabel("设置BIN文件偏移地址：         ", this), "Label1", 16, 16, 200, 20);
  EditOfsAddr = Place(new QLineEdit("0x00008000", this), "EditOfsAddr", 16, 40, 180, 26);
  BitBtnOK = AddDialogButton(this, "BitBtnOK", "OK", QStyle::SP_DialogOkButton, 214, 76);
  connect(BitBtnOK, &QPushButton::clicked, this, [this] { BitBtnOKClick(BitBtnOK); });
}

void TFormOfsAddr::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow(this);
}

void TFormOfsAddr::FormShow(QObject*) {
  g.BinOffset = g.BaseAddress;
  EditOfsAddr->setText(QString::fromStdString(Format("0x%0.8x", {g.BinOffset})));
}

void TFormOfsAddr::BitBtnOKClick(QObject*) {
  StoreAndClose(*this, [this] { g.BinOffset = static_cast<uint32_t>(StrToInt(EditOfsAddr->text().toStdString())); });
}
