// The main window's first show: start values, gauge layout, greeting,
// firmware image check and command line.
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "console/hex_grid_model.h"
#include "support/main_window_fixture.h"
#include "toolkit/errors.h"
#include "toolkit/qt/gauge_widget.h"
#include "toolkit/text_file.h"

namespace {

using StartupTest = MainWindowTest;

TEST_F(StartupTest, FormShowGivesTheStartValues) {
  PlaceFirmwareImage();
  // Leftovers that start-up must overwrite.
  g.TotalOk = 7;
  g.TotalNg = 3;
  g.ChannelLinked[2] = g.ChannelAuto[5] = g.ChannelBusy[7] = g.ChannelBusy[8] = 1;
  g.BlockCount[1] = g.BlockIndex[6] = 12;
  g.DataLoaded = g.ChipSelected = 1;
  g.ControlByte6 = 0x01;
  g.InterfaceFlags = g.ControlByte5 = g.ChipModelA = g.ControlByte8 = 0x55;
  g.ImageSum32 = g.FileSum = g.EepSum = 99;
  g.EepSize = 256;
  window->PageControlSet->setCurrentIndex(2);
  window->ViewPageCtrl->setCurrentIndex(1);

  window->FormShow(nullptr);

  EXPECT_EQ(g.TotalOk, 0);
  EXPECT_EQ(g.TotalNg, 0);
  EXPECT_EQ(g.ProgramDir, folder);
  for (int ch = 0; ch < kChannelSlots; ++ch) {
    SCOPED_TRACE(ch);
    EXPECT_EQ(g.ChannelLinked[ch], 0);
    EXPECT_EQ(g.ChannelAuto[ch], 0);
    EXPECT_EQ(g.ChannelBusy[ch], 0);
    EXPECT_EQ(g.ChannelUnready[ch], 1);
    EXPECT_EQ(g.BlockCount[ch], 0);
    EXPECT_EQ(g.BlockIndex[ch], 0);
  }
  for (int ch = 0; ch < kChannels; ++ch) EXPECT_EQ(g.ChannelGauge[ch], &window->Gauges[ch]->Model());
  EXPECT_EQ(g.ChannelGauge[kChannels], nullptr);
  EXPECT_EQ(g.ChannelComm[kChannels], nullptr);
  EXPECT_EQ(g.LogMemo, &window->InfoMemo());
  for (int ch = 0; ch < kChannels; ++ch) EXPECT_EQ(g.ChannelComm[ch], window->SPComm[ch]);
  // No settings file and no port present: the listing finds no channel.
  EXPECT_EQ(g.DeviceCount, 0);
  EXPECT_EQ(window->ComboBoxCOM().Text(), "无可用的串口");
  EXPECT_EQ(g.PortsFromConfig, 0);

  EXPECT_EQ(g.CheckFlags, 0x80);
  EXPECT_EQ(g.DataLoaded, 0);
  EXPECT_EQ(g.ChipSelected, 0);
  EXPECT_EQ(g.RomSizeKB, 128);
  EXPECT_EQ(g.PageSize, 256);
  EXPECT_EQ(g.PageCount, 512);
  EXPECT_EQ(g.ChipType, 0);
  EXPECT_EQ(g.ChipSeries, 59);
  EXPECT_EQ(g.ControlByte6, 0x81);  // bit 7 set, the rest kept
  EXPECT_EQ(g.ChipIndex, 0);
  EXPECT_EQ(g.EepSize, 0);
  EXPECT_EQ(g.InterfaceFlags, 0);
  EXPECT_EQ(g.ControlByte5, 0);
  EXPECT_EQ(g.ChipModelA, 0);
  EXPECT_EQ(g.ControlByte8, 0);
  EXPECT_EQ(g.ImageSum32, 0u);
  EXPECT_EQ(g.FileSum, 0u);
  EXPECT_EQ(g.EepSum, 0u);
  EXPECT_EQ(g.SnAddress, 0x00FFFFFFu);

  EXPECT_EQ(g.CommandLineMode, 0);
  EXPECT_EQ(g.ExitAfterDownload, 0);
  EXPECT_EQ(g.SearchPending, 1);
  EXPECT_TRUE(window->Timer2->isActive());
  EXPECT_EQ(window->Timer2->interval(), 100);
  EXPECT_TRUE(window->Timer1->isActive());
  EXPECT_EQ(window->Timer1->interval(), 10);
  EXPECT_TRUE(DirectoryExists(folder + "Log"));
  EXPECT_TRUE(boxes.Shown().empty());

  EXPECT_EQ(window->PageControlSet->currentWidget(), window->TabSheet2);
  EXPECT_EQ(window->ViewPageCtrl->currentWidget(), window->ChipSett);
  EXPECT_FALSE(window->ViewPageCtrl->isTabVisible(window->ViewPageCtrl->indexOf(window->TabSheetEEP)));
  EXPECT_TRUE(window->ViewPageCtrl->isTabVisible(window->ViewPageCtrl->indexOf(window->TabSheetFlash)));
}

TEST_F(StartupTest, HexViewsGetTheirColumnsAndUpperCaseHeaders) {
  window->FormShow(nullptr);
  const char* headers[] = {"  0", "  1", "  2", "  3", "  4", "  5", "  6", "  7",
                           "  8", "  9", "  A", "  B", "  C", "  D", "  E", "  F"};
  for (THexGridModel* cells : {window->HexViewerCells, window->EEPDataViewCells}) {
    ASSERT_EQ(cells->columnCount(), 18);
    EXPECT_EQ(cells->HeaderCell(0), "");
    EXPECT_EQ(cells->HeaderCell(17), "");
    for (int c = 1; c <= 16; ++c) EXPECT_EQ(cells->HeaderCell(c).toStdString(), headers[c - 1]) << c;
  }
  EXPECT_EQ(window->HexViewer->columnWidth(0), 70);
  EXPECT_EQ(window->HexViewer->columnWidth(17), 130);
  EXPECT_EQ(window->EEPDataView->columnWidth(0), 73);
  EXPECT_EQ(window->EEPDataView->columnWidth(17), 130);
}

struct GaugeLayoutCase {
  int deviceCount;
  std::vector<int> tops;  // of the gauges shown, Gauge1 first
  int memoHeight;
};

void PrintTo(const GaugeLayoutCase& c, std::ostream* os) { *os << "TOTDEV=" << c.deviceCount; }

class GaugeLayoutTest : public MainWindowTest, public ::testing::WithParamInterface<GaugeLayoutCase> {};

TEST_P(GaugeLayoutTest, ShowsOneGaugePerChannelAboveTheMemoBottom) {
  const GaugeLayoutCase& c = GetParam();
  WriteProgramFile("ConfigOvg.ini", {"; ports", "[Connection]", "TOTDEV=" + std::to_string(c.deviceCount), "DEV1=ttyUSB0"});
  window->FormShow(nullptr);
  ASSERT_EQ(g.DeviceCount, c.deviceCount);
  for (size_t i = 0; i < kChannels; ++i) {
    SCOPED_TRACE(i);
    TGaugeWidget* gauge = window->Gauges[i];
    EXPECT_EQ(gauge->isHidden(), i >= c.tops.size());
    if (i < c.tops.size()) {
      EXPECT_EQ(gauge->geometry(), QRect(358, c.tops[i], 551, 18));
    }
  }
  EXPECT_EQ(window->InfoMemoView->geometry(), QRect(358, 35, 551, c.memoHeight));
}

INSTANTIATE_TEST_SUITE_P(
    DeviceCounts, GaugeLayoutTest,
    ::testing::Values(GaugeLayoutCase{0, {450}, 414}, GaugeLayoutCase{1, {450}, 414},
                      GaugeLayoutCase{2, {431, 450}, 390}, GaugeLayoutCase{3, {393, 412, 431, 450}, 356},
                      GaugeLayoutCase{4, {393, 412, 431, 450}, 356},
                      GaugeLayoutCase{5, {355, 374, 393, 412, 431, 450}, 318},
                      GaugeLayoutCase{6, {355, 374, 393, 412, 431, 450}, 318},
                      GaugeLayoutCase{7, {317, 336, 355, 374, 393, 412, 431, 450}, 278},
                      GaugeLayoutCase{8, {317, 336, 355, 374, 393, 412, 431, 450}, 278},
                      GaugeLayoutCase{9, {317, 336, 355, 374, 393, 412, 431, 450}, 278}),
    [](const auto& info) { return "DeviceCount" + std::to_string(info.param.deviceCount); });

TEST_F(StartupTest, GreetsWithTheTimeAndTheShortDate) {
  PlaceFirmwareImage();
  window->FormShow(nullptr);
  EXPECT_EQ(LogLines(), std::vector<std::string>{"> 14:03:22 Hello OrvantGenX-BEM User! ------ 2026-12-08"});
  EXPECT_EQ(ShownLogLines(), LogLines());
}

TEST_F(StartupTest, LogLineFollowsTheLocaleTimeFormat) {
  SetLocaleFormatsForTest("%d/%m/%Y", "%I:%M:%S %p");
  window->LogLine("Hello");
  window->LogLine("芯片设置");
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"> 02:03:22 PM Hello", "> 02:03:22 PM 芯片设置"}));
}

