#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "toolkit/clock.h"
#include "toolkit/combo_box.h"
#include "toolkit/errors.h"
#include "toolkit/gauge.h"
#include "toolkit/gui_queue.h"
#include "toolkit/memo.h"
#include "toolkit/random.h"
#include "toolkit/scripted_dialogs.h"

namespace {

TEST(Gauge, ProgressIsClampedAndFollowsALowerMaximum) {
  TGauge gauge;
  gauge.SetMaxValue(50);
  gauge.SetProgress(80);
  EXPECT_EQ(gauge.Progress(), 50);
  gauge.SetProgress(-3);
  EXPECT_EQ(gauge.Progress(), 0);
  gauge.SetProgress(40);
  gauge.SetMaxValue(30);
  EXPECT_EQ(gauge.Progress(), 30);
  gauge.SetMaxValue(100);
  EXPECT_EQ(gauge.Progress(), 30);  // raising the maximum keeps the progress
  EXPECT_EQ(gauge.PercentDone(), 30);
}

// A step whose total is 0 has nothing done and nothing to do: 0 %, empty, also
// after the end of the step sets the progress to the maximum.
TEST(Gauge, ZeroMaximumShowsZeroPercentAndAnEmptyBar) {
  TGauge gauge;
  gauge.SetProgress(40);
  gauge.SetMaxValue(0);
  EXPECT_EQ(gauge.MaxValue(), 0);
  EXPECT_EQ(gauge.Progress(), 0);
  gauge.SetProgress(gauge.MaxValue());
  gauge.SetProgress(7);
  EXPECT_EQ(gauge.Progress(), 0);
  EXPECT_EQ(gauge.PercentDone(), 0);
  EXPECT_EQ(gauge.FilledWidth(200), 0);
  gauge.SetMaxValue(-5);  // taken as 0
  EXPECT_EQ(gauge.MaxValue(), 0);
  EXPECT_EQ(gauge.PercentDone(), 0);
}

TEST(Gauge, FilledWidthFollowsTheProgress) {
  TGauge gauge;
  gauge.SetMaxValue(3);
  gauge.SetProgress(1);
  EXPECT_EQ(gauge.PercentDone(), 33);
  EXPECT_EQ(gauge.FilledWidth(300), 100);
  EXPECT_EQ(gauge.FilledWidth(-1), 0);
  gauge.SetProgress(3);
  EXPECT_EQ(gauge.PercentDone(), 100);
  EXPECT_EQ(gauge.FilledWidth(300), 300);
  // A large maximum does not overflow on the way.
  gauge.SetMaxValue(INT32_MAX);
  gauge.SetProgress(INT32_MAX);
  EXPECT_EQ(gauge.PercentDone(), 100);
  EXPECT_EQ(gauge.FilledWidth(5000), 5000);
}

TEST(Gauge, EveryChangeReachesTheView) {
  TGauge gauge;
  int changes = 0;
  gauge.SetOnChange([&] { ++changes; });
  gauge.SetMaxValue(10);
  gauge.SetProgress(5);
  gauge.SetForeColor(clRed);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(gauge.ForeColor(), clRed);
}

TEST(Memo, SavesLinesWithCrLf) {
  TMemo memo;
  memo.Add("one");
  memo.Add("二");
  std::string path = ::testing::TempDir() + "memo_test.log";
  memo.SaveToFile(path);
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "one\r\n二\r\n");
  std::remove(path.c_str());
}

TEST(Memo, KeepsEveryLineWholeAcrossItsStorage) {
  // Enough text to fill several of the memo's blocks, with the lines that
  // meet a block's end: empty ones, long ones, one longer than a block.
  TMemo memo;
  std::vector<std::string> expected;
  for (size_t i = 0; i < 40000; ++i) {
    std::string line = i % 97 == 0
                           ? std::string()
                           : "> 14:03:22 C" + std::to_string(i % 8 + 1) + ": 芯片没有响应！" + std::to_string(i);
    if (i == 20000) line.assign(3u << 20, 'x');
    expected.push_back(line);
    memo.Add(line);
  }
  const std::string_view first = memo.Line(1);
  for (int i = 0; i < 1000; ++i) memo.Add(std::string(5000, 'y'));  // the early lines stay where they are
  EXPECT_EQ(first, expected[1]);
  ASSERT_EQ(memo.Count(), expected.size() + 1000);
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(memo.Line(i), expected[i]) << i;
  EXPECT_EQ(memo.Line(memo.Count() - 1), std::string(5000, 'y'));
  EXPECT_THROW(memo.Line(memo.Count()), std::out_of_range);

  memo.Clear();
  EXPECT_EQ(memo.Count(), 0u);
  memo.Add("after");
  EXPECT_EQ(memo.Lines(), std::vector<std::string>{"after"});
}

TEST(Memo, SaveToAMissingFolderRaisesTheSystemReason) {
  TMemo memo;
  memo.Add("x");
  try {
    memo.SaveToFile("/nonexistent-folder/x.log");
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent-folder/x.log"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos);
  }
}

