#pragma once
// Checksums of byte ranges of an image buffer. A range is given by its first
// and last offset, both included. Pure functions; any thread.
//
// Neither routine knows the buffer's size: the caller keeps the range inside
// it (FlashImage holds 4,194,304 bytes).

#include <array>
#include <cstdint>

// Most-significant-bit-first table of the polynomial 0x1021: entry k is the
// register after shifting the byte k, placed in the high byte, eight times
// through the polynomial (entry 1 is 0x1021, entry 2 is 0x2042).
extern const std::array<uint16_t, 256> Crc16Table;

// 32-bit wrapping sum of buffer[first..last], each byte 0..255. A range with
// an offset above 0xFFFFFF, or with last below first, gives 0.
uint32_t SumRange(const uint8_t* buffer, uint32_t first, uint32_t last);

// CRC-16/CCITT-FALSE of buffer[first..last]: start 0xFFFF, no reflection, no
// final xor. last below first takes no byte and gives 0xFFFF; the offsets are
// not otherwise tested.
uint16_t Crc16Range(const uint8_t* buffer, uint32_t first, uint32_t last);
