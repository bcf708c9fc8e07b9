#pragma once
// What the channel commands check before they start anything. GUI thread.

#include <cstdint>

#include "link/operation_steps.h"
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

// The job's image (FlashImage and EepImage, with the chip, its parameters and
// the image checksums) is shared by every channel as data under a
// readers-and-writer lock are: commands that send it to units may run side by
// side, a command that changes it runs only while nothing uses it.
enum class TImageUse {
  // Sends the image or its checksums to units: Auto Program, the download,
  // programming and verification. Blank check and erase carry neither.
  Send,
  // Changes it: the loads, the project open, the chip button, the fixed
  // serial-number data and the chip memory read.
  Change,
};

// The lines a refused command writes, the only thing it does.
inline constexpr const char* kChannelsBusyText = "Programmer Busy, Data Not Changed!";
inline constexpr const char* kImageBeingReadText = "Reading Chip Memory, Data Not Sent!";
// A line of channel 0: a read there would take over its step's replies.
inline constexpr const char* kReadChannelBusyText = "Programmer Busy, Chip Not Read!";

// True while a step of any kind runs on any channel: a single step, Auto
// Program, a download, a read or a firmware upgrade.
inline bool AnyChannelBusy() {
  for (int ch = 0; ch < kChannels; ++ch)
    if (g.ChannelBusy[ch] != 0) return true;
  return false;
}

// True while a chip read fills FlashImage or EepImage on any channel: what a
// send would carry then is partly the old job and partly the chip's.
inline bool ImageBeingRead() {
  for (int ch = 0; ch < kChannels; ++ch)
    if (g.ChannelBusy[ch] != 0 &&
        (g.ChannelState[ch] == TChannelState::ReadFlash || g.ChannelState[ch] == TChannelState::ReadEep))
      return true;
  return false;
}

// True when a command of that use may go ahead. A change is refused while any
// step runs, since a running step sends its blocks one reply at a time and a
// change now would give its chip part of one job and part of another (and a
// chip read would take the new job's place); a send is refused while a chip
// read fills the image. When refused: logs kChannelsBusyText or
// kImageBeingReadText to window (when there is one) and returns false, and
// the command must do nothing else.
inline bool ImageFreeOrLog(TImageUse use, IMainWindow* window) {
  const bool inUse = use == TImageUse::Change ? AnyChannelBusy() : ImageBeingRead();
  if (!inUse) return true;
  if (window != nullptr) window->LogLine(use == TImageUse::Change ? kChannelsBusyText : kImageBeingReadText);
  return false;
}
