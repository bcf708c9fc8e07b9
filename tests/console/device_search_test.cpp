// The search for programmer units and the hang-up of a line, through the real
// main window: its port components, its combo box and its window log.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <fstream>

#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/checksums.h"
#include "link/operation_steps.h"
#include "simunit/sim_unit.h"
#include "support/gui_wait.h"
#include "support/main_window_fixture.h"
#include "support/pty_pair.h"
#include "toolkit/errors.h"
#include "toolkit/format.h"
#include "toolkit/gauge.h"
#include "toolkit/qt/gauge_widget.h"

namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kIdentifyRequest = {0xC0, 0xA3, 0xA5, 0x35, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

class DeviceSearchTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    window->InitChannels();
  }
  void TearDown() override {
    for (TComm* comm : window->SPComm)
      if (comm->PortHandle() != 0) comm->ClosePort();
    TheGuiQueue().Drain();
    MainWindowTest::TearDown();
  }

  TComboBoxModel& Combo() { return window->ComboBoxCOM(); }
  std::string CheckingLine(int device, const std::string& port) {
    return "> 14:03:22 Checking Device " + std::to_string(device) + " In " + port + "............";
  }
  int OpenPorts() const {
    int open = 0;
    for (TComm* comm : window->SPComm) open += comm->PortHandle() != 0 ? 1 : 0;
    return open;
  }
  // A settings file that names the ports of the channels, read as at start-up.
  void ReadSettings(int totalDevices, const std::vector<std::string>& ports) {
    std::vector<std::string> lines = {"x", "[Connection]", "TOTDEV=" + std::to_string(totalDevices)};
    for (size_t i = 0; i < ports.size(); ++i) lines.push_back("DEV" + std::to_string(i + 1) + "=" + ports[i]);
    std::ofstream out(folder + "ConfigOvg.ini", std::ios::binary);
    for (const std::string& line : lines) out << line << "\r\n";
    out.close();
    window->ReadConnectionConfig(folder + "ConfigOvg.ini");
  }
};

TEST_F(DeviceSearchTest, SearchButtonListsTheSettingsFilePortsAgainAndFindsTheirUnits) {
  SimUnit first, second;
  first.Start();
  second.Start();
  ports.AddPort("ttyUSB7", "ftdi_sio", "");  // present, but the settings name the ports
  ReadSettings(2, {first.SlavePath(), second.SlavePath()});
  const std::vector<std::string> listed = Combo().Items();
  g.ChannelBusy[0] = 1;
  g.RxCount[1] = 40;
  g.ChannelAuto[0] = 1;

  window->BitBtnFindDevClick(window->BitBtnFindDev);
  EXPECT_EQ(Combo().Items(), listed);
  EXPECT_EQ(g.ChannelBusy[0], 0);
  EXPECT_EQ(g.ChannelAuto[0], 1);  // not the search's
  EXPECT_EQ(g.ChannelTimer[0], 500);
  EXPECT_EQ(OpenPorts(), 2);
  EXPECT_EQ(window->SPComm[0]->CommName(), first.SlavePath());
  EXPECT_EQ(window->SPComm[1]->CommName(), second.SlavePath());
  EXPECT_EQ(window->InfoPanel->text().toStdString(), "Searching Devices............");
  ASSERT_GE(LogLines().size(), 2u);
  EXPECT_EQ(LogLines()[0], CheckingLine(1, first.SlavePath()));
  EXPECT_EQ(LogLines()[1], CheckingLine(2, second.SlavePath()));

  // The answers come later, through the receive handlers.
  ASSERT_TRUE(DrainUntil([] { return g.FoundDevices == 2; }));
  EXPECT_EQ(g.ChannelLinked[0], 1);
  EXPECT_EQ(g.ChannelLinked[1], 1);
  EXPECT_EQ(g.ChannelState[1], TChannelState::Idle);
  EXPECT_EQ(window->InfoPanel->text().toStdString(), "OrvantGengX-BEM V1.0,SimUnit");
  first.Stop();
  second.Stop();
}

TEST_F(DeviceSearchTest, SearchButtonListsTheSettingsFilePortsOfTheChannelsInUseAgain) {
  PtyPair a, b, c;
  ports.AddPort("ttyUSB7", "ftdi_sio", "");
  ReadSettings(2, {a.SlavePath(), b.SlavePath(), c.SlavePath()});  // the third channel is not in use
  window->SPCommRequestHangup(0);
  window->SPCommRequestHangup(0);
  window->SPCommRequestHangup(0);
  ASSERT_EQ(Combo().Count(), 0u);

  window->BitBtnFindDevClick(window->BitBtnFindDev);
  std::vector<std::string> inUse = {a.SlavePath(), b.SlavePath()};
  std::sort(inUse.begin(), inUse.end());
  EXPECT_EQ(Combo().Items(), inUse);
  EXPECT_EQ(Combo().Text(), a.SlavePath());
  EXPECT_EQ(OpenPorts(), 2);
  EXPECT_EQ(a.Read(kIdentifyRequest.size()), kIdentifyRequest);
  EXPECT_EQ(b.Read(kIdentifyRequest.size()), kIdentifyRequest);
}

