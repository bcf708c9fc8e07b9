// The option controls of the chip group and the three option pages, with
// the state the window first shows them in, ranges, length limits, labels and hints, and the
// bindings of their events.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include "console/main_window.h"
#include "toolkit/qt/place.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/qt/radio_group.h"
#include "toolkit/qt/spin_edit_widget.h"
#include "toolkit/qt/typing_limit.h"

namespace {

constexpr int kChipNameCharacters = 16;
constexpr int kSnValueCharacters = 10;
constexpr int kSnIncrementCharacters = 4;
constexpr int kSnAddressCharacters = 10;

// Rows of the option pages, pixels from the page's top.
constexpr int kRowHeight = 24;
constexpr int kLabelLeft = 30;
constexpr int kFieldLeft = 196;
constexpr int kFieldWidth = 110;

struct SpinEditRow {
  const char* name;
  int32_t minValue, maxValue, increment, value;
  int maxLength;
};

// Minimum, maximum, step, first shown value (ms) and typed digits.
constexpr SpinEditRow kSpinEditNum{"SpinEditNum", 0, 999999999, 100, 0, 8};
constexpr SpinEditRow kSpinEditIn{"SpinEditIn", 300, 1500, 30, 500, 0};
constexpr SpinEditRow kSpinEditOut{"SpinEditOut", 300, 2000, 10, 500, 0};
constexpr SpinEditRow kSpinEditRTM{"SpinEditRTM", 100, 2000, 10, 500, 0};
constexpr SpinEditRow kSpinEditVddTim{"SpinEditVddTim", 10, 2000, 10, 100, 4};
constexpr SpinEditRow kSpinEditPwDnTim{"SpinEditPwDnTim", 10, 1000, 10, 100, 3};

QCheckBox* AddCheckBox(QWidget* parent, const char* name, const char* caption, bool ticked, int x, int y, int width) {
  auto* box = Place(new QCheckBox(QString::fromUtf8(caption), parent), name, x, y, width, kRowHeight);
  box->setChecked(ticked);
  return box;
}

void AddLabel(QWidget* parent, const char* name, const char* caption, int y) {
  Place(new QLabel(QString::fromUtf8(caption), parent), name, kLabelLeft, y, kFieldLeft - kLabelLeft, kRowHeight);
}

TSpinEditWidget* AddSpinEdit(QWidget* parent, const SpinEditRow& spin, int y) {
  return Place(new TSpinEditWidget(spin.minValue, spin.maxValue, spin.increment, spin.value, spin.maxLength, parent),
               spin.name, kFieldLeft, y, kFieldWidth, kRowHeight);
}

QLineEdit* AddEdit(QWidget* parent, const char* name, const char* text, int maxLength, int y) {
  auto* edit = Place(new QLineEdit(QString::fromUtf8(text), parent), name, kFieldLeft, y, kFieldWidth, kRowHeight);
  LimitTyping(edit, maxLength);
  return edit;
}

}  // namespace

void TOrvantBEMxPrg::BindCheckBox(QCheckBox* box, void (TOrvantBEMxPrg::*handler)(QObject*)) {
  // toggled, not clicked: it fires once for the user's click and for the
  // program's change alike.
  connect(box, &QCheckBox::toggled, this, [this, box, handler] {
    try {
      (this->*handler)(box);
    } catch (const std::exception& error) {
      if (!showingSettings_) ReportException(error);
    }
  });
}

void TOrvantBEMxPrg::BuildChipGroup() {
  MCUNameEdit = Place(new QLineEdit("请选择目标MCU的型号...", GroupBoxChip), "MCUNameEdit", 10, 24, 292, 26);
  MCUNameEdit->setReadOnly(true);
  LimitTyping(MCUNameEdit, kChipNameCharacters);
  DevButton = Place(new QToolButton(GroupBoxChip), "DevButton", 306, 23, 32, 28);
  DevButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  DevButton->setToolTip("选择目标MCU");
  DevButton->setFocusPolicy(Qt::NoFocus);

  RadioGpVolt = Place(new TRadioGroup(" 接口电平 ", {"3.3V", "5.0V"}, 1, GroupBoxChip), "RadioGpVolt", 10, 54, 84, 52);
  RadioGpVolt->SetItemIndex(1);
  RadioGpVolt->setEnabled(false);
  RadioGroupBitF = Place(new TRadioGroup(" 编程速度 ", {"Slow FICE CLK", "Fast FICE CLK"}, 1, GroupBoxChip),
                         "RadioGroupBitF", 100, 54, 128, 52);
  RadioGroupBitF->SetItemIndex(1);
  ChkBoxBlkEr = AddCheckBox(GroupBoxChip, "ChkBoxBlkEr", "非空报错退出", false, 236, 58, 108);
  ChkBoxCvtB = AddCheckBox(GroupBoxChip, "ChkBoxCvtB", "使用转接板", true, 236, 82, 108);
  ChkBoxFICE = AddCheckBox(GroupBoxChip, "ChkBoxFICE", "FICE复用模式", false, 236, 34, 108);
  ChkBoxFICE->hide();
  ButtonCfg = Place(new QPushButton("Set Config", GroupBoxChip), "ButtonCfg", 236, 34, 100, 24);
  ButtonCfg->hide();

  connect(DevButton, &QToolButton::clicked, this, [this] { DevButtonClick(DevButton); });
  // Only a real change of the text: the same chip chosen again changes nothing.
  connect(MCUNameEdit, &QLineEdit::textChanged, this, [this] { MCUNameEditChange(MCUNameEdit); });
  connect(ButtonCfg, &QPushButton::clicked, this, [this] { ButtonCfgClick(ButtonCfg); });
}

