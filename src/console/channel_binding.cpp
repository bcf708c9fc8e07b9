// The channel tables' reset, the binding of the port components and gauges to
// the channels, and the settings file.
#include <algorithm>

#include "console/connection_config.h"
#include "console/main_window.h"
#include "link/receive.h"
#include "toolkit/qt/gauge_widget.h"
#include "toolkit/text_file.h"

void TOrvantBEMxPrg::ClearChannelRuns(int channels) {
  for (int ch = 0; ch < channels; ++ch) {
    g.ChannelLinked[ch] = 0;
    g.ChannelAuto[ch] = 0;
    g.ChannelBusy[ch] = 0;
    g.BlockCount[ch] = 0;
    g.BlockIndex[ch] = 0;
  }
}

void TOrvantBEMxPrg::InitChannels() {
  g.TotalNg = 0;
  g.DeviceCount = 1;
  g.PortsFromConfig = 0;
  ClearChannelRuns(kChannelSlots);
  for (int ch = 0; ch < kChannelSlots; ++ch) g.ChannelUnready[ch] = 1;
  for (int ch = 0; ch < kChannels; ++ch) {
    g.ChannelComm[ch] = SPComm[ch];
    g.ChannelGauge[ch] = &Gauges[ch]->Model();
  }
  g.ChannelComm[kChannels] = nullptr;
  g.ChannelGauge[kChannels] = nullptr;
}

void TOrvantBEMxPrg::ReadConnectionConfig(const std::string& path) {
  g.PortsFromConfig = 0;
  comboBoxCOM_.Clear();
  ConnectionConfig config = ParseConnectionConfig(ReadTextLines(path));
  if (config.deviceCount) g.DeviceCount = *config.deviceCount;
  for (const ConfigPort& port : config.ports) {
    g.PortsFromConfig = 1;
    g.PortNames[port.channel] = port.name;
    comboBoxCOM_.Add(port.name);
    SetChannelCommName(port.channel, port.name);
  }
  comboBoxCOM_.SetText(g.PortNames[0]);
  configuredDeviceCount_ = g.DeviceCount;
  std::copy(g.PortNames, g.PortNames + kChannels, configuredPortNames_.begin());
}

void TOrvantBEMxPrg::RestoreConfiguredPorts() {
  g.DeviceCount = configuredDeviceCount_;
  for (int ch = 0; ch < kChannels; ++ch) {
    g.PortNames[ch] = configuredPortNames_[ch];
    SetChannelCommName(static_cast<uint8_t>(ch), g.PortNames[ch]);
  }
}

void TOrvantBEMxPrg::CreateSerialComponents() {
  for (int ch = 0; ch < kChannels; ++ch) {
    comms_[ch] = std::make_unique<TComm>();
    TComm& comm = *comms_[ch];
    ApplyChannelPortDefaults(comm, ch);
    const auto channel = static_cast<uint8_t>(ch);
    comm.OnReceiveData = [this, channel](TComm*, const uint8_t* buffer, uint16_t length) {
      SPCommReceiveData(channel, buffer, length);
    };
    comm.OnReceiveError = [this, channel](TComm*, uint32_t mask) { SPCommReceiveError(channel, mask); };
    comm.OnRequestHangup = [this, channel](TComm*) { SPCommRequestHangup(channel); };
    SPComm[ch] = &comm;
  }
}

void TOrvantBEMxPrg::SetChannelCommName(uint8_t channel, const std::string& name) {
  if (channel < kChannels) SPComm[channel]->SetCommName(name);
}

void TOrvantBEMxPrg::CloseOpenPorts() {
  for (TComm* comm : SPComm)
    if (comm->PortHandle() != 0) comm->ClosePort();
}

// Each port's events are those of its channel: the receive path does the work.
void TOrvantBEMxPrg::SPCommReceiveData(uint8_t channel, const uint8_t* buffer, uint16_t length) {
  ReceiveChannelBlock(channel, buffer, length);
}
void TOrvantBEMxPrg::SPCommReceiveError(uint8_t channel, uint32_t) { ReceiveChannelError(channel); }
