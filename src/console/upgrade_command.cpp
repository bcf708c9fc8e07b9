// The command that upgrades the programmer units' firmware from the image
// file in the program folder.
#include <QTimer>

#include "console/command_guards.h"
#include "console/main_window.h"
#include "link/firmware.h"
#include "toolkit/regular_file.h"

namespace {

// How often a waiting command looks whether the running upgrades have ended.
constexpr int kUpgradeWaitPollMs = 100;
// Marks the window's one waiting command; repeated commands join it.
constexpr const char* kUpgradeWaitName = "FirmwareUpgradeWait";

}  // namespace

void TOrvantBEMxPrg::DoFirmwarePpgrade1Click(QObject*) {
  // A unit being upgraded must get its whole image from the one it started
  // with, and the loader refuses meanwhile: the command runs once no channel
  // upgrades any more, with the file as it is then.
  if (FirmwareUpgradeRunning()) {
    if (findChild<QTimer*>(kUpgradeWaitName, Qt::FindDirectChildrenOnly) != nullptr) return;
    LogLine("Firmware Upgrade Running, Waiting......");
    auto* wait = new QTimer(this);
    wait->setObjectName(kUpgradeWaitName);
    connect(wait, &QTimer::timeout, this, [this, wait] {
      if (FirmwareUpgradeRunning()) return;
      wait->stop();
      wait->setObjectName(QString());  // a command from now on waits afresh
      wait->deleteLater();
      DoFirmwarePpgrade1Click(nullptr);
    });
    wait->start(kUpgradeWaitPollMs);
    return;
  }
  const std::string path = FirmwareImagePath();
  // As at start-up: a FIFO or a device under the name is no image.
  if (!IsRegularFile(path)) {
    LogLine(std::string("File of \"") + kFirmwareFileName + "\" not Found!");
    return;
  }
  // The operator asks for it: units whose upgrade did not take get another.
  ForgetCompletedUpgrades();
  // An image that gives no upgrade is logged there, with its path and why.
  LoadFirmwareImageFile(path);
  if (g.ImageValid == 0) return;
  for (int i = 0; i < ChannelsUpTo(g.DeviceCount); ++i) {
    const auto ch = static_cast<uint8_t>(i);
    // A busy channel's step would lose its replies to the upgrade.
    if (!ChannelReady(ch)) continue;
    g.RxCount[ch] = 0;
    StartFirmwareUpgrade(ch);
  }
}
