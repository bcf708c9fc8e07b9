#pragma once
// The work of the main window's 10 ms tick over the channel tables: gauges of
// steps that advance by time, and the channel time-out. GUI thread only.
//
// ChannelTimer[ch] is a time-out in 10 ms ticks. The steps load it (their tick
// count or 500 at the start, 1,000 whenever bytes arrive, 300 after an
// acknowledged programming block, 0 at the end); each tick counts it down by
// one for a busy channel. A channel whose gauge advances by ticks is counted
// down only once that gauge was full at the start of the tick, so such a step
// gets its nominal time to fill the gauge and as much again before it times
// out. A channel without a bound gauge is counted down on every tick.

#include <cstdint>

// "C%d ：操作超时！" with the channel shown as 1..8.
inline constexpr const char* kChannelTimeoutFormat = "C%d ：操作超时！";

// One 10 ms tick for channels 0..7: every busy channel with tick progress
// advances its gauge by one (the gauge clamps at its maximum); every busy
// channel's running time-out is counted down, and a channel whose count runs
// out (reaches 0 on this tick) logs kChannelTimeoutFormat to the window log
// (g.OrvantBEMxPrg, when bound) and ends its step with EndChannelProgress(1):
// idle, not busy, a red full gauge; an upgrade is ended as lost first. A
// time-out of 0 is none: such a channel is never timed out. Idle channels are
// not touched.
void AdvanceChannelTicks();
