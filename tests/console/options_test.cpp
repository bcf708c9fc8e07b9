// The programming options through the real widgets: what ReadSettingsFromUi
// packs, what ShowSettingsInUi shows, the enabling handlers, the chip button
// and the serial-number advance.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <string>
#include <vector>

#include "catalogue/chip_catalogue.h"
#include "catalogue/qt/chip_select_form.h"
#include "console/config_sn_form.h"
#include "console/hex_grid_model.h"
#include "link/wire.h"
#include "support/command_fixture.h"
#include "toolkit/errors.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/qt/radio_group.h"
#include "toolkit/qt/spin_edit_widget.h"

namespace {

constexpr const char* kFirstShownLine = "> Control Setting(Hex): 00,00,100,200,  80,40,00,00,  00,80,00,00, 0000.";

class OptionsTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    ApplyStartUpChipValues();
  }
  const std::string& LastLine() { return LogLines().back(); }
  static std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }
  static void Retype(QLineEdit* edit, const char* text) {
    edit->clear();
    QTest::keyClicks(edit, text);
  }
  // A loaded project's serial-number settings with decimal display.
  void ShowSerialNumber(uint32_t value, bool decimal) {
    g.SnValue = value;
    g.SnDisplayFlags = decimal ? 1 : 0;
    g.SnFlags = 0x01;
    g.SnIncrement = 1;
    window->ShowSettingsInUi();
  }
};

TEST_F(OptionsTest, FirstShownControlsGiveTheStartSettings) {
  window->ReadSettingsFromUi();
  EXPECT_EQ(LastLine(), kFirstShownLine);
  EXPECT_EQ(g.FoundDevices, 1);
  EXPECT_EQ(g.AutoDetect, 15);
  EXPECT_EQ(g.ChipInDelay, 500 / 30);
  EXPECT_EQ(g.ChipOutDelay, 500 / 30);
  EXPECT_EQ(g.RunShutTime, 50);
  EXPECT_EQ(g.PowerOnDelay, 10);
  EXPECT_EQ(g.PowerOffDelay, 10);
  EXPECT_EQ(g.ProgSpeed, 10);
  EXPECT_EQ(g.SnFlags, 0);
  EXPECT_EQ(g.MaxProgramCount, -1);
  EXPECT_EQ(g.SnLength, 4);
  EXPECT_EQ(g.SnIncrement, 1);
  EXPECT_EQ(g.SnValue, 0u);
  EXPECT_EQ(g.SnAddress, 0x0000FFF0u);
  EXPECT_EQ(window->PageControlSet->tabText(0), "数量设置和芯片检测");
  EXPECT_EQ(window->PageControlSet->tabText(1), "信号输出控制");
  EXPECT_EQ(window->PageControlSet->tabText(2), "序列号设置");
  EXPECT_EQ(Text(window->MCUNameEdit), "请选择目标MCU的型号...");
  EXPECT_FALSE(window->RadioGpVolt->isEnabled());
  EXPECT_FALSE(window->SpinEditNum->isEnabled());
  EXPECT_FALSE(window->SNEdit1->isEnabled());
  EXPECT_FALSE(window->ChkBoxFICE->isVisibleTo(window.get()));
  EXPECT_EQ(window->CheckBoxSN->toolTip(), "序列号只存储于Flash区域！");
}

TEST_F(OptionsTest, CountLimitOfZeroHoldsForOneReading) {
  window->CheckBoxCtrl->click();
  EXPECT_TRUE(window->SpinEditNum->isEnabled());
  window->ReadSettingsFromUi();
  EXPECT_EQ(g.SnFlags & 0x40, 0x40);
  EXPECT_EQ(g.MaxProgramCount, 0);
  EXPECT_FALSE(window->CheckBoxCtrl->isChecked());
  EXPECT_FALSE(window->SpinEditNum->isEnabled());
  window->ReadSettingsFromUi();
  EXPECT_EQ(g.SnFlags & 0x40, 0);
  EXPECT_EQ(g.MaxProgramCount, -1);

  window->CheckBoxCtrl->click();
  window->SpinEditNum->selectAll();
  QTest::keyClicks(window->SpinEditNum, "123456789");
  EXPECT_EQ(window->SpinEditNum->text(), "12345678") << "at most 8 digits typed";
  window->ReadSettingsFromUi();
  EXPECT_EQ(g.MaxProgramCount, 12345678);
}

