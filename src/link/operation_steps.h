#pragma once
// Channel state codes and the step starters of the operations on a channel.
//
// A starter puts the channel into its step's state, logs the step, starts the
// channel's gauge and time-out (BeginChannelProgress with the step's tick and
// RomSizeKB as block count) and sends the step's first command; block
// commands start at block 0. It checks nothing: the caller has made sure that
// the channel is linked and idle, or is continuing the channel's own chain.
// The reply is dispatched by the state; the reply handlers choose the next
// step. A starter ignores the send's outcome.
//
// Threads: GUI thread only. channel is 0..7 (IsChannel); a starter does
// nothing at all for any other channel.

#include <cstdint>

// g.ChannelState codes: the step a channel is in, by which its replies are
// dispatched. Unidentified until the channel's unit is identified.
enum class TChannelState : uint8_t {
  Unidentified = 0,
  DownloadStart = 3,    // off-line information block sent
  DownloadFlash = 5,    // flash image sent, 4 KB a packet
  DownloadEep = 9,      // reserved: EEP image download, never entered
  Erase = 19,           // chip erase
  BlankCheck = 21,      // blank check, also Auto Program's first step
  ProgramFlash = 23,    // main flash programming, 4 KB a packet
  VerifyFlash = 25,     // main flash verification
  ProgramEep = 26,      // reserved: EEP programming, never entered
  VerifyEep = 28,       // reserved: EEP verification, never entered
  WriteConfig = 35,     // chip configuration write
  ReadAddress = 37,     // read from ReadAddress (console)
  ReadFlash = 48,       // main flash read, 4 KB a packet
  ReadEep = 51,         // EEP data read, 4 KB a packet
  ReadChecksum = 53,    // the chip's CRC-16 (console)
  ReadChipId = 57,      // the chip's ID (console)
  FirmwareUpgrade = 0xA0,
  Idle = 0xF0,          // unit identified, or the last step ended
};

// The time-out of a channel waiting for its unit, in 10 ms ticks (5 s): of
// a block step's every block, of a firmware block, of a searched channel's
// identity reply and of a freshly identified unit.
inline constexpr uint16_t kStepTimeoutTicks = 500;

// Expected step lengths in 10 ms timer ticks (also gauge maximum and
// time-out); steps that advance by blocks pass 0.
inline constexpr uint16_t kStepTicks = kStepTimeoutTicks;  // 5 s
inline constexpr uint16_t kEraseTicks = 2000;      // 20 s
inline constexpr uint16_t kBlockStepTicks = 0;

// Download of the job to the unit: the off-line information packet with a
// fresh random argument (0..65534).
void StartDownload(uint8_t channel);
// The flash image for the unit, from block 0 of BaseAddress. Logs nothing.
void StartFlashDownload(uint8_t channel);
// Auto Program: ChannelAuto := 1, then the blank check.
void StartAutoProgram(uint8_t channel);
void StartErase(uint8_t channel);
void StartBlankCheck(uint8_t channel);
// Main flash programming from block 0 of BaseAddress.
void StartProgramFlash(uint8_t channel);
void StartVerifyFlash(uint8_t channel);
void StartWriteConfig(uint8_t channel);
void StartReadFlash(uint8_t channel);
// EEP read; its first block uses the same command as the later ones. Logs nothing.
void StartReadEep(uint8_t channel);
