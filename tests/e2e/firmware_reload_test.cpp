// The upgrade command run again while a unit is still being upgraded, with a
// new image file in the program folder: the running upgrade keeps sending the
// image it started with, whole, and the command waits for it to end. Eight
// linked simulated units on real pseudo-terminals, the unit on channel 0
// acknowledging every block late.
#include <QAction>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstring>

#include "support/eight_channels.h"

namespace {

using namespace std::chrono_literals;

constexpr char kWaitLine[] = "Firmware Upgrade Running, Waiting......";
constexpr auto kAckDelay = 100ms;

// Blocks one upgrade sent to a unit, in arrival order.
using Upgrade = std::vector<SimFirmwareBlock>;

// The upgrades a unit received, each ended by its finish packet.
std::vector<Upgrade> UpgradesReceived(const SimUnit& unit) {
  std::vector<Upgrade> upgrades;
  Upgrade running;
  for (const SimPacket& packet : unit.Log()) {
    if (packet.Command() == kCmdFirmwareBlock) {
      const auto block = SimUnmaskFirmwareBlock(packet.bytes);
      EXPECT_TRUE(block.has_value());
      if (block) running.push_back(*block);
    } else if (packet.Command() == kCmdFirmwareFinish) {
      upgrades.push_back(std::move(running));
      running.clear();
    }
  }
  EXPECT_TRUE(running.empty()) << "blocks after the last finish";
  return upgrades;
}

class FirmwareReloadTest : public EightChannelTest {
 protected:
  void SetUp() override {
    EightChannelTest::SetUp();
    ShowAndSearch();
    farm->ForEach([](SimUnit& unit) { unit.ClearLog(); });
  }

  // Starts the upgrade of every unit with image A; channel 0's unit answers
  // each block kAckDelay late, and from the fourth on holds its answer until
  // the test lets the upgrade go on (RunCommandMidUpgrade), so that no load
  // ends the upgrade before the test is done with it. Returns once that unit
  // holds a few blocks and still waits for the rest.
  void StartSlowUpgrade() {
    PlaceFirmware(bodyA, "V1.1");
    for (int i = 0; i < 12; ++i) {  // the first upgrade's blocks
      SimFault late{.kind = SimFaultKind::kLateReply, .command = kCmdFirmwareBlock, .delay = kAckDelay};
      if (i >= 3) late.heldUntil = [this] { return goOn.load(); };
      farm->Unit(0).AddFault(late);
    }
    window->DoFirmwarePpgrade1->trigger();
    ASSERT_EQ(g.ImageValid, 1);
    imageA.assign(FirmwareImage, FirmwareImage + kFirmwareImageBytes);
    blocks = g.BlockCount[0];
    ASSERT_EQ(blocks, 12);  // (12000 - 1) >> 10, plus one
    ASSERT_TRUE(WaitFor([&] { return farm->Unit(0).FirmwareBlocksReceived() >= 4; }));
    ASSERT_EQ(g.ChannelState[0], TChannelState::FirmwareUpgrade);
  }

  // The run's command again, twice: one wait, logged once.
  void RunCommandMidUpgrade() {
    window->DoFirmwarePpgrade1->trigger();
    window->DoFirmwarePpgrade1->trigger();
    EXPECT_EQ(WaitLines(), 1);
    // Nothing of the running upgrade's image has changed.
    EXPECT_EQ(g.ImageValid, 1);
    EXPECT_EQ(std::string(g.FirmwareVersion), "V1.1");
    EXPECT_EQ(Bytes(FirmwareImage, FirmwareImage + kFirmwareImageBytes), imageA);
    EXPECT_EQ(g.ChannelState[0], TChannelState::FirmwareUpgrade);
    goOn = true;
  }

