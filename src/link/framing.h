#pragma once
// The packet CRC, SLIP framing and frame extraction: pure functions over byte
// buffers (the channel variant works on the channel's slots of the state).

#include <cstddef>
#include <cstdint>

// Packet CRC of buffer[start..end], both ends included: start 0; per byte,
// shift right by one, xor the byte, xor 0x4A12 when the old value was odd.
uint16_t PacketCrcRange(const uint8_t* buffer, uint32_t start, uint32_t end);
// Two's complement of the 16-bit sum of buffer[start..end].
uint16_t PacketChecksum(const uint8_t* buffer, uint32_t start, uint32_t end);

// Encodes the first n packet bytes into frame, which holds frameCapacity
// bytes; returns the frame length. (Signatures are finalised with the code.)
