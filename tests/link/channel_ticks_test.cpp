#include "link/channel_ticks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/channel_log.h"
#include "link/operation_steps.h"
#include "link/receive.h"
#include "shared/state.h"
#include "support/reply_frames.h"
#include "support/stand_in_window.h"
#include "toolkit/clock.h"
#include "toolkit/gauge.h"
#include "toolkit/memo.h"

namespace {

class ChannelTicksTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetClockForTest([] { return MakeLocalTime(2026, 3, 4, 10, 11, 12); });
    SetLocaleFormatsForTest("%Y-%m-%d", "%H:%M:%S");
    g.LogMemo = &memo_;
    g.OrvantBEMxPrg = &window_;
    for (int ch = 0; ch < kChannelSlots; ++ch) g.ChannelGauge[ch] = &gauges_[ch];
  }

  static void Ticks(int count) {
    for (int i = 0; i < count; ++i) AdvanceChannelTicks();
  }

  TMemo memo_;
  StandInWindow window_;
  TGauge gauges_[kChannelSlots];
};

TEST_F(ChannelTicksTest, TimeDrivenGaugeAtFiveHundredFromThreeIsFullAfter497TicksAndStaysFull) {
  BeginChannelProgress(500, 32, 0);
  ASSERT_EQ(gauges_[0].Progress(), 3);
  Ticks(496);
  EXPECT_EQ(gauges_[0].Progress(), 499);
  Ticks(1);
  EXPECT_EQ(gauges_[0].Progress(), 500);
  Ticks(100);
  EXPECT_EQ(gauges_[0].Progress(), 500);
  EXPECT_EQ(g.ChannelBusy[0], 1);
  EXPECT_TRUE(window_.logLines.empty());
}

TEST_F(ChannelTicksTest, TwoTimeDrivenChannelsEachAdvanceTheirOwnGauge) {
  BeginChannelProgress(500, 32, 1);
  Ticks(10);
  BeginChannelProgress(2000, 32, 6);
  Ticks(5);
  EXPECT_EQ(gauges_[1].Progress(), 3 + 15);
  EXPECT_EQ(gauges_[6].Progress(), 3 + 5);
  EXPECT_EQ(gauges_[0].Progress(), 0);
}

TEST_F(ChannelTicksTest, BlockStepGaugeIsLeftToItsBlocks) {
  BeginChannelProgress(kBlockStepTicks, 32, 2);
  gauges_[2].SetProgress(7);
  Ticks(300);
  EXPECT_EQ(gauges_[2].Progress(), 7);
  EXPECT_EQ(gauges_[2].MaxValue(), 32);
}

TEST_F(ChannelTicksTest, IdleChannelsAndTheSpareSlotAreNotTouched) {
  g.ChannelTickProgress[3] = 1;
  g.ChannelTimer[3] = 1;
  g.ChannelBusy[8] = 1;
  g.ChannelTickProgress[8] = 1;
  g.ChannelTimer[8] = 1;
  gauges_[3].SetProgress(5);
  Ticks(3);
  EXPECT_EQ(gauges_[3].Progress(), 5);
  EXPECT_EQ(g.ChannelTimer[3], 1);
  EXPECT_EQ(g.ChannelTimer[8], 1);
  EXPECT_EQ(gauges_[8].Progress(), 0);
  EXPECT_TRUE(window_.logLines.empty());
}

TEST_F(ChannelTicksTest, BlockStepTimesOutOnItsFiveHundredthTick) {
  g.ChannelState[4] = TChannelState::ProgramFlash;
  BeginChannelProgress(kBlockStepTicks, 32, 4);
  ASSERT_EQ(g.ChannelTimer[4], 500);
  Ticks(499);
  EXPECT_EQ(g.ChannelBusy[4], 1);
  EXPECT_EQ(g.ChannelTimer[4], 1);
  EXPECT_TRUE(window_.logLines.empty());
  Ticks(1);
  EXPECT_EQ(g.ChannelBusy[4], 0);
  EXPECT_EQ(g.ChannelState[4], TChannelState::Idle);
  EXPECT_EQ(g.ChannelTimer[4], 0);
  EXPECT_EQ(gauges_[4].ForeColor(), clRed);
  EXPECT_EQ(gauges_[4].Progress(), gauges_[4].MaxValue());
  EXPECT_EQ(window_.logLines, std::vector<std::string>{"C5 ：操作超时！"});
  // An ended channel is not timed out again.
  Ticks(600);
  EXPECT_EQ(window_.logLines.size(), 1u);
}

