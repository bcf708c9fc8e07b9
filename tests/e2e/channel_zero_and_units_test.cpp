// End to end on eight linked units: the reads of channel 0, the firmware
// upgrade (of an outdated unit found by the search, and by the command), and
// the off-line start.
#include <QAction>
#include <QLabel>
#include <QToolButton>
#include <cstring>

#include "link/channel_log.h"
#include "support/eight_channels.h"
#include "toolkit/format.h"

namespace {

using namespace std::chrono_literals;

// The finish packet is not answered: a search right after the last block
// could close the port before it left. The program's timer waits before it
// searches again; the test waits until the unit has it.
bool FinishReceived(const SimUnit& unit) {
  const std::vector<SimPacket> log = unit.Log();
  return !log.empty() && log.back().Command() == kCmdFirmwareFinish;
}

class ProgrammedUnitsTest : public EightChannelTest {
 protected:
  // Every unit holds the image, as after a good Auto Program.
  void ProgramAll() {
    PrepareRun();
    window->AutoSpdBtn->click();
    ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  }
};

TEST_F(ProgrammedUnitsTest, TheFlashReadBringsChannelZerosChipIntoTheImage) {
  ProgramAll();
  std::fill(g.FlashImage, g.FlashImage + kImageBytes, 0);
  window->ReadChipMemory1->trigger();
  ASSERT_TRUE(WaitFor([&] { return g.ChannelBusy[0] == 0; }));
  EXPECT_EQ(Bytes(g.FlashImage, g.FlashImage + kImageBytes), image);
  EXPECT_EQ(Gauge(0).ForeColor(), clBlue);
  // Only channel 0 read.
  for (size_t ch = 1; ch < kUnits; ++ch)
    for (const SimPacket& packet : farm->Unit(ch).Log()) EXPECT_NE(packet.Command(), kCmdReadFlash) << ch;
}

TEST_F(ProgrammedUnitsTest, TheChecksumAndChipIdReadsShowWhatChannelZerosChipHolds) {
  ProgramAll();
  const std::array<uint8_t, 12> id = {0xA0, 0xC0, 0xDB, 3, 4, 5, 6, 7, 8, 9, 10, 0xFF};
  farm->Unit(0).SetChipId(id);
  window->ReadChipCheckSum1->trigger();
  ASSERT_TRUE(WaitFor([&] { return g.ChannelBusy[0] == 0; }));
  const uint16_t crc = Crc16Range(image.data(), 0, kImageBytes - 1);
  const std::string crcText = Format("0x%0.4x", {crc});
  bool crcShown = false;
  for (const std::string& line : window->InfoMemo().Lines())
    crcShown |= line.find(" C1: Read Chip CRC16 is " + crcText) != std::string::npos;
  EXPECT_TRUE(crcShown) << crcText;

  window->ReadMG32xxChipID1->trigger();
  ASSERT_TRUE(WaitFor([&] { return g.ChannelBusy[0] == 0; }));
  EXPECT_TRUE(ChannelLogged(0, "UID=A0 C0 DB 03 04 05 06 07 08 09 0A FF "));
  EXPECT_EQ(Gauge(0).ForeColor(), clBlue);
}

TEST_F(EightChannelTest, AnOutdatedUnitIsUpgradedAtTheSearchAndFoundCurrentAfter) {
  SimIdentity old = farm->Unit(7).Identity();
  old.version = "V0.9";
  farm->Unit(7).SetIdentity(old);
  farm->Unit(7).SetUpgradeVersion("V1.0");
  ShowAndSearch(kUnits - 1);
  ASSERT_TRUE(WaitFor([&] { return AllIdle() && g.ChannelState[7] == TChannelState::Idle; }));
  ASSERT_TRUE(WaitFor([&] { return FinishReceived(farm->Unit(7)); }, kRunLimit));
  const Bytes stored = farm->Unit(7).Firmware();
  for (size_t i = 0; i < firmwareBody.size(); ++i) ASSERT_EQ(stored[i], i % 4 == 3 ? 0 : firmwareBody[i]) << i;
  EXPECT_FALSE(ChannelLogged(7, "找到设备：OrvantGengX-BEM V1.0,SimUnit!"));
  Search(kUnits);
  EXPECT_EQ(g.FoundDevices, kUnits);
  EXPECT_TRUE(ChannelLogged(7, "找到设备：OrvantGengX-BEM V1.0,SimUnit!"));
}

TEST_F(EightChannelTest, TheUpgradeCommandBringsEveryUnitToTheNewImage) {
  ShowAndSearch();
  const Bytes body = PatternImage(12000, 9);
  PlaceFirmware(body, "V1.1");
  farm->ForEach([](SimUnit& unit) { unit.SetUpgradeVersion("V1.1"); });
  window->DoFirmwarePpgrade1->trigger();
  ASSERT_EQ(g.ImageValid, 1);
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  ASSERT_TRUE(farm->WaitForAll(FinishReceived, kRunLimit));
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    const Bytes stored = farm->Unit(ch).Firmware();
    for (size_t i = 0; i < body.size(); ++i) ASSERT_EQ(stored[i], i % 4 == 3 ? 0 : body[i]) << i;
  }
  Search(kUnits);
  EXPECT_EQ(std::string(g.FirmwareVersion), "V1.1");
  EXPECT_EQ(window->InfoPanel->text().toStdString().find("V1.1"), std::string("OrvantGengX-BEM ").size());
}

TEST_F(EightChannelTest, TheOfflineStartResetsEveryListedUnitAndForgetsThem) {
  ShowAndSearch();
  for (size_t ch = 0; ch < kUnits; ++ch)
    ports.AddPort("ttyUSB" + std::to_string(ch), "ftdi_sio", farm->Unit(ch).SlavePath());
  window->StartOfflineProgrm1->trigger();
  EXPECT_TRUE(farm->WaitForAll([](const SimUnit& unit) { return unit.ResetsReceived() == 1; }, kRunLimit));
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    EXPECT_EQ(g.ChannelLinked[ch], 0);
    EXPECT_EQ(g.PortNames[ch], "ttyUSB" + std::to_string(ch));
    EXPECT_NE(window->SPComm[ch]->PortHandle(), 0);
  }
  // What the units send from now on goes to the identification, which shows it.
  const int32_t okBefore = RunCounts().ChannelOkCount[2];
  farm->Unit(2).SendStepReport(240, 6, 1, 1);
  EXPECT_TRUE(WaitFor([&] { return RunCounts().ChannelOkCount[2] == okBefore + 1; }, kRunLimit));
}

}  // namespace
