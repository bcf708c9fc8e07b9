// Finding the programmer units: the search button, the search over the listed
// ports, and what a hung-up line takes out of the list.
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>

#include "console/main_window.h"
#include "link/firmware.h"
#include "link/identify.h"
#include "link/operation_steps.h"
#include "toolkit/combo_box.h"
#include "toolkit/format.h"
#include "toolkit/gauge.h"

namespace {

// A freshly opened port settles before the request goes out.
constexpr auto kPortSettle = std::chrono::milliseconds(30);

// The last channel a search reaches: at least channel 0, never past the
// channels there are.
int LastChannelInUse() { return std::clamp(int{g.DeviceCount}, 1, kChannels) - 1; }

// The settings file's ports of the channels in use, listed again: each
// hang-up took an entry out, and the search goes no further than the list.
void ListConfiguredPorts(TComboBoxModel& box) {
  box.Clear();
  for (int ch = 0; ch <= LastChannelInUse(); ++ch)
    if (!g.PortNames[ch].empty()) box.Add(g.PortNames[ch]);
  box.SetText(g.PortNames[0]);
}

}  // namespace

void TOrvantBEMxPrg::BitBtnFindDevClick(QObject* Sender) {
  if (Sender != static_cast<QObject*>(Timer2)) ForgetCompletedUpgrades();
  for (int ch = 0; ch < kChannels; ++ch) {
    EndLostUpgrade(static_cast<uint8_t>(ch));
    g.RxCount[ch] = 0;
    g.ChannelLinked[ch] = 0;
    g.ChannelBusy[ch] = 0;
    if (TGauge* gauge = g.ChannelGauge[ch]) {
      gauge->SetProgress(0);
      gauge->SetForeColor(clBlue);
    }
    if (SPComm[ch]->PortHandle() != 0) SPComm[ch]->ClosePort();
  }
  if (g.PortsFromConfig == 0) {
    comboBoxCOM_.Clear();
    ListSerialPortsIntoComboBox();
  } else {
    RestoreConfiguredPorts();
    ListConfiguredPorts(comboBoxCOM_);
  }
  SearchDevices();
}

void TOrvantBEMxPrg::SearchDevices() {
  if (comboBoxCOM_.Count() == 0) return;
  g.FoundDevices = 0;
  const int last = LastChannelInUse();
  for (int i = 0; i <= last && static_cast<size_t>(i) < comboBoxCOM_.Count(); ++i) {
    TComm& comm = *SPComm[i];
    if (comm.PortHandle() != 0) comm.ClosePort();
    g.RxCount[i] = 0;
    g.ChannelTimer[i] = kStepTimeoutTicks;
    g.ChannelLinked[i] = 0;
    if (TGauge* gauge = g.ChannelGauge[i]) gauge->SetProgress(0);
    SetInfoPanelCaption("Searching Devices............");
    if (g.PortsFromConfig == 0) g.PortNames[i] = comboBoxCOM_.Items()[i];
    LogLine(Format("Checking Device %d In %s............", {i + 1, g.PortNames[i]}));
    comm.SetCommName(g.PortNames[i]);
    comm.OpenPort();
    std::this_thread::sleep_for(kPortSettle);
    if (comm.PortHandle() != 0) SendIdentify(static_cast<uint8_t>(i));
  }
}

// An unplugged unit: its port is freed, the channel unlinked and the port's
// entry (the one at the channel's place in the list now) taken out.
void TOrvantBEMxPrg::SPCommRequestHangup(uint8_t channel) {
  if (!IsChannel(channel)) return;
  EndLostUpgrade(channel);
  if (SPComm[channel]->PortHandle() != 0) SPComm[channel]->ClosePort();
  g.ChannelLinked[channel] = 0;
  comboBoxCOM_.Delete(channel);
  if (comboBoxCOM_.Count() == 0) comboBoxCOM_.SetText("请连接设备......");
}
