#pragma once
// What the channel commands check before they start anything. GUI thread.

#include <cstdint>

#include "shared/state.h"

// Each shows its information box (one OK button) and returns false when the
// command must stop there.
bool ChipChosenOrSay();  // "请选择并确认芯片型号！" while no chip is chosen
bool DataLoadedOrSay();  // "请加载目标文件！" while no data are loaded

// A channel count as a loop bound: never past the channels that exist.
inline int ChannelsUpTo(int count) { return count < kChannels ? count : kChannels; }

// True when the command may start a step on the channel: its unit is
// identified and no step of its own is running.
inline bool ChannelReady(uint8_t ch) { return g.ChannelLinked[ch] != 0 && g.ChannelBusy[ch] == 0; }
