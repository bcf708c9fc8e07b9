// Random and truncated input for the decoder and the frame cutter: whatever
// arrives, no write passes the destination slot (canary bytes behind it, and
// the sanitizer build on top), counts never grow, and every result is one the
// callers know.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "link/framing.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kCanary = 0x5C;
constexpr size_t kCanaryBytes = 32;
constexpr int kRounds = 3000;
constexpr uint32_t kSeeds[] = {1, 20240521, 0xC0FFEE};

// Bytes biased toward the framing bytes, which is where the decoder branches.
Bytes RandomBytes(std::mt19937& rng, size_t n) {
  static const uint8_t kSpecial[] = {0xC0, 0xDB, 0xDC, 0xDD, 0xFF, 0x00};
  Bytes out(n);
  for (uint8_t& b : out) {
    const uint32_t pick = rng() % 4;
    b = pick == 0 ? kSpecial[rng() % sizeof kSpecial] : static_cast<uint8_t>(rng());
  }
  return out;
}

Bytes WithCanary(size_t capacity) {
  Bytes slot(capacity + kCanaryBytes, 0);
  std::fill(slot.begin() + capacity, slot.end(), kCanary);
  return slot;
}

bool CanaryIntact(const Bytes& slot, size_t capacity) {
  return std::all_of(slot.begin() + capacity, slot.end(), [](uint8_t b) { return b == kCanary; });
}

class FramingFuzz : public testing::TestWithParam<uint32_t> {};

TEST_P(FramingFuzz, SlipDecodeStaysInsideItsSlot) {
  std::mt19937 rng(GetParam());
  for (int round = 0; round < kRounds; ++round) {
    Bytes source = RandomBytes(rng, rng() % 600);
    const size_t capacity = rng() % 64;
    Bytes decoded = WithCanary(capacity);
    uint16_t length = 0xBEEF;
    const uint16_t before = static_cast<uint16_t>(source.size());
    uint16_t count = before;
    const uint8_t result = SlipDecode(source.data(), decoded.data(), capacity, length, count);
    ASSERT_TRUE(result == kFrameOk || result == kFrameIncomplete || result == kFrameBad);
    ASSERT_TRUE(CanaryIntact(decoded, capacity)) << "round " << round;
    ASSERT_LE(count, before);
    if (result == kFrameIncomplete) {
      ASSERT_EQ(count, before);
      ASSERT_EQ(length, 0xBEEF);
    } else {
      ASSERT_LE(length, capacity);
      ASSERT_LT(count, before);
    }
    if (result == kFrameOk) {
      ASSERT_GE(length, 8);
    }
  }
}

TEST_P(FramingFuzz, TruncatedFramesNeverDecodeAsPackets) {
  std::mt19937 rng(GetParam());
  for (int round = 0; round < kRounds / 10; ++round) {
    const Bytes packet = RandomBytes(rng, 8 + rng() % 200);
    Bytes frame(MaxFrameBytes(packet.size()));
    frame.resize(SlipEncode(packet.data(), frame.data(), packet.size(), frame.size()));
    const size_t closing = frame.size() - 6;  // index of the closing 0xC0
    for (size_t cut = 0; cut <= closing; ++cut) {
      Bytes source(frame.begin(), frame.begin() + cut);
      Bytes decoded = WithCanary(packet.size());
      uint16_t length = 0;
      uint16_t count = static_cast<uint16_t>(cut);
      const uint8_t result = SlipDecode(source.data(), decoded.data(), packet.size(), length, count);
      ASSERT_EQ(result, kFrameIncomplete) << "cut at " << cut;
      ASSERT_TRUE(CanaryIntact(decoded, packet.size()));
    }
  }
}

TEST_P(FramingFuzz, ExtractFrameStaysInsideItsSlot) {
  std::mt19937 rng(GetParam());
  for (int round = 0; round < kRounds; ++round) {
    const Bytes rx = RandomBytes(rng, rng() % 800);
    const size_t capacity = rng() % 48;
    Bytes frame = WithCanary(capacity);
    uint16_t position = static_cast<uint16_t>(rx.empty() ? 0 : rng() % rx.size());
    for (int cuts = 0; cuts < 50; ++cuts) {
      uint16_t length = 0;
      const uint16_t start = position;
      const bool found = ExtractFrame(rx.data(), static_cast<uint16_t>(rx.size()), position,
                                      frame.data(), capacity, length);
      ASSERT_TRUE(CanaryIntact(frame, capacity)) << "round " << round;
      ASSERT_LE(length, capacity);
      ASSERT_LE(position, rx.size());
      if (!found) break;
      ASSERT_GT(position, start);
      ASSERT_GE(length, 3);
      ASSERT_EQ(frame[0], 0xC0);
      ASSERT_EQ(frame[length - 1], 0xC0);
      ASSERT_TRUE(std::none_of(frame.begin() + 1, frame.begin() + length - 1,
                               [](uint8_t b) { return b == 0xC0; }));
    }
  }
}

TEST_P(FramingFuzz, CheckPacketReadsOnlyItsLength) {
  std::mt19937 rng(GetParam());
  for (int round = 0; round < kRounds; ++round) {
    // An exactly sized heap block: any read past length trips the sanitizer.
    const size_t n = rng() % 40;
    std::vector<uint8_t> reply = RandomBytes(rng, n);
    reply.shrink_to_fit();
    const uint8_t status = CheckPacket(reply.data(), static_cast<uint16_t>(n));
    if (n < 8) {
      ASSERT_EQ(status, kFrameBad);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, FramingFuzz, testing::ValuesIn(kSeeds));

}  // namespace