TEST_F(StartupTest, MissingFirmwareImageIsLoggedAndReportedBeforeTheCommandLine) {
  g.ImageValid = 1;
  window->SetCommandLine({"job.ptv"});
  // What start-up had done when the box came up.
  bool commandLineReadBeforeBox = true;
  bool timerArmedBeforeBox = true;
  SetMessageBoxResponder([&](const MessageBoxRequest& request) {
    commandLineReadBeforeBox = g.CommandLineMode != 0;
    timerArmedBeforeBox = window->Timer2->isActive();
    EXPECT_EQ(request.buttons, unsigned{mbOK});
    EXPECT_EQ(request.text, "文件\"" + folder + "GenXBEM.FWR\"没有找到，请确认！");
    return ModalResult::Ok;
  });
  window->FormShow(nullptr);
  EXPECT_FALSE(commandLineReadBeforeBox);
  EXPECT_FALSE(timerArmedBeforeBox);
  EXPECT_EQ(g.ImageValid, 0);
  ASSERT_EQ(LogLines().size(), 2u);
  EXPECT_EQ(LogLines()[1], "> 14:03:22 File of \"" + folder + "GenXBEM.FWR\" not Found!");
  EXPECT_EQ(g.CommandLineMode, 1);
  EXPECT_TRUE(window->Timer2->isActive());
}

