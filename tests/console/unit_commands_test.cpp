// The off-line start and the firmware upgrade command through the window's
// menu entries, with the ports listed from a port tree of real pseudo-terminals.
#include <sys/stat.h>

#include <QAction>
#include <fstream>
#include <string>

#include "link/firmware.h"
#include "link/wire.h"
#include "simunit/firmware_builder.h"
#include "support/command_fixture.h"

namespace {

class OfflineStartTest : public CommandTest {
 protected:
  // Port ttyUSB<n> on a line of its own, listed by the port tree.
  PtyPair& AddListedPort(int n) {
    listed.push_back(std::make_unique<PtyPair>());
    ports.AddPort("ttyUSB" + std::to_string(n), n % 2 ? "cp210x" : "ftdi_sio", listed.back()->SlavePath());
    return *listed.back();
  }
  std::vector<std::unique_ptr<PtyPair>> listed;
};

TEST_F(OfflineStartTest, ForgetsEveryUnitRelistsThePortsAndResetsEachListedUnit) {
  // The settings file named the ports; the off-line start lists them anyway.
  WriteProgramFile("ConfigOvg.ini", {"x", "[Connection]", "TOTDEV=2", "DEV1=ttyACM7", "DEV2=ttyACM8"});
  window->ReadConnectionConfig(folder + "ConfigOvg.ini");
  ASSERT_EQ(g.PortsFromConfig, 1);
  PtyPair& usb0 = AddListedPort(0);
  PtyPair& usb1 = AddListedPort(1);
  LinkChannel(5);
  MakeBusy(5, TChannelState::ProgramFlash);
  g.ChannelLinked[0] = 1;
  MakeBusy(0, TChannelState::VerifyFlash);
  for (int ch = 0; ch < kChannels; ++ch) {
    g.RxCount[ch] = 3;
    Gauge(ch).SetProgress(40);
  }
  g.FoundDevices = 6;

  window->StartOfflineProgrm1->trigger();

  ASSERT_FALSE(LogLines().empty());
  EXPECT_NE(LogLines().back().find("Start Off-Line Programming......"), std::string::npos);
  EXPECT_EQ(window->ComboBoxCOM().Items(), (std::vector<std::string>{"ttyUSB0", "ttyUSB1"}));
  EXPECT_EQ(g.DeviceCount, 2);
  EXPECT_EQ(g.PortNames[0], "ttyUSB0");
  EXPECT_EQ(g.PortNames[1], "ttyUSB1");
  EXPECT_EQ(g.FoundDevices, 6);
  for (int ch = 0; ch < kChannels; ++ch) {
    SCOPED_TRACE(ch);
    EXPECT_EQ(g.ChannelLinked[ch], 0);
    EXPECT_EQ(g.ChannelBusy[ch], 0);
    EXPECT_EQ(g.RxCount[ch], 0);
    EXPECT_EQ(Gauge(ch).Progress(), 0);
    EXPECT_EQ(g.ChannelTimer[ch], ch < 2 ? 300 : 0);
    EXPECT_EQ(window->SPComm[ch]->PortHandle() != 0, ch < 2);
  }
  for (PtyPair* line : {&usb0, &usb1}) {
    std::optional<std::vector<uint8_t>> packet = ReadPacket(*line);
    ASSERT_TRUE(packet.has_value());
    EXPECT_EQ(PacketCommand(*packet), kCmdReset);
  }
  // The unit that was busy on channel 5 hears nothing more.
  EXPECT_TRUE(LineStaysQuiet(*lines[5]));
}

// Nine ports listed: eight channels take the first eight, the ninth stays shut.
TEST_F(OfflineStartTest, NoMoreThanEightPortsAreOpened) {
  for (int n = 0; n < 9; ++n) AddListedPort(n);
  window->StartOfflineProgrm1->trigger();
  EXPECT_EQ(g.DeviceCount, 9);
  for (int ch = 0; ch < kChannels; ++ch) {
    SCOPED_TRACE(ch);
    EXPECT_EQ(g.PortNames[ch], "ttyUSB" + std::to_string(ch));
    std::optional<std::vector<uint8_t>> packet = ReadPacket(*listed[ch]);
    ASSERT_TRUE(packet.has_value());
    EXPECT_EQ(PacketCommand(*packet), kCmdReset);
  }
  EXPECT_TRUE(LineStaysQuiet(*listed[8]));
  EXPECT_EQ(g.PortNames[kChannels], "");
  EXPECT_EQ(g.ChannelTimer[kChannels], 0);
}

TEST_F(OfflineStartTest, NoPortListedOpensNothing) {
  window->StartOfflineProgrm1->trigger();
  EXPECT_EQ(g.DeviceCount, 0);
  EXPECT_EQ(window->ComboBoxCOM().Text(), "无可用的串口");
  for (TComm* comm : window->SPComm) EXPECT_EQ(comm->PortHandle(), 0);
}

class FirmwareUpgradeCommandTest : public CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    g.ProgramDir = folder;
  }
  // The last log line, which must end with the missing image's report.
  std::string LastLineReportingMissingImage() {
    if (LogLines().empty()) {
      ADD_FAILURE() << "nothing logged";
      return {};
    }
    const std::string line = LogLines().back();
    const std::string text = "File of \"GenXBEM.FWR\" not Found!";
    EXPECT_TRUE(line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0)
        << line;
    return line;
  }
  void WriteImage(const std::vector<uint8_t>& bytes) {
    std::ofstream(folder + "GenXBEM.FWR", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
};

TEST_F(FirmwareUpgradeCommandTest, AMissingImageIsLoggedByItsFileName) {
  LinkChannel(0);
  window->DoFirmwarePpgrade1->trigger();
  const std::string line = LastLineReportingMissingImage();
  EXPECT_EQ(line.find(folder), std::string::npos);
  EXPECT_EQ(g.ChannelState[0], TChannelState::Idle);
  EXPECT_TRUE(LineStaysQuiet(*lines[0]));
}

// A FIFO under the image's name is no image: it is reported as the missing
// file is, not passed over in silence.
TEST_F(FirmwareUpgradeCommandTest, AFifoUnderTheImageNameIsLoggedAsMissing) {
  ASSERT_EQ(mkfifo((folder + "GenXBEM.FWR").c_str(), 0600), 0);
  LinkChannel(0);
  window->DoFirmwarePpgrade1->trigger();
  LastLineReportingMissingImage();
  EXPECT_EQ(g.ChannelState[0], TChannelState::Idle);
  EXPECT_TRUE(LineStaysQuiet(*lines[0]));
}

// It says why, with the image's path (UnusableFirmwareWindowTest has each reason).
TEST_F(FirmwareUpgradeCommandTest, AnInvalidImageStartsNothing) {
  g.ImageValid = 1;
  WriteImage(std::vector<uint8_t>(5000, 0x5A));
  LinkChannel(0);
  const size_t before = LogCount();
  window->DoFirmwarePpgrade1->trigger();
  EXPECT_EQ(g.ImageValid, 0);
  EXPECT_EQ(LogCount(), before + 1);
  EXPECT_EQ(g.ChannelState[0], TChannelState::Idle);
  EXPECT_TRUE(LineStaysQuiet(*lines[0]));
}

// Three channels in use: a unit on 0 idle, on 1 busy, none on 2, and one on 3
// beyond the count.
TEST_F(FirmwareUpgradeCommandTest, UpgradesTheLinkedIdleChannelsInUse) {
  std::vector<uint8_t> body(3000);
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 13);
  WriteImage(BuildFirmwareImage(body, "V2.0"));
  g.DeviceCount = 3;
  LinkChannel(0);
  LinkChannel(1);
  MakeBusy(1, TChannelState::ProgramFlash);
  g.RxCount[1] = 6;
  OpenLine(2);
  LinkChannel(3);
  g.RxCount[0] = 4;
  window->DoFirmwarePpgrade1->trigger();
  EXPECT_EQ(g.ImageValid, 1);
  EXPECT_EQ(g.ChannelState[0], TChannelState::FirmwareUpgrade);
  EXPECT_EQ(g.RxCount[0], 0);
  std::optional<std::vector<uint8_t>> packet = ReadPacket(*lines[0]);
  ASSERT_TRUE(packet.has_value());
  EXPECT_EQ(PacketCommand(*packet), kCmdFirmwareBlock);
  EXPECT_EQ(g.ChannelState[1], TChannelState::ProgramFlash);
  EXPECT_EQ(g.RxCount[1], 6);
  for (int ch : {1, 2, 3}) EXPECT_TRUE(LineStaysQuiet(*lines[ch])) << ch;
  EXPECT_EQ(g.ChannelState[3], TChannelState::Idle);
}

// Nine ports counted: the upgrade ends at the eighth channel.
TEST_F(FirmwareUpgradeCommandTest, NoUpgradeLoopPassesTheLastChannel) {
  WriteImage(BuildFirmwareImage(std::vector<uint8_t>(2048, 0x11), "V2.0"));
  g.DeviceCount = 9;
  for (int ch = 0; ch < kChannels; ++ch) LinkChannel(ch);
  g.ChannelLinked[kChannels] = 1;
  g.RxCount[kChannels] = 7;
  window->DoFirmwarePpgrade1->trigger();
  for (int ch = 0; ch < kChannels; ++ch) EXPECT_EQ(g.ChannelState[ch], TChannelState::FirmwareUpgrade) << ch;
  EXPECT_EQ(g.RxCount[kChannels], 7);
  EXPECT_EQ(g.ChannelState[kChannels], TChannelState::Unidentified);
}

}  // namespace
