#pragma once
// TFormOfsAddr ("设置BIN文件偏移地址"): asks where in FlashImage a binary file
// is placed. Each showing sets BinOffset to BaseAddress and proposes it; OK
// stores the entered number in BinOffset. There is no cancel button: the
// window's close button leaves the proposed BaseAddress. The program body
// creates it once, hidden and owned by the main window (g.FormOfsAddr); the
// data-file load shows it through ShowModal and reads BinOffset after.
// GUI thread only.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

class TFormOfsAddr : public QDialog {
  Q_OBJECT
 public:
  explicit TFormOfsAddr(QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* EditOfsAddr;
  QPushButton* BitBtnOK;

  void FormShow(QObject* Sender);
  // Closes with OK; a text that is not a number is reported after the close
  // and BinOffset keeps the proposed value.
  void BitBtnOKClick(QObject* Sender);

 protected:
  void showEvent(QShowEvent* event) override;
};