TEST(ComboBox, KeepsItemsInTextOrder) {
  TComboBoxModel combo;
  for (const char* item : {"ttyUSB2", "ttyUSB10", "ttyACM0", "ttyUSB2"}) combo.Add(item);
  EXPECT_EQ(combo.Items(), (std::vector<std::string>{"ttyACM0", "ttyUSB10", "ttyUSB2", "ttyUSB2"}));
}

TEST(Clock, PinnedClockAndFormats) {
  SetClockForTest([] { return MakeLocalTime(2026, 12, 8, 14, 3, 22); });
  SetLocaleFormatsForTest("%Y-%m-%d", "%H:%M:%S");
  EXPECT_EQ(ShortDateText(Now()), "2026-12-08");
  EXPECT_EQ(LongTimeText(Now()), "14:03:22");
}

TEST(Random, FollowsTheLinearCongruentialSequence) {
  // seed 1: (1 * 255) >> 32 = 0; seed 134775814: high word of 134775814 * 255.
  EXPECT_EQ(Random(255), 0u);
  EXPECT_EQ(Random(255), static_cast<uint32_t>((uint64_t{134775814} * 255) >> 32));
  SetRandSeed(0);
  uint32_t first = Random(65535);
  SetRandSeed(0);
  EXPECT_EQ(Random(65535), first);
  for (int i = 0; i < 1000; ++i) EXPECT_LT(Random(7), 7u);
}

struct Recorder : GuiMessageTarget {
  std::vector<uint32_t> codes;
  void HandleGuiMessage(GuiMessage& m) override { codes.push_back(m.code); }
};

TEST(GuiQueue, DeliversInPostingOrderAndForgetsGoneTargets) {
  GuiQueue queue;
  Recorder a, b;
  std::thread poster([&] {
    for (uint32_t i = 0; i < 100; ++i) queue.Post({&a, i, 0, nullptr, 0});
  });
  poster.join();
  queue.Post({&b, 7, 0, nullptr, 0});
  queue.Post({&a, 100, 0, nullptr, 0});
  queue.Forget(&b);
  EXPECT_EQ(queue.Drain(), 101u);
  ASSERT_EQ(a.codes.size(), 101u);
  for (uint32_t i = 0; i <= 100; ++i) EXPECT_EQ(a.codes[i], i);
  EXPECT_TRUE(b.codes.empty());
}

// The event loop's side: a turn ends once its slice has passed, asks for the
// next one while messages are left, and one asked-for turn stands for any
// number of posts.
struct SlowRecorder : GuiMessageTarget {
  std::vector<uint32_t> codes;
  std::chrono::milliseconds each{0};
  uint32_t throwAt = UINT32_MAX;
  void HandleGuiMessage(GuiMessage& m) override {
    codes.push_back(m.code);
    std::this_thread::sleep_for(each);
    if (m.code == throwAt) throw std::runtime_error("handler failed");
  }
};

TEST(GuiQueue, DeliversInBoundedTurnsAndAsksForTheNextWhileMessagesAreLeft) {
  GuiQueue queue;
  std::atomic<int> wakes{0};
  queue.SetWake([&] { ++wakes; });
  SlowRecorder a;
  a.each = std::chrono::milliseconds(2);
  for (uint32_t i = 0; i < 20; ++i) queue.Post({&a, i, 0, nullptr, 0});
  EXPECT_EQ(wakes, 1);  // one turn asked for, not twenty

  const size_t first = queue.DeliverTurn(std::chrono::milliseconds(5));
  EXPECT_GE(first, 1u);
  EXPECT_LT(first, 20u);  // 40 ms of handlers do not fit a 5 ms turn
  EXPECT_EQ(wakes, 2);
  EXPECT_EQ(queue.DeliverTurn(std::chrono::milliseconds(0)), 1u);  // at least one, however short
  a.each = std::chrono::milliseconds(0);
  int turns = 2;
  while (queue.Pending() > 0) {
    queue.DeliverTurn();
    ++turns;
  }
  EXPECT_EQ(wakes, turns);  // every turn that left messages asked for the next, the last none
  ASSERT_EQ(a.codes.size(), 20u);
  for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(a.codes[i], i);
  EXPECT_EQ(queue.DeliverTurn(), 0u);
  EXPECT_EQ(wakes, turns);

  // A handler that throws ends the turn, which still asks for the next.
  a.codes.clear();
  a.throwAt = 1;
  for (uint32_t i = 0; i < 3; ++i) queue.Post({&a, i, 0, nullptr, 0});
  EXPECT_EQ(wakes, turns + 1);
  EXPECT_THROW(queue.DeliverTurn(), std::runtime_error);
  EXPECT_EQ(wakes, turns + 2);
  EXPECT_EQ(queue.DeliverTurn(), 1u);
  EXPECT_EQ(a.codes, (std::vector<uint32_t>{0, 1, 2}));
}

