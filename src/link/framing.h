#pragma once
// The packet CRC, SLIP framing and frame extraction: pure functions over byte
// buffers (the channel variant works on the channel's slots of the state).
//
// Packet: an 8-byte header (command, 16-bit argument, three chip bytes,
// 16-bit payload length n), n payload bytes, then the packet CRC of all bytes
// before it, low byte first: 10 + n bytes. Frame: 0xC0, the packet with 0xC0
// sent as DB DC and 0xDB as DB DD, 0xC0, then five 0xFF bytes (outside the
// frame; a receiver skips bytes before an opening 0xC0).
//
// Everything here is reentrant and keeps no state, except the channel
// ExtractFrame, which reads the channel's slots of `g` and so belongs to the
// GUI thread. None of these routines ever writes past the capacity it is
// given; a source is never read at or past the count it is given.

#include <cstddef>
#include <cstdint>

// Packet CRC of buffer[start..end], both ends included: start 0; per byte,
// shift right by one, xor the byte, xor 0x4A12 when the old value was odd.
uint16_t PacketCrcRange(const uint8_t* buffer, uint32_t start, uint32_t end);
// Two's complement of the 16-bit sum of buffer[start..end].
uint16_t PacketChecksum(const uint8_t* buffer, uint32_t start, uint32_t end);

// Results of SlipDecode; kFrameBad and kPacketCrcBad are also the device
// result codes the link itself reports.
inline constexpr uint8_t kFrameOk = 0;
inline constexpr uint8_t kFrameIncomplete = 32;
inline constexpr uint8_t kFrameBad = 42;
inline constexpr uint8_t kPacketCrcBad = 35;

// Bytes a frame of an n-byte packet may take at most: every byte escaped,
// both frame ends and the five trailing 0xFF bytes.
constexpr size_t MaxFrameBytes(size_t n) { return 2 * n + 7; }

// Encodes the first n packet bytes into frame, which holds frameCapacity
// bytes; returns the frame length, the five trailing 0xFF bytes included.
// When the whole frame does not fit, nothing is promised about frame's
// content and the result is 0 (nothing to send); it never writes past
// frameCapacity.
size_t SlipEncode(const uint8_t* packet, uint8_t* frame, size_t n, size_t frameCapacity);

// Takes the first frame out of source[0..count-1]: decodes its packet into
// decoded (decodedCapacity bytes) and removes the bytes consumed from source
// by moving the rest down (count is updated).
//  - 0: a frame of at least 8 decoded bytes; decodedLength is its length;
//       consumed: everything through its closing 0xC0.
//  - 42: a frame shorter than 8 decoded bytes (decodedLength holds its
//       length), a bad escape (decodedLength 0; consumed through the bad
//       byte), or a frame whose packet would not fit in decodedCapacity
//       (decodedLength 0; consumed through its closing 0xC0; decoded holds
//       its first decodedCapacity bytes).
//  - 32: no complete frame; nothing consumed, count and decodedLength
//       unchanged (decoded may have been written in part).
// A doubled opening 0xC0 counts as one opening; an escape byte right before
// the closing 0xC0 yields nothing.
uint8_t SlipDecode(uint8_t* source, uint8_t* decoded, size_t decodedCapacity,
                   uint16_t& decodedLength, uint16_t& count);

// Checks a decoded packet reply of length bytes: 42 when it is shorter than a
// header (8 bytes); 35 when its last two bytes (low first) are not the packet
// CRC of the bytes before them; else, when the header's length field is 1, the
// unit's result code at byte 8 (42 when the reply ends before byte 8 + its
// CRC); else 0. Reads only packet[0..length-1]. The header's length field is
// not compared with length.
uint8_t CheckPacket(const uint8_t* packet, uint16_t length);

// Cuts the next complete frame out of buffer[0..count-1] from position: the
// frame opens at the last 0xC0 of a run of 0xC0 bytes, holds at least one
// other byte and ends with the next 0xC0; it is copied with both ends into
// frame (frameCapacity bytes) and frameLength is its length. Returns true with
// position just past the closing 0xC0; false when no complete frame follows
// (position and frameLength then tell how far the scan went; callers keep
// the bytes from where the failed call began). A frame longer than
// frameCapacity is dropped: its bytes are passed over (never delivered) and
// the scan goes on after its closing 0xC0.
bool ExtractFrame(const uint8_t* buffer, uint16_t count, uint16_t& position, uint8_t* frame,
                  size_t frameCapacity, uint16_t& frameLength);

// The same over channel ch's slots: g.RxBuffer[ch], g.RxCount[ch] (taken as
// at most the buffer's size) and g.RxFrame[ch]. Channels 0..7; any other ch
// returns false. GUI thread only.
bool ExtractFrame(uint8_t ch, uint16_t& position, uint16_t& frameLength);
