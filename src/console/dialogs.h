#pragma once
// The console's small modal dialogs that the program body creates once at
// start-up and keeps hidden until a command shows them. Their controls and
// handlers come with the commands that use them.

#include <QDialog>

// Where in the flash image a binary file is placed.
class TFormOfsAddr : public QDialog {
  Q_OBJECT
public:
  explicit TFormOfsAddr(QWidget* parent = nullptr);
};

// Fixed serial-number data written into the flash image.
class TConfigSNForm : public QDialog {
  Q_OBJECT
public:
  explicit TConfigSNForm(QWidget* parent = nullptr);
};
