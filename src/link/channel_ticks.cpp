#include "link/channel_ticks.h"

#include "link/channel_log.h"
#include "link/firmware.h"
#include "shared/main_window.h"
#include "shared/state.h"
#include "toolkit/format.h"
#include "toolkit/gauge.h"

namespace {

constexpr uint8_t kTimeoutCode = 1;

bool GaugeFull(const TGauge& gauge) { return gauge.Progress() >= gauge.MaxValue(); }

// Whether this tick counts the channel's time-out down: a time-driven gauge
// first has to be full, so its own run is not part of the time-out.
bool CountsDown(uint8_t channel, bool gaugeWasFull) {
  return g.ChannelTickProgress[channel] == 0 || g.ChannelGauge[channel] == nullptr || gaugeWasFull;
}

void TimeOut(uint8_t channel) {
  if (g.OrvantBEMxPrg) g.OrvantBEMxPrg->LogLine(Format(kChannelTimeoutFormat, {channel + 1}));
  EndLostUpgrade(channel);
  EndChannelProgress(kTimeoutCode, channel);
}

void TickChannel(uint8_t channel) {
  TGauge* gauge = g.ChannelGauge[channel];
  const bool gaugeWasFull = gauge && GaugeFull(*gauge);
  if (g.ChannelTickProgress[channel] != 0 && gauge) gauge->AddProgress(1);
  if (!CountsDown(channel, gaugeWasFull)) return;
  // 0 is no time-out at all (an ended step leaves it so): only the count that
  // runs out times the step out.
  if (g.ChannelTimer[channel] == 0) return;
  g.ChannelTimer[channel] -= 1;
  if (g.ChannelTimer[channel] == 0) TimeOut(channel);
}

}  // namespace

void AdvanceChannelTicks() {
  for (uint8_t ch = 0; ch < kChannels; ++ch)
    if (g.ChannelBusy[ch] != 0) TickChannel(ch);
}
