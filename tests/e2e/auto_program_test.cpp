// Auto Program and download on eight channels at once, end to end: the search
// button links eight simulated units, a chip is chosen in the chip dialog, and
// the tool-bar buttons run the operations through the real receive path and
// reply dispatch to the units and back.
#include <QCheckBox>
#include <QToolButton>

#include "support/eight_channels.h"

namespace {

using namespace std::chrono_literals;

TEST_F(EightChannelTest, AutoProgramWritesTheImageIntoEveryUnit) {
  PrepareRun();
  NumberChips(0x1000, 3);
  ASSERT_NO_FATAL_FAILURE(AutoProgramAllGood());
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    EXPECT_EQ(g.ChannelState[ch], TChannelState::Idle);
    EXPECT_EQ(Gauge(ch).Progress(), Gauge(ch).MaxValue());
  }
  EXPECT_TRUE(boxes.Texts().empty());
  // One number per good run.
  EXPECT_EQ(g.SnValue, 0x1000u + 8 * 3);
  EXPECT_EQ(window->SNEdit1->text().toStdString(), "0x00001018");
}

// One unit holds data (the chain erases it), one verifies wrong, one keeps
// silent at its first command, one is unplugged while it programs.
TEST_F(EightChannelTest, AutoProgramFaultsStayOnTheirOwnChannels) {
  PrepareRun();
  constexpr size_t kNotBlank = 1, kBadVerify = 2, kSilent = 3, kUnplugged = 4;
  farm->Unit(kNotBlank).SetNotBlank();
  farm->Unit(kBadVerify).AddFault({.kind = SimFaultKind::kVerifyDiffers});
  farm->Unit(kSilent).AddFault({.kind = SimFaultKind::kSilence});
  farm->Unit(kUnplugged).AddFault({.kind = SimFaultKind::kHangUp, .command = kCmdProgramFlash, .operation = 8});
  NumberChips(0x2000, 1);

  window->AutoSpdBtn->click();
  ASSERT_TRUE(WaitFor([&] { return IdleExcept({kSilent, kUnplugged}) && g.ChannelLinked[kUnplugged] == 0; }));

  for (size_t ch : {size_t{0}, kNotBlank, size_t{5}, size_t{6}, size_t{7}}) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    EXPECT_EQ(farm->Unit(ch).ReadFlash(0, kImageBytes), image);
    EXPECT_TRUE(ChannelLogged(ch, "自动编程操作成功！"));
    EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
  }
  // Not blank: erased, then programmed.
  bool erased = false;
  for (const SimPacket& packet : farm->Unit(kNotBlank).Log())
    erased |= packet.Command() == kCmdOperation && packet.Argument() == kOpErase;
  EXPECT_TRUE(erased);

  EXPECT_EQ(Gauge(kBadVerify).ForeColor(), clRed);
  EXPECT_FALSE(ChannelLogged(kBadVerify, "自动编程操作成功！"));
  bool verifyError = false;
  for (const std::string& line : window->InfoMemo().Lines())
    verifyError |= line.find(" C3: Verify Error") != std::string::npos;
  EXPECT_TRUE(verifyError);

  // Silent: still waiting for the reply to its blank check.
  EXPECT_EQ(g.ChannelBusy[kSilent], 1);
  EXPECT_EQ(g.ChannelState[kSilent], TChannelState::BlankCheck);

  // Unplugged: its port closed, its unit forgotten, its entry gone.
  EXPECT_EQ(window->SPComm[kUnplugged]->PortHandle(), 0);
  EXPECT_EQ(window->ComboBoxCOM().Count(), kUnits - 1);
  EXPECT_FALSE(ChannelLogged(kUnplugged, "自动编程操作成功！"));
  EXPECT_TRUE(window->isVisible());
  // Numbers for the five good runs only.
  EXPECT_EQ(g.SnValue, 0x2000u + 5);

  // The program goes on: a verify of the units still there, which leaves the
  // silent channel's step and its chain alone.
  window->SpdBtnVerify->click();
  ASSERT_TRUE(WaitFor([&] { return IdleExcept({kSilent, kUnplugged}); }));
  for (size_t ch : {size_t{0}, kNotBlank, kBadVerify, size_t{5}, size_t{6}, size_t{7}}) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    EXPECT_TRUE(ChannelLogged(ch, Format("Verify Success : Chip CRC16 is 0x%0.4x.", {g.ImageCrc16})));
    EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
  }
  EXPECT_EQ(g.ChannelState[kSilent], TChannelState::BlankCheck);
  EXPECT_EQ(g.ChannelAuto[kSilent], 1);
  EXPECT_EQ(g.ChannelLinked[kUnplugged], 0);
}