TEST_F(OptionsTest, AdapterClearsVoltageAndBitSevenAndKeepsBitSixAfter) {
  g.InterfaceFlags = 0xAF;
  window->ReadSettingsFromUi();
  EXPECT_EQ(g.InterfaceFlags, 0x6C);
  window->ChkBoxCvtB->click();
  window->ReadSettingsFromUi();
  EXPECT_EQ(g.InterfaceFlags, 0x6D) << "bit 6 stays; 5.0V sets bit 0";
  window->RadioGpVolt->SetItemIndex(0);
  window->ReadSettingsFromUi();
  EXPECT_EQ(g.InterfaceFlags, 0x6C);
  g.ChipType = 0x40;  // the high-voltage chips always go through the adapter
  g.InterfaceFlags = 0x83;
  window->ReadSettingsFromUi();
  EXPECT_EQ(g.InterfaceFlags, 0x40);
}

struct ResetCase {
  const char* name;
  int item;
  bool run, vddOff, runShut;
  uint8_t flags;
};

void PrintTo(const ResetCase& c, std::ostream* os) { *os << c.name; }

class ResetOutputTest : public OptionsTest, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(ResetOutputTest, PowerResetFlagsAreReplacedWhole) {
  const ResetCase& c = GetParam();
  g.PowerResetFlags = 0xFF;
  window->RadioGrpRST->Button(c.item)->click();
  window->CheckBoxRun->setChecked(c.run);
  window->ChkBoxVDD->setChecked(c.vddOff);
  window->ChkBoxRunSHT->setChecked(c.runShut);
  window->ReadSettingsFromUi();
  EXPECT_EQ(g.PowerResetFlags, c.flags);
}

INSTANTIATE_TEST_SUITE_P(Items, ResetOutputTest,
                         ::testing::Values(ResetCase{"LowLevel", 0, false, true, false, 0x00},
                                           ResetCase{"HighImpedance", 1, false, true, false, 0x01},
                                           ResetCase{"ResetThenRelease", 2, false, true, false, 0x02},
                                           ResetCase{"RunAfter", 0, true, true, false, 0x04},
                                           ResetCase{"PowerStaysOn", 1, false, false, false, 0x11},
                                           ResetCase{"RunAndShut", 2, true, false, true, 0x96}),
                         [](const ::testing::TestParamInfo<ResetCase>& info) { return std::string(info.param.name); });

struct BadNumberCase {
  const char* name;
  QLineEdit* TOrvantBEMxPrg::*edit;
  const char* text;
};

void PrintTo(const BadNumberCase& c, std::ostream* os) { *os << c.name; }

class BadNumberTest : public OptionsTest, public ::testing::WithParamInterface<BadNumberCase> {};

TEST_P(BadNumberTest, LeavesEverySettingAsItWas) {
  const BadNumberCase& c = GetParam();
  window->ChkBoxBlkEr->click();
  window->RadioGrpRST->Button(2)->click();
  window->CheckBoxSN->click();
  Retype(window.get()->*c.edit, c.text);
  const DefinBEM before = g;
  const size_t lines = LogLines().size();
  try {
    window->ReadSettingsFromUi();
    ADD_FAILURE() << "no conversion error";
  } catch (const EConvertError& error) {
    EXPECT_EQ(std::string(error.what()), "'" + std::string(c.text) + "' is not a valid integer value");
  }
  EXPECT_EQ(LogLines().size(), lines);
  EXPECT_EQ(g.FoundDevices, before.FoundDevices);
  EXPECT_EQ(g.CheckFlags, before.CheckFlags);
  EXPECT_EQ(g.InterfaceFlags, before.InterfaceFlags);
  EXPECT_EQ(g.PowerResetFlags, before.PowerResetFlags);
  EXPECT_EQ(g.SnFlags, before.SnFlags);
  EXPECT_EQ(g.AutoDetect, before.AutoDetect);
  EXPECT_EQ(g.SnIncrement, before.SnIncrement);
  EXPECT_EQ(g.SnAddress, before.SnAddress);
}

