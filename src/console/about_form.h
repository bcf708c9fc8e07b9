#pragma once
// TAboutForm: the About box. Created hidden at start-up and shown modally by
// the Help menu's About command; it only shows the program's name line, a
// fixed line, the version and a picture, and closes with its OK button.

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutForm : public QDialog {
  Q_OBJECT
public:
  explicit TAboutForm(QWidget* parent = nullptr);

  QLabel* Label1;  // the program's name line, set by the program body
  QLabel* Label2;  // "Version V1.7"
  QLabel* Label3;  // a fixed line, set by the program body
  QLabel* Image1;  // the picture
  QPushButton* OKButton;
};

// The fixed line the program body puts into Label3.
inline constexpr const char* kAboutLine = "Eight-channel gang programmer for FU68xx flash MCUs";
