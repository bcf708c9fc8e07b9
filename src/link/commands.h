#pragma once
// Command packets to a programmer unit: the chip parameter block, the
// off-line information block and every sender of a command (the identify
// request and the firmware commands excepted).
//
// Every sender builds its packet in g.TxPacket[ch] from offset 0 (header,
// payload, packet CRC over exactly the bytes sent), frames it into
// g.TxFrame[ch] and hands the frame to the channel's TComm. Payload bytes that
// a command does not define are sent as zeros, never as what an earlier packet
// or reply left in the slot. Every write stays inside the channel's slot, and
// a data block that reaches past FlashImage or EepImage reads nothing past the
// image: its missing bytes are sent as zeros.
//
// Random bytes come from the program's one generator (Random); the order of
// draws is fixed per builder and shows on the wire, see each builder.
//
// Threads: GUI thread only.
// Channels: ch is 0..7 (IsChannel); for any other ch a sender sends nothing
// and returns false, and a builder writes and draws nothing.
// Results: a sender returns what SendData returned (true when the frame was
// queued for the writer thread); false as well when the channel has no
// component. Nothing is reported.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "link/wire.h"

// Command codes, operations and packet layout sizes are the wire's
// (link/wire.h), shared with the simulated unit.

// Block numbers count kilobytes: a 4 KB block is numbered by its first one.
inline constexpr size_t kBlockUnitBytes = 1024;

// Payload lengths by command.
inline constexpr uint16_t kOpPayloadBytes = 208;        // 0x93 / 0x9B / 0x9D
inline constexpr uint16_t kReadPayloadBytes = 64;       // 0x93 read from address
inline constexpr uint16_t kConfigPayloadBytes = 192;    // 0x93 'S'
inline constexpr uint16_t kProgramPayloadBytes = 4176;  // 0x95 / 0x99
inline constexpr uint16_t kDownloadPayloadBytes = 4096; // 0x55 / 0x5A
inline constexpr uint16_t kOfflinePayloadBytes = 1024;  // 0x53
inline constexpr uint16_t kResetPayloadBytes = 2;

// Senders. argument is the packet's 16-bit argument (block number, operation
// or random value, by command).
//
// code 0x93 / 0x9B / 0x9D: the parameter block, then 128 zero bytes.
bool SendOpCommand(uint8_t code, uint16_t argument, uint8_t ch);
// code 0x95: 4 KB of FlashImage from offset block * 1024 + (baseAddress with
// its low four bits cleared); code 0x99: 4 KB of EepImage from offset
// block * 1024 (EepImage holds the EEP byte of EepStart + i at offset i, so
// baseAddress, EepStart, cancels). block is g.BlockIndex[ch] modulo 4096.
bool SendProgramBlock(uint8_t code, uint16_t argument, uint32_t baseAddress, uint8_t ch);
// The configuration write: parameter block, then 112 zero bytes.
bool SendConfigCommand(uint8_t ch);
// 4 KB of FlashImage from offset argument * 1024 + (baseAddress & ~0xF).
bool SendFlashDownloadBlock(uint8_t code, uint16_t argument, uint32_t baseAddress, uint8_t ch);
// 4 KB of EepImage from offset argument * 1024 (baseAddress: EepStart, which
// cancels as for 0x99).
bool SendEepDownloadBlock(uint8_t code, uint16_t argument, uint32_t baseAddress, uint8_t ch);
// The off-line information block and a copy of it, masked with the key bytes
// of argument (which the caller draws).
bool SendOfflineInfo(uint8_t code, uint16_t argument, uint8_t ch);
// The 12-byte reset packet; no reply is awaited.
bool SendReset(uint8_t ch);
// The first 64 bytes of a parameter block with g.ReadAddress at payload
// offsets 48..51 and g.ReadLength at 52..53.
bool SendReadCommand(uint8_t code, uint16_t argument, uint8_t ch);

// Writes the 80-byte chip parameter block at g.TxPacket[ch][offset..], drawing
// the random bytes at block offsets 6, 10 and 11 in that order. An offset that
// leaves no room for the block in the slot writes and draws nothing.
void BuildParamBlock(size_t offset, uint16_t argument, uint8_t ch);
// Writes the 512-byte off-line information block at g.TxPacket[ch][8..].
// Draws: the block's argument (range 65535), the parameter block's three
// bytes, then the 161 filler bytes in ascending order. Also used by the
// project writer (channel 0).
void BuildOfflineInfo(uint8_t ch);
// BuildOfflineInfo for channel 0, then its 512 bytes copied to `block`: the
// block a project file stores (block holds at least kOfflineInfoBytes).
void CopyOfflineInfoBlock(uint8_t* block);
// Writes text as a field of fieldLength bytes at g.TxPacket[ch][offset..]:
// bytes up to the first zero, cut at fieldLength (at the last whole UTF-8
// character that fits, see FittingUtf8Bytes), zero-padded; an empty text is
// "?" and zeros. The field is clipped to the slot.
void PutStringField(std::string_view text, size_t offset, size_t fieldLength, uint8_t ch);

// The two key bytes that mask the off-line information packet of argument:
// each argument byte (low, high) xor its fixed wire byte, top bit set.
std::array<uint8_t, 2> OfflineKeyBytes(uint16_t argument);

// Finishes the packet g.TxPacket[ch][0..packetBytes) with its packet CRC at
// packetBytes, frames the packetBytes + 2 bytes into g.TxFrame[ch] and sends
// the frame: the end of every command packet. False, with nothing written,
// for a packet of 0 bytes or one whose CRC would not fit in the slot.
bool SendPacketWithCrc(uint8_t ch, size_t packetBytes);

// The one place where a framed command leaves: hands g.TxFrame[ch][0..length)
// to the channel's component. False when the channel has no component, and
// for a length of 0 (nothing framed) or past the frame slot.
bool SendChannelFrame(uint8_t ch, size_t length);