  int WaitLines() const {
    const auto lines = window->InfoMemo().Lines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.ends_with(kWaitLine);
    }));
  }
  // The event loop must run meanwhile: it carries the replies to the upgrade.
  bool AllFinished(size_t upgrades) const {
    for (size_t ch = 0; ch < kUnits; ++ch)
      if (FinishesReceived(farm->Unit(ch)) != upgrades) return false;
    return true;
  }
  bool Waiting() const { return window->findChild<QTimer*>("FirmwareUpgradeWait") != nullptr; }

  // What block b of an image sends: the loaded bytes, every fourth one 0.
  static Bytes BlockOf(const Bytes& image, uint32_t b) {
    Bytes bytes(image.begin() + 2048 * b, image.begin() + 2048 * (b + 1));
    for (size_t i = 3; i < bytes.size(); i += 4) bytes[i] = 0;
    return bytes;
  }

  // The upgrade sent blocks 0.. in order, each of the image, and left the
  // unit's store (empty before) holding the image.
  void ExpectWhole(const Upgrade& upgrade, const Bytes& image) {
    ASSERT_EQ(upgrade.size(), blocks);
    Bytes store(kSimFirmwareBytes, 0);
    for (uint32_t b = 0; b < upgrade.size(); ++b) {
      EXPECT_EQ(upgrade[b].number, b);
      EXPECT_EQ(upgrade[b].bytes, BlockOf(image, b)) << "block " << b;
      std::copy(upgrade[b].bytes.begin(), upgrade[b].bytes.end(), store.begin() + 2048 * upgrade[b].number);
    }
    for (uint32_t b = 0; b < upgrade.size(); ++b) EXPECT_EQ(BlockOf(store, b), BlockOf(image, b)) << "stored block " << b;
  }

  const Bytes bodyA = PatternImage(12000, 21);
  const Bytes bodyB = PatternImage(12000, 22);
  Bytes imageA;
  size_t blocks = 0;
  std::atomic<bool> goOn{false};  // asked by channel 0's unit
};

TEST_F(FirmwareReloadTest, ANewImageWaitsUntilTheRunningUpgradeHasSentTheFirstWhole) {
  StartSlowUpgrade();
  PlaceFirmware(bodyB, "V1.2");
  RunCommandMidUpgrade();

  // The first upgrade ends on every unit, then the waiting command loads the
  // new image and upgrades every unit with it.
  ASSERT_TRUE(WaitFor([&] { return AllFinished(2); }));
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  EXPECT_FALSE(Waiting());
  EXPECT_EQ(std::string(g.FirmwareVersion), "V1.2");
  const Bytes imageB(FirmwareImage, FirmwareImage + kFirmwareImageBytes);
  // The two images differ in every block that carries body bytes (past the
  // file both are zeros), so a block of either tells which one it came from.
  for (uint32_t b = 0; b * 2048 < bodyA.size(); ++b) ASSERT_NE(BlockOf(imageA, b), BlockOf(imageB, b)) << "block " << b;

  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    const std::vector<Upgrade> upgrades = UpgradesReceived(farm->Unit(ch));
    ASSERT_EQ(upgrades.size(), 2u);
    ExpectWhole(upgrades[0], imageA);
    ExpectWhole(upgrades[1], imageB);
    const Bytes stored = farm->Unit(ch).Firmware();
    for (uint32_t b = 0; b < blocks; ++b) EXPECT_EQ(BlockOf(stored, b), BlockOf(imageB, b)) << "block " << b;
    EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
  }
}

TEST_F(FirmwareReloadTest, AnInvalidImageMidUpgradeChangesNothing) {
  StartSlowUpgrade();
  Bytes wrongMagic = BuildFirmwareImage(bodyB, "V1.2");
  wrongMagic[0] ^= 0x01;
  std::ofstream(folder + "GenXBEM.FWR", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(wrongMagic.data()), static_cast<std::streamsize>(wrongMagic.size()));
  RunCommandMidUpgrade();

  ASSERT_TRUE(WaitFor([&] { return AllFinished(1); }));
  ASSERT_TRUE(WaitFor([&] { return AllIdle() && !Waiting(); }));
  // Once no unit was upgraded any more, the command read the file, found no
  // image in it and started nothing.
  EXPECT_EQ(g.ImageValid, 0);
  RunFor(300ms);
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    const std::vector<Upgrade> upgrades = UpgradesReceived(farm->Unit(ch));
    ASSERT_EQ(upgrades.size(), 1u);
    ExpectWhole(upgrades[0], imageA);
    const Bytes stored = farm->Unit(ch).Firmware();
    for (uint32_t b = 0; b < blocks; ++b) EXPECT_EQ(BlockOf(stored, b), BlockOf(imageA, b)) << "block " << b;
    EXPECT_TRUE(ChannelLogged(ch, "Firmware Upgrade Completed!"));
  }
}

}  // namespace
