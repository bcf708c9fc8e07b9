// One unit that floods its line with completion reports, back to back and
// faster than any window takes them in, on eight simulated units through the
// real window: the operator's key still starts Auto Program on the others
// while the flood goes on, the window still paints and its 10 ms timer still
// ticks, and afterwards every report the unit sent is logged and counted.
#include <QAction>
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "link/channel_log.h"
#include "support/eight_channels.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr size_t kFlooder = 0;
// A completion report with result 6, as a unit in stand-alone programming sends it.
constexpr SimStepReport kCompletion{240, 6, 0, 0};
// Only a window that never lets the operator in waits for the flood to end
// by itself: then the test fails after this long, rather than hangs.
constexpr size_t kFloodCap = 300000;
constexpr auto kFloodLimit = 20s;
// Reports on the line before the operator presses the key.
constexpr size_t kReportsBeforeKey = 3000;
constexpr char kCompletionLine[] = "Progrmming Completed : Successed !";

// Counts the paint events of one widget while two flags hold.
class PaintCounter : public QObject {
 public:
  PaintCounter(QWidget* widget, const std::atomic<bool>& first, const std::atomic<bool>& second)
      : first_(first), second_(second) {
    widget->installEventFilter(this);
  }
  int Count() const { return count_; }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && first_ && second_) ++count_;
    return false;
  }

 private:
  const std::atomic<bool>& first_;
  const std::atomic<bool>& second_;
  int count_ = 0;
};

class FloodingUnitTest : public EightChannelTest {
 protected:
  size_t CompletionLines(size_t ch) {
    const std::string tail = " C" + std::to_string(ch + 1) + ": " + kCompletionLine;
    const TMemo& memo = window->InfoMemo();
    size_t n = 0;
    for (size_t i = 0; i < memo.Count(); ++i) n += memo.Line(i).ends_with(tail) ? 1 : 0;
    return n;
  }
  bool OthersReached() const {
    for (size_t ch = 0; ch < kUnits; ++ch)
      if (ch != kFlooder && farm->Unit(ch).Log().empty()) return false;
    return true;
  }
};

TEST_F(FloodingUnitTest, TheOperatorKeepsTheWindowWhileAUnitFloodsAndNoReportIsLost) {
  // The flooding unit programs on its own and does not answer the search: its
  // reports are shown and counted all the same, and Auto Program leaves its
  // channel alone, so no step's start drops a report cut between two blocks.
  farm->Unit(kFlooder).SetSilent(true, true);
  ShowAndSearch(kUnits - 1);
  ChooseChip("FU6813N");
  LoadImage(image);
  window->activateWindow();
  QApplication::setActiveWindow(window.get());
  farm->ForEach([](SimUnit& unit) { unit.ClearLog(); });
  SimUnit& flooder = farm->Unit(kFlooder);
  flooder.SetLineRate(0);  // as fast as the program reads: faster than the line, and than the window

  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    flooder.StreamStepReports(kCompletion, kFloodCap, kFloodLimit);
    flooding = false;
  });
  // What the window does between the key press and the flood's end.
  std::atomic<bool> watching{false};
  int ticks = 0;
  QObject::connect(window->Timer1, &QTimer::timeout, [&] { ticks += watching && flooding ? 1 : 0; });
  const PaintCounter paints(window->InfoMemoView->viewport(), watching, flooding);
  Clock::time_point taken{};
  bool takenWhileFlooding = false;
  QObject::connect(window->AutoProgram1, &QAction::triggered, [&] {
    taken = Clock::now();
    takenWhileFlooding = flooding;
  });

  // The operator presses F5 once the flood is well under way, as a key comes
  // from outside: whatever the window is doing then.
  Clock::time_point pressed{};
  std::thread operatorHand([&] {
    while (flooding && flooder.StreamedReports() < kReportsBeforeKey) std::this_thread::sleep_for(1ms);
    pressed = Clock::now();
    watching = true;
    QMetaObject::invokeMethod(
        window.get(), [&] { QTest::keyClick(window->windowHandle(), Qt::Key_F5); }, Qt::QueuedConnection);
  });
  const bool reached = WaitFor([&] { return (watching && OthersReached()) || !flooding; }) && OthersReached();
  const bool reachedWhileFlooding = reached && flooding;
  flooder.StopStream();
  flood.join();
  operatorHand.join();
  const size_t sent = flooder.StreamedReports();
  WaitFor([&] { return taken != Clock::time_point{}; });

  ASSERT_NE(taken, Clock::time_point{}) << "F5 never taken";
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(taken - pressed);
  std::printf("F5 under the flood: taken after %lld ms; %zu reports flooded\n",
              static_cast<long long>(waited.count()), sent);
  RecordProperty("F5WaitMs", static_cast<int>(waited.count()));
  EXPECT_TRUE(takenWhileFlooding) << "F5 waited " << waited.count() << " ms, until the flood's end";
  EXPECT_TRUE(reachedWhileFlooding) << "Auto Program reached the other units only after the flood";
  EXPECT_GT(ticks, 0) << "the 10 ms timer stood still while the unit flooded";
  EXPECT_GT(paints.Count(), 0) << "the window log was not painted while the unit flooded";

  // Every report sent whole is delivered, logged and counted, in the end.
  ASSERT_TRUE(WaitFor([&] { return AllIdle() && static_cast<size_t>(RunCounts().ChannelOkCount[kFlooder]) >= sent; }))
      << "counted " << RunCounts().ChannelOkCount[kFlooder] << " of " << sent;
  RunFor(100ms);
  EXPECT_EQ(static_cast<size_t>(RunCounts().ChannelOkCount[kFlooder]), sent);
  EXPECT_EQ(RunCounts().ChannelNgCount[kFlooder], 0);
  EXPECT_EQ(CompletionLines(kFlooder), sent);
  for (size_t ch = 0; ch < kUnits; ++ch) {
    if (ch == kFlooder) continue;
    EXPECT_TRUE(ChannelLogged(ch, "自动编程操作成功！")) << ch;
  }
}

}  // namespace
