#include "toolkit/random.h"

namespace {
uint32_t seed = 0;
// A byte draw never yields 255 and a word draw never 65535: the ranges are
// those the packets and files have always been drawn with.
constexpr uint32_t kByteRange = 255;
constexpr uint32_t kWordRange = 65535;
}  // namespace

uint32_t Random(uint32_t range) {
  seed = seed * 134775813u + 1u;
  return static_cast<uint32_t>((static_cast<uint64_t>(seed) * range) >> 32);
}

uint8_t RandomByte() { return static_cast<uint8_t>(Random(kByteRange)); }
uint16_t RandomWord() { return static_cast<uint16_t>(Random(kWordRange)); }

uint32_t RandSeed() { return seed; }
void SetRandSeed(uint32_t value) { seed = value; }
