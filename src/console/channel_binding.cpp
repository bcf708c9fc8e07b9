// The channel tables' reset, the binding of the port components and gauges to
// the channels, and the settings file.
#include "console/connection_config.h"
#include "console/main_window.h"
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
}

// Seam: the serial component is not bound yet. With it, each SPComm entry is
// a component of this window with its form values (1,000,000 baud, 8 data bits,
// no parity, 2 stop bits, DTR and RTS inactive, no flow control, read interval
// 5 ms on SPComm1..4 and 3 ms on SPComm5..8, CommName "COM2"), its events bound
// to thin SPCommNReceiveData / ReceiveError / RequestHangup bindings that call
// one per-channel routine.
void TOrvantBEMxPrg::CreateSerialComponents() {}

// Seam: SPComm[channel]->CommName = name once the component exists.
void TOrvantBEMxPrg::SetChannelCommName(uint8_t, const std::string&) {}
