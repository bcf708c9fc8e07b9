#pragma once
// What the channel commands check before they start anything. GUI thread.

#include <cstdint>

#include "shared/main_window.h"
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

// The one line that the commands changing the job write while a channel works.
inline constexpr const char* kChannelsBusyText = "Programmer Busy, Data Not Changed!";

// True while a step of any kind runs on any channel: a single step, Auto
// Program, a download, a read or a firmware upgrade.
inline bool AnyChannelBusy() {
  for (int ch = 0; ch < kChannels; ++ch)
    if (g.ChannelBusy[ch] != 0) return true;
  return false;
}

// For the commands that change FlashImage, EepImage, the chip or its
// parameters (the loads, the project open, the chip button, the fixed
// serial-number data, the chip memory read): a running step sends its blocks
// from them one reply at a time, so a change now would give its chip part of
// one job and part of another. While any channel is busy: logs
// kChannelsBusyText to window (when there is one) and returns false, and the
// command must do nothing else.
inline bool ChannelsIdleOrLog(IMainWindow* window) {
  if (!AnyChannelBusy()) return true;
  if (window != nullptr) window->LogLine(kChannelsBusyText);
  return false;
}