TEST_F(StartupTest, PresentFirmwareImageRaisesNoBox) {
  PlaceFirmwareImage();
  window->FormShow(nullptr);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(LogLines().size(), 1u);
}

struct CommandLineCase {
  const char* name;
  std::vector<std::string> arguments;
  uint8_t commandLineMode;
  uint8_t exitAfterDownload;
  std::string project;
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

class CommandLineTest : public MainWindowTest, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(CommandLineTest, ReadsProjectAndUnattendedEnd) {
  const CommandLineCase& c = GetParam();
  PlaceFirmwareImage();
  g.DownloadOkCount = 5;
  g.ExitAfterDownload = 1;
  window->SetCommandLine(c.arguments);
  window->FormShow(nullptr);
  EXPECT_EQ(g.CommandLineMode, c.commandLineMode);
  EXPECT_EQ(g.ExitAfterDownload, c.exitAfterDownload);
  EXPECT_EQ(g.CmdLineProject, c.project);
  EXPECT_EQ(g.DownloadOkCount, c.arguments.empty() ? 5 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineTest,
    ::testing::Values(CommandLineCase{"None", {}, 0, 0, ""},
                      CommandLineCase{"ProjectOnly", {"/jobs/a.ptv"}, 1, 0, "/jobs/a.ptv"},
                      CommandLineCase{"ProjectAndOFF", {"a.ptv", "OFF"}, 1, 1, "a.ptv"},
                      CommandLineCase{"ProjectAndoff", {"a.ptv", "off"}, 1, 1, "a.ptv"},
                      CommandLineCase{"ProjectAndOff", {"a.ptv", "Off"}, 1, 1, "a.ptv"},
                      CommandLineCase{"ProjectAndOFFLINE", {"a.ptv", "OFFLINE"}, 1, 0, "a.ptv"},
                      CommandLineCase{"OFFAsThirdArgument", {"a.ptv", "ON", "OFF"}, 1, 0, "a.ptv"},
                      CommandLineCase{"OFFAlone", {"OFF"}, 1, 0, "OFF"},
                      CommandLineCase{"FurtherArgumentsIgnored", {"a.ptv", "off", "extra"}, 1, 1, "a.ptv"}),
    [](const auto& info) { return std::string(info.param.name); });

// An earlier run's result that cannot be deleted (a folder under its name
// cannot be, not even by root) would speak for this run: nothing is downloaded.
TEST_F(StartupTest, UnattendedRunWhoseOldResultStaysDownloadsNothing) {
  PlaceFirmwareImage();
  const std::string result = folder + "ResDW.Txt";
  ASSERT_TRUE(CreateDir(result));
  WriteProgramFile("ResDW.Txt/inside", {"x"});
  window->SetCommandLine({folder + "job.ptv", "OFF"});
  window->FormShow(nullptr);
  ASSERT_EQ(LogLines().size(), 2u);
  EXPECT_EQ(LogLines()[1], "> 14:03:22 " + result + " of an earlier run could not be deleted: " +
                               std::strerror(EISDIR) + ": download not started!");
  // Every unit found: the command line's download would come now.
  g.DeviceCount = 2;
  g.FoundDevices = 2;
  g.DownloadOkCount = 2;
  window->Timer2Timer(window->Timer2);
  EXPECT_EQ(LogLines().size(), 2u);
  EXPECT_TRUE(boxes.Shown().empty());
  for (int ch = 0; ch < kChannels; ++ch) EXPECT_EQ(g.ChannelBusy[ch], 0) << ch;
  // Nor does the run end by itself: no result is written over the folder.
  EXPECT_NO_THROW(window->Timer1Timer(window->Timer1));
  EXPECT_TRUE(DirectoryExists(result));
}

TEST_F(StartupTest, FirstShowRunsFormShowOnce) {
  PlaceFirmwareImage();
  window->show();
  EXPECT_TRUE(window->FormShown());
  EXPECT_EQ(LogLines().size(), 1u);
  window->hide();
  window->show();
  EXPECT_EQ(LogLines().size(), 1u);
  window->hide();
}

TEST_F(StartupTest, ExistingLogFolderIsKept) {
  ASSERT_TRUE(CreateDir(folder + "Log"));
  WriteProgramFile("Log/old.log", {"kept"});
  PlaceFirmwareImage();
  window->FormShow(nullptr);
  EXPECT_TRUE(FileExists(folder + "Log/old.log"));
}

// /proc/self/mem opens but cannot be read at offset 0: a settings file that
// exists and fails to read.
TEST_F(StartupTest, UnreadableSettingsFileStopsStartUpAtThatStep) {
  ASSERT_EQ(symlink("/proc/self/mem", (folder + "ConfigOvg.ini").c_str()), 0);
  PlaceFirmwareImage();
  window->SetCommandLine({"a.ptv"});
  window->show();
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_NE(boxes.Texts()[0].find("ConfigOvg.ini"), std::string::npos) << boxes.Texts()[0];
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(LogLines().empty());  // no greeting
  EXPECT_EQ(g.CommandLineMode, 0);
  EXPECT_EQ(g.SearchPending, 0);
  EXPECT_FALSE(window->Timer2->isActive());
  window->hide();
}

// A FIFO nobody writes to would hold an open for reading forever; a device
// would be read without end. Under the settings file's name either is an
// unreadable settings file: the box, and start-up stops at that step.
TEST_F(StartupTest, SettingsFileThatIsAFifoIsUnreadableNotWaitedOn) {
  ASSERT_EQ(mkfifo((folder + "ConfigOvg.ini").c_str(), 0600), 0);
  PlaceFirmwareImage();
  window->show();
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0], folder + "ConfigOvg.ini: not a regular file");
  EXPECT_TRUE(LogLines().empty());
  EXPECT_FALSE(window->Timer2->isActive());
  window->hide();
}

