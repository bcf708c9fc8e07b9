// The serial-number data dialog, the binary offset dialog and the read-address
// dialog, driven through their real widgets: typed into with QTest, closed
// with their buttons, shown through the modal hook.
#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/checksums.h"
#include "catalogue/chip_catalogue.h"
#include "console/config_sn_form.h"
#include "console/ofs_addr_form.h"
#include "console/set_address_form.h"
#include "support/main_window_fixture.h"
#include "toolkit/format.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/qt/radio_group.h"
#include "toolkit/qt/spin_edit_widget.h"

namespace {

constexpr uint8_t kUntouched = 0xEE;

// Shows `form` through ShowModal; the hook plays the user with `drive`.
template <typename Form>
int ShowAndDrive(Form& form, const std::function<void(Form&)>& drive) {
  ModalHook old = SetModalHook([&](QDialog& dialog) {
    dialog.show();
    drive(static_cast<Form&>(dialog));
    const int result = dialog.isVisible() ? -1 : dialog.result();
    dialog.hide();
    return result;
  });
  const int result = ShowModal(form);
  SetModalHook(std::move(old));
  return result;
}

void Retype(QLineEdit* edit, const char* text) {
  edit->clear();
  QTest::keyClicks(edit, text);
}

class DialogsTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    g.FlashStart = 0;
    g.FlashEnd = 0x7FFF;
    g.EepStart = kNoEepAddress;
    std::memset(g.FlashImage, kUntouched, 0x10000);
  }
  std::vector<uint8_t> Image(uint32_t at, size_t n) { return {g.FlashImage + at, g.FlashImage + at + n}; }
  std::string FlashViewCell(int row, int column) {
    return window->HexViewer->model()->index(row, column).data().toString().toStdString();
  }
};

// --- The serial-number data dialog ---

struct SnCase {
  const char* name;
  int format;  // 0 text, 1 hexadecimal
  const char* address;
  const char* data;
  uint32_t at;
  std::vector<uint8_t> written;  // empty: nothing written at `at`
  const char* message;           // empty: no message box
};

void PrintTo(const SnCase& c, std::ostream* out) { *out << c.name; }

class ConfigSnCaseTest : public DialogsTest, public ::testing::WithParamInterface<SnCase> {};

TEST_P(ConfigSnCaseTest, WritesWhatTheDataFieldSays) {
  const SnCase& c = GetParam();
  TConfigSNForm form(window.get());
  window->ShowFlashGrid(g.FlashStart, g.FlashEnd);
  const int result = ShowAndDrive<TConfigSNForm>(form, [&](TConfigSNForm& f) {
    EXPECT_EQ(f.AddrEditSN->text(), "0x00000000");
    f.RadioGroupFM->Button(c.format)->click();
    Retype(f.AddrEditSN, c.address);
    QTest::keyClicks(f.EditDataSN, c.data);
    f.BitBtnOK->click();
  });
  EXPECT_EQ(result, QDialog::Accepted);
  const size_t n = c.written.empty() ? 4 : c.written.size();
  std::vector<uint8_t> expected = c.written.empty() ? std::vector<uint8_t>(n, kUntouched) : c.written;
  EXPECT_EQ(Image(c.at, n), expected);
  EXPECT_EQ(g.FlashImage[c.at + n], kUntouched);
  EXPECT_EQ(boxes.Texts(), (*c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{}));
  // Stored bytes have the checksums of the image with them, shown as after a
  // load; the main area refreshes the flash view when it writes.
  if (!c.written.empty()) {
    EXPECT_EQ(g.ImageCrc16, Crc16Range(g.FlashImage, 0, 0x7FFF));
    EXPECT_EQ(window->StatusPanelText(1), Format("芯片校验和：0x%0.4x", {g.ImageCrc16}));
  } else {
    EXPECT_EQ(g.ImageCrc16, 0) << "nothing stored, nothing computed";
  }
  if (!c.written.empty()) {
    EXPECT_EQ(FlashViewCell(static_cast<int>(c.at / 16), static_cast<int>(c.at % 16) + 1),
              Format("%0.2x", {c.written[0]}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigSnCaseTest,
    ::testing::Values(
        SnCase{"HexBytes", 1, "0x7FF0", "12 34 56", 0x7FF0, {0x12, 0x34, 0x56}, ""},
        SnCase{"HexTrailingBlank", 1, "0x7FF0", "12 34 56 ", 0x7FF0, {0x12, 0x34, 0x56}, ""},
        SnCase{"HexDoubledBlanks", 1, "0x7FF0", "12  34   56", 0x7FF0, {0x12, 0x34, 0x56}, ""},
        SnCase{"HexKeepsTheLastTwoDigits", 1, "0x7FF0", "123 G5", 0x7FF0, {0x23, 0x05}, ""},
        SnCase{"HexBlanksOnlyWriteNothing", 1, "0x7FF0", "   ", 0x7FF0, {}, ""},
        SnCase{"TextIsStoredUpperCase", 0, "0x100", "abc", 0x100, {0x41, 0x42, 0x43}, ""},
        SnCase{"TextUpToTheLastByte", 0, "0x7FFD", "xyz", 0x7FFD, {'X', 'Y', 'Z'}, ""},
        SnCase{"PastFlashEndIsRefusedWhole", 1, "0x7FFE", "01 02 03", 0x7FFE, {}, "地址超出芯片有效数据范围！"},
        SnCase{"BadAddressStoresNothing", 1, "0x7G", "01", 0, {}, "'0x7G' is not a valid integer value"}),
    [](const ::testing::TestParamInfo<SnCase>& info) { return std::string(info.param.name); });

TEST_F(DialogsTest, TypedLettersTurnUpperCase) {
  TConfigSNForm form(window.get());
  QTest::keyClicks(form.EditDataSN, "abc d1");
  EXPECT_EQ(form.EditDataSN->text(), "ABC D1");
}

TEST_F(DialogsTest, EmptyDataKeepsTheDialogOpen) {
  TConfigSNForm form(window.get());
  const int result = ShowAndDrive<TConfigSNForm>(form, [&](TConfigSNForm& f) {
    f.BitBtnOK->click();
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.EditDataSN->hasFocus() || QApplication::focusWidget() == nullptr);
  });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"请输入有效的序列号数据!"});
}