INSTANTIATE_TEST_SUITE_P(Fields, BadNumberTest,
                         ::testing::Values(BadNumberCase{"Increment", &TOrvantBEMxPrg::GainEdit, "0xG"},
                                           BadNumberCase{"SerialNumber", &TOrvantBEMxPrg::SNEdit1, "12ab"},
                                           BadNumberCase{"Address", &TOrvantBEMxPrg::AddrEdit, "FFF0"}),
                         [](const ::testing::TestParamInfo<BadNumberCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(OptionsTest, HighSerialNumberReadsBackTheSameInEveryDisplay) {
  ShowSerialNumber(0x80000000, true);
  EXPECT_EQ(Text(window->SNEdit1), "-2147483648");
  window->ReadSettingsFromUi();
  EXPECT_EQ(g.SnValue, 0x80000000u);

  window->ChkBoxPCSN->click();
  window->AdvanceSerialNumber();
  EXPECT_EQ(g.SnValue, 0x80000001u);
  EXPECT_EQ(Text(window->SNEdit1), "2147483649");
  window->ReadSettingsFromUi();
  EXPECT_EQ(g.SnValue, 0x80000001u);

  window->ChkBoxSNDP->click();
  EXPECT_EQ(Text(window->SNEdit1), "0x80000001");
  window->ChkBoxSNDP->click();
  EXPECT_EQ(Text(window->SNEdit1), "2147483649");
}

TEST_F(OptionsTest, AdvanceWrapsAndNeedsBothBoxes) {
  ShowSerialNumber(0xFFFFFFFF, false);
  window->AdvanceSerialNumber();
  EXPECT_EQ(g.SnValue, 0xFFFFFFFFu) << "ChkBoxPCSN unticked";
  window->ChkBoxPCSN->click();
  window->AdvanceSerialNumber();
  EXPECT_EQ(g.SnValue, 0u);
  EXPECT_EQ(Text(window->SNEdit1), "0x00000000");
  window->CheckBoxSN->click();
  window->AdvanceSerialNumber();
  EXPECT_EQ(g.SnValue, 0u) << "CheckBoxSN unticked";
}

TEST_F(OptionsTest, ShowSettingsInUiFillsEveryControl) {
  g.SnDisplayFlags = 0x04;
  g.SnFlags = 0x41;
  g.CheckFlags = 0x40;
  g.InterfaceFlags = 0x13;
  g.ProgSpeed = 20;
  g.MaxProgramCount = 5000;
  g.AutoDetect = 0;
  g.ChipInDelay = 17;
  g.ChipOutDelay = 0;
  g.RunShutTime = 300;
  g.PowerResetFlags = 0x97;
  g.SnIncrement = 0x100;
  g.SnAddress = 0x0001FFF0;
  g.SnValue = 0x1234;
  g.PowerOnDelay = 25;
  g.PowerOffDelay = 200;
  window->ShowSettingsInUi();
  EXPECT_EQ(g.DataLoaded, 1);
  EXPECT_FALSE(window->ChkBoxSNDP->isChecked());
  EXPECT_TRUE(window->SNOrderChk->isChecked());
  EXPECT_TRUE(window->CheckBoxSN->isChecked());
  EXPECT_TRUE(window->SNEdit1->isEnabled());
  EXPECT_TRUE(window->ChkBoxBlkEr->isChecked());
  EXPECT_TRUE(window->ChkBoxFICE->isChecked());
  EXPECT_EQ(window->RadioGroupBitF->ItemIndex(), 0);
  EXPECT_EQ(window->RadioGpVolt->ItemIndex(), 1) << "3 selects the last item";
  EXPECT_EQ(window->SpinEditNum->text(), "5000");
  EXPECT_TRUE(window->CheckBoxCtrl->isChecked());
  EXPECT_TRUE(window->SpinEditNum->isEnabled());
  EXPECT_FALSE(window->ChkBoxAuto->isChecked());
  EXPECT_FALSE(window->SpinEditIn->isEnabled());
  EXPECT_EQ(window->SpinEditIn->text(), "510");
  EXPECT_EQ(window->SpinEditOut->text(), "300") << "0 shows the minimum";
  EXPECT_EQ(window->SpinEditRTM->text(), "2000") << "3000 ms is above the maximum";
  EXPECT_TRUE(window->ChkBoxRunSHT->isChecked());
  EXPECT_EQ(Text(window->SNEdit1), "0x00001234");
  EXPECT_EQ(Text(window->GainEdit), "0x100") << "a program-set text is not cut to 4 characters";
  EXPECT_EQ(Text(window->AddrEdit), "0x0001FFF0");
  EXPECT_TRUE(window->ChkBoxVDD->isChecked() == false);
  EXPECT_TRUE(window->CheckBoxRun->isChecked());
  EXPECT_EQ(window->SpinEditVddTim->text(), "250");
  EXPECT_EQ(window->SpinEditPwDnTim->text(), "1000");
  EXPECT_EQ(window->RadioGrpRST->ItemIndex(), 2);

  // "Tick when" unticks as well.
  g.SnDisplayFlags = 0;
  g.SnFlags = 0;
  g.CheckFlags = 0;
  g.InterfaceFlags = 0;
  g.AutoDetect = 1;
  g.PowerResetFlags = 0;
  g.MaxProgramCount = -1;
  window->ShowSettingsInUi();
  for (QCheckBox* box : {window->SNOrderChk, window->CheckBoxSN, window->ChkBoxBlkEr, window->ChkBoxFICE,
                         window->CheckBoxCtrl, window->ChkBoxRunSHT, window->CheckBoxRun})
    EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
  EXPECT_TRUE(window->ChkBoxAuto->isChecked());
  EXPECT_TRUE(window->ChkBoxVDD->isChecked());
  EXPECT_EQ(window->SpinEditNum->text(), "0");
  EXPECT_EQ(window->RadioGpVolt->ItemIndex(), 0);
}

TEST_F(OptionsTest, ShowSettingsInUiGoesPastABadSerialNumberText) {
  window->CheckBoxSN->click();
  Retype(window->SNEdit1, "junk");
  ShowSerialNumber(42, true);
  EXPECT_EQ(Text(window->SNEdit1), "42");
  EXPECT_EQ(window->RadioGrpRST->ItemIndex(), 0) << "the last step ran";
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(OptionsTest, UserClickOnDecimalDisplayReportsABadTextOnce) {
  window->CheckBoxSN->click();
  Retype(window->SNEdit1, "junk");
  window->show();
  window->PageControlSet->setCurrentWidget(window->TabSheet1);
  boxes.Clear();  // the first show's notices
  QTest::mouseClick(window->ChkBoxSNDP, Qt::LeftButton, {}, QPoint(8, window->ChkBoxSNDP->height() / 2));
  EXPECT_TRUE(window->ChkBoxSNDP->isChecked());
  EXPECT_EQ(Text(window->SNEdit1), "junk");
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>({"'junk' is not a valid integer value"}));
  window->hide();
}

TEST_F(OptionsTest, LengthLimitsHoldForTypingOnly) {
  window->CheckBoxSN->click();
  Retype(window->GainEdit, "0x1234");
  EXPECT_EQ(Text(window->GainEdit), "0x12");
  Retype(window->SNEdit1, "42949672950");
  EXPECT_EQ(Text(window->SNEdit1), "4294967295");
  window->ChkBoxSNDP->click();
  ShowSerialNumber(3000000000u, false);
  window->ChkBoxSNDP->click();
  EXPECT_EQ(Text(window->SNEdit1), "3000000000");
  g.ChipSelected = 1;
  window->MCUNameEdit->setText("TWENTY-CHARACTER-ID");
  EXPECT_EQ(Text(window->MCUNameEdit), "TWENTY-CHARACTER-ID");
}

TEST_F(OptionsTest, SerialNumberButtonNeedsChipAndData) {
  int shown = 0;
  ModalHook old = SetModalHook([&](QDialog&) { return ++shown, QDialog::Rejected; });
  g.ConfigSNForm = new TConfigSNForm(window.get());
  g.ChipSelected = 1;
  window->ButtonCfgSN->click();
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"请先选择芯片并加载数据文件！"});
  EXPECT_EQ(boxes.Shown().back().type, MsgDlgType::Warning);
  g.DataLoaded = 1;
  window->ButtonCfgSN->click();
  EXPECT_EQ(shown, 1);
  SetModalHook(std::move(old));
  g.ConfigSNForm = nullptr;
}

