#pragma once
// The replies of an identified channel: each frame is decoded, step reports
// are shown, and any other reply goes with its status to the result handler of
// the step the channel is in (g.ChannelState). A handler moves a block
// transfer on, chains the next step (the Auto Program chain: blank check,
// erase when needed, program, verify, configuration write when
// InterfaceFlags bit 0x20 is set), logs the outcome and ends the step.
//
// Status (from CheckPacket): 35 packet CRC mismatch; the result byte of a
// one-byte reply; 0 for a reply that carries data. Acknowledgement handlers
// (download start, download, erase, blank check, programming, configuration)
// take 0 and 6 as success; data handlers (verify, reads, checksum, chip ID)
// take only 0 and then read the payload, which must hold every byte they read
// (else the step ends with 42); a read whose block does not fit FlashImage or
// EepImage ends with 85 and writes nothing. Every field is read before the
// next command is built, since a sender overwrites the channel's TxPacket,
// where the reply lies.
//
// Threads: GUI thread only. Every routine ignores a channel outside 0..7.

#include <cstdint>

// Bit of g.InterfaceFlags that adds the configuration write to Auto Program.
inline constexpr uint8_t kInterfaceWriteConfig = 0x20;

// Handles the frameLength-byte frame in g.RxFrame[channel] (consumed by the
// decoding): a frame that does not decode ends the step with the decoder's
// result; a step report (first byte 0xFD) is shown and changes nothing of the
// step; anything else goes to DispatchStepResult.
void HandleReply(uint8_t channel, uint16_t frameLength);

// Calls the handler of g.ChannelState[channel]; a state without a handler
// (read from address, idle, anything else) only clears ChannelBusy. The
// payload the handlers read is that of the reply HandleReply decoded last on
// the channel, its length kept in g.ReplyPayloadBytes (none before the first).
void DispatchStepResult(uint8_t status, uint8_t channel);

// The handlers, one per state.
void OnDownloadStartAck(uint8_t status, uint8_t channel);  // 3
void OnFlashDownloadAck(uint8_t status, uint8_t channel);  // 5
void OnEraseDone(uint8_t status, uint8_t channel);         // 19
void OnBlankCheckDone(uint8_t status, uint8_t channel);    // 21
void OnProgramFlashAck(uint8_t status, uint8_t channel);   // 23
void OnVerifyFlashDone(uint8_t status, uint8_t channel);   // 25
void OnWriteConfigDone(uint8_t status, uint8_t channel);   // 35
// A finished flash read computes the image checksums over the flash range,
// as a load does, and has the window show them and stop naming a file.
void OnReadFlashBlock(uint8_t status, uint8_t channel);    // 48
void OnReadEepBlock(uint8_t status, uint8_t channel);      // 51
void OnReadChecksumDone(uint8_t status, uint8_t channel);  // 53
void OnReadChipIdDone(uint8_t status, uint8_t channel);    // 57
