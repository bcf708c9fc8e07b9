// The checksums that verify, program and download carry follow what the
// window holds when the image changes outside a load: after a chip read and
// after fixed serial-number data, end to end on eight simulated units.
#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "console/config_sn_form.h"
#include "support/eight_channels.h"
#include "toolkit/qt/radio_group.h"

namespace {

constexpr const char* kDataFromChip = "芯片读出数据";

class ImageChecksumsTest : public EightChannelTest {
 protected:
  void ExpectChecksumOf(const Bytes& held) {
    const uint16_t crc = Crc16Range(held.data(), 0, kImageBytes - 1);
    EXPECT_EQ(g.ImageCrc16, crc);
    EXPECT_EQ(g.ImageSum32, SumRange(held.data(), 0, kImageBytes - 1));
    EXPECT_EQ(window->StatusPanelText(1), Format("芯片校验和：0x%0.4x", {crc}));
  }
};

TEST_F(ImageChecksumsTest, AChipReadGivesVerifyAndProgramTheChipsImage) {
  ShowAndSearch();
  ChooseChip("FU6813N");
  const Bytes fileImage = PatternImage(kImageBytes, 3);
  const std::string path = LoadFile("a.bin", fileImage);
  ASSERT_EQ(Held(), fileImage);
  ASSERT_EQ(window->StatusPanelText(2), path);

  const Bytes chipImage = PatternImage(kImageBytes, 4);
  farm->ForEach([&](SimUnit& unit) {
    unit.SetChipSize(kImageBytes);
    unit.WriteFlash(0, chipImage);
  });
  window->ReadChipMemory1->trigger();
  ASSERT_TRUE(WaitFor([&] { return g.ChannelBusy[0] == 0; }));
  ASSERT_EQ(Held(), chipImage);
  ExpectChecksumOf(chipImage);
  EXPECT_EQ(window->StatusPanelText(2), kDataFromChip);
  EXPECT_EQ(g.DataFileName, kDataFromChip);

  const std::string success =
      Format("Verify Success : Chip CRC16 is 0x%0.4x.", {Crc16Range(chipImage.data(), 0, kImageBytes - 1)});
  window->SpdBtnVerify->click();
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    EXPECT_TRUE(ChannelLogged(ch, success));
    EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
  }

  // Programmed now, every unit receives what the window holds, and verifies it.
  farm->ForEach([](SimUnit& unit) { unit.SetBlank(); });
  window->SpdBtnProg->click();
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  window->InfoMemo().Clear();
  window->SpdBtnVerify->click();
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    EXPECT_EQ(farm->Unit(ch).ReadFlash(0, kImageBytes), chipImage);
    EXPECT_TRUE(ChannelLogged(ch, success));
  }
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(ImageChecksumsTest, FixedSerialDataIsVerifiedAndReachesTheChips) {
  ShowAndSearch();
  ChooseChip("FU6813N");
  LoadFile("job.bin", image);
  const uint16_t loadedCrc = g.ImageCrc16;
  auto* form = new TConfigSNForm(window.get());
  g.ConfigSNForm = form;
  ModalHook previous = SetModalHook([&](QDialog& dialog) {
    dialog.show();
    EXPECT_EQ(&dialog, form);
    form->RadioGrpSN->Button(0)->click();
    form->RadioGroupFM->Button(0)->click();
    form->AddrEditSN->setText("0x00007F00");
    form->EditDataSN->setText("LINE-A");
    form->BitBtnOK->click();
    dialog.hide();
    return dialog.result();
  });
  window->ButtonCfgSN->click();
  SetModalHook(std::move(previous));

  Bytes expected = image;
  const std::string text = "LINE-A";
  std::copy(text.begin(), text.end(), expected.begin() + 0x7F00);
  ASSERT_EQ(Held(), expected);
  ExpectChecksumOf(expected);
  EXPECT_NE(g.ImageCrc16, loadedCrc);

  window->AutoSpdBtn->click();
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    EXPECT_EQ(farm->Unit(ch).ReadFlash(0x7F00, 6), Bytes(text.begin(), text.end()));
    EXPECT_EQ(farm->Unit(ch).ReadFlash(0, kImageBytes), expected);
    EXPECT_TRUE(ChannelLogged(ch, "自动编程操作成功！"));
    EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
  }
  EXPECT_TRUE(boxes.Texts().empty());
}

}  // namespace