TEST_F(StartupTest, SettingsFileThatIsADeviceIsUnreadable) {
  ASSERT_EQ(symlink("/dev/zero", (folder + "ConfigOvg.ini").c_str()), 0);
  PlaceFirmwareImage();
  try {
    window->FormShow(nullptr);
    ADD_FAILURE() << "read /dev/zero as the settings file";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.Message(), folder + "ConfigOvg.ini: not a regular file");
  }
}

// The image's name taken by a FIFO or a device is the missing image.
TEST_F(StartupTest, FirmwareImageThatIsAFifoOrADeviceIsReportedMissing) {
  for (const char* kind : {"fifo", "device"}) {
    SCOPED_TRACE(kind);
    const std::string image = folder + "GenXBEM.FWR";
    std::filesystem::remove(image);
    if (std::string(kind) == "fifo") {
      ASSERT_EQ(mkfifo(image.c_str(), 0600), 0);
    } else {
      ASSERT_EQ(symlink("/dev/zero", image.c_str()), 0);
    }
    boxes.Clear();
    g.ImageValid = 1;
    window->FormShow(nullptr);
    EXPECT_EQ(g.ImageValid, 0);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "文件\"" + image + "\"没有找到，请确认！");
    EXPECT_EQ(LogLines().back(), "> 14:03:22 File of \"" + image + "\" not Found!");
  }
}

}  // namespace
