#pragma once
// The unit's own framing and packet CRC. The program has its framing too; the
// unit does not borrow it, so that a fault in one end's framing shows as a
// disagreement on the line instead of being shared by both ends. Only the wire
// constants (link/wire.h) are common.
//
// Frame: 0xC0, the packet with 0xC0 sent as DB DC and 0xDB as DB DD, 0xC0.
// Packet CRC: from 0, per byte: shift right by one, xor the byte, and xor
// 0x4A12 when the value before the shift was odd.
//
// Pure functions and one small decoder object; nothing here is shared between
// threads.

#include <cstddef>
#include <cstdint>
#include <vector>

// Result codes the unit answers a bad frame or a bad packet CRC with.
inline constexpr uint8_t kSimFrameBad = 42;
inline constexpr uint8_t kSimPacketCrcBad = 35;
// The verify result of a chip whose CRC differs from the image's.
inline constexpr uint8_t kSimVerifyDiffers = 48;

uint16_t SimPacketCrc(const uint8_t* bytes, size_t n);

// The frame of a packet (no trailing bytes).
std::vector<uint8_t> SimFrame(const std::vector<uint8_t>& packet);

// A packet of header, payload and CRC: command, argument and chip bytes from
// the header given (up to 6 bytes, zero-filled), the payload length at byte 6.
// The payload is at most 65,535 bytes.
std::vector<uint8_t> SimPacketOf(const std::vector<uint8_t>& header,
                                 const std::vector<uint8_t>& payload);

// Cuts frames out of a byte stream, byte by byte. Bytes before an opening
// 0xC0 are skipped; in a run of 0xC0 bytes the frame opens at the last one; a
// frame with a bad escape, or longer than the capacity, is reported bad
// (kSimFrameBad) at its closing 0xC0 and the bytes it held are not kept.
class SimFrameReader {
 public:
  explicit SimFrameReader(size_t capacity) : capacity_(capacity) {}
  // True when b closed a frame; then Packet() and Result() describe it until
  // the next call.
  bool Take(uint8_t b);
  const std::vector<uint8_t>& Packet() const { return packet_; }
  uint8_t Result() const { return bad_ ? kSimFrameBad : 0; }
  // True between an opening 0xC0 and the frame's close.
  bool IsOpen() const { return open_; }

 private:
  size_t capacity_;
  std::vector<uint8_t> packet_;
  bool open_ = false;
  bool escape_ = false;
  bool bad_ = false;
  bool any_ = false;  // a byte other than 0xC0 since the opening
};
