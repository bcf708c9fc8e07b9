// A block whose frames take longer to handle than a turn of the event loop,
// through the main window's bound receive handler and a real port: the frame
// loop leaves the rest for a later turn, first in the port's lane of the GUI
// queue, and it goes on in order before the port's next block, with nothing
// dropped by a step's reset of the receive buffer meanwhile.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/channel_log.h"
#include "support/gui_wait.h"
#include "support/main_window_fixture.h"
#include "support/pty_pair.h"
#include "support/reply_frames.h"
#include "toolkit/gui_queue.h"
#include "toolkit/memo.h"

namespace {

using namespace std::chrono_literals;

constexpr uint8_t kCh = 2;
constexpr uint8_t kFailed = 5;

ReplyBytes Join(std::initializer_list<ReplyBytes> parts) {
  ReplyBytes all;
  for (const ReplyBytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
// Completion reports, each framed with the fill a unit sends after it.
ReplyBytes Completions(size_t count, uint8_t result) {
  ReplyBytes all;
  for (size_t i = 0; i < count; ++i) all = Join({all, Framed(StepReport(240, result, 0, 0))});
  return all;
}

class ReceiveTurnsTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    window->InitChannels();
    g.LogMemo = &memo;
    g.ChannelLinked[kCh] = 1;
    // Every report logs three lines: each a millisecond makes one report
    // outlast the turn's slice, on any machine.
    memo.SetOnAdded([](std::string_view) { std::this_thread::sleep_for(1ms); });
  }
  void TearDown() override {
    for (TComm* comm : window->SPComm)
      if (comm->PortHandle() != 0) comm->ClosePort();
    TheGuiQueue().Drain();
    MainWindowTest::TearDown();
  }
  // Waits, without handing anything on, until count messages wait.
  static bool PendingReaches(size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (TheGuiQueue().Pending() < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  TMemo memo;
};

TEST_F(ReceiveTurnsTest, FramesLeftForALaterTurnGoFirstInThePortsLaneAndInOrder) {
  PtyPair line;
  TComm& comm = *window->SPComm[kCh];
  bool started = false;
  comm.OnSendDataEmpty = [&](TComm*) { started = true; };  // the writer's one notice, once it runs
  comm.SetCommName(line.SlavePath());
  comm.OpenPort();
  ASSERT_TRUE(DrainUntil([&] { return started; }, 10s));

  const ReplyBytes first = Completions(40, 6);
  window->SPCommReceiveData(kCh, first.data(), static_cast<uint16_t>(first.size()));
  EXPECT_EQ(RunCounts().ChannelOkCount[kCh], 16);  // a few frames, then the slice was over
  EXPECT_EQ(g.RxCount[kCh], 0);
  // The rest, from the fill after the last frame handed on.
  EXPECT_EQ(ReplyBytes(g.RxWaiting[kCh], g.RxWaiting[kCh] + g.RxWaitingCount[kCh]),
            Join({ReplyBytes(5, 0xFF), Completions(24, 6)}));
  EXPECT_EQ(TheGuiQueue().Pending(), 1u);

  g.RxCount[kCh] = 0;  // as a command resets the buffer before its step
  ASSERT_TRUE(line.Write(Completions(10, kFailed)));
  ASSERT_TRUE(PendingReaches(2)) << "the port's next block never came";
  ASSERT_TRUE(DrainUntil([] { return RunCounts().ChannelNgCount[kCh] >= 10; }, 10s))
      << RunCounts().ChannelNgCount[kCh] << " of the port's next 10 reports handled";

  EXPECT_EQ(RunCounts().ChannelOkCount[kCh], 40);
  EXPECT_EQ(RunCounts().ChannelNgCount[kCh], 10);
  EXPECT_EQ(g.RxWaitingCount[kCh], 0);
  // Every good report before the first failed one: the order they came in.
  std::string order;
  for (const std::string& text : memo.Lines()) {
    if (text.ends_with("Successed !")) order += '+';
    if (text.ends_with("Failed : Error=0x05!")) order += '-';
  }
  EXPECT_EQ(order, std::string(40, '+') + std::string(10, '-'));
}

}  // namespace
