// What the ports deliver, through the main window's bound receive and error
// handlers: blocks joined and cut into frames, the tail kept, frames handed to
// identification or the reply dispatch, and a modal box inside a handler.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "link/channel_log.h"
#include "link/operation_steps.h"
#include "support/gui_wait.h"
#include "support/main_window_fixture.h"
#include "support/pty_pair.h"
#include "support/reply_frames.h"
#include "toolkit/errors.h"
#include "toolkit/gauge.h"
#include "toolkit/qt/gauge_widget.h"
#include "toolkit/memo.h"
#include "toolkit/qt/qt_bindings.h"

namespace {

// A frame without the fill that follows it on the wire.
ReplyBytes Bare(const ReplyBytes& packet) {
  ReplyBytes frame = Framed(packet);
  frame.resize(frame.size() - 5);
  return frame;
}
ReplyBytes Join(std::initializer_list<ReplyBytes> parts) {
  ReplyBytes all;
  for (const ReplyBytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class ReceiveTest : public MainWindowTest {
protected:
  static constexpr uint8_t kCh = 3;

  void SetUp() override {
    MainWindowTest::SetUp();
    window->InitChannels();
    g.LogMemo = &memo;
    g.RomSizeKB = 4;
    g.FlashEnd = 0xFFF;
  }
  void TearDown() override {
    for (TComm* comm : window->SPComm)
      if (comm->PortHandle() != 0) comm->ClosePort();
    TheGuiQueue().Drain();
    MainWindowTest::TearDown();
  }

  // The channel linked and in a step.
  void Linked(TChannelState state) {
    g.ChannelLinked[kCh] = 1;
    g.ChannelState[kCh] = state;
    g.ChannelBusy[kCh] = 1;
  }
  void Deliver(const ReplyBytes& block, uint8_t ch = kCh) {
    window->SPCommReceiveData(ch, block.data(), static_cast<uint16_t>(block.size()));
  }
  ReplyBytes Kept(uint8_t ch = kCh) const { return ReplyBytes(g.RxBuffer[ch], g.RxBuffer[ch] + g.RxCount[ch]); }
  bool Logged(const std::string& text) const {
    const std::vector<std::string> lines = memo.Lines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
  }

  TMemo memo;
};

TEST_F(ReceiveTest, AFrameSplitOverTwoBlocksIsHandledOnceWhenComplete) {
  Linked(TChannelState::Idle);
  const ReplyBytes frame = Framed(ResultReply(6));
  const ReplyBytes first(frame.begin(), frame.begin() + 6);
  Deliver(first);
  EXPECT_EQ(g.ChannelBusy[kCh], 1);
  EXPECT_EQ(Kept(), first);
  Deliver(ReplyBytes(frame.begin() + 6, frame.end()));
  EXPECT_EQ(g.ChannelBusy[kCh], 0);
  EXPECT_EQ(Kept(), ReplyBytes(5, 0xFF));  // only the fill after the frame
}

TEST_F(ReceiveTest, TwoFramesAndTheStartOfAThirdInOneBlock) {
  Linked(TChannelState::ProgramFlash);
  const ReplyBytes third = Bare(StepReport(48, 0, 0, 0));
  const ReplyBytes partial(third.begin(), third.begin() + 5);
  Deliver(Join({Bare(StepReport(16, 0, 0, 0)), Bare(StepReport(32, 0, 0, 0)), partial}));
  ASSERT_EQ(memo.Count(), 2u);
  EXPECT_NE(memo.Line(0).find("Initial Programming Interface ...."), std::string::npos);
  EXPECT_NE(memo.Line(1).find("Chip Blank Checking...."), std::string::npos);
  EXPECT_EQ(Kept(), partial);
  Deliver(ReplyBytes(third.begin() + 5, third.end()));
  ASSERT_EQ(memo.Count(), 3u);
  EXPECT_NE(memo.Line(2).find("Do Chip Erasing...."), std::string::npos);
  EXPECT_EQ(g.RxCount[kCh], 0);  // the block ended with the frame's closing 0xC0
}

TEST_F(ReceiveTest, AFrameThatIdentifiesTheUnitSendsTheFramesAfterItToTheDispatch) {
  g.ChannelBusy[kCh] = 1;
  Deliver(FramedAll({IdentityReply("OrvantGengX-BEM V1.0,Bench"), StepReport(32, 0, 0, 0), ResultReply(6)}));
  EXPECT_EQ(g.ChannelLinked[kCh], 1);
  EXPECT_EQ(g.FoundDevices, 1);
  EXPECT_TRUE(Logged("找到设备：OrvantGengX-BEM V1.0,Bench!"));
  EXPECT_TRUE(Logged("Chip Blank Checking...."));
  // Identification would have called the plain reply no unit; the dispatch
  // of an idle channel clears the busy flag.
  EXPECT_FALSE(Logged("未找到设备!"));
  EXPECT_EQ(g.ChannelBusy[kCh], 0);
}

TEST_F(ReceiveTest, EveryBlockReloadsTheTimeOutFrameOrNot) {
  Linked(TChannelState::Idle);
  g.ChannelTimer[kCh] = 3;
  Deliver({0x01, 0x02});
  EXPECT_EQ(g.ChannelTimer[kCh], 1000);
  EXPECT_EQ(Kept(), (ReplyBytes{0x01, 0x02}));  // bytes before a frame are kept with it
  EXPECT_EQ(g.ChannelTimer[kCh - 1], 0);
}

TEST_F(ReceiveTest, AReceiveErrorDropsTheKeptBytesAndTheBusyFlagOnly) {
  Linked(TChannelState::ProgramFlash);
  TGauge& gauge = window->Gauges[kCh]->Model();
  gauge.SetProgress(40);
  gauge.SetForeColor(clBlue);
  Deliver({0xC0, 0x93, 0x00});
  window->SPCommReceiveError(kCh, 0x0008);
  EXPECT_EQ(g.RxCount[kCh], 0);
  EXPECT_EQ(g.ChannelBusy[kCh], 0);
  EXPECT_EQ(g.ChannelState[kCh], TChannelState::ProgramFlash);
  EXPECT_EQ(g.ChannelLinked[kCh], 1);
  EXPECT_EQ(gauge.Progress(), 40);
  EXPECT_EQ(gauge.ForeColor(), clBlue);
  EXPECT_EQ(memo.Count(), 0u);
  window->SPCommReceiveError(8, 0);  // no channel 8: nothing
}

TEST_F(ReceiveTest, ADataReplyThatFramesToMoreThanEightKilobytesIsReceivedWhole) {
  Linked(TChannelState::ReadFlash);
  g.BlockIndex[kCh] = 0;
  g.BlockCount[kCh] = 4;
  const ReplyBytes frame = Framed(ReplyPacket(ReplyBytes(4096, 0xC0)));  // every data byte escaped
  ASSERT_GT(frame.size(), 8192u);
  for (size_t at = 0; at < frame.size(); at += kReceiveBlockBytes)
    Deliver(ReplyBytes(frame.begin() + at, frame.begin() + std::min(frame.size(), at + kReceiveBlockBytes)));
  EXPECT_TRUE(Logged("Main Flash读取成功！"));
  for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(g.FlashImage[i], 0xC0) << i;
}

TEST_F(ReceiveTest, KeptBytesThatLeaveNoRoomForABlockAreDropped) {
  Linked(TChannelState::Idle);
  const ReplyBytes noise(kReceiveBlockBytes, 0x55);
  while (g.RxCount[kCh] + noise.size() <= kRxBufferBytes) Deliver(noise);
  ASSERT_GT(g.RxCount[kCh], kRxBufferBytes - kReceiveBlockBytes);
  Deliver(Framed(ResultReply(6)));
  EXPECT_EQ(g.ChannelBusy[kCh], 0);
  EXPECT_EQ(Kept(), ReplyBytes(5, 0xFF));
}

TEST_F(ReceiveTest, AHandlerThatRaisesDoesNotReplayTheFramesItAlreadyHandled) {
  Linked(TChannelState::Idle);
  g.ProgramDir = folder + "missing/";  // the run log cannot be written there
  for (uint32_t i = 1; i < kResultsPerRunLog; ++i) LogTotals();
  const ReplyBytes completion = Framed(StepReport(240, 6, 0, 0));
  const ReplyBytes reply = Framed(ResultReply(6));
  EXPECT_THROW(Deliver(Join({completion, reply})), EInOutError);
  EXPECT_EQ(RunCounts().ChannelOkCount[kCh], 1);
  EXPECT_EQ(g.ChannelBusy[kCh], 1);
  EXPECT_EQ(Kept(), Join({ReplyBytes(5, 0xFF), reply}));  // the report is gone, the reply waits
  Deliver({0xFF});
  EXPECT_EQ(RunCounts().ChannelOkCount[kCh], 1);
  EXPECT_EQ(g.ChannelBusy[kCh], 0);
}

TEST_F(ReceiveTest, BlocksForChannelsPastSevenAreIgnored) {
  Deliver(Framed(ResultReply(6)), 8);
  EXPECT_EQ(g.RxCount[8], 0);
  EXPECT_EQ(g.ChannelTimer[8], 0);
}

// A box opened while a frame is handled runs its own event loop, which takes
// the next block of the same channel from the port through the GUI queue's
// wake-up of the event loop. That block waits in the buffer until the frame
// loop goes on to it.
TEST_F(ReceiveTest, AModalBoxInsideAHandlerLeavesTheNextBlockToTheRunningFrameLoop) {
  PtyPair line;
  window->SPComm[kCh]->SetCommName(line.SlavePath());
  window->SPComm[kCh]->OpenPort();
  BindGuiQueueToEventLoop();
  Linked(TChannelState::VerifyFlash);
  g.ChannelAuto[kCh] = 1;
  const ReplyBytes next = Framed(StepReport(32, 0, 0, 0));

  // The success of the one-byte reply beeps; here the beep opens a box.
  bool boxShown = false;
  bool handledDuringBox = true;
  uint16_t keptDuringBox = 0;
  const BeepHook previous = SetBeepHook([&](unsigned) {
    boxShown = true;
    QMessageBox box(QMessageBox::Information, "Information", "操作成功！", QMessageBox::Ok, window.get());
    QTimer poll;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (g.RxCount[kCh] >= next.size() || std::chrono::steady_clock::now() > deadline) box.done(QMessageBox::Ok);
    });
    line.Write(next);
    poll.start(2);
    box.exec();
    keptDuringBox = g.RxCount[kCh];
    handledDuringBox = Logged("Chip Blank Checking....");
  });

  line.Write(Framed(ResultReply(6)));
  QEventLoop loop;
  QTimer poll;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (Logged("Chip Blank Checking....") || std::chrono::steady_clock::now() > deadline) loop.quit();
  });
  poll.start(2);
  loop.exec();
  SetBeepHook(previous);
  TheGuiQueue().SetWake(nullptr);

  ASSERT_TRUE(boxShown);
  EXPECT_GE(keptDuringBox, next.size());
  EXPECT_FALSE(handledDuringBox);
  ASSERT_TRUE(Logged("Chip Blank Checking...."));
  EXPECT_TRUE(Logged("操作成功！"));
  EXPECT_EQ(Kept(), ReplyBytes(5, 0xFF));
}

}  // namespace
