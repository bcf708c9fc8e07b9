// One unit that floods its line with completion reports, back to back and
// faster than any window takes them in, on eight simulated units through the
// real window: the operator's key still starts Auto Program on the others
// while the flood goes on, the other units' runs keep their own pace, the
// window still paints and its 10 ms timer keeps its rate, and afterwards
// every report the unit sent is logged and counted.
#include <QAction>
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <thread>

#include "link/channel_log.h"
#include "link/comm.h"
#include "support/eight_channels.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr size_t kFlooder = 0;
// A completion report with result 6, as a unit in stand-alone programming sends it.
constexpr SimStepReport kCompletion{240, 6, 0, 0};
constexpr char kCompletionLine[] = "Progrmming Completed : Successed !";
// Only a window that never lets the operator in waits for the flood to end
// by itself: then the test fails after this long, rather than hangs.
constexpr size_t kFloodCap = 300000;
constexpr auto kFloodLimit = 10s;
// Reports on the line before the operator presses the key.
constexpr size_t kReportsBeforeKey = 3000;
// Every wait has a limit of its own, and together they stay well inside the
// 60 s that CTest gives a test, so a window that falls behind fails with a
// message instead of running into the time-out.
constexpr auto kKeyLimit = 12s;         // F5 taken and the other units reached
constexpr auto kEndLimit = 5s;          // the stream's last frame taken in
constexpr auto kHealthyRunLimit = 10s;  // one Auto Program run on the healthy units
constexpr auto kUnderWayLimit = 5s;     // the flood outruns the window
constexpr auto kCountLimit = 15s;       // the reports still waiting are all handled
// Auto Program on the healthy units under the flood, and the 10 ms timer's
// ticks meanwhile for each second of a core the GUI thread had (the flood
// keeps it busy, so a busy machine that gives it less of a core gives the
// timer fewer ticks a second of the clock, not of its own): a window that
// lets one port hold the others back by more than its turn takes many times
// as long, at a fraction of the ticks (some 25 against 100 or more).
constexpr auto kFloodedRunBudget = 4000ms;
constexpr double kMinTicksPerGuiCpuSecond = 60;

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
  void TearDown() override {
    // A test that failed half way leaves no stream behind.
    if (flood_.joinable()) {
      farm->Unit(kFlooder).Stop();
      flood_.join();
    }
    EightChannelTest::TearDown();
  }

  // The flooding unit programs on its own and does not answer the search: its
  // reports are shown and counted all the same, and Auto Program leaves its
  // channel alone, so no step's start drops a report cut between two blocks.
  SimUnit& PrepareFlood() {
    SimUnit& flooder = farm->Unit(kFlooder);
    flooder.SetSilent(true, true);
    ShowAndSearch(kUnits - 1);
    ChooseChip("FU6813N");
    LoadImage(image);
    flooder.SetLineRate(0);  // as fast as the program reads: faster than the line, and than the window
    return flooder;
  }
  // Streams at most count reports for at most limit, on a thread of its own.
  void StartFlood(size_t count, std::chrono::milliseconds limit) {
    flooding = true;
    flood_ = std::thread([this, count, limit] {
      farm->Unit(kFlooder).StreamStepReports(kCompletion, count, limit);
      flooding = false;
    });
  }
  // Ends the stream and returns the reports it sent whole. The event loop
  // runs meanwhile: the frame on its way may wait for the program to read.
  size_t EndFlood() {
    SimUnit& flooder = farm->Unit(kFlooder);
    flooder.StopStream();
    const bool ended = WaitFor([&] { return !flooding; }, kEndLimit);
    EXPECT_TRUE(ended) << "the stream's last frame was not taken in within " << kEndLimit.count() << " s";
    if (!ended) flooder.Stop();
    flood_.join();
    return flooder.StreamedReports();
  }

  // Auto Program on the healthy units, from the button to the last unit's
  // end, and the 10 ms timer's ticks meanwhile; nothing when the run did not
  // end within kHealthyRunLimit.
  struct TimedRun {
    std::chrono::milliseconds took;
    std::chrono::milliseconds guiCpu;  // what the GUI thread had of a core meanwhile
    int ticks;
    double TicksPerSecond() const { return ticks * 1000.0 / static_cast<double>(std::max<int64_t>(took.count(), 1)); }
    double TicksPerGuiCpuSecond() const {
      return ticks * 1000.0 / static_cast<double>(std::max<int64_t>(guiCpu.count(), 1));
    }
  };
  // The CPU time of the calling thread, the GUI thread here.
  static std::chrono::milliseconds ThreadCpu() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::milliseconds(int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000);
  }
  std::optional<TimedRun> TimedAutoProgram() {
    farm->ForEach([](SimUnit& unit) { unit.ClearLog(); });
    int ticks = 0;
    const QMetaObject::Connection counter = QObject::connect(window->Timer1, &QTimer::timeout, [&] { ++ticks; });
    const Clock::time_point start = Clock::now();
    const std::chrono::milliseconds cpuStart = ThreadCpu();
    window->AutoSpdBtn->click();
    const bool ended = WaitFor([&] { return AllIdle(); }, kHealthyRunLimit);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    const std::chrono::milliseconds guiCpu = ThreadCpu() - cpuStart;
    QObject::disconnect(counter);
    if (!ended) return std::nullopt;
    for (size_t ch = 0; ch < kUnits; ++ch) {
      if (ch == kFlooder) continue;
      EXPECT_EQ(farm->Unit(ch).ReadFlash(0, kImageBytes), image) << "channel " << ch;
    }
    return TimedRun{took, guiCpu, ticks};
  }
  // Every report sent whole is delivered, logged and counted, in the end.
  void ExpectEveryReportCounted(size_t sent) {
    const auto counted = [] { return static_cast<size_t>(RunCounts().ChannelOkCount[kFlooder]); };
    ASSERT_TRUE(WaitFor([&] { return AllIdle() && counted() >= sent; }, kCountLimit))
        << "counted " << counted() << " of " << sent << " reports within " << kCountLimit.count() << " s";
    RunFor(100ms);
    EXPECT_EQ(counted(), sent);
    EXPECT_EQ(RunCounts().ChannelNgCount[kFlooder], 0);
    EXPECT_EQ(CompletionLines(kFlooder), sent);
  }

  std::atomic<bool> flooding{false};

 private:
  std::thread flood_;
};