TEST_F(OptionsTest, ChipButtonRunsTheChangeOnlyForANewChip) {
  int dialogs = 0;
  ModalHook old = SetModalHook([&](QDialog& dialog) {
    ++dialogs;
    EXPECT_EQ(static_cast<void*>(g.ChipSelectForm), static_cast<void*>(&dialog));
    dialog.show();
    static_cast<TChipSelectForm&>(dialog).BitBtnOK->click();
    return dialog.result();
  });
  window->DevButton->click();
  EXPECT_EQ(g.ChipSelectForm, nullptr);
  EXPECT_EQ(g.ChipSelected, 1);
  const std::string chip = g.ChipName;
  EXPECT_EQ(Text(window->MCUNameEdit), chip);
  ASSERT_GE(LogLines().size(), 2u);
  EXPECT_EQ(LogLines()[LogLines().size() - 2], "> 14:03:22 Chip \"" + chip + "\" has been selected!");
  const size_t lines = LogLines().size();
  window->DevButton->click();
  EXPECT_EQ(dialogs, 2);
  EXPECT_EQ(LogLines().size(), lines) << "the same chip again changes no text";
  SetModalHook(std::move(old));
}

// The two low groups of the chip page (52 px for two rows): each button's
// round indicator shows whole, inside its button and the group, and the two
// do not overlap.
// Seen right after the window is shown, as a grab sees it.
TEST_F(OptionsTest, RadioIndicatorsOfTheChipPageShowWhole) {
  window->show();
  for (TRadioGroup* group : {window->RadioGpVolt, window->RadioGroupBitF}) {
    SCOPED_TRACE(group->objectName().toStdString());
    ASSERT_EQ(group->height(), 52);
    QRect previous;
    for (int i = 0; i < group->Count(); ++i) {
      QRadioButton* button = group->Button(i);
      QStyleOptionButton option;
      option.initFrom(button);
      const QRect indicator = button->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, button);
      EXPECT_TRUE(button->rect().contains(indicator)) << i;
      const QRect inGroup = indicator.translated(button->pos());
      EXPECT_TRUE(group->rect().contains(inGroup)) << i;
      EXPECT_FALSE(inGroup.intersects(previous)) << i;
      previous = inGroup;
    }
  }
  window->hide();
}

