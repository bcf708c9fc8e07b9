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
// Threads: GUI thread only. channel is 0..7.

#include <cstdint>

// g.ChannelState codes. 0 (no code) until the channel's unit is identified.
inline constexpr uint8_t StateDownloadStart = 3;    // off-line information block sent
inline constexpr uint8_t StateDownloadFlash = 5;    // flash image sent, 4 KB a packet
inline constexpr uint8_t StateDownloadEep = 9;      // reserved: EEP image download
inline constexpr uint8_t StateErase = 19;           // chip erase
inline constexpr uint8_t StateBlankCheck = 21;      // blank check, also Auto Program's first step
inline constexpr uint8_t StateProgramFlash = 23;    // main flash programming, 4 KB a packet
inline constexpr uint8_t StateVerifyFlash = 25;     // main flash verification
inline constexpr uint8_t StateProgramEep = 26;      // reserved: EEP programming
inline constexpr uint8_t StateVerifyEep = 28;       // reserved: EEP verification
inline constexpr uint8_t StateWriteConfig = 35;     // chip configuration write
inline constexpr uint8_t StateReadAddress = 37;     // read from ReadAddress (console)
inline constexpr uint8_t StateReadFlash = 48;       // main flash read, 4 KB a packet
inline constexpr uint8_t StateReadEep = 51;         // EEP data read, 4 KB a packet
inline constexpr uint8_t StateReadChecksum = 53;    // the chip's CRC-16 (console)
inline constexpr uint8_t StateReadChipId = 57;      // the chip's ID (console)
inline constexpr uint8_t StateFirmwareUpgrade = 0xA0;
inline constexpr uint8_t StateIdle = 0xF0;          // unit identified, or the last step ended

// Expected step lengths in 10 ms timer ticks (also gauge maximum and
// time-out); steps that advance by blocks pass 0.
inline constexpr uint16_t kStepTicks = 500;        // 5 s
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
