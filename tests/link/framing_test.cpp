#include "link/framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "shared/state.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kCanary = 0xA5;
constexpr size_t kCanaryBytes = 16;

// A destination of capacity bytes followed by canary bytes, so a test sees
// any write that passes the slot.
struct GuardedSlot {
  explicit GuardedSlot(size_t capacity) : capacity(capacity), bytes(capacity + kCanaryBytes, 0x11) {
    std::fill(bytes.begin() + capacity, bytes.end(), kCanary);
  }
  uint8_t* data() { return bytes.data(); }
  bool CanaryIntact() const {
    return std::all_of(bytes.begin() + capacity, bytes.end(), [](uint8_t b) { return b == kCanary; });
  }
  Bytes First(size_t n) const { return Bytes(bytes.begin(), bytes.begin() + n); }
  size_t capacity;
  Bytes bytes;
};

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A packet reply: header with the given length field, payload, packet CRC.
Bytes Reply(uint16_t lengthField, const Bytes& payload, bool rightCrc = true) {
  Bytes p = {0x93, 0x05, 0x00, 0x01, 0x02, 0x03, static_cast<uint8_t>(lengthField),
             static_cast<uint8_t>(lengthField >> 8)};
  p.insert(p.end(), payload.begin(), payload.end());
  uint16_t crc = PacketCrcRange(p.data(), 0, static_cast<uint32_t>(p.size() - 1));
  if (!rightCrc) crc ^= 0x0100;
  p.push_back(static_cast<uint8_t>(crc));
  p.push_back(static_cast<uint8_t>(crc >> 8));
  return p;
}

TEST(PacketCrcRange, MatchesTheKnownValuesAndRejectsBadRanges) {
  const Bytes abc = Text("abc");
  EXPECT_EQ(PacketCrcRange(abc.data(), 0, 2), 0x2543);
  for (uint8_t b : {0x00, 0x01, 0x7F, 0xC0, 0xFF}) {
    const uint8_t one[1] = {b};
    EXPECT_EQ(PacketCrcRange(one, 0, 0), b) << int{b};
  }
  const Bytes inside = Text("xxabcyy");
  EXPECT_EQ(PacketCrcRange(inside.data(), 2, 4), 0x2543);     // only the named range counts
  EXPECT_EQ(PacketCrcRange(abc.data(), 2, 1), 0);             // start = end + 1
  EXPECT_EQ(PacketCrcRange(abc.data(), 0, 0x1000000), 0);     // end past 24 bits
  EXPECT_EQ(PacketCrcRange(abc.data(), 0x1000000, 0x1000000), 0);
}

TEST(PacketChecksum, IsTheNegatedSixteenBitSum) {
  const Bytes abc = Text("abc");
  EXPECT_EQ(PacketChecksum(abc.data(), 0, 2), 0xFEDA);
  const Bytes inside = Text("xxabcyy");
  EXPECT_EQ(PacketChecksum(inside.data(), 2, 4), 0xFEDA);
  Bytes wraps(256, 0xFF);  // 0xFF00, plus 0xFF and 0x01: 0x10000
  wraps.push_back(0xFF);
  wraps.push_back(0x01);
  EXPECT_EQ(PacketChecksum(wraps.data(), 0, static_cast<uint32_t>(wraps.size() - 1)), 0);
  EXPECT_EQ(PacketChecksum(abc.data(), 2, 1), 0);
  EXPECT_EQ(PacketChecksum(abc.data(), 0, 0x1000000), 0);
}

