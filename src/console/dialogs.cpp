#include "console/dialogs.h"

TFormOfsAddr::TFormOfsAddr(QWidget* parent) : QDialog(parent) {
  setObjectName("FormOfsAddr");
  setWindowTitle("设置BIN文件偏移地址");
}

TConfigSNForm::TConfigSNForm(QWidget* parent) : QDialog(parent) {
  setObjectName("ConfigSNForm");
  setWindowTitle("Config S/N Constant");
}