TEST_F(FloodingUnitTest, TheOperatorKeepsTheWindowWhileAUnitFloodsAndNoReportIsLost) {
  SimUnit& flooder = PrepareFlood();
  window->activateWindow();
  QApplication::setActiveWindow(window.get());
  farm->ForEach([](SimUnit& unit) { unit.ClearLog(); });

  StartFlood(kFloodCap, kFloodLimit);
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
  const bool reached =
      WaitFor([&] { return (watching && OthersReached()) || !flooding; }, kKeyLimit) && OthersReached();
  const bool reachedWhileFlooding = reached && flooding;
  const size_t sent = EndFlood();
  operatorHand.join();
  WaitFor([&] { return taken != Clock::time_point{}; }, kEndLimit);

  ASSERT_NE(taken, Clock::time_point{}) << "F5 never taken";
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(taken - pressed);
  std::printf("F5 under the flood: taken after %lld ms; %zu reports flooded\n",
              static_cast<long long>(waited.count()), sent);
  RecordProperty("F5WaitMs", static_cast<int>(waited.count()));
  EXPECT_TRUE(takenWhileFlooding) << "F5 waited " << waited.count() << " ms, until the flood's end";
  EXPECT_TRUE(reachedWhileFlooding) << "Auto Program reached the other units only after the flood";
  EXPECT_GT(ticks, 0) << "the 10 ms timer stood still while the unit flooded";
  EXPECT_GT(paints.Count(), 0) << "the window log was not painted while the unit flooded";

  ExpectEveryReportCounted(sent);
  for (size_t ch = 0; ch < kUnits; ++ch) {
    if (ch == kFlooder) continue;
    EXPECT_TRUE(ChannelLogged(ch, "自动编程操作成功！")) << ch;
  }
}

// The other channels' work while one unit floods: Auto Program on the seven
// healthy units takes about as long as it takes on a quiet line, and the
// 10 ms timer keeps most of its rate, since one port never holds more
// than its turn ahead of the others.
TEST_F(FloodingUnitTest, TheOtherChannelsKeepTheirPaceAndTheTimerItsRateWhileAUnitFloods) {
  PrepareFlood();
  const auto quiet = TimedAutoProgram();
  ASSERT_TRUE(quiet) << "Auto Program on a quiet line did not end within " << kHealthyRunLimit.count() << " s";

  StartFlood(SIZE_MAX, kFloodLimit + kHealthyRunLimit);
  // Under way once the port's reader is held back: the flood outruns the window.
  const bool underWay =
      WaitFor([&] { return TheGuiQueue().Pending() >= kCommMaxPendingBlocks || !flooding; }, kUnderWayLimit);
  const auto flooded = TimedAutoProgram();
  const bool floodedThroughout = flooding;
  const size_t sent = EndFlood();
  ASSERT_TRUE(underWay && floodedThroughout) << "the flood did not outrun the window, or ended early, after "
                                             << sent << " reports";
  ASSERT_TRUE(flooded) << "Auto Program on the other units did not end within " << kHealthyRunLimit.count()
                       << " s while C1 flooded (" << quiet->took.count() << " ms on a quiet line)";
  std::printf("Auto Program on the others: %lld ms quiet, %lld ms under the flood of %zu reports; "
              "10 ms timer: %.0f ticks/s quiet, %.0f under the flood (%.0f a second of the GUI thread's own)\n",
              static_cast<long long>(quiet->took.count()), static_cast<long long>(flooded->took.count()), sent,
              quiet->TicksPerSecond(), flooded->TicksPerSecond(), flooded->TicksPerGuiCpuSecond());
  EXPECT_LT(flooded->took, kFloodedRunBudget) << "Auto Program took " << flooded->took.count() << " ms";
  EXPECT_GE(flooded->TicksPerGuiCpuSecond(), kMinTicksPerGuiCpuSecond)
      << flooded->ticks << " ticks in " << flooded->guiCpu.count() << " ms of the GUI thread's own ("
      << flooded->took.count() << " ms of the clock)";
  ExpectEveryReportCounted(sent);
}

}  // namespace
