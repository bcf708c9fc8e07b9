#pragma once
// TSetAddressForm ("Specify Read Address"): asks for the start address and
// the length of a chip read. Each showing proposes ReadAddress and ReadLength
// (brought into 16..4096); OK stores the address with its low four bits
// cleared and the length, both or neither: an address that is not a number is
// reported after the close and both globals keep their values. GUI thread only.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class TSpinEditWidget;

class TSetAddressForm : public QDialog {
  Q_OBJECT
 public:
  explicit TSetAddressForm(QWidget* parent = nullptr);

  QLabel* Label1;
  QLabel* Label2;
  QLineEdit* EditAddr;
  TSpinEditWidget* SpinEditRD;  // 16..4096, step 16, at most 4 characters typed
  QPushButton* BitBtnOK;

  void FormShow(QObject* Sender);
  void BitBtnOKClick(QObject* Sender);

 protected:
  void showEvent(QShowEvent* event) override;
};

// What the read-address command does with the dialog: creates it into
// g.SetAddressForm (owned by `owner`), shows it through ShowModal, frees it
// and clears g.SetAddressForm. Returns the dialog's result code.
int ShowSetAddressForm(QWidget* owner);
