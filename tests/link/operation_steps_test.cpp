#include "link/operation_steps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/commands.h"
#include "shared/state.h"
#include "toolkit/clock.h"
#include "toolkit/gauge.h"
#include "toolkit/memo.h"
#include "toolkit/random.h"
#include "toolkit/le_bytes.h"

namespace {


class OperationStepsTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetClockForTest([] { return MakeLocalTime(2026, 3, 4, 10, 11, 12); });
    SetLocaleFormatsForTest("%Y-%m-%d", "%H:%M:%S");
    g.LogMemo = &memo_;
    for (int ch = 0; ch < kChannels; ++ch) g.ChannelGauge[ch] = &gauges_[ch];
    g.ChipSeries = 59;
    g.RomSizeKB = 32;
    for (auto& slot : g.TxPacket) std::memset(slot, 0xEE, sizeof slot);
  }

  static std::string ChannelLine(int ch, const std::string& text) {
    return "> 10:11:12 C" + std::to_string(ch + 1) + ": " + text;
  }

  TMemo memo_;
  TGauge gauges_[kChannels];
};

TEST_F(OperationStepsTest, AutoProgramOnChannelTwoEntersBlankCheckAndSendsOperationFive) {
  StartAutoProgram(2);
  EXPECT_EQ(g.ChannelState[2], TChannelState::BlankCheck);
  EXPECT_EQ(static_cast<uint8_t>(g.ChannelState[2]), 21);
  EXPECT_EQ(g.ChannelAuto[2], 1);
  EXPECT_EQ(g.ChannelBusy[2], 1);
  EXPECT_EQ(g.ChannelTimer[2], 500);
  EXPECT_EQ(g.ChannelTickProgress[2], 1);
  EXPECT_EQ(gauges_[2].MaxValue(), 500);
  ASSERT_EQ(memo_.Count(), 1u);
  EXPECT_EQ(memo_.Line(0), ChannelLine(2, "开始自动编程，执行芯片查空......"));
  EXPECT_EQ(g.TxPacket[2][0], 0x93);
  EXPECT_EQ(GetLe16(g.TxPacket[2] + 1), 5);
  EXPECT_EQ(GetLe16(g.TxPacket[2] + 6), 208);
  // Only channel 2 moved.
  EXPECT_EQ(g.ChannelState[1], TChannelState::Unidentified);
  EXPECT_EQ(g.TxPacket[1][0], 0xEE);
}

struct StarterCase {
  const char* Name;
  void (*Start)(uint8_t);
  uint8_t State;
  uint16_t Tick;  // 0: a block step
  const char* LogText;  // nullptr: no line of its own
  uint8_t Code;
  uint16_t Argument;
  uint16_t PayloadBytes;
};

// clang-format off
const StarterCase kStarters[] = {
  {"FlashDownload", StartFlashDownload, 5,  0,    nullptr,                              0x55, 0,  4096},
  {"Erase",         StartErase,         19, 2000, "执行芯片擦除......",                  0x93, 3,  208},
  {"BlankCheck",    StartBlankCheck,    21, 500,  "执行芯片查空......",                  0x93, 5,  208},
  {"ProgramFlash",  StartProgramFlash,  23, 0,    "开始Main Flash数据编程......",        0x95, 0,  4176},
  {"VerifyFlash",   StartVerifyFlash,   25, 500,  "开始Main Flash数据校验......",        0x93, 85, 208},
  {"WriteConfig",   StartWriteConfig,   35, 500,  "写入芯片配置数据......",              0x93, 83, 192},
  {"ReadFlash",     StartReadFlash,     48, 0,    "读取芯片Main Flash数据......",        0x9B, 0,  208},
  {"ReadEep",       StartReadEep,       51, 0,    nullptr,                              0x9D, 0,  208},
};
// clang-format on

TEST_F(OperationStepsTest, EachStarterSetsStateLogsStartsProgressAndSendsItsFirstCommand) {
  constexpr uint8_t ch = 5;
  for (const auto& c : kStarters) {
    SCOPED_TRACE(c.Name);
    memo_.Clear();
    g.ChannelAuto[ch] = 1;  // a step of a running chain: no starter clears it
    g.BlockIndex[ch] = 44;  // left over from an earlier transfer
    g.BaseAddress = 0;
    c.Start(ch);
    EXPECT_EQ(static_cast<uint8_t>(g.ChannelState[ch]), c.State);
    EXPECT_EQ(g.ChannelAuto[ch], 1);
    EXPECT_EQ(g.ChannelBusy[ch], 1);
    EXPECT_EQ(g.BlockIndex[ch], 0);
    EXPECT_EQ(g.BlockCount[ch], 32);
    if (c.Tick != 0) {
      EXPECT_EQ(g.ChannelTimer[ch], c.Tick);
      EXPECT_EQ(g.ChannelTickProgress[ch], 1);
      EXPECT_EQ(gauges_[ch].MaxValue(), c.Tick);
    } else {
      EXPECT_EQ(g.ChannelTimer[ch], 500);
      EXPECT_EQ(g.ChannelTickProgress[ch], 0);
      EXPECT_EQ(gauges_[ch].MaxValue(), 32);
    }
    if (c.LogText != nullptr) {
      ASSERT_EQ(memo_.Count(), 1u);
      EXPECT_EQ(memo_.Line(0), ChannelLine(ch, c.LogText));
    } else {
      EXPECT_EQ(memo_.Count(), 0u);
    }
    EXPECT_EQ(g.TxPacket[ch][0], c.Code);
    EXPECT_EQ(GetLe16(g.TxPacket[ch] + 1), c.Argument);
    EXPECT_EQ(GetLe16(g.TxPacket[ch] + 6), c.PayloadBytes);
  }
}

TEST_F(OperationStepsTest, BlockStepsStartWithBlockZeroOfTheImage) {
  for (size_t i = 0; i < 4096; ++i) g.FlashImage[i] = static_cast<uint8_t>(i * 3 + 1);
  g.BlockIndex[0] = 8;
  StartProgramFlash(0);
  EXPECT_EQ(std::memcmp(g.TxPacket[0] + 88, g.FlashImage, 4096), 0);
  g.BlockIndex[1] = 8;
  StartFlashDownload(1);
  EXPECT_EQ(std::memcmp(g.TxPacket[1] + 8, g.FlashImage, 4096), 0);
}

TEST_F(OperationStepsTest, DownloadLogsAndSendsTheInformationPacketWithAFreshRandomArgument) {
  StartDownload(0);
  EXPECT_EQ(g.ChannelState[0], TChannelState::DownloadStart);
  EXPECT_EQ(g.ChannelTickProgress[0], 0);
  EXPECT_EQ(gauges_[0].MaxValue(), 32);
  ASSERT_EQ(memo_.Count(), 1u);
  EXPECT_EQ(memo_.Line(0), ChannelLine(0, "开始下载数据到烧写器......"));
  EXPECT_EQ(g.TxPacket[0][0], 0x53);
  EXPECT_EQ(GetLe16(g.TxPacket[0] + 6), 1024);
  SetRandSeed(0);
  EXPECT_EQ(GetLe16(g.TxPacket[0] + 1), Random(65535));  // the packet's argument is the first draw

  // The download's second step adds no line of its own.
  StartFlashDownload(0);
  EXPECT_EQ(memo_.Count(), 1u);
}

}  // namespace
