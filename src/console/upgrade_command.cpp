// The command that upgrades the programmer units' firmware from the image
// file in the program folder.
#include "console/command_guards.h"
#include "console/main_window.h"
#include "link/firmware.h"
#include "toolkit/regular_file.h"

void TOrvantBEMxPrg::DoFirmwarePpgrade1Click(QObject*) {
  const std::string path = FirmwareImagePath();
  // As at start-up: a FIFO or a device under the name is no image.
  if (!IsRegularFile(path)) {
    LogLine(std::string("File of \"") + kFirmwareFileName + "\" not Found!");
    return;
  }
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
