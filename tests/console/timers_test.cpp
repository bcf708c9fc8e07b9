// The main window's two timers, tick by tick, through the real window offscreen.
#include <QLineEdit>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "catalogue/chip_catalogue.h"
#include "catalogue/project_file.h"
#include "link/channel_log.h"
#include "link/commands.h"
#include "link/operation_steps.h"
#include "support/main_window_fixture.h"
#include "toolkit/errors.h"
#include "toolkit/qt/gauge_widget.h"

namespace {

class TimersTest : public MainWindowTest {
protected:
  // Start-up with the command line given; no ports, so DeviceCount is 0.
  void ShowWith(std::vector<std::string> arguments) {
    PlaceFirmwareImage();
    window->SetCommandLine(std::move(arguments));
    window->show();
  }
  std::string ResultText() {
    std::ifstream in(folder + "ResDW.Txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  bool ResultExists() { return std::filesystem::exists(folder + "ResDW.Txt"); }
  // A job for a 32 KB chip, as the project writer stores it.
  std::string WriteJob() {
    SetChipParams("FU6813P");
    CommitChipSelection("FU6813P");
    const std::string job = folder + "job.ptv";
    SaveProjectFile(job, g.ChipSeries, CopyOfflineInfoBlock);
    g.ChipSelected = 0;
    boxes.Clear();
    return job;
  }
  static bool AnyChannelBusy() {
    for (int ch = 0; ch < kChannelSlots; ++ch)
      if (g.ChannelBusy[ch] != 0) return true;
    return false;
  }
};

TEST_F(TimersTest, TickAdvancesTheTimeDrivenGaugesOfTheWindow) {
  ShowWith({});
  BeginChannelProgress(500, 32, 0);
  BeginChannelProgress(kBlockStepTicks, 32, 1);
  for (int i = 0; i < 497; ++i) window->Timer1Timer(window->Timer1);
  EXPECT_EQ(window->Gauges[0]->Model().Progress(), 500);
  EXPECT_EQ(window->Gauges[1]->Model().Progress(), 3);
}

TEST_F(TimersTest, TimedOutChannelIsLoggedInTheWindowAndEndsRed) {
  ShowWith({});
  BeginChannelProgress(kBlockStepTicks, 32, 2);
  for (int i = 0; i < 500; ++i) window->Timer1Timer(window->Timer1);
  EXPECT_EQ(LogLines().back(), "> 14:03:22 C3 ：操作超时！");
  EXPECT_EQ(window->Gauges[2]->Model().ForeColor(), clRed);
  EXPECT_EQ(g.ChannelBusy[2], 0);
}

TEST_F(TimersTest, UnattendedRunEndsWhenEveryFoundUnitTookTheJob) {
  ShowWith({folder + "job.ptv", "OFF"});
  g.FoundDevices = 2;
  g.DownloadOkCount = 1;
  window->Timer1Timer(window->Timer1);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(ResultExists());
  g.DownloadOkCount = 2;
  window->Timer1Timer(window->Timer1);
  EXPECT_EQ(ResultText(), "Download Success\r\n");
  EXPECT_FALSE(window->isVisible());
}

TEST_F(TimersTest, UnattendedRunWithNoUnitFoundNeverEnds) {
  ShowWith({folder + "job.ptv", "OFF"});
  for (int i = 0; i < 100; ++i) window->Timer1Timer(window->Timer1);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(ResultExists());
}

TEST_F(TimersTest, ResultFileThatCannotBeWrittenIsReportedOnceAndTheWindowStays) {
  ShowWith({folder + "job.ptv", "OFF"});
  { std::ofstream(folder + "plain") << "x"; }
  g.ProgramDir = folder + "plain/";
  g.FoundDevices = 1;
  g.DownloadOkCount = 1;
  EXPECT_THROW(window->Timer1Timer(window->Timer1), EInOutError);
  EXPECT_NO_THROW(window->Timer1Timer(window->Timer1));
  EXPECT_TRUE(window->isVisible());
}

TEST_F(TimersTest, UnattendedStartDeletesAnOldResultAndAProjectAloneKeepsIt) {
  WriteProgramFile("ResDW.Txt", {"Download Success"});
  ShowWith({folder + "job.ptv"});
  EXPECT_TRUE(ResultExists());
  window.reset();
  window = std::make_unique<TOrvantBEMxPrg>();
  window->PortSysfsRoot = ports.Sys();
  window->PortDeviceFolder = ports.Dev();
  g.OrvantBEMxPrg = window.get();
  ShowWith({folder + "job.ptv", "off"});
  EXPECT_FALSE(ResultExists());
}

TEST_F(TimersTest, FirstTickSearchesAndWithNoChannelInUseStopsAtOnce) {
  ShowWith({});
  ASSERT_TRUE(window->Timer2->isActive());
  ASSERT_EQ(g.SearchPending, 1);
  window->Timer2Timer(window->Timer2);
  EXPECT_EQ(g.SearchPending, 0);
  EXPECT_FALSE(window->Timer2->isActive());
}

TEST_F(TimersTest, TimerRunsUntilEveryChannelInUseHasItsUnit) {
  ShowWith({});
  g.DeviceCount = 2;
  window->Timer2Timer(window->Timer2);
  g.FoundDevices = 1;
  window->Timer2Timer(window->Timer2);
  EXPECT_TRUE(window->Timer2->isActive());
  g.FoundDevices = 2;
  window->Timer2Timer(window->Timer2);
  EXPECT_FALSE(window->Timer2->isActive());
}

TEST_F(TimersTest, MissingCommandLineProjectIsLoggedAndShownAndNothingStarts) {
  const std::string project = folder + "missing.ptv";
  ShowWith({project, "OFF"});
  window->Timer2Timer(window->Timer2);
  EXPECT_EQ(LogLines().back(), "> 14:03:22 File of " + project + " is not found!");
  EXPECT_EQ(boxes.Texts().back(), "File of " + project + " is not found!");
  EXPECT_EQ(boxes.Shown().back().caption, "");
  EXPECT_FALSE(window->Timer2->isActive());
  for (int ch = 0; ch < kChannels; ++ch) EXPECT_EQ(g.ChannelBusy[ch], 0);
}

TEST_F(TimersTest, CommandLineProjectThatDoesNotLoadIsNeverDownloaded) {
  const std::string project = folder + "damaged.ptv";
  WriteProgramFile("damaged.ptv", {"not a project"});
  ShowWith({project, "OFF"});
  g.DeviceCount = 2;
  g.FoundDevices = 2;
  window->Timer2Timer(window->Timer2);
  EXPECT_EQ(LogLines().back(), "> 14:03:22 Project file of " + project + " did not load: download not started!");
  for (int ch = 0; ch < kChannels; ++ch) EXPECT_EQ(g.ChannelBusy[ch], 0) << ch;
  EXPECT_EQ(g.ChipSelected, 0);
  EXPECT_EQ(g.DataLoaded, 0);
  EXPECT_FALSE(window->Timer2->isActive());
}

TEST_F(TimersTest, AfterAnUpgradeTheSearchRunsAgainOnceEveryUnitIsReady) {
  ShowWith({});
  g.SearchPending = 0;
  g.DeviceCount = 2;
  g.FoundDevices = 1;
  g.UpgradeStarted = 1;
  g.ChannelUnready[0] = 0;
  g.ChannelUnready[1] = 1;
  window->Timer2Timer(window->Timer2);
  EXPECT_EQ(g.UpgradeStarted, 1);
  EXPECT_TRUE(window->Timer2->isActive());
  g.ChannelUnready[1] = 0;
  const auto before = std::chrono::steady_clock::now();
  window->Timer2Timer(window->Timer2);
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(200));
  EXPECT_EQ(g.UpgradeStarted, 0);
  EXPECT_TRUE(window->Timer2->isActive());
}

TEST_F(TimersTest, NoChannelInUseAtTheFirstTickLoadsTheProjectAndStartsNoDownload) {
  const std::string job = WriteJob();
  ShowWith({job, "OFF"});
  ASSERT_EQ(g.DeviceCount, 0);
  window->Timer2Timer(window->Timer2);
  EXPECT_FALSE(window->Timer2->isActive());
  EXPECT_EQ(g.ChipSelected, 1);
  EXPECT_EQ(g.DataLoaded, 1);
  EXPECT_EQ(window->MCUNameEdit->text().toStdString(), "FU6813P");
  EXPECT_FALSE(AnyChannelBusy());
}

TEST_F(TimersTest, ReadingTheOptionsCountsOneUnitSoTheNextTickStartsTheDownload) {
  const std::string job = WriteJob();
  ShowWith({job});
  g.DeviceCount = 1;
  window->Timer2Timer(window->Timer2);
  EXPECT_TRUE(window->Timer2->isActive());
  window->ReadSettingsFromUi();
  EXPECT_EQ(g.FoundDevices, 1);
  window->Timer2Timer(window->Timer2);
  EXPECT_FALSE(window->Timer2->isActive());
  EXPECT_EQ(g.ChannelState[0], TChannelState::DownloadStart);
  EXPECT_EQ(g.ChannelBusy[0], 1);
  EXPECT_EQ(g.ChannelBusy[1], 0);
}

TEST_F(TimersTest, SearchAfterAnUpgradeStartsOverFromUnlinkedChannels) {
  ShowWith({});
  g.SearchPending = 0;
  g.DeviceCount = 1;
  g.FoundDevices = 0;
  g.UpgradeStarted = 1;
  g.ChannelUnready[0] = 0;  // the unit took its new firmware
  g.ChannelLinked[0] = 1;
  g.RxCount[0] = 7;
  window->Timer2Timer(window->Timer2);
  // The search button's work: every channel unlinked and emptied, the ports listed again.
  EXPECT_EQ(g.ChannelLinked[0], 0);
  EXPECT_EQ(g.RxCount[0], 0);
  EXPECT_EQ(g.UpgradeStarted, 0);
}

}  // namespace