bool EraseSent(const SimUnit& unit) {
  for (const SimPacket& packet : unit.Log())
    if (packet.Command() == kCmdOperation && packet.Argument() == kOpErase) return true;
  return false;
}

// "非空报错退出" ticked: a chip that holds data ends its run red, unerased; the
// blank ones are programmed. Unticked, the same chips are erased and programmed.
TEST_F(EightChannelTest, StopOnNotBlankLeavesChipsWithDataUnerasedUntilItIsUnticked) {
  PrepareRun();
  const std::vector<size_t> holdingData = {1, 4, 6};
  const auto holdsData = [&](size_t ch) { return std::find(holdingData.begin(), holdingData.end(), ch) != holdingData.end(); };
  for (size_t ch : holdingData) farm->Unit(ch).SetNotBlank();
  const std::vector<uint8_t> firstByte = farm->Unit(1).ReadFlash(0, 1);

  window->ChkBoxBlkEr->setChecked(true);
  window->AutoSpdBtn->click();
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    if (holdsData(ch)) {
      EXPECT_TRUE(ChannelLogged(ch, "芯片不为空！"));
      EXPECT_FALSE(ChannelLogged(ch, "自动编程操作成功！"));
      EXPECT_FALSE(EraseSent(farm->Unit(ch)));
      EXPECT_EQ(farm->Unit(ch).ReadFlash(0, 1), firstByte);  // what it held, untouched
      EXPECT_TRUE(farm->Unit(ch).ProgrammedBlocks().empty());
      EXPECT_EQ(Gauge(ch).ForeColor(), clRed);
    } else {
      EXPECT_EQ(farm->Unit(ch).ReadFlash(0, kImageBytes), image);
      EXPECT_TRUE(ChannelLogged(ch, "自动编程操作成功！"));
      EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
    }
  }

  window->ChkBoxBlkEr->setChecked(false);
  window->InfoMemo().Clear();
  for (size_t ch = 0; ch < kUnits; ++ch) farm->Unit(ch).ClearLog();
  window->AutoSpdBtn->click();
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  for (size_t ch : holdingData) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    EXPECT_TRUE(EraseSent(farm->Unit(ch)));
    EXPECT_EQ(farm->Unit(ch).ReadFlash(0, kImageBytes), image);
    EXPECT_TRUE(ChannelLogged(ch, "自动编程操作成功！"));
    EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
  }
}

TEST_F(EightChannelTest, DownloadGivesEveryUnitTheWholeImageAndTheReset) {
  PrepareRun();
  window->SpdBtnDownLoad->click();
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  std::vector<uint16_t> allBlocks;
  for (uint16_t kb = 0; kb < kImageBytes / 1024; kb += 4) allBlocks.push_back(kb);
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    SimUnit& unit = farm->Unit(ch);
    EXPECT_TRUE(unit.OfflineInfo().has_value());
    EXPECT_EQ(unit.DownloadBlocks(), allBlocks);
    EXPECT_EQ(unit.DownloadedFlash(0, kImageBytes), image);
    EXPECT_TRUE(WaitFor([&] { return unit.ResetsReceived() == 1; }, kRunLimit));
    EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
  }
}

}  // namespace