TEST_F(DialogsTest, EepAreaOfACatalogueChipIsRefused) {
  TConfigSNForm form(window.get());
  ShowAndDrive<TConfigSNForm>(form, [&](TConfigSNForm& f) {
    f.RadioGrpSN->Button(1)->click();
    EXPECT_EQ(f.AddrEditSN->text(), "0xFFFFFFFF");
    f.RadioGroupFM->Button(1)->click();
    QTest::keyClicks(f.EditDataSN, "AA BB");
    f.BitBtnOK->click();
  });
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"地址超出芯片有效数据范围！"});
  EXPECT_EQ(Image(0, 2), (std::vector<uint8_t>{kUntouched, kUntouched})) << "no wrap onto the program";

  // Reopened with the EEP area still chosen, it proposes FlashStart again.
  g.FlashStart = 0x10;
  ShowAndDrive<TConfigSNForm>(form, [&](TConfigSNForm& f) {
    EXPECT_EQ(f.RadioGrpSN->ItemIndex(), 1);
    EXPECT_EQ(f.AddrEditSN->text(), "0x00000010");
    f.BitBtnCancel->click();
  });
}

TEST_F(DialogsTest, EepAreaInsideTheFlashWritesWithoutRefreshingTheView) {
  g.EepStart = 0x7000;
  window->ShowFlashGrid(g.FlashStart, g.FlashEnd);
  TConfigSNForm form(window.get());
  ShowAndDrive<TConfigSNForm>(form, [&](TConfigSNForm& f) {
    f.RadioGrpSN->Button(1)->click();
    EXPECT_EQ(f.AddrEditSN->text(), "0x00007000");
    f.RadioGroupFM->Button(1)->click();
    QTest::keyClicks(f.EditDataSN, "5A");
    f.BitBtnOK->click();
  });
  EXPECT_EQ(g.FlashImage[0x7000], 0x5A);
  EXPECT_EQ(FlashViewCell(0x700, 1), "EE");
  // The bytes are in FlashImage all the same, and so in its checksums.
  EXPECT_EQ(g.ImageCrc16, Crc16Range(g.FlashImage, 0, 0x7FFF));
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(DialogsTest, HexByteReader) {
  const std::string text = " 1f  ab7 zz";
  size_t at = 0;
  EXPECT_EQ(TConfigSNForm::NextHexByte(text, at), 0x1F);
  EXPECT_EQ(at, 3u);
  EXPECT_EQ(TConfigSNForm::NextHexByte(text, at), 0xB7);
  EXPECT_EQ(TConfigSNForm::NextHexByte(text, at), 0x00);
  EXPECT_EQ(TConfigSNForm::NextHexByte(text, at), std::nullopt);
}

// --- The binary offset dialog ---

TEST_F(DialogsTest, OffsetDialogProposesBaseAddress) {
  g.BaseAddress = 0x100;
  g.BinOffset = 0x4444;
  TFormOfsAddr form(window.get());
  int result = ShowAndDrive<TFormOfsAddr>(form, [&](TFormOfsAddr& f) {
    EXPECT_EQ(f.EditOfsAddr->text(), "0x00000100");
    EXPECT_EQ(g.BinOffset, 0x100u);
    Retype(f.EditOfsAddr, "0x8000");
    f.BitBtnOK->click();
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(g.BinOffset, 0x8000u);

  result = ShowAndDrive<TFormOfsAddr>(form, [&](TFormOfsAddr& f) {
    EXPECT_EQ(f.EditOfsAddr->text(), "0x00000100") << "the last entry is not proposed";
    Retype(f.EditOfsAddr, "0x9000");
    f.close();  // the window's close button
  });
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(g.BinOffset, 0x100u);

  ShowAndDrive<TFormOfsAddr>(form, [&](TFormOfsAddr& f) {
    Retype(f.EditOfsAddr, "8000h");
    f.BitBtnOK->click();
  });
  EXPECT_EQ(g.BinOffset, 0x100u);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"'8000h' is not a valid integer value"});
}

// --- The read-address dialog ---

struct ReadCase {
  const char* name;
  const char* address;
  const char* length;
  uint32_t readAddress;
  uint16_t readLength;
  const char* message;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

class ReadAddressCaseTest : public DialogsTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadAddressCaseTest, StoresAddressAndLength) {
  const ReadCase& c = GetParam();
  g.ReadAddress = 0x2220;
  g.ReadLength = 64;
  ModalHook old = SetModalHook([&](QDialog& dialog) {
    auto& form = static_cast<TSetAddressForm&>(dialog);
    EXPECT_EQ(static_cast<void*>(g.SetAddressForm), static_cast<void*>(&form));
    dialog.show();
    EXPECT_EQ(form.EditAddr->text(), "0x00002220");
    EXPECT_EQ(form.SpinEditRD->text(), "64");
    Retype(form.EditAddr, c.address);
    form.SpinEditRD->selectAll();
    QTest::keyClicks(form.SpinEditRD, c.length);
    form.BitBtnOK->click();
    EXPECT_FALSE(dialog.isVisible());
    return dialog.result();
  });
  EXPECT_EQ(ShowSetAddressForm(window.get()), QDialog::Accepted);
  SetModalHook(std::move(old));
  EXPECT_EQ(g.SetAddressForm, nullptr);
  EXPECT_EQ(g.ReadAddress, c.readAddress);
  EXPECT_EQ(g.ReadLength, c.readLength);
  EXPECT_EQ(boxes.Texts(), (*c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{}));
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadAddressCaseTest,
                         ::testing::Values(ReadCase{"AddressToARowLengthAsTyped", "0x1234", "100", 0x1230, 100, ""},
                                           ReadCase{"LengthAboveTheRange", "$10", "9999", 0x10, 4096, ""},
                                           ReadCase{"LengthTypedAtMostFourDigits", "16", "12345", 0x10, 1234, ""},
                                           ReadCase{"LengthNotANumberCountsAsSixteen", "0", "ab", 0, 16, ""},
                                           ReadCase{"BadAddressKeepsBoth", "0x12 34", "100", 0x2220, 64,
                                                    "'0x12 34' is not a valid integer value"}),
                         [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST_F(DialogsTest, ReadLengthIsBroughtIntoRangeWhenItLosesTheFocus) {
  TSetAddressForm form(window.get());
  form.SpinEditRD->selectAll();
  QTest::keyClicks(form.SpinEditRD, "9999");
  EXPECT_EQ(form.SpinEditRD->text(), "9999");
  QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(form.SpinEditRD, &leave);
  EXPECT_EQ(form.SpinEditRD->text(), "4096");
  form.SpinEditRD->selectAll();
  QTest::keyClicks(form.SpinEditRD, "x");
  QApplication::sendEvent(form.SpinEditRD, &leave);
  EXPECT_EQ(form.SpinEditRD->text(), "16");
  QTest::keyClick(form.SpinEditRD, Qt::Key_Up);
  EXPECT_EQ(form.SpinEditRD->text(), "32") << "the arrows step by 16";
}

TEST_F(DialogsTest, FirstReadAddressDialogShowsTheStartValues) {
  ModalHook old = SetModalHook([&](QDialog& dialog) {
    auto& form = static_cast<TSetAddressForm&>(dialog);
    dialog.show();
    EXPECT_EQ(form.EditAddr->text(), "0x00000000");
    EXPECT_EQ(form.SpinEditRD->text(), "16");
    return QDialog::Rejected;
  });
  ShowSetAddressForm(window.get());
  SetModalHook(std::move(old));
}

}  // namespace