// A port that posts faster than its handler consumes: every turn still comes
// back to the event loop, and nothing is lost or reordered.
TEST(GuiQueue, TurnsReturnWhileAThreadKeepsPosting) {
  GuiQueue queue;
  queue.SetWake([] {});
  SlowRecorder a;
  a.each = std::chrono::milliseconds(1);
  std::atomic<bool> stop{false};
  uint32_t posted = 0;
  std::thread poster([&] {
    while (!stop) queue.Post({&a, posted++, 0, nullptr, 0});
  });
  while (queue.Pending() == 0) std::this_thread::yield();
  for (int turn = 0; turn < 5; ++turn) EXPECT_GE(queue.DeliverTurn(std::chrono::milliseconds(2)), 1u);
  stop = true;
  poster.join();
  EXPECT_GT(queue.Pending(), 0u);
  a.each = std::chrono::milliseconds(0);
  queue.Drain();
  ASSERT_EQ(a.codes.size(), posted);
  for (uint32_t i = 0; i < posted; ++i) ASSERT_EQ(a.codes[i], i);
}

// Targets that share one log of what was handed on, as "name:code".
struct SharedRecorder : GuiMessageTarget {
  SharedRecorder(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
  void HandleGuiMessage(GuiMessage& m) override { log_.push_back(name_ + ":" + std::to_string(m.code)); }

private:
  std::vector<std::string>& log_;
  std::string name_;
};

// A target with a hundred messages waiting holds another one's message back
// by one of its own, not by the hundred; each keeps its own order.
TEST(GuiQueue, TargetsWithMessagesWaitingTakeTurnsOneMessageEach) {
  GuiQueue queue;
  std::vector<std::string> log;
  SharedRecorder flood(log, "f"), quiet(log, "q");
  for (uint32_t i = 0; i < 100; ++i) queue.Post({&flood, i, 0, nullptr, 0});
  queue.Post({&quiet, 0, 0, nullptr, 0});
  queue.Post({&quiet, 1, 0, nullptr, 0});
  EXPECT_EQ(queue.Pending(), 102u);
  EXPECT_EQ(queue.Drain(), 102u);
  ASSERT_EQ(log.size(), 102u);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 5),
            (std::vector<std::string>{"f:0", "q:0", "f:1", "q:1", "f:2"}));
  for (uint32_t i = 2; i < 100; ++i) ASSERT_EQ(log[i + 2], "f:" + std::to_string(i));
}

// The rest of a handler's work, put first in its port's lane: the other
// lanes go first, then the rest, then what the port sent after; it goes with
// the port's lane.
TEST(GuiQueue, AMessagePutFirstInALaneLeadsItAndGoesWithIt) {
  GuiQueue queue;
  std::vector<std::string> log;
  SharedRecorder port(log, "p"), other(log, "o"), rest(log, "r");
  for (uint32_t i = 0; i < 3; ++i) queue.Post({&port, i, 0, nullptr, 0});
  queue.Post({&other, 0, 0, nullptr, 0});
  queue.Post({&other, 1, 0, nullptr, 0});
  EXPECT_EQ(queue.DeliverTurn(std::chrono::milliseconds(0)), 1u);  // p:0
  queue.PostFirst(&port, {&rest, 7, 0, nullptr, 0});
  queue.Drain();
  EXPECT_EQ(log, (std::vector<std::string>{"p:0", "o:0", "r:7", "o:1", "p:1", "p:2"}));

  log.clear();
  queue.Post({&port, 3, 0, nullptr, 0});
  queue.PostFirst(&port, {&rest, 8, 0, nullptr, 0});
  queue.PostFirst(&other, {&rest, 9, 0, nullptr, 0});  // a lane of its own, no message of other's yet
  queue.Forget(&port);
  EXPECT_EQ(queue.Pending(), 1u);
  queue.Drain();
  EXPECT_EQ(log, (std::vector<std::string>{"r:9"}));
}

TEST(MessageBoxes, CaptionIsTheStockCaptionOfTheKindOrTheApplicationTitle) {
  ScriptedMessageBoxes boxes;
  MessageDlg("w", MsgDlgType::Warning, mbOK);
  MessageDlg("e", MsgDlgType::Error, mbOK | mbAbort);
  MessageDlg("i", MsgDlgType::Information, mbOK);
  MessageDlg("c", MsgDlgType::Confirmation, mbYes | mbNo);
  ShowMessage("s");
  MessageBox("b", "Own caption", mbOK);
  std::vector<std::string> captions;
  for (const MessageBoxRequest& r : boxes.Shown()) captions.push_back(r.caption);
  // Empty: the box shows the application title.
  EXPECT_EQ(captions, (std::vector<std::string>{"Warning", "Error", "Information", "Confirm", "", "Own caption"}));
}

TEST(ScriptedDialogs, AnswerInOrderThenFirstButton) {
  ScriptedMessageBoxes boxes;
  boxes.Answer(ModalResult::Abort);
  EXPECT_EQ(MessageDlg("a", MsgDlgType::Error, mbOK | mbAbort), ModalResult::Abort);
  EXPECT_EQ(MessageDlg("b", MsgDlgType::Error, mbOK | mbAbort), ModalResult::Ok);
  MessageBeep(0);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(boxes.Beeps().size(), 1u);
}

}  // namespace