TEST(SlipEncode, EscapesBothSpecialBytesAndAppendsTheTrailer) {
  const Bytes packet = {0xC0, 0xDB, 0x01};
  GuardedSlot frame(12);
  ASSERT_EQ(SlipEncode(packet.data(), frame.data(), packet.size(), frame.capacity), 12u);
  EXPECT_EQ(frame.First(12),
            (Bytes{0xC0, 0xDB, 0xDC, 0xDB, 0xDD, 0x01, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(frame.CanaryIntact());
}

TEST(SlipEncode, RefusesAFrameThatDoesNotFitAndWritesNothingPastTheSlot) {
  const Bytes allEscaped(100, 0xC0);
  for (size_t capacity : {0, 1, 50, 206}) {
    GuardedSlot frame(capacity);
    EXPECT_EQ(SlipEncode(allEscaped.data(), frame.data(), allEscaped.size(), capacity), 0u);
    EXPECT_TRUE(frame.CanaryIntact()) << capacity;
  }
  GuardedSlot exact(MaxFrameBytes(allEscaped.size()));
  EXPECT_EQ(SlipEncode(allEscaped.data(), exact.data(), allEscaped.size(), exact.capacity), 207u);
  EXPECT_TRUE(exact.CanaryIntact());
}

TEST(SlipEncode, TheLargestCommandFitsAFrameSlot) {
  const Bytes worst(4186, 0xDB);
  static uint8_t frame[kFrameBytes];
  EXPECT_EQ(SlipEncode(worst.data(), frame, worst.size(), kFrameBytes), MaxFrameBytes(4186));
}

struct DecodeCase {
  const char* name;
  Bytes source;
  size_t capacity;
  uint8_t result;
  uint16_t decodedLength;  // 0x7777: left as it was
  Bytes rest;              // source after the call
  Bytes decoded;           // checked when not empty
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class SlipDecodeCases : public testing::TestWithParam<DecodeCase> {};

TEST_P(SlipDecodeCases, DecodesConsumesAndReports) {
  const DecodeCase& c = GetParam();
  Bytes source = c.source;
  GuardedSlot decoded(c.capacity);
  uint16_t decodedLength = 0x7777;
  uint16_t count = static_cast<uint16_t>(source.size());
  EXPECT_EQ(SlipDecode(source.data(), decoded.data(), c.capacity, decodedLength, count), c.result);
  EXPECT_EQ(decodedLength, c.decodedLength);
  EXPECT_EQ(Bytes(source.begin(), source.begin() + count), c.rest);
  if (!c.decoded.empty()) {
    EXPECT_EQ(decoded.First(c.decoded.size()), c.decoded);
  }
  EXPECT_TRUE(decoded.CanaryIntact());
}

const Bytes kTen = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

INSTANTIATE_TEST_SUITE_P(
    Frames, SlipDecodeCases,
    testing::Values(
        DecodeCase{"DoubledOpening",
                   {0xC0, 0xC0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xC0, 0xFF}, 64, 0, 10, {0xFF}, kTen},
        DecodeCase{"ShortFrameAfterGarbage", {0xFF, 0xFF, 0xC0, 1, 2, 0xC0}, 64, 42, 2, {}, {1, 2}},
        DecodeCase{"BadEscape", {0xC0, 1, 0xDB, 5, 0xC0}, 64, 42, 0, {0xC0}, {}},
        DecodeCase{"NoClosingByte", {0xC0, 1, 2, 3}, 64, 32, 0x7777, {0xC0, 1, 2, 3}, {}},
        DecodeCase{"NoOpeningByte", {1, 2, 3}, 64, 32, 0x7777, {1, 2, 3}, {}},
        DecodeCase{"NothingAfterTheOpening", {0xFF, 0xC0}, 64, 32, 0x7777, {0xFF, 0xC0}, {}},
        DecodeCase{"NothingAfterADoubledOpening", {0xC0, 0xC0}, 64, 32, 0x7777, {0xC0, 0xC0}, {}},
        DecodeCase{"Empty", {}, 64, 32, 0x7777, {}, {}},
        DecodeCase{"TripleOpeningClosesAnEmptyFrame",
                   {0xC0, 0xC0, 0xC0, 1, 0xC0}, 64, 42, 0, {1, 0xC0}, {}},
        DecodeCase{"EscapeBeforeClosingYieldsNothing",
                   {0xC0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0xDB, 0xC0}, 64, 42, 7, {},
                   {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}},
        DecodeCase{"EscapesDecode",
                   {0xC0, 0xDB, 0xDC, 0xDB, 0xDD, 0xDC, 0xDD, 3, 4, 5, 6, 0xC0}, 64, 0, 8, {},
                   {0xC0, 0xDB, 0xDC, 0xDD, 3, 4, 5, 6}},
        DecodeCase{"ExactlyFillsTheSlot",
                   {0xC0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xC0}, 10, 0, 10, {}, kTen},
        DecodeCase{"TooLongForTheSlotIsABadFrame",
                   {0xC0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xC0, 0x77}, 9, 42, 0, {0x77},
                   {1, 2, 3, 4, 5, 6, 7, 8, 9}},
        DecodeCase{"TooLongAndUnclosedIsIncomplete",
                   {0xC0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 4, 32, 0x7777,
                   {0xC0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {}}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(SlipDecode, TakesOneFrameAtATime) {
  Bytes source = {0xC0, 1, 2, 3, 4, 5, 6, 7, 8, 0xC0, 0xFF, 0xC0, 9, 8, 7, 6, 5, 4, 3, 2, 0xC0};
  uint8_t decoded[16];
  uint16_t length = 0;
  uint16_t count = static_cast<uint16_t>(source.size());
  ASSERT_EQ(SlipDecode(source.data(), decoded, sizeof decoded, length, count), 0);
  EXPECT_EQ(Bytes(decoded, decoded + length), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  ASSERT_EQ(SlipDecode(source.data(), decoded, sizeof decoded, length, count), 0);
  EXPECT_EQ(Bytes(decoded, decoded + length), (Bytes{9, 8, 7, 6, 5, 4, 3, 2}));
  EXPECT_EQ(count, 0);
}

TEST(SlipDecode, GivesBackWhatSlipEncodeFramed) {
  Bytes packet;
  for (int i = 0; i < 300; ++i) packet.push_back(static_cast<uint8_t>(i * 37 + (i % 5 == 0 ? 0xC0 : 0)));
  packet[3] = 0xC0;
  packet[4] = 0xDB;
  Bytes frame(MaxFrameBytes(packet.size()));
  frame.resize(SlipEncode(packet.data(), frame.data(), packet.size(), frame.size()));
  Bytes decoded(packet.size());
  uint16_t length = 0;
  uint16_t count = static_cast<uint16_t>(frame.size());
  ASSERT_EQ(SlipDecode(frame.data(), decoded.data(), decoded.size(), length, count), 0);
  EXPECT_EQ(decoded, packet);
  EXPECT_EQ(count, 5);  // the trailer stays
}

struct CheckCase {
  const char* name;
  Bytes reply;
  uint8_t status;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class CheckPacketCases : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckPacketCases, GivesTheStatus) {
  const CheckCase& c = GetParam();
  EXPECT_EQ(CheckPacket(c.reply.data(), static_cast<uint16_t>(c.reply.size())), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, CheckPacketCases,
    testing::Values(CheckCase{"ResultByte", Reply(1, {6}), 6},
                    CheckCase{"ResultByteWrongCrc", Reply(1, {6}, false), 35},
                    CheckCase{"DataReply", Reply(4096, Bytes(4096, 0x5A)), 0},
                    CheckCase{"LengthFieldNotCompared", Reply(4096, {1, 2, 3}), 0},
                    CheckCase{"DataReplyWrongCrc", Reply(12, Bytes(12, 1), false), 35},
                    CheckCase{"ResultByteMissing", Reply(1, {}), 42},
                    CheckCase{"ShorterThanAHeader", Bytes{1, 2, 3, 4, 5}, 42},
                    CheckCase{"Empty", Bytes{}, 42}),
    [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

// ExtractFrame over explicit buffers.
struct Cut {
  bool found;
  uint16_t position;
  Bytes frame;
};

Cut CutFrom(const Bytes& buffer, uint16_t position, size_t capacity = 64) {
  GuardedSlot frame(capacity);
  uint16_t frameLength = 0xFFFF;
  const bool found = ExtractFrame(buffer.data(), static_cast<uint16_t>(buffer.size()), position,
                                  frame.data(), capacity, frameLength);
  EXPECT_TRUE(frame.CanaryIntact());
  EXPECT_LE(frameLength, capacity);
  return Cut{found, position, found ? frame.First(frameLength) : Bytes{}};
}

TEST(ExtractFrame, OpensAtTheLastOfARunAndStopsAfterTheClosingByte) {
  const Bytes rx = {0xFF, 0xFF, 0xC0, 0xC0, 0xC0, 0x41, 0x42, 0xC0, 0xFF};
  const Cut first = CutFrom(rx, 0);
  EXPECT_TRUE(first.found);
  EXPECT_EQ(first.frame, (Bytes{0xC0, 0x41, 0x42, 0xC0}));
  EXPECT_EQ(first.position, 8);
  EXPECT_FALSE(CutFrom(rx, 8).found);
}

TEST(ExtractFrame, CutsConsecutiveFramesAndSkipsGarbageBetween) {
  const Bytes rx = {1, 2, 0xC0, 0x41, 0xC0, 0xFF, 0xFF, 3, 0xC0, 0x42, 0x43, 0xC0};
  const Cut first = CutFrom(rx, 0);
  ASSERT_TRUE(first.found);
  EXPECT_EQ(first.frame, (Bytes{0xC0, 0x41, 0xC0}));
  const Cut second = CutFrom(rx, first.position);
  ASSERT_TRUE(second.found);
  EXPECT_EQ(second.frame, (Bytes{0xC0, 0x42, 0x43, 0xC0}));
  EXPECT_EQ(second.position, rx.size());
}

TEST(ExtractFrame, DropsAFrameLongerThanItsSlotAndFindsTheNext) {
  Bytes rx = {0xC0};
  rx.insert(rx.end(), 40, 0x55);
  rx.insert(rx.end(), {0xC0, 0xC0, 0x41, 0x42, 0xC0});
  const Cut cut = CutFrom(rx, 0, 16);
  ASSERT_TRUE(cut.found);
  EXPECT_EQ(cut.frame, (Bytes{0xC0, 0x41, 0x42, 0xC0}));
  EXPECT_EQ(cut.position, rx.size());
  // On its own the long frame yields nothing, and nothing passes the slot.
  EXPECT_FALSE(CutFrom(Bytes(rx.begin(), rx.begin() + 42), 0, 16).found);
  // A frame of exactly the slot's size is delivered.
  EXPECT_TRUE(CutFrom(Bytes(rx.begin(), rx.begin() + 42), 0, 42).found);
}

class ChannelFrames : public testing::Test {
 protected:
  void Receive(uint8_t ch, const Bytes& block) {
    std::copy(block.begin(), block.end(), g.RxBuffer[ch] + g.RxCount[ch]);
    g.RxCount[ch] = static_cast<uint16_t>(g.RxCount[ch] + block.size());
  }
  Bytes FrameOf(uint8_t ch, uint16_t length) { return Bytes(g.RxFrame[ch], g.RxFrame[ch] + length); }
};

TEST_F(ChannelFrames, EveryChannelCutsTheSameFrames) {
  const Bytes rx = {0xFF, 0xFF, 0xC0, 0xC0, 0xC0, 0x41, 0x42, 0xC0, 0xFF};
  for (uint8_t ch = 0; ch < kChannels; ++ch) {
    Receive(ch, rx);
    uint16_t position = 0;
    uint16_t length = 0;
    ASSERT_TRUE(ExtractFrame(ch, position, length)) << int{ch};
    EXPECT_EQ(FrameOf(ch, length), (Bytes{0xC0, 0x41, 0x42, 0xC0}));
    EXPECT_EQ(position, 8);
    EXPECT_FALSE(ExtractFrame(ch, position, length));
  }
}

TEST_F(ChannelFrames, AFrameSplitOverTwoBlocksCompletesOnTheSecond) {
  Receive(3, {0xC0, 0x41});
  uint16_t position = 0;
  uint16_t length = 0;
  EXPECT_FALSE(ExtractFrame(3, position, length));
  Receive(3, {0x42, 0xC0});  // the caller kept the first block's bytes
  position = 0;
  ASSERT_TRUE(ExtractFrame(3, position, length));
  EXPECT_EQ(FrameOf(3, length), (Bytes{0xC0, 0x41, 0x42, 0xC0}));
}

TEST_F(ChannelFrames, NeverReadsPastTheChannelsBuffer) {
  // A count beyond the buffer must not reach the next channel's bytes.
  const Bytes next = {0xC0, 0x41, 0x42, 0xC0};
  std::copy(next.begin(), next.end(), g.RxBuffer[1]);
  g.RxCount[0] = 0xFFFF;
  uint16_t position = 0;
  uint16_t length = 0;
  EXPECT_FALSE(ExtractFrame(0, position, length));
  EXPECT_LE(position, kRxBufferBytes);
}

TEST_F(ChannelFrames, ChannelsOutsideTheTableFindNothing) {
  uint16_t position = 0;
  uint16_t length = 7;
  EXPECT_FALSE(ExtractFrame(static_cast<uint8_t>(kChannels), position, length));
  EXPECT_FALSE(ExtractFrame(static_cast<uint8_t>(255), position, length));
  EXPECT_EQ(length, 0);
}

}  // namespace
