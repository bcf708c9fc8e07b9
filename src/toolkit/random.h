#pragma once
// The program's one pseudo-random generator: seed := seed * 134775813 + 1
// (mod 2^32), seed 0 at load and never reseeded by the program. A draw with
// range N advances the seed and yields the high 32 bits of seed * N, so
// 0 .. N-1. The order of draws shows in the bytes sent and written, so every
// drawing routine calls Random in the order its format fixes.

#include <cstdint>

uint32_t Random(uint32_t range);
uint32_t RandSeed();
// Tests only: start a sequence afresh.
void SetRandSeed(uint32_t seed);
