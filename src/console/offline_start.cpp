// The off-line start: every channel forgets its unit, the ports are listed
// again and each listed port gets the reset that starts its unit's off-line
// programming.
#include <chrono>
#include <thread>

#include "console/command_guards.h"
#include "console/main_window.h"
#include "link/commands.h"
#include "link/firmware.h"
#include "toolkit/gauge.h"

namespace {

using namespace std::chrono_literals;

// A unit answers the reset only once its port has settled after the open.
constexpr auto kOpenSettleTime = 30ms;
// Ticks of the channel time-out at the off-line start (3 s), as after an
// acknowledged programming block; the search gives its channels 500.
constexpr uint16_t kOfflineChannelTicks = 300;

// The device a listed port name stands for: the listing's own device folder
// (tests give one of their own); under /dev the name itself, which the serial
// component resolves there.
std::string ListedPortDevice(const std::string& deviceFolder, const std::string& name) {
  if (deviceFolder == kDeviceFolder || name.find('/') != std::string::npos) return name;
  return deviceFolder + "/" + name;
}

}  // namespace

void TOrvantBEMxPrg::StartOfflineProgrm1Click(QObject*) {
  LogLine("Start Off-Line Programming......");
  for (int ch = 0; ch < kChannels; ++ch) {
    EndLostUpgrade(static_cast<uint8_t>(ch));
    g.RxCount[ch] = 0;
    g.ChannelLinked[ch] = 0;
    g.ChannelBusy[ch] = 0;
    if (TGauge* gauge = g.ChannelGauge[ch]) gauge->SetProgress(0);
    if (SPComm[ch]->PortHandle() != 0) SPComm[ch]->ClosePort();
  }
  comboBoxCOM_.Clear();
  ListSerialPortsIntoComboBox();
  const int listed = ChannelsUpTo(static_cast<int>(comboBoxCOM_.Count()));
  for (int i = 0; i < listed; ++i) {
    const auto ch = static_cast<uint8_t>(i);
    g.ChannelTimer[ch] = kOfflineChannelTicks;
    g.PortNames[ch] = comboBoxCOM_.Items()[ch];
    SPComm[ch]->SetCommName(ListedPortDevice(PortDeviceFolder, g.PortNames[ch]));
    SPComm[ch]->OpenPort();  // ECommsError ends the loop and the handler here
    std::this_thread::sleep_for(kOpenSettleTime);
    if (SPComm[ch]->PortHandle() != 0) SendReset(ch);
    if (i >= g.DeviceCount - 1) break;
  }
}
