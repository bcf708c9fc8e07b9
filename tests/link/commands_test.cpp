#include "link/commands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/checksums.h"
#include "link/comm.h"
#include "link/framing.h"
#include "shared/state.h"
#include "catalogue/chip_catalogue.h"
#include "simunit/sim_unit.h"
#include "support/gui_wait.h"
#include "toolkit/gui_queue.h"
#include "toolkit/random.h"
#include "toolkit/le_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;


Bytes Range(const uint8_t* p, size_t from, size_t count) { return Bytes(p + from, p + from + count); }

class CommandsTest : public ::testing::Test {
protected:
  void SetUp() override {
    ApplyStartUpChipValues();
    // A checksum word that shows whether the parameter block stands where it should.
    g.ImageCrc16 = 0xC3A5;
    // Every slot holds what an earlier reply could have left there.
    for (auto& slot : g.TxPacket) std::memset(slot, 0xEE, sizeof slot);
  }

  static const uint8_t* Packet(uint8_t ch) { return g.TxPacket[ch]; }
  // The packet's trailing CRC is that of every byte before it.
  static void ExpectPacketCrc(uint8_t ch, size_t packetBytes) {
    EXPECT_EQ(GetLe16(Packet(ch) + packetBytes - 2), PacketCrcRange(Packet(ch), 0, packetBytes - 3));
  }
  // A command's parameter block opens its payload: three zeros, the chip
  // bytes, argument 0 (only the information block carries a value there) and
  // the image checksum at 60.
  static void ExpectCommandParamBlock(uint8_t ch) {
    const uint8_t* b = Packet(ch) + 8;
    EXPECT_EQ(Range(b, 0, 6), (Bytes{0, 0, 0, g.ChipSeries, g.ChipType, g.ChipIndex}));
    EXPECT_EQ(GetLe16(b + 8), 0) << "argument of the parameter block";
    EXPECT_EQ(GetLe16(b + 60), 0xC3A5) << "image checksum";
  }
  static void ExpectZeros(uint8_t ch, size_t from, size_t count) {
    EXPECT_EQ(Range(Packet(ch), from, count), Bytes(count, 0)) << "from " << from;
  }
};