TEST_F(DeviceSearchTest, SearchButtonResetsEveryChannelAndReListsThePortsPresent) {
  for (int ch = 0; ch < kChannels; ++ch) {
    g.RxCount[ch] = 7;
    g.ChannelLinked[ch] = 1;
    g.ChannelBusy[ch] = 1;
    g.ChannelState[ch] = TChannelState::ProgramFlash;
    window->Gauges[ch]->Model().SetProgress(50);
    window->Gauges[ch]->Model().SetForeColor(clRed);
  }
  PtyPair open;
  window->SPComm[6]->SetCommName(open.SlavePath());
  window->SPComm[6]->OpenPort();
  Combo().Add("stale");

  window->BitBtnFindDevClick(window->BitBtnFindDev);  // no port present
  EXPECT_TRUE(Combo().Items().empty());
  EXPECT_EQ(Combo().Text(), "无可用的串口");
  EXPECT_EQ(OpenPorts(), 0);
  for (int ch = 0; ch < kChannels; ++ch) {
    SCOPED_TRACE(ch);
    EXPECT_EQ(g.RxCount[ch], 0);
    EXPECT_EQ(g.ChannelLinked[ch], 0);
    EXPECT_EQ(g.ChannelBusy[ch], 0);
    EXPECT_EQ(g.ChannelState[ch], TChannelState::ProgramFlash);
    EXPECT_EQ(window->Gauges[ch]->Model().Progress(), 0);
    EXPECT_EQ(window->Gauges[ch]->Model().ForeColor(), clBlue);
  }
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(DeviceSearchTest, AListedPortThatCannotBeOpenedEndsTheSearchThere) {
  PtyPair a, c;
  const std::string linkA = folder + "a-port";
  const std::string linkC = folder + "c-port";
  std::filesystem::create_symlink(a.SlavePath(), linkA);
  std::filesystem::create_symlink(c.SlavePath(), linkC);
  Combo().Add(linkA);
  Combo().Add(folder + "b-missing");
  Combo().Add(linkC);
  g.DeviceCount = 3;
  EXPECT_THROW(window->SearchDevices(), ECommsError);
  EXPECT_NE(window->SPComm[0]->PortHandle(), 0);
  EXPECT_EQ(window->SPComm[1]->PortHandle(), 0);
  EXPECT_EQ(window->SPComm[2]->PortHandle(), 0);
  EXPECT_EQ(a.Read(kIdentifyRequest.size()), kIdentifyRequest);  // asked before the failure
  EXPECT_EQ(LogLines().back(), CheckingLine(2, folder + "b-missing"));
}

TEST_F(DeviceSearchTest, DeviceCountZeroStillSearchesChannelZero) {
  PtyPair a, b;
  Combo().Add(a.SlavePath());
  Combo().Add(b.SlavePath());
  g.DeviceCount = 0;
  g.FoundDevices = 3;
  window->SearchDevices();
  EXPECT_EQ(g.FoundDevices, 0);
  EXPECT_EQ(OpenPorts(), 1);
  EXPECT_EQ(g.PortNames[0], Combo().Items()[0]);
  const PtyPair& first = Combo().Items()[0] == a.SlavePath() ? a : b;
  EXPECT_EQ(const_cast<PtyPair&>(first).Read(kIdentifyRequest.size()), kIdentifyRequest);
}

TEST_F(DeviceSearchTest, NoLoopPassesChannelSevenWithNinePortsListed) {
  std::vector<std::unique_ptr<PtyPair>> pairs;
  for (int i = 0; i < 9; ++i) {
    pairs.push_back(std::make_unique<PtyPair>());
    Combo().Add(pairs.back()->SlavePath());
  }
  g.DeviceCount = 9;
  window->SearchDevices();
  EXPECT_EQ(OpenPorts(), 8);
  EXPECT_EQ(LogLines().size(), 8u);
  EXPECT_EQ(LogLines().back(), CheckingLine(8, Combo().Items()[7]));
  EXPECT_EQ(g.ChannelTimer[8], 0);
  EXPECT_TRUE(g.PortNames[8].empty());
}

TEST_F(DeviceSearchTest, AnEmptyListSearchesNothing) {
  g.FoundDevices = 5;
  g.DeviceCount = 2;
  window->SearchDevices();
  EXPECT_EQ(g.FoundDevices, 5);
  EXPECT_TRUE(LogLines().empty());
}

// A found unit takes the whole Auto Program chain through the receive path
// and the reply dispatch: a chip that is not blank is erased, programmed and
// verified.
TEST_F(DeviceSearchTest, AFoundUnitRunsAutoProgramToTheEnd) {
  SimUnit unit;
  unit.SetNotBlank();
  unit.Start();
  g.LogMemo = &window->InfoMemo();  // channel lines join the window log, as after start-up
  ReadSettings(1, {unit.SlavePath()});
  window->BitBtnFindDevClick(window->BitBtnFindDev);
  ASSERT_TRUE(DrainUntil([] { return g.FoundDevices == 1; }));

  g.RomSizeKB = 8;
  g.FlashStart = 0;
  g.FlashEnd = 0x1FFF;
  for (uint32_t i = 0; i <= g.FlashEnd; ++i) g.FlashImage[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
  g.ImageCrc16 = Crc16Range(g.FlashImage, g.FlashStart, g.FlashEnd);
  StartAutoProgram(0);
  ASSERT_TRUE(DrainUntil([] { return g.ChannelBusy[0] == 0; }));
  unit.Stop();

  EXPECT_EQ(unit.ReadFlash(0, 0x2000), Bytes(g.FlashImage, g.FlashImage + 0x2000));
  std::vector<std::string> texts;
  for (const std::string& line : LogLines())
    if (const size_t at = line.find(" C1: "); at != std::string::npos) texts.push_back(line.substr(at + 5));
  EXPECT_EQ(texts, (std::vector<std::string>{"找到设备：OrvantGengX-BEM V1.0,SimUnit!", "开始自动编程，执行芯片查空......",
                                             "芯片不为空！", "执行芯片擦除......", "擦除芯片操作成功！",
                                             "开始Main Flash数据编程......", "数据编程操作成功！",
                                             "开始Main Flash数据校验......",
                                             Format("Verify Success : Chip CRC16 is 0x%0.4x.", {g.ImageCrc16}),
                                             "自动编程操作成功！"}));
  EXPECT_EQ(window->Gauges[0]->Model().ForeColor(), clBlue);
  EXPECT_EQ(g.ChannelState[0], TChannelState::Idle);
}

// --- Hang-up ---

TEST_F(DeviceSearchTest, HangUpOnAChannelPastTheListDeletesNothing) {
  Combo().Add("ttyUSB0");
  Combo().SetText("ttyUSB0");
  g.ChannelLinked[1] = 1;
  g.ChannelBusy[1] = 1;
  g.RxCount[1] = 9;
  window->SPCommRequestHangup(1);
  EXPECT_EQ(Combo().Items(), std::vector<std::string>{"ttyUSB0"});
  EXPECT_EQ(Combo().Text(), "ttyUSB0");
  EXPECT_EQ(g.ChannelLinked[1], 0);
  EXPECT_EQ(g.ChannelBusy[1], 1);
  EXPECT_EQ(g.RxCount[1], 9);
}

TEST_F(DeviceSearchTest, TwoHangUpsDeleteByThePlaceInTheShortenedList) {
  for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyUSB2"}) Combo().Add(name);
  window->SPCommRequestHangup(0);
  window->SPCommRequestHangup(1);
  EXPECT_EQ(Combo().Items(), std::vector<std::string>{"ttyUSB1"});
  window->SPCommRequestHangup(0);
  EXPECT_TRUE(Combo().Items().empty());
  EXPECT_EQ(Combo().Text(), "请连接设备......");
  EXPECT_EQ(window->ComboBoxCOMView->count(), 0);
  EXPECT_EQ(window->ComboBoxCOMView->currentText().toStdString(), "请连接设备......");
}

TEST_F(DeviceSearchTest, AUnitUnpluggedClosesItsPortUnlinksAndLeavesTheList) {
  PtyPair line;
  Combo().Add(line.SlavePath());
  g.DeviceCount = 1;
  window->SearchDevices();
  ASSERT_EQ(line.Read(kIdentifyRequest.size()), kIdentifyRequest);
  g.ChannelLinked[0] = 1;
  line.CloseMaster();
  ASSERT_TRUE(DrainUntil([this] { return window->SPComm[0]->PortHandle() == 0 && Combo().Count() == 0; }));
  EXPECT_EQ(g.ChannelLinked[0], 0);
  EXPECT_EQ(Combo().Text(), "请连接设备......");
}

TEST_F(DeviceSearchTest, HangUpOfAChannelPastSevenIsIgnored) {
  Combo().Add("ttyUSB0");
  window->SPCommRequestHangup(8);
  EXPECT_EQ(Combo().Count(), 1u);
}

}  // namespace
