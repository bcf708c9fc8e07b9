#include "catalogue/checksums.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

// The CRC computed bit by bit, without the table, to check the table-driven one.
uint16_t BitwiseCrc16(const std::vector<uint8_t>& bytes) {
  uint16_t reg = 0xFFFF;
  for (uint8_t b : bytes) {
    reg ^= static_cast<uint16_t>(b << 8);
    for (int bit = 0; bit < 8; ++bit) reg = static_cast<uint16_t>((reg & 0x8000) ? (reg << 1) ^ 0x1021 : reg << 1);
  }
  return reg;
}

TEST(Crc16Range, GivesTheCcittFalseCheckValueOf123456789) { EXPECT_EQ(Crc16Range(Bytes("123456789"), 0, 8), 0x29B1); }

TEST(Crc16Range, TakesOnlyTheNamedRangeOfTheBuffer) { EXPECT_EQ(Crc16Range(Bytes("xx123456789yy"), 2, 10), 0x29B1); }

TEST(Crc16Range, EmptyRangeGivesTheStartValue) {
  EXPECT_EQ(Crc16Range(Bytes("abc"), 2, 1), 0xFFFF);
  EXPECT_EQ(Crc16Range(Bytes("abc"), 0xFFFFFFFF, 0), 0xFFFF);
}

TEST(Crc16Range, AgreesWithTheBitwiseCrc) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 1024; ++i) bytes.push_back(static_cast<uint8_t>(i * 37 + (i >> 3)));
  EXPECT_EQ(Crc16Range(bytes.data(), 0, static_cast<uint32_t>(bytes.size() - 1)), BitwiseCrc16(bytes));
}

TEST(Crc16Table, IsTheMostSignificantBitFirstTableOf0x1021) {
  EXPECT_EQ(Crc16Table[0], 0x0000);
  EXPECT_EQ(Crc16Table[1], 0x1021);
  EXPECT_EQ(Crc16Table[2], 0x2042);
  EXPECT_EQ(Crc16Table[128], 0x9188);
  EXPECT_EQ(Crc16Table[255], 0x1EF0);
}

TEST(SumRange, SumsAndRefusesBadRanges) {
  std::vector<uint8_t> buffer(0x1000010, 0);
  buffer[0] = 0xFF;
  buffer[1] = 0xFF;
  buffer[2] = 0x02;
  buffer[0xFFFFFF] = 0x10;
  struct Case {
    uint32_t first, last, sum;
  };
  // clang-format off
  const Case cases[] = {
      {0,        0,         255},   // one byte, taken unsigned
      {0,        2,         512},
      {1,        0,         0},     // last below first
      {0xFFFFFF, 0xFFFFFF,  0x10},  // the highest offset still summed
      {0,        0x1000000, 0},     // last offset out of range
      {0x1000000, 0x1000001, 0},    // first offset out of range
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(SumRange(buffer.data(), c.first, c.last), c.sum) << c.first << ".." << c.last;
}

}  // namespace