TEST_F(CommandsTest, ResetFramesItsTwelveBytesAndFiveTrailingFillBytesOnEveryChannel) {
  const Bytes expected = {0xC0, 0x8A, 0x52, 0x45, 0x53, 0x54, 0xA8, 0x02, 0x00, 0x00,
                          0x00, 0xCD, 0x02, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  for (uint8_t ch : {0, 3, 7}) {
    SendReset(ch);
    EXPECT_EQ(Range(g.TxFrame[ch], 0, expected.size()), expected) << "channel " << int{ch};
  }
}

TEST_F(CommandsTest, SenderWithoutComponentReportsNotQueued) {
  EXPECT_FALSE(SendReset(1));
}

TEST_F(CommandsTest, PacketWithCrcWritesItsCrcOnlyWhereTheSlotHoldsIt) {
  // The last packet that fits: its CRC takes the slot's last two bytes.
  const size_t largest = kTxPacketBytes - 2;
  SendPacketWithCrc(2, largest);
  ExpectPacketCrc(2, kTxPacketBytes);
  // One byte more, or nothing at all, is refused without a write.
  std::memset(g.TxPacket[2], 0xEE, kTxPacketBytes);
  EXPECT_FALSE(SendPacketWithCrc(2, largest + 1));
  EXPECT_FALSE(SendPacketWithCrc(2, 0));
  EXPECT_EQ(Range(Packet(2), kTxPacketBytes - 2, 2), Bytes(2, 0xEE));
  EXPECT_EQ(Range(Packet(3), 0, 2), Bytes(2, 0xEE)) << "the next slot is untouched";
}

struct OpCase {
  uint8_t Code;
  uint16_t Argument;
};

TEST_F(CommandsTest, OperationPacketsCarryHeaderParamBlockZeroTailAndCrc) {
  g.ChipType = 0x21;
  g.ChipIndex = 7;
  const OpCase cases[] = {{0x93, 5}, {0x93, 3}, {0x93, 85}, {0x93, 60}, {0x9B, 0x0104}, {0x9D, 12}};
  for (const auto& c : cases) {
    SendOpCommand(c.Code, c.Argument, 4);
    const Bytes header = {c.Code, static_cast<uint8_t>(c.Argument), static_cast<uint8_t>(c.Argument >> 8),
                          59, 0x21, 7, 0xD0, 0x00};
    EXPECT_EQ(Range(Packet(4), 0, 8), header);
    ExpectCommandParamBlock(4);
    ExpectZeros(4, 88, 128);
    ExpectPacketCrc(4, 218);
  }
}

TEST_F(CommandsTest, ReadCommandCarriesAddressAndLengthUnderItsCrc) {
  g.ReadAddress = 0x1000;
  g.ReadLength = 256;
  SendReadCommand(0x93, 121, 0);
  EXPECT_EQ(Range(Packet(0), 0, 3), (Bytes{0x93, 121, 0}));
  EXPECT_EQ(GetLe16(Packet(0) + 6), 64);
  EXPECT_EQ(Range(Packet(0), 56, 6), (Bytes{0x00, 0x10, 0x00, 0x00, 0x00, 0x01}));
  ExpectCommandParamBlock(0);
  ExpectPacketCrc(0, 74);
}

TEST_F(CommandsTest, ConfigurationCommandIsParamBlockZeroTailAndCrc) {
  SendConfigCommand(5);
  EXPECT_EQ(Range(Packet(5), 0, 8), (Bytes{0x93, 0x53, 0x00, 59, 0, 0, 0xC0, 0x00}));
  ExpectCommandParamBlock(5);
  ExpectZeros(5, 88, 112);
  ExpectPacketCrc(5, 202);
}

TEST_F(CommandsTest, ParamBlockFromStartUpValues) {
  BuildParamBlock(8, 0, 0);
  const uint8_t* b = Packet(0) + 8;
  EXPECT_EQ(b[3], 59);
  EXPECT_EQ(GetLe16(b + 16), 128);
  EXPECT_EQ(GetLe16(b + 18), 256);
  EXPECT_EQ(GetLe16(b + 20), 512);
  EXPECT_EQ(b[32], 0x80);  // CheckFlags
  EXPECT_EQ(b[37], 0x80);  // ControlByte6
}

TEST_F(CommandsTest, ParamBlockPlacesEveryFieldLittleEndian) {
  g.ChipSeries = 1, g.ChipType = 2, g.ChipIndex = 3, g.AutoDetect = 15;
  g.FlashStart = 0;
  g.FlashEnd = 0x7FFF;
  g.EepStart = 0xAB1234CD;
  g.EepEnd = 0x00FFFFFF;
  g.RomSizeKB = 32, g.PageSize = 512, g.PageCount = 64, g.EepSize = 0x0400;
  g.SizeWord5 = 0x0506, g.SizeWord6 = 0x0708;
  uint8_t* controls[] = {&g.CheckFlags,   &g.InterfaceFlags, &g.PowerResetFlags, &g.ControlByte4,
                         &g.ControlByte5, &g.ControlByte6,   &g.ChipModelA,      &g.ControlByte8,
                         &g.PowerOnDelay, &g.PowerOffDelay,  &g.ChipInDelay,     &g.ChipOutDelay,
                         &g.ChipModelB,   &g.ControlByte14,  &g.ProgSpeed};
  for (uint8_t i = 0; i < 15; ++i) *controls[i] = static_cast<uint8_t>(0x41 + i);
  g.ImagePacketCrc = 0x1111, g.ImageSum16 = 0x2222, g.AuxCheckWord1 = 0x3333, g.AuxCheckWord2 = 0x4444;
  g.AuxCheckWord3 = 0x5555, g.AuxCheckWord4 = 0x6666, g.ImageCrc16 = 0x7777;

  BuildParamBlock(100, 0xBEEF, 6);
  const uint8_t* b = Packet(6) + 100;
  EXPECT_EQ(Range(b, 0, 6), (Bytes{0, 0, 0, 1, 2, 3}));
  EXPECT_EQ(b[7], 15);
  EXPECT_EQ(GetLe16(b + 8), 0xBEEF);
  EXPECT_EQ(Range(b, 12, 4), (Bytes{0x00, 0x00, 0x7F, 0x00}));
  EXPECT_EQ(Range(b, 16, 12), (Bytes{32, 0, 0x00, 0x02, 64, 0, 0x00, 0x04, 0x06, 0x05, 0x08, 0x07}));
  EXPECT_EQ(Range(b, 28, 4), (Bytes{0x34, 0x12, 0xFF, 0xFF}));  // address bits 8..23 only
  for (uint8_t i = 0; i < 15; ++i) EXPECT_EQ(b[32 + i], 0x41 + i);
  EXPECT_EQ(b[47], 0);
  const uint16_t checks[] = {0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(GetLe16(b + 48 + 2 * i), checks[i]);
  EXPECT_EQ(Range(b, 62, 18), Bytes(18, 0));
}

TEST_F(CommandsTest, ParamBlockDrawsOffsetsSixTenElevenInOrder) {
  BuildParamBlock(8, 0, 0);
  SetRandSeed(0);
  const uint32_t r6 = Random(255), r10 = Random(255), r11 = Random(255);
  const uint8_t* b = Packet(0) + 8;
  EXPECT_EQ(b[6], r6);
  EXPECT_EQ(b[10], r10);
  EXPECT_EQ(b[11], r11);
}

TEST_F(CommandsTest, ParamBlockThatWouldLeaveTheSlotWritesAndDrawsNothing) {
  BuildParamBlock(kTxPacketBytes - 79, 0, 0);
  EXPECT_EQ(RandSeed(), 0u);
  EXPECT_EQ(Packet(0)[kTxPacketBytes - 1], 0xEE);
}

struct FieldCase {
  std::string Text;
  size_t Length;
  Bytes Expected;
};

TEST_F(CommandsTest, StringFieldStoresCutsPadsAndMarksEmpty) {
  const std::string sixteen = "FU6812L-QFN32-AB";
  Bytes sixteenBytes(sixteen.begin(), sixteen.end());
  const std::string sixty(60, 'n');
  const FieldCase cases[] = {
      {"", 16, Bytes{'?', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {sixteen, 16, sixteenBytes},
      {sixty, 48, Bytes(48, 'n')},
      {std::string("AB\0CD", 5), 4, Bytes{'A', 'B', 0, 0}},
      {std::string("\0CD", 3), 3, Bytes{'?', 0, 0}},
      // A UTF-8 character the field's end would cut goes whole.
      {"FU6812L-QFN32-" + std::string("件"), 16, Bytes{'F', 'U', '6', '8', '1', '2', 'L', '-', 'Q', 'F', 'N', '3',
                                                       '2', '-', 0, 0}},
      {std::string(47, 'n') + "é.hex", 48, [] {
         Bytes field(48, 'n');
         field[47] = 0;
         return field;
       }()},
  };
  for (const auto& c : cases) {
    std::memset(g.TxPacket[2], 0xEE, kTxPacketBytes);
    PutStringField(c.Text, 264, c.Length, 2);
    EXPECT_EQ(Range(Packet(2), 264, c.Length), c.Expected) << c.Text;
    EXPECT_EQ(Packet(2)[264 + c.Length], 0xEE) << "wrote past the field";
  }
}

TEST_F(CommandsTest, StringFieldIsClippedToTheSlot) {
  PutStringField("ABCDEFGH", kTxPacketBytes - 3, 48, 7);
  EXPECT_EQ(Range(Packet(7), kTxPacketBytes - 3, 3), (Bytes{'A', 'B', 'C'}));
  EXPECT_EQ(Range(Packet(8), 0, 8), Bytes(8, 0xEE)) << "the next slot is untouched";
}

class OfflineInfoTest : public CommandsTest {
protected:
  void SetUp() override {
    CommandsTest::SetUp();
    g.SnFlags = 0x45, g.SnLength = 4, g.SnIncrement = 0x0102, g.SnAddress = 0x0000FFF0;
    g.SnValue = 0x11223344, g.RunShutTime = 0x0A0B, g.MaxProgramCount = -1;
    g.ChipName = "FU6831";
    g.DataFileName = std::string(60, 'd');
  }
  static const uint8_t* Block(uint8_t ch) { return Packet(ch) + 8; }
};

TEST_F(OfflineInfoTest, BlockHoldsItsFieldsCrcAndSum) {
  BuildOfflineInfo(0);
  const uint8_t* b = Block(0);
  EXPECT_EQ(Range(b, 0, 4), (Bytes{'Z', 'W', 'L', 'P'}));
  EXPECT_EQ(b[4 + 3], 59);
  EXPECT_EQ(Range(b, 84, 22), (Bytes{0x45, 4, 0x02, 0x01, 0xF0, 0xFF, 0, 0, 0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0,
                                     0x0B, 0x0A, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Range(b, 106, 150), Bytes(150, 0));
  EXPECT_EQ(Range(b, 256, 16), (Bytes{'F', 'U', '6', '8', '3', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Range(b, 272, 48), Bytes(48, 'd'));
  EXPECT_EQ(Range(b, 481, 27), Bytes(27, 0));  // nothing of the earlier slot contents
  EXPECT_EQ(GetLe16(b + 508), PacketCrcRange(b, 0, 507));
  uint16_t sum = 0;
  for (size_t i = 0; i < 510; ++i) sum = static_cast<uint16_t>(sum + b[i]);
  EXPECT_EQ(GetLe16(b + 510), sum);
  EXPECT_EQ(static_cast<uint16_t>(GetLe16(b + 510) + PacketChecksum(b, 0, 509)), 0);
}

TEST_F(OfflineInfoTest, ProjectCopyIsChannelZerosBlockAsBuilt) {
  uint8_t copy[kOfflineInfoBytes + 1];
  copy[kOfflineInfoBytes] = 0xA5;
  CopyOfflineInfoBlock(copy);
  EXPECT_EQ(Range(copy, 0, kOfflineInfoBytes), Range(Block(0), 0, kOfflineInfoBytes));
  EXPECT_EQ(Range(copy, 0, 4), (Bytes{'Z', 'W', 'L', 'P'}));
  EXPECT_EQ(copy[kOfflineInfoBytes], 0xA5);
}

TEST_F(OfflineInfoTest, DrawsArgumentThenParamBytesThenFillerAscending) {
  BuildOfflineInfo(1);
  SetRandSeed(0);
  const uint32_t argument = Random(65535);
  const uint32_t r6 = Random(255), r10 = Random(255), r11 = Random(255);
  const uint8_t* b = Block(1);
  EXPECT_EQ(GetLe16(b + 4 + 8), argument);
  EXPECT_EQ(b[4 + 6], r6);
  EXPECT_EQ(b[4 + 10], r10);
  EXPECT_EQ(b[4 + 11], r11);
  for (size_t i = 0; i < 161; ++i) ASSERT_EQ(b[320 + i], Random(255)) << "filler " << i;
}

Bytes SentFrame(uint8_t ch) {
  SendOfflineInfo(0x53, static_cast<uint16_t>(Random(65535)), ch);
  return Range(g.TxFrame[ch], 0, kFrameBytes);
}

TEST_F(OfflineInfoTest, SameDrawsAfterFreshStartSendTheSameBytes) {
  const Bytes first = SentFrame(0);
  const Bytes second = SentFrame(0);
  EXPECT_NE(first, second);
  SetRandSeed(0);
  EXPECT_EQ(SentFrame(0), first);
}

TEST_F(OfflineInfoTest, UnmaskedPayloadHoldsTwoEqualCopiesOfTheBlock) {
  const uint16_t argument = 0x1234;
  SendOfflineInfo(0x53, argument, 3);
  const uint8_t* p = Packet(3);
  EXPECT_EQ(Range(p, 0, 8), (Bytes{0x53, 0x34, 0x12, 59, 0, 0, 0x00, 0x04}));
  ExpectPacketCrc(3, 1034);

  const auto key = OfflineKeyBytes(argument);
  EXPECT_GE(key[0], 0x80);
  EXPECT_GE(key[1], 0x80);
  Bytes payload = Range(p, 8, 1024);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] ^= key[i % 2];
  const Bytes copy0(payload.begin(), payload.begin() + 512);
  const Bytes copy1(payload.begin() + 512, payload.end());
  EXPECT_EQ(copy0, copy1);

  SetRandSeed(0);
  BuildOfflineInfo(4);
  EXPECT_EQ(copy0, Range(Block(4), 0, 512));
}

TEST(OfflineKeyBytes, CombineEachArgumentByteWithItsFixedByteAndSetTheTopBit) {
  for (uint32_t argument : {0u, 0x1234u, 0xFFFFu, 0x7F80u}) {
    const auto key = OfflineKeyBytes(static_cast<uint16_t>(argument));
    EXPECT_EQ(key[0], static_cast<uint8_t>(((argument & 0xFF) ^ 0x5A) | 0x80));
    EXPECT_EQ(key[1], static_cast<uint8_t>(((argument >> 8) ^ 0x3C) | 0x80));
  }
}

class BlockCommandsTest : public CommandsTest {
protected:
  void SetUp() override {
    CommandsTest::SetUp();
    for (size_t i = 0; i < kFlashImageBytes; ++i) g.FlashImage[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
    for (size_t i = 0; i < kEepImageBytes; ++i) g.EepImage[i] = static_cast<uint8_t>(i * 13 + (i >> 10));
  }
  static Bytes Flash(size_t from, size_t count) { return Range(g.FlashImage, from, count); }
  static Bytes Eep(size_t from, size_t count) { return Range(g.EepImage, from, count); }
};

TEST_F(BlockCommandsTest, ProgramBlockTakesFlashOfBlockIndexFromRowAlignedBase) {
  g.BlockIndex[2] = 4;
  SendProgramBlock(0x95, 4, 0x2013, 2);
  EXPECT_EQ(Range(Packet(2), 0, 3), (Bytes{0x95, 4, 0}));
  EXPECT_EQ(GetLe16(Packet(2) + 6), 4176);
  ExpectCommandParamBlock(2);
  EXPECT_EQ(Range(Packet(2), 88, 4096), Flash(4 * 1024 + 0x2010, 4096));
  ExpectPacketCrc(2, 4186);
}

// The header carries the argument; the data come from the channel's block index.
TEST_F(BlockCommandsTest, ProgramBlockDataFollowTheBlockIndexNotTheArgument) {
  g.BlockIndex[3] = 12;
  SendProgramBlock(0x95, 4, 0, 3);
  EXPECT_EQ(GetLe16(Packet(3) + 1), 4);
  EXPECT_EQ(Range(Packet(3), 88, 4096), Flash(12 * 1024, 4096));
}

TEST_F(BlockCommandsTest, ProgramBlockWrapsBlockIndexAtFourMegabytes) {
  g.BlockIndex[0] = 4096 + 8;
  SendProgramBlock(0x95, 8, 0, 0);
  EXPECT_EQ(Range(Packet(0), 88, 4096), Flash(8 * 1024, 4096));
}

TEST_F(BlockCommandsTest, EepProgramBlockTakesEepImageAtTheBlockOffset) {
  g.EepStart = 0x4000;
  g.BlockIndex[1] = 4;
  SendProgramBlock(0x99, 4, g.EepStart, 1);
  EXPECT_EQ(Packet(1)[0], 0x99);
  EXPECT_EQ(Range(Packet(1), 88, 4096), Eep(4096, 4096));
  ExpectPacketCrc(1, 4186);
}

TEST_F(BlockCommandsTest, DownloadBlocksFollowTheArgument) {
  g.BlockIndex[6] = 40;  // not what the download blocks read
  SendFlashDownloadBlock(0x55, 12, 0x0F, 6);
  EXPECT_EQ(Range(Packet(6), 0, 8), (Bytes{0x55, 12, 0, 59, 0, 0, 0x00, 0x10}));
  EXPECT_EQ(Range(Packet(6), 8, 4096), Flash(12 * 1024, 4096));
  ExpectPacketCrc(6, 4106);

  SendEepDownloadBlock(0x5A, 8, 0x4000, 6);
  EXPECT_EQ(Packet(6)[0], 0x5A);
  EXPECT_EQ(Range(Packet(6), 8, 4096), Eep(8 * 1024, 4096));
  ExpectPacketCrc(6, 4106);
}

TEST_F(BlockCommandsTest, BlocksReachingPastTheImagesSendZerosForTheMissingPart) {
  // Flash: the last 2 KB of this block lie past the 4 MB image.
  g.BlockIndex[0] = 4092;
  SendProgramBlock(0x95, 4092, 0x800, 0);
  EXPECT_EQ(Range(Packet(0), 88, 2048), Flash(kFlashImageBytes - 2048, 2048));
  ExpectZeros(0, 88 + 2048, 2048);
  ExpectPacketCrc(0, 4186);

  SendFlashDownloadBlock(0x55, 0xFFFC, 0xFFFFFFFF, 0);
  ExpectZeros(0, 8, 4096);

  // EEP: the image ends at 16 KB.
  SendEepDownloadBlock(0x5A, 16, 0, 0);
  ExpectZeros(0, 8, 4096);
  g.BlockIndex[0] = 14;
  SendProgramBlock(0x99, 14, 0, 0);
  EXPECT_EQ(Range(Packet(0), 88, 2048), Eep(14 * 1024, 2048));
  ExpectZeros(0, 88 + 2048, 2048);
}

// The senders against the simulated unit over a real pseudo-terminal, through
// the channel's own serial component with the line settings a channel has:
// no software flow control, so 0x11 and 0x13 in a packet or reply are data.
class CommandsOnLineTest : public CommandsTest {
protected:
  void SetUp() override {
    CommandsTest::SetUp();
    unit_.Start();
    ApplyChannelPortDefaults(comm_, kChannel);
    comm_.SetCommName(unit_.SlavePath());
    comm_.OnReceiveData = [this](TComm*, const uint8_t* data, uint16_t length) {
      received_.insert(received_.end(), data, data + length);
    };
    comm_.OpenPort();
    g.ChannelComm[kChannel] = &comm_;
  }
  void TearDown() override {
    g.ChannelComm[kChannel] = nullptr;
    comm_.ClosePort();
    TheGuiQueue().Drain();
    unit_.Stop();
  }

  // Sends through send and waits for the unit's reply frame; returns the
  // decoded reply, empty when none came in time.
  template <typename Send>
  Bytes Exchange(Send send) {
    received_.clear();
    EXPECT_TRUE(send());
    Bytes frame(kFrameBytes);
    uint16_t frameLength = 0;
    const bool framed = DrainUntil([&] {
      uint16_t position = 0;
      return ExtractFrame(received_.data(), static_cast<uint16_t>(received_.size()), position, frame.data(),
                          frame.size(), frameLength);
    });
    if (!framed) return {};
    Bytes decoded(kTxPacketBytes);
    uint16_t decodedLength = 0;
    EXPECT_EQ(SlipDecode(frame.data(), decoded.data(), decoded.size(), decodedLength, frameLength), 0);
    decoded.resize(decodedLength);
    return decoded;
  }
  static uint8_t Status(const Bytes& reply) {
    return reply.empty() ? 0xFF : CheckPacket(reply.data(), static_cast<uint16_t>(reply.size()));
  }

  static constexpr uint8_t kChannel = 3;
  SimUnit unit_;
  TComm comm_;
  Bytes received_;
};

TEST_F(CommandsOnLineTest, UnitTakesBlankCheckProgramVerifyAndInformationBlock) {
  g.RomSizeKB = 16;
  g.FlashStart = 0;
  g.FlashEnd = 0x3FFF;
  for (size_t i = 0; i < 0x4000; ++i) g.FlashImage[i] = static_cast<uint8_t>(i * 5 + 0xC0 + (i >> 8));
  // XON and XOFF bytes travel both ways: in the program packets and in the
  // read reply below.
  constexpr size_t kFlowBytes = 64;
  for (size_t i = 0; i < kFlowBytes; ++i) g.FlashImage[i] = i % 2 == 0 ? 0x11 : 0x13;
  g.ImageCrc16 = Crc16Range(g.FlashImage, g.FlashStart, g.FlashEnd);

  const uint8_t blank = Status(Exchange([] { return SendOpCommand(kCmdOperation, kOpBlankCheck, kChannel); }));
  EXPECT_TRUE(blank == 0 || blank == 6) << int{blank};

  for (uint16_t block = 0; block < g.RomSizeKB; block += 4) {
    g.BlockIndex[kChannel] = block;
    const uint8_t status =
        Status(Exchange([block] { return SendProgramBlock(kCmdProgramFlash, block, g.BaseAddress, kChannel); }));
    EXPECT_TRUE(status == 0 || status == 6) << "block " << block << ": " << int{status};
  }
  EXPECT_EQ(unit_.ReadFlash(0, 0x4000), Range(g.FlashImage, 0, 0x4000));

  g.ReadAddress = 0;
  g.ReadLength = kFlowBytes;
  const Bytes read = Exchange([] { return SendReadCommand(kCmdOperation, kOpReadAddress, kChannel); });
  ASSERT_EQ(read.size(), kPacketHeaderBytes + kFlowBytes + kPacketCrcBytes);
  EXPECT_EQ(Range(read.data(), kPacketHeaderBytes, kFlowBytes), Range(g.FlashImage, 0, kFlowBytes));

  const Bytes verify = Exchange([] { return SendOpCommand(kCmdOperation, kOpVerify, kChannel); });
  ASSERT_EQ(Status(verify), 0);
  ASSERT_GE(verify.size(), 8u + 4u);
  EXPECT_EQ(verify[8], 6);
  EXPECT_EQ(GetLe16(verify.data() + 10), g.ImageCrc16);

  g.ChipName = "FU6812";
  g.DataFileName = "image.hex";
  const uint16_t argument = 0xA55A;
  const uint8_t info = Status(Exchange([] { return SendOfflineInfo(kCmdOfflineInfo, argument, kChannel); }));
  EXPECT_TRUE(info == 0 || info == 6) << int{info};
  const auto taken = unit_.OfflineInfo();
  ASSERT_TRUE(taken.has_value());
  const auto key = OfflineKeyBytes(argument);
  for (size_t i = 0; i < 512; ++i) ASSERT_EQ((*taken)[i], Packet(kChannel)[8 + i] ^ key[i % 2]) << i;
}

TEST_F(CommandsOnLineTest, ResetReachesTheUnitAndIsNotAnswered) {
  EXPECT_TRUE(SendReset(kChannel));
  ASSERT_TRUE(unit_.WaitForLog(1, std::chrono::seconds(10)));
  EXPECT_EQ(unit_.Log()[0].Command(), kCmdReset);
  EXPECT_EQ(unit_.ResetsReceived(), 1);
}

}  // namespace