TEST_F(ChannelTicksTest, ReplyAfterTheTimeOutFindsTheChannelIdleAndChangesNothing) {
  g.ChannelLinked[3] = 1;
  StartProgramFlash(3);
  Ticks(500);
  ASSERT_EQ(g.ChannelState[3], TChannelState::Idle);
  const size_t memoLines = memo_.Count();
  const ReplyBytes late = Framed(ResultReply(6));
  ReceiveChannelBlock(3, late.data(), static_cast<uint16_t>(late.size()));
  EXPECT_EQ(g.ChannelState[3], TChannelState::Idle);
  EXPECT_EQ(g.ChannelBusy[3], 0);
  EXPECT_EQ(gauges_[3].ForeColor(), clRed);
  EXPECT_EQ(memo_.Count(), memoLines);
  EXPECT_EQ(window_.logLines, std::vector<std::string>{"C4 ：操作超时！"});
  Ticks(2000);
  EXPECT_EQ(window_.logLines.size(), 1u);
}

TEST_F(ChannelTicksTest, ReceivedBytesReloadTheTimeOut) {
  g.ChannelLinked[0] = 1;
  StartProgramFlash(0);
  Ticks(400);
  // A unit's own step report: bytes arrive, the step goes on.
  const ReplyBytes report = Framed(StepReport(64, 0, 0, 16));
  ReceiveChannelBlock(0, report.data(), static_cast<uint16_t>(report.size()));
  ASSERT_EQ(g.ChannelTimer[0], 1000);
  Ticks(999);
  EXPECT_EQ(g.ChannelBusy[0], 1);
  Ticks(1);
  EXPECT_EQ(g.ChannelBusy[0], 0);
  EXPECT_EQ(window_.logLines, std::vector<std::string>{"C1 ：操作超时！"});
}

TEST_F(ChannelTicksTest, TimeDrivenStepTimesOutOnlyAfterItsGaugeHasBeenFullForItsCount) {
  BeginChannelProgress(500, 32, 7);
  Ticks(497);  // gauge full now; the time-out has not moved
  EXPECT_EQ(g.ChannelTimer[7], 500);
  Ticks(499);
  EXPECT_EQ(g.ChannelBusy[7], 1);
  EXPECT_EQ(g.ChannelTimer[7], 1);
  Ticks(1);
  EXPECT_EQ(g.ChannelBusy[7], 0);
  EXPECT_EQ(gauges_[7].ForeColor(), clRed);
  EXPECT_EQ(window_.logLines, std::vector<std::string>{"C8 ：操作超时！"});
}

TEST_F(ChannelTicksTest, BusyChannelWithoutARunningTimeOutIsNeverTimedOut) {
  g.ChannelBusy[2] = 1;
  g.ChannelTimer[2] = 0;
  Ticks(2000);
  EXPECT_EQ(g.ChannelBusy[2], 1);
  EXPECT_TRUE(window_.logLines.empty());
}

TEST_F(ChannelTicksTest, ChannelWithoutGaugeStillTimesOut) {
  g.ChannelGauge[5] = nullptr;
  BeginChannelProgress(20, 32, 5);
  Ticks(19);
  EXPECT_EQ(g.ChannelBusy[5], 1);
  Ticks(1);
  EXPECT_EQ(g.ChannelBusy[5], 0);
  EXPECT_EQ(window_.logLines, std::vector<std::string>{"C6 ：操作超时！"});
}

TEST_F(ChannelTicksTest, TimeOutWithoutWindowStillEndsTheStep) {
  g.OrvantBEMxPrg = nullptr;
  BeginChannelProgress(kBlockStepTicks, 32, 0);
  Ticks(500);
  EXPECT_EQ(g.ChannelBusy[0], 0);
  EXPECT_EQ(gauges_[0].ForeColor(), clRed);
}

}  // namespace
