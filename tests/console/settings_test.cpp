// The settings file "ConfigOvg.ini": its line rules, and how the window binds
// what it names (channel count, port names, the port list).
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <cctype>
#include <fstream>

#include "console/connection_config.h"
#include "simunit/sim_unit.h"
#include "support/gui_wait.h"
#include "support/main_window_fixture.h"
#include "support/pty_pair.h"
#include "toolkit/qt/gauge_widget.h"
#include "toolkit/errors.h"
#include "toolkit/gui_queue.h"

namespace {

struct ParseCase {
  const char* what;
  std::vector<std::string> lines;
  std::optional<uint8_t> deviceCount;
  std::vector<std::pair<int, std::string>> ports;  // channel, name
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.what; }

class ConnectionConfigTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ConnectionConfigTest, FollowsTheLineRules) {
  const ParseCase& c = GetParam();
  ConnectionConfig config = ParseConnectionConfig(c.lines);
  EXPECT_EQ(config.deviceCount, c.deviceCount);
  std::vector<std::pair<int, std::string>> ports;
  for (const ConfigPort& port : config.ports) ports.emplace_back(port.channel, port.name);
  EXPECT_EQ(ports, c.ports);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ConnectionConfigTest,
    ::testing::Values(
        ParseCase{"example", {"x", "[Connection]", "TOTDEV=2", "DEV1=COM3", "DEV2=COM4"}, 2, {{0, "COM3"}, {1, "COM4"}}},
        ParseCase{"first line never examined", {"[Connection]", "TOTDEV=2", "DEV1=COM3"}, std::nullopt, {}},
        ParseCase{"section as second line", {"[Connection]", "[Connection]", "DEV1=COM3"}, std::nullopt, {{0, "COM3"}}},
        ParseCase{"no section", {"x", "TOTDEV=2", "DEV1=COM3"}, std::nullopt, {}},
        ParseCase{"section compared exactly", {"x", "[connection]", "DEV1=COM3", "[Connection] "}, std::nullopt, {}},
        ParseCase{"empty file", {}, std::nullopt, {}},
        ParseCase{"only the first digit counts", {"x", "[Connection]", "TOTDEV=12"}, 1, {}},
        ParseCase{"blanks before the count", {"x", "[Connection]", "TOTDEV = 3"}, 3, {}},
        ParseCase{"count line without digit", {"x", "[Connection]", "TOTDEV=many"}, 0, {}},
        ParseCase{"keys in any case", {"x", "[Connection]", "totdev=2", "Dev1=com3"}, 2, {{0, "com3"}}},
        ParseCase{"key must start the line", {"x", "[Connection]", " TOTDEV=2", " DEV1=COM3"}, std::nullopt, {}},
        ParseCase{"name keeps its case, blanks removed", {"x", "[Connection]", "DEV1 = com3 "}, std::nullopt, {{0, "com3"}}},
        ParseCase{"the whole rest is the name", {"x", "[Connection]", "DEV1=COM3 ;main"}, std::nullopt, {{0, "COM3 ;main"}}},
        ParseCase{"Linux names",
                  {"x", "[Connection]", "DEV2=ttyUSB1", "DEV3=/dev/ttyACM0", "DEV4\t=\tttyS0"},
                  std::nullopt,
                  {{1, "ttyUSB1"}, {2, "/dev/ttyACM0"}, {3, "ttyS0"}}},
        ParseCase{"channel digits outside 1..8 are skipped",
                  {"x", "[Connection]", "DEV0=COM1", "DEV9=COM9", "DEVICE=COM5", "DEV", "DEV8=COM8"},
                  std::nullopt,
                  {{7, "COM8"}}},
        ParseCase{"repeated lines: last count wins, every port line kept",
                  {"x", "[Connection]", "TOTDEV=2", "DEV1=COM3", "TOTDEV=5", "DEV1=COM6"},
                  5,
                  {{0, "COM3"}, {0, "COM6"}}},
        ParseCase{"a later bracketed line does not end the section",
                  {"x", "[Connection]", "[Other]", "DEV1=COM3"},
                  std::nullopt,
                  {{0, "COM3"}}},
        ParseCase{"port line without a name", {"x", "[Connection]", "DEV1="}, std::nullopt, {{0, ""}}},
        ParseCase{"a name of PATH_MAX bytes is a port, blanks aside",
                  {"x", "[Connection]", "DEV2 = " + std::string(4096, 'p') + "  "},
                  std::nullopt,
                  {{1, std::string(4096, 'p')}}},
        ParseCase{"a longer name is no port: the line is dropped",
                  {"x", "[Connection]", "DEV1=COM3", "DEV1=" + std::string(4097, 'p'), "DEV2=/" + std::string(4096, 'p')},
                  std::nullopt,
                  {{0, "COM3"}}}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

TEST(ParseDigitAfter6, FindsTheFirstDigitFromTheSixthCharacter) {
  struct Case {
    const char* line;
    uint8_t value;
  } cases[] = {
      {"TOTDEV=2", 2}, {"TOTDEV=12", 1}, {"TOTDEV = 3", 3}, {"TOTDE5", 5}, {"TOTD5", 0},
      {"1234", 0},     {"", 0},          {"TOTDEV", 0},     {"TOTDEV=x9", 9},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDigitAfter6(c.line), c.value) << c.line;
}

using SettingsFileTest = MainWindowTest;

std::vector<std::string> ComboItemsShown(const QComboBox& box) {
  std::vector<std::string> items;
  for (int i = 0; i < box.count(); ++i) items.push_back(box.itemText(i).toStdString());
  return items;
}

TEST_F(SettingsFileTest, PortLinesFillTheSortedListWhileChannelsKeepTheirNames) {
  g.DeviceCount = 7;
  WriteProgramFile("ConfigOvg.ini", {"; settings", "[Connection]", "TOTDEV=2", "DEV1=COM9", "DEV2=COM10"});
  window->FormShow(nullptr);
  EXPECT_EQ(g.DeviceCount, 2);
  EXPECT_EQ(g.PortsFromConfig, 1);
  EXPECT_EQ(g.PortNames[0], "COM9");
  EXPECT_EQ(g.PortNames[1], "COM10");
  EXPECT_EQ(window->ComboBoxCOM().Items(), (std::vector<std::string>{"COM10", "COM9"}));
  EXPECT_EQ(window->ComboBoxCOM().Text(), "COM9");
  EXPECT_EQ(ComboItemsShown(*window->ComboBoxCOMView), (std::vector<std::string>{"COM10", "COM9"}));
  EXPECT_EQ(window->ComboBoxCOMView->currentText().toStdString(), "COM9");
}

TEST_F(SettingsFileTest, SinglePortLineBindsItsChannelOnly) {
  WriteProgramFile("ConfigOvg.ini", {"x", "[Connection]", "DEV3=COM7"});
  window->FormShow(nullptr);
  EXPECT_EQ(g.PortsFromConfig, 1);
  EXPECT_EQ(g.DeviceCount, 1);
  EXPECT_EQ(g.PortNames[0], "");
  EXPECT_EQ(g.PortNames[1], "");
  EXPECT_EQ(g.PortNames[2], "COM7");
  EXPECT_EQ(window->ComboBoxCOM().Items(), std::vector<std::string>{"COM7"});
  EXPECT_EQ(window->ComboBoxCOM().Text(), "");
  EXPECT_EQ(window->ComboBoxCOMView->currentText().toStdString(), "");
}

TEST_F(SettingsFileTest, ChannelNamedTwiceKeepsTheLastNameAndListsBoth) {
  WriteProgramFile("ConfigOvg.ini", {"x", "[Connection]", "DEV1=ttyUSB3", "DEV1=ttyUSB1"});
  window->FormShow(nullptr);
  EXPECT_EQ(g.PortNames[0], "ttyUSB1");
  EXPECT_EQ(window->ComboBoxCOM().Items(), (std::vector<std::string>{"ttyUSB1", "ttyUSB3"}));
  EXPECT_EQ(window->ComboBoxCOM().Text(), "ttyUSB1");
}

TEST_F(SettingsFileTest, SkippedPortLinesWriteNoTableAndNameNoPorts) {
  WriteProgramFile("ConfigOvg.ini", {"x", "[Connection]", "TOTDEV=9", "DEV0=COM1", "DEV9=COM9"});
  window->FormShow(nullptr);
  EXPECT_EQ(g.PortsFromConfig, 0);
  // No port came from the file, so the ports present are listed: none here.
  EXPECT_EQ(g.DeviceCount, 0);
  for (const std::string& name : g.PortNames) EXPECT_EQ(name, "");
  EXPECT_EQ(window->ComboBoxCOM().Count(), 0u);
}

TEST_F(SettingsFileTest, FileWithoutSectionLeavesTheListEmpty) {
  window->ComboBoxCOM().Add("stale");
  WriteProgramFile("ConfigOvg.ini", {"TOTDEV=4", "DEV1=COM3"});
  window->FormShow(nullptr);
  EXPECT_EQ(g.PortsFromConfig, 0);
  EXPECT_EQ(g.DeviceCount, 0);
  EXPECT_EQ(window->ComboBoxCOM().Count(), 0u);
  EXPECT_EQ(window->ComboBoxCOM().Text(), "无可用的串口");
}

TEST_F(SettingsFileTest, WithoutASettingsFileThePortsPresentSetTheChannels) {
  PtyPair usb0, usb1;
  ports.AddPort("ttyUSB1", "cp210x", usb1.SlavePath());
  ports.AddPort("ttyUSB0", "ftdi_sio", usb0.SlavePath());
  ports.AddPort("ttyS0", "serial8250", usb0.SlavePath());
  g.DeviceCount = 5;
  g.PortsFromConfig = 1;
  window->FormShow(nullptr);
  EXPECT_EQ(g.PortsFromConfig, 0);
  EXPECT_EQ(g.DeviceCount, 2);
  EXPECT_EQ(window->ComboBoxCOM().Items(), (std::vector<std::string>{"ttyUSB0", "ttyUSB1"}));
  // Two channels in use: the two-gauge layout.
  EXPECT_TRUE(window->Gauges[1]->isVisibleTo(window.get()));
  EXPECT_FALSE(window->Gauges[2]->isVisibleTo(window.get()));
}

TEST_F(SettingsFileTest, PortsNamedInTheFileAreNotListed) {
  PtyPair usb0;
  ports.AddPort("ttyUSB0", "ftdi_sio", usb0.SlavePath());
  WriteProgramFile("ConfigOvg.ini", {"x", "[Connection]", "TOTDEV=1", "DEV1=ttyACM3"});
  window->FormShow(nullptr);
  EXPECT_EQ(window->ComboBoxCOM().Items(), std::vector<std::string>{"ttyACM3"});
  EXPECT_EQ(window->SPComm[0]->CommName(), "ttyACM3");
}

// A name of a megabyte once froze the window while the log laid it out.
TEST_F(SettingsFileTest, AMegabytePortLineIsDroppedAndNeverReachesTheLog) {
  PtyPair unit;
  const std::string huge(1 << 20, 'p');
  WriteProgramFile("ConfigOvg.ini", {"x", "[Connection]", "TOTDEV=2", "DEV1=" + unit.SlavePath(), "DEV2=" + huge});
  window->show();  // start-up, with the log laid out as the operator sees it
  window->Timer2->stop();
  EXPECT_EQ(g.PortsFromConfig, 1);
  EXPECT_EQ(g.DeviceCount, 2);
  EXPECT_EQ(g.PortNames[1], "");
  EXPECT_EQ(window->SPComm[1]->CommName(), "COM2");
  EXPECT_EQ(window->ComboBoxCOM().Items(), std::vector<std::string>{unit.SlavePath()});

  window->BitBtnFindDev->click();
  QApplication::processEvents();
  EXPECT_NE(window->SPComm[0]->PortHandle(), 0);
  EXPECT_EQ(window->SPComm[1]->PortHandle(), 0);
  bool searched = false;
  for (const std::string& line : LogLines()) {
    EXPECT_LT(line.size(), 200u);
    searched |= line.ends_with("Checking Device 1 In " + unit.SlavePath() + "............");
  }
  EXPECT_TRUE(searched);
  for (TComm* comm : window->SPComm)
    if (comm->PortHandle() != 0) comm->ClosePort();
  TheGuiQueue().Drain();
}

TEST_F(SettingsFileTest, AMegabyteLineAsTheOnlyPortLeavesThePortsPresentToBeListed) {
  PtyPair usb0;
  ports.AddPort("ttyUSB0", "ftdi_sio", usb0.SlavePath());
  WriteProgramFile("ConfigOvg.ini", {"x", "[Connection]", "TOTDEV=1", "DEV1=" + std::string(1 << 20, 'p')});
  window->FormShow(nullptr);
  EXPECT_EQ(g.PortsFromConfig, 0);
  EXPECT_EQ(g.PortNames[0], "");
  EXPECT_EQ(window->ComboBoxCOM().Items(), std::vector<std::string>{"ttyUSB0"});
}

TEST_F(SettingsFileTest, UnreadableFileRaisesTheIoError) {
  EXPECT_THROW(window->ReadConnectionConfig(folder + "missing.ini"), EInOutError);
}

// A settings file whose lines end in CR CR LF (a CR LF file converted once
// more) once lost its "[Connection]" line, and with it every pinned port, in
// silence: the channel went to the port found instead. Whatever the line
// ends, the channel takes the pinned port and finds the unit on it, while
// another port is there to be found.
struct SettingsLineEnd {
  const char* name;
  const char* end;
};
void PrintTo(const SettingsLineEnd& e, std::ostream* os) { *os << e.name; }

class PinnedPortLineEndTest : public MainWindowTest, public ::testing::WithParamInterface<SettingsLineEnd> {
protected:
  void TearDown() override {
    for (TComm* comm : window->SPComm)
      if (comm->PortHandle() != 0) comm->ClosePort();
    TheGuiQueue().Drain();
    MainWindowTest::TearDown();
  }
};

TEST_P(PinnedPortLineEndTest, TheChannelTakesThePinnedPortAndFindsItsUnit) {
  SimUnit pinned;
  pinned.Start();
  PtyPair found;
  ports.AddPort("ttyUSB0", "ftdi_sio", found.SlavePath());
  {
    std::ofstream out(folder + "ConfigOvg.ini", std::ios::binary);
    for (const std::string& line : {std::string("; settings"), std::string("[Connection]"), std::string("TOTDEV=1"),
                                    "DEV1=" + pinned.SlavePath()})
      out << line << GetParam().end;
  }
  window->FormShow(nullptr);
  window->Timer2->stop();
  EXPECT_EQ(g.PortsFromConfig, 1);
  EXPECT_EQ(g.DeviceCount, 1);
  EXPECT_EQ(window->ComboBoxCOM().Items(), std::vector<std::string>{pinned.SlavePath()});

  window->BitBtnFindDevClick(window->BitBtnFindDev);
  ASSERT_EQ(window->SPComm[0]->CommName(), pinned.SlavePath());
  EXPECT_NE(window->SPComm[0]->PortHandle(), 0);
  ASSERT_TRUE(DrainUntil([] { return g.FoundDevices == 1; })) << "the unit on the pinned port never answered";
  EXPECT_EQ(g.ChannelLinked[0], 1);
  pinned.Stop();
}

INSTANTIATE_TEST_SUITE_P(Ends, PinnedPortLineEndTest,
                         ::testing::Values(SettingsLineEnd{"Lf", "\n"}, SettingsLineEnd{"CrLf", "\r\n"},
                                           SettingsLineEnd{"CrCrLf", "\r\r\n"},
                                           SettingsLineEnd{"CrCrCrLf", "\r\r\r\n"}, SettingsLineEnd{"Cr", "\r"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