struct ChipCase {
  const char* name;
  uint8_t selected, type;
  uint16_t romKB, eepSize;
  std::vector<std::string> lines;
};

void PrintTo(const ChipCase& c, std::ostream* os) { *os << c.name; }

class ChipNameChangeTest : public OptionsTest, public ::testing::WithParamInterface<ChipCase> {};

TEST_P(ChipNameChangeTest, LogsTheChipAndResetsTheView) {
  const ChipCase& c = GetParam();
  g.ChipSelected = c.selected;
  g.ChipType = c.type;
  g.RomSizeKB = c.romKB;
  g.EepSize = c.eepSize;
  g.DataLoaded = 1;
  window->RadioGpVolt->SetItemIndex(0);
  window->ShowFlashGrid(0, 0xFF);
  const size_t before = LogLines().size();
  window->MCUNameEdit->setText("FU6812L");
  const std::vector<std::string> added(LogLines().begin() + static_cast<long>(before), LogLines().end());
  EXPECT_EQ(added, c.lines);
  if (!c.selected) {
    EXPECT_EQ(g.DataLoaded, 1);
    return;
  }
  EXPECT_EQ(g.DataLoaded, 0);
  EXPECT_EQ(window->HexViewer->model()->rowCount(), 0);
  EXPECT_EQ(window->RadioGpVolt->ItemIndex(), 1);
  EXPECT_FALSE(window->RadioGpVolt->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Chips, ChipNameChangeTest,
                         ::testing::Values(ChipCase{"NoChipChosen", 0, 0, 32, 0, {}},
                                           ChipCase{"WithoutEep",
                                                    1,
                                                    0x02,
                                                    32,
                                                    0,
                                                    {"> 14:03:22 Chip \"FU6812L\" has been selected!",
                                                     "> 14:03:22 Chip Flash Size=32768B/32KB,No EEP Data."}},
                                           ChipCase{"WithEep",
                                                    1,
                                                    0x02,
                                                    16,
                                                    512,
                                                    {"> 14:03:22 Chip \"FU6812L\" has been selected!",
                                                     "> 14:03:22 Chip Flash Size=16384B/16KB,EEP Data=512B."}},
                                           ChipCase{"HighVoltage",
                                                    1,
                                                    0x40,
                                                    64,
                                                    0,
                                                    {"> 14:03:22 Chip \"FU6812L\" has been selected!",
                                                     "> 14:03:22 Chip Flash Size=65536B/64KB,No EEP Data.", "",
                                                     "> 14:03:22 注意：芯片的电源脚需要接到烧写器的8脚(12V)"}}),
                         [](const ::testing::TestParamInfo<ChipCase>& info) { return std::string(info.param.name); });

// --- Typed numbers and commands started from the keyboard ---

struct KeyStartCase {
  const char* name;
  int key;  // pressed while the focus stays in SpinEditIn
  uint16_t operation;
};

void PrintTo(const KeyStartCase& c, std::ostream* os) { *os << c.name; }

class KeyStartedCommandTest : public CommandTest, public ::testing::WithParamInterface<KeyStartCase> {};

// 9999 typed into SpinEditIn (300..1500) and the command started by a key, so
// the field never loses the focus: 9999 / 30 cut to 8 bits would send 77
// (2,310 ms). The unit gets 1500 / 30, and the field shows what was sent. The
// other fields' typed texts, whose focus-out a test cannot see, meet their
// ranges the same way.
TEST_P(KeyStartedCommandTest, TypedNumbersMeetTheirRangesBeforeTheyAreSent) {
  TSpinEditWidget* in = window->SpinEditIn;
  ASSERT_TRUE(ShowWithFocusIn(in));
  g.FoundDevices = 1;
  PtyPair& line = *lines[0];
  in->selectAll();
  QTest::keyClicks(in, "9999");
  ASSERT_EQ(in->Model().Text(), "9999");
  window->SpinEditOut->Model().SetTypedText("12");
  window->SpinEditVddTim->Model().SetTypedText("5000");
  window->SpinEditPwDnTim->Model().SetTypedText("x");  // not a number: the minimum

  QTest::keyClick(in, static_cast<Qt::Key>(GetParam().key));

  EXPECT_TRUE(in->hasFocus()) << "the command must not have moved the focus for this test to mean anything";
  std::optional<std::vector<uint8_t>> packet = ReadPacket(line);
  ASSERT_TRUE(packet.has_value());
  EXPECT_EQ(PacketArgument(*packet), GetParam().operation);
  ASSERT_GE(packet->size(), size_t{kPacketHeaderBytes + kParamControlGroupOffset + kParamControlGroupBytes});
  const uint8_t* controls = packet->data() + kPacketHeaderBytes + kParamControlGroupOffset;
  EXPECT_EQ(int{controls[8]}, 2000 / 10) << "PowerOnDelay";
  EXPECT_EQ(int{controls[9]}, 10 / 10) << "PowerOffDelay";
  EXPECT_EQ(int{controls[10]}, 1500 / 30) << "ChipInDelay";
  EXPECT_EQ(int{controls[11]}, 300 / 30) << "ChipOutDelay";
  EXPECT_EQ(in->Model().Text(), "1500");
  EXPECT_EQ(in->text().toStdString(), "1500");
  EXPECT_EQ(window->SpinEditOut->Model().Text(), "300");
  EXPECT_EQ(window->SpinEditVddTim->Model().Text(), "2000");
  EXPECT_EQ(window->SpinEditPwDnTim->Model().Text(), "10");
  window->hide();
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyStartedCommandTest,
                         ::testing::Values(KeyStartCase{"BlankCheckShortcut", Qt::Key_F7, kOpBlankCheck},
                                           KeyStartCase{"EraseShortcut", Qt::Key_F8, kOpErase}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
