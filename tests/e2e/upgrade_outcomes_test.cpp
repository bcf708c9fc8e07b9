// Upgrades that do not end as planned, on eight simulated units through the
// real window: a unit pulled off its cable mid-upgrade, and units whose new
// firmware still reports the old version.
#include <QAction>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "link/identify.h"
#include "toolkit/errors.h"
#include "support/eight_channels.h"

namespace {

using namespace std::chrono_literals;

constexpr char kWaitLine[] = "Firmware Upgrade Running, Waiting......";
constexpr size_t kLast = kUnits - 1;

class UpgradeOutcomesTest : public EightChannelTest {
 protected:
  size_t LinesEndingWith(const std::string& text) {
    const auto& lines = LogLines();
    return static_cast<size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.ends_with(text); }));
  }
  bool AllFinished(size_t upgrades, size_t units = kUnits) const {
    for (size_t ch = 0; ch < units; ++ch)
      if (FinishesReceived(farm->Unit(ch)) != upgrades) return false;
    return true;
  }
  // Start-up as an operator sees it, with an image newer than every unit:
  // the first search upgrades them all and the timer searches again after.
  void StartWithNewerImage() {
    PlaceFirmware(PatternImage(9000, 31), "V1.1");
    window->show();
  }
};

TEST_F(UpgradeOutcomesTest, AUnitPulledOffMidUpgradeHoldsNeitherTheSearchNorTheCommandBack) {
  // Named by links, so that the pulled unit's name can be made to lead
  // nowhere: the number of its closed pseudo-terminal may soon be another's.
  farm->WriteLinkedConfig(folder);
  ShowAndSearch();
  PlaceFirmware(PatternImage(12000, 41), "V1.1");
  // From its fourth block on, the unit holds its answer until it is pulled
  // off: the upgrade is still running then, however long the others take.
  for (int i = 0; i < 12; ++i) {
    SimFault late{.kind = SimFaultKind::kLateReply, .command = kCmdFirmwareBlock, .delay = 100ms};
    if (i >= 3) late.heldUntil = [] { return false; };
    farm->Unit(kLast).AddFault(late);
  }
  window->DoFirmwarePpgrade1->trigger();
  ASSERT_TRUE(WaitFor([&] { return farm->Unit(kLast).FirmwareBlocksReceived() >= 4; }));
  ASSERT_TRUE(WaitFor([&] { return AllFinished(1, kLast); }));
  farm->Unit(kLast).HangUp();
  std::filesystem::remove(folder + "unit" + std::to_string(kLast + 1));
  ASSERT_TRUE(WaitFor([&] { return !FirmwareUpgradeRunning(); }, 5s)) << "the lost upgrade still runs";
  EXPECT_TRUE(ChannelLogged(kLast, "Firmware Upgrade Failed!"));
  EXPECT_EQ(Gauge(kLast).ForeColor(), clRed);

  // The search finds the seven (their new firmware reports V1.1); the line
  // of the eighth is gone, and the search ends there with the port's error.
  EXPECT_THROW(window->BitBtnFindDevClick(window->BitBtnFindDev), ECommsError);
  ASSERT_TRUE(WaitFor([&] { return g.FoundDevices == kLast && AllIdle(); }));

  PlaceFirmware(PatternImage(12000, 42), "V1.2");
  window->DoFirmwarePpgrade1->trigger();
  EXPECT_EQ(LinesEndingWith(kWaitLine), 0u);
  ASSERT_TRUE(WaitFor([&] { return AllFinished(2, kLast) && AllIdle(); }));
  EXPECT_EQ(std::string(g.FirmwareVersion), "V1.2");
  for (size_t ch = 0; ch < kLast; ++ch) EXPECT_EQ(Gauge(ch).ForeColor(), clBlue) << ch;
}

// A unit that stops answering mid-upgrade, its line still there: nothing
// tells the program, and only the channel time-out, the search and the
// off-line start can end that upgrade. The time-out is kept out here.
class LostUpgradeTest : public UpgradeOutcomesTest, public ::testing::WithParamInterface<const char*> {
 protected:
  static constexpr int kAnsweredBlocks = 5;

  // The eighth unit answers blocks 0..4, then nothing any more.
  void LoseTheEighthMidUpgrade() {
    ShowAndSearch();
    window->Timer1->stop();
    PlaceFirmware(PatternImage(12000, 41), "V1.1");
    SimUnit& unit = farm->Unit(kLast);
    for (int i = 0; i < kAnsweredBlocks; ++i)
      unit.AddFault({.kind = SimFaultKind::kLateReply, .command = kCmdFirmwareBlock, .delay = 0ms});
    unit.AddFault({.kind = SimFaultKind::kSilence, .command = kCmdFirmwareBlock});
    window->DoFirmwarePpgrade1->trigger();
    ASSERT_TRUE(WaitFor([&] { return unit.FaultsPending() == 0 && AllFinished(1, kLast); }));
    unit.SetSilent(true, true);
    ASSERT_EQ(unit.FirmwareBlocksReceived(), kAnsweredBlocks + 1);
    ASSERT_TRUE(FirmwareUpgradeRunning());
  }
};