void TOrvantBEMxPrg::BuildCountPage() {
  CheckBoxCtrl = AddCheckBox(TabSheet2, "CheckBoxCtrl", "限制烧写总数", false, 12, 8, 200);
  AddLabel(TabSheet2, "LabelSpinEditNum", "最大烧写数量：", 36);
  SpinEditNum = AddSpinEdit(TabSheet2, kSpinEditNum, 36);
  SpinEditNum->setEnabled(false);
  ChkBoxAuto = AddCheckBox(TabSheet2, "ChkBoxAuto", "自动芯片检测", true, 12, 72, 200);
  AddLabel(TabSheet2, "LabelSpinEditIn", "芯片放入稳定时间(ms)： ", 100);
  SpinEditIn = AddSpinEdit(TabSheet2, kSpinEditIn, 100);
  AddLabel(TabSheet2, "LabelSpinEditOut", "芯片拿开稳定时间(ms)：  ", 130);
  SpinEditOut = AddSpinEdit(TabSheet2, kSpinEditOut, 130);
  ChkBoxRunSHT = AddCheckBox(TabSheet2, "ChkBoxRunSHT", "Run and then Shut(ms)", false, 12, 164, 180);
  ChkBoxRunSHT->hide();
  SpinEditRTM = AddSpinEdit(TabSheet2, kSpinEditRTM, 164);
  SpinEditRTM->hide();

  BindCheckBox(CheckBoxCtrl, &TOrvantBEMxPrg::CheckBoxCtrlClick);
  BindCheckBox(ChkBoxAuto, &TOrvantBEMxPrg::ChkBoxAutoClick);
}

void TOrvantBEMxPrg::BuildOutputPage() {
  ChkBoxVDD = AddCheckBox(TabSheet3, "ChkBoxVDD", "编程完成后关闭电源输出", true, 12, 6, 280);
  AddLabel(TabSheet3, "LabelSpinEditVddTim", "上电稳定时间(ms)：     ", 32);
  SpinEditVddTim = AddSpinEdit(TabSheet3, kSpinEditVddTim, 32);
  AddLabel(TabSheet3, "LabelSpinEditPwDnTim", "掉电稳定时间(ms)：     ", 60);
  SpinEditPwDnTim = AddSpinEdit(TabSheet3, kSpinEditPwDnTim, 60);
  RadioGrpRST =
      Place(new TRadioGroup("复位信号（RESET）", {"输出常低电平", "关闭输出(高阻)", "输出复位后关闭"}, 1, TabSheet3),
            "RadioGrpRST", 12, 90, 294, 86);
  RadioGrpRST->SetItemIndex(0);
  CheckBoxRun = AddCheckBox(TabSheet3, "CheckBoxRun", "编程完成后启动芯片", false, 12, 180, 280);
}

void TOrvantBEMxPrg::BuildSerialNumberPage() {
  CheckBoxSN = AddCheckBox(TabSheet1, "CheckBoxSN", "添加序列号功能", false, 12, 6, 150);
  CheckBoxSN->setToolTip("序列号只存储于Flash区域！");
  ChkBoxSNDP = AddCheckBox(TabSheet1, "ChkBoxSNDP", "序列号十进制显示", false, 168, 6, 150);
  AddLabel(TabSheet1, "LabelSNEdit1", "序列号1初值：", 36);
  SNEdit1 = AddEdit(TabSheet1, "SNEdit1", "0x00000000", kSnValueCharacters, 36);
  AddLabel(TabSheet1, "LabelGainEdit", "序列号增量：", 64);
  GainEdit = AddEdit(TabSheet1, "GainEdit", "0x01", kSnIncrementCharacters, 64);
  AddLabel(TabSheet1, "LabelAddrEdit", "序列号地址：", 92);
  AddrEdit = AddEdit(TabSheet1, "AddrEdit", "0x0000FFF0", kSnAddressCharacters, 92);
  SNOrderChk = AddCheckBox(TabSheet1, "SNOrderChk", "大端模式(Big Endian)", false, 12, 122, 150);
  ChkBoxPCSN = AddCheckBox(TabSheet1, "ChkBoxPCSN", "允许联机序列号", false, 168, 122, 150);
  ButtonCfgSN = Place(new QPushButton("设置固定SN初始数据", TabSheet1), "ButtonCfgSN", 12, 158, 180, 28);
  // The serial-number fields start disabled, as the unticked box has them.
  CheckBoxSNClick(CheckBoxSN);

  BindCheckBox(CheckBoxSN, &TOrvantBEMxPrg::CheckBoxSNClick);
  BindCheckBox(ChkBoxSNDP, &TOrvantBEMxPrg::ChkBoxSNDPClick);
  connect(ButtonCfgSN, &QPushButton::clicked, this, [this] { ButtonCfgSNClick(ButtonCfgSN); });
}
