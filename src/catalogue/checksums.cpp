#include "catalogue/checksums.h"

namespace {
constexpr uint16_t kCrc16Polynomial = 0x1021;
constexpr uint16_t kCrc16Start = 0xFFFF;
// Offsets above this name no address of any chip; a range reaching past it is
// refused rather than summed.
constexpr uint32_t kLastSummableOffset = 0xFFFFFF;

constexpr std::array<uint16_t, 256> MakeCrc16Table() {
  std::array<uint16_t, 256> table{};
  for (unsigned k = 0; k < 256; ++k) {
    uint16_t reg = static_cast<uint16_t>(k << 8);
    for (int bit = 0; bit < 8; ++bit)
      reg = static_cast<uint16_t>((reg & 0x8000) ? (reg << 1) ^ kCrc16Polynomial : reg << 1);
    table[k] = reg;
  }
  return table;
}
}  // namespace

constinit const std::array<uint16_t, 256> Crc16Table = MakeCrc16Table();

uint32_t SumRange(const uint8_t* buffer, uint32_t first, uint32_t last) {
  if (first > kLastSummableOffset || last > kLastSummableOffset || last < first) return 0;
  uint32_t sum = 0;
  for (uint32_t i = first; i <= last; ++i) sum += buffer[i];
  return sum;
}

uint16_t Crc16Range(const uint8_t* buffer, uint32_t first, uint32_t last) {
  uint16_t reg = kCrc16Start;
  if (last < first) return reg;
  // A 64-bit index, so that a last offset of 0xFFFFFFFF still ends the loop.
  for (uint64_t i = first; i <= last; ++i)
    reg = static_cast<uint16_t>((reg << 8) ^ Crc16Table[(reg >> 8) ^ buffer[i]]);
  return reg;
}