TEST_P(LostUpgradeTest, TheSearchAndTheOfflineStartEndIt) {
  const std::string how = GetParam();
  ASSERT_NO_FATAL_FAILURE(LoseTheEighthMidUpgrade());
  if (how == "search") {
    window->BitBtnFindDev->click();
  } else {
    window->StartOfflineProgrm1->trigger();
  }
  EXPECT_FALSE(FirmwareUpgradeRunning());
  EXPECT_NE(g.ChannelState[kLast], TChannelState::FirmwareUpgrade);
  EXPECT_EQ(g.ChannelUnready[kLast], 0);
  EXPECT_TRUE(ChannelLogged(kLast, "Firmware Upgrade Failed!"));

  // The upgrade command no longer waits for it.
  if (how == "search") {
    ASSERT_TRUE(WaitFor([&] { return g.FoundDevices == kLast && AllIdle(); }));
  }
  window->DoFirmwarePpgrade1->trigger();
  EXPECT_EQ(LinesEndingWith(kWaitLine), 0u);
  if (how == "search") {
    ASSERT_TRUE(WaitFor([&] { return AllFinished(2, kLast) && AllIdle(); }));
    EXPECT_EQ(FinishesReceived(farm->Unit(kLast)), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Ends, LostUpgradeTest, ::testing::Values("search", "offline"),
                         [](const auto& info) { return std::string(info.index == 0 ? "Search" : "OfflineStart"); });

TEST_F(UpgradeOutcomesTest, UnitsUpgradedOnceAreFoundCurrentWithTheNewVersion) {
  StartWithNewerImage();
  ASSERT_TRUE(WaitFor([&] { return g.FoundDevices == kUnits; }));
  RunFor(500ms);
  EXPECT_TRUE(AllFinished(1));
  EXPECT_FALSE(window->Timer2->isActive());
  for (size_t ch = 0; ch < kUnits; ++ch)
    EXPECT_TRUE(ChannelLogged(ch, "找到设备：OrvantGengX-BEM V1.1,SimUnit!")) << ch;
}

// The version a unit reports before and after its upgrade.
class UpgradeNotTakenTest : public UpgradeOutcomesTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // Start-up upgrades every unit; the eighth still reports the version of the
  // test's parameter afterwards and is left, logged once.
  void UpgradeOnceNotTaken() {
    const std::string version = GetParam();
    SimIdentity identity = farm->Unit(kLast).Identity();
    identity.version = version;
    farm->Unit(kLast).SetIdentity(identity);
    farm->Unit(kLast).SetUpgradeVersion(version);
    StartWithNewerImage();
    notTaken = "Firmware Upgrade not taken, unit still reports: OrvantGengX-BEM " + version + ",SimUnit!";
    ASSERT_TRUE(WaitFor([&] { return g.FoundDevices == kLast && ChannelLogged(kLast, notTaken); }));
    RunFor(2s);
    EXPECT_TRUE(AllFinished(1));
    EXPECT_EQ(LinesEndingWith(notTaken), 1u);
    EXPECT_EQ(g.FoundDevices, kLast);
    EXPECT_EQ(g.ChannelLinked[kLast], 0);
  }

  std::string notTaken;
};

TEST_P(UpgradeNotTakenTest, TheUnitIsUpgradedOnceLoggedAndLeftUntilTheOperatorAsks) {
  ASSERT_NO_FATAL_FAILURE(UpgradeOnceNotTaken());

  // The operator asks again: one more upgrade, and again it is left.
  window->BitBtnFindDev->click();
  ASSERT_TRUE(WaitFor([&] { return LinesEndingWith(notTaken) == 2; }));
  RunFor(1s);
  EXPECT_EQ(FinishesReceived(farm->Unit(kLast)), 2u);
  for (size_t ch = 0; ch < kLast; ++ch) EXPECT_EQ(FinishesReceived(farm->Unit(ch)), 1u) << ch;
  EXPECT_EQ(LinesEndingWith(notTaken), 2u);
}

// "Do Firmware Ppgrade" asks as well: it upgrades the linked units, and the
// search after those upgrades gives the unit left unlinked one more.
TEST_P(UpgradeNotTakenTest, TheUpgradeCommandAsksForOneMoreUpgradeToo) {
  ASSERT_NO_FATAL_FAILURE(UpgradeOnceNotTaken());

  window->DoFirmwarePpgrade1->trigger();
  ASSERT_TRUE(WaitFor([&] { return LinesEndingWith(notTaken) == 2; }));
  RunFor(1s);
  for (size_t ch = 0; ch < kUnits; ++ch) EXPECT_EQ(FinishesReceived(farm->Unit(ch)), 2u) << ch;
  EXPECT_EQ(LinesEndingWith(notTaken), 2u);
}

INSTANTIATE_TEST_SUITE_P(Versions, UpgradeNotTakenTest, ::testing::Values("V1.0", "1.0"),
                         [](const auto& info) { return std::string(info.index == 0 ? "OldVersion" : "NoBlankAndV"); });

}  // namespace
