#pragma once
// Wire constants that the program and the simulated programmer unit must
// agree on. Both ends include this one header.

#include <cstdint>

// Fixed bytes from which the two key bytes of the off-line information
// packet are made (key0 from the argument's low byte, key1 from its high byte).
inline constexpr uint8_t kOfflineKeyFixed0 = 0x5A;
inline constexpr uint8_t kOfflineKeyFixed1 = 0x3C;

// One-byte mask of the magic word "OrvFmWr" at the start of a firmware image;
// zero bytes are stored unmasked.
inline constexpr uint8_t kFirmwareMagicMask = 0xA7;

// Line rate of every channel, bits per second, and the bits one byte takes on
// the wire (start, 8 data, 2 stop).
inline constexpr uint32_t kLineBaud = 1000000;
inline constexpr uint32_t kBitsPerByte = 11;
