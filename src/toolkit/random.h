#pragma once
// The program's one pseudo-random generator: seed := seed * 134775813 + 1
// (mod 2^32), seed 0 at load and never reseeded by the program. A draw with
// range N advances the seed and yields the high 32 bits of seed * N, so
// 0 .. N-1. The order of draws shows in the bytes sent and written, so every
// drawing routine calls Random in the order its format fixes.
// GUI thread only (the seed is process-wide and unguarded).

#include <cstdint>

uint32_t Random(uint32_t range);
// One draw of range 255 (0..254) and of range 65535 (0..65534): the random
// bytes and words of the packets and files.
uint8_t RandomByte();
uint16_t RandomWord();

uint32_t RandSeed();
// Tests only: start a sequence afresh.
void SetRandSeed(uint32_t seed);
