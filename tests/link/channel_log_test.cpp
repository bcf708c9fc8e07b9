#include "link/channel_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "link/operation_steps.h"
#include "shared/state.h"
#include "support/temp_folder.h"
#include "toolkit/clock.h"
#include "toolkit/errors.h"
#include "toolkit/gauge.h"
#include "toolkit/memo.h"
#include "toolkit/scripted_dialogs.h"
#include "support/process_state.h"

namespace {

constexpr const char* kTime = "14:07:09";

class ChannelLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g.LogMemo = &memo_;
    for (int ch = 0; ch < kChannels; ++ch) g.ChannelGauge[ch] = &gauges_[ch];
    SetClockForTest([] { return MakeLocalTime(2026, 3, 5, 14, 7, 9); });
    SetLocaleFormatsForTest("%Y-%m-%d", "%H:%M:%S");
  }
  // A table case starts from a clean process, with log, gauges and clock set again.
  void StartCase() {
    ResetProcessState();
    ChannelLogTest::SetUp();
  }

  static std::string ChannelLine(int ch, const std::string& text) {
    return std::string("> ") + kTime + " C" + std::to_string(ch + 1) + ": " + text;
  }

  // A step report as a unit sends it, decoded into the channel's reply slot.
  static void PutStepReport(uint8_t ch, uint8_t step, uint8_t result, uint16_t progress = 0, uint16_t total = 0,
                            uint8_t checkError = 0) {
    uint8_t* r = g.TxPacket[ch];
    const uint8_t bytes[7] = {0xFD,
                              step,
                              result,
                              static_cast<uint8_t>(progress),
                              static_cast<uint8_t>(progress >> 8),
                              static_cast<uint8_t>(total),
                              static_cast<uint8_t>(total >> 8)};
    uint8_t sum = 0;
    for (int i = 0; i < 7; ++i) sum = static_cast<uint8_t>(sum + (r[i] = bytes[i]));
    r[7] = static_cast<uint8_t>(0x100 - sum + checkError);
  }

  void SetGauge(int ch, int32_t maxValue, int32_t progress, uint32_t colour) {
    gauges_[ch].SetMaxValue(maxValue);
    gauges_[ch].SetProgress(progress);
    gauges_[ch].SetForeColor(colour);
  }

  TMemo memo_;
  TGauge gauges_[kChannels];
  ScriptedMessageBoxes boxes_;
};

TEST_F(ChannelLogTest, ChannelLineCarriesTimeAndChannelNumber) {
  LogChannelLine("找到设备：OrvantGengX-BEM!", 2);
  LogChannelLine("x", 7);
  EXPECT_EQ(memo_.Lines(),
            (std::vector<std::string>{ChannelLine(2, "找到设备：OrvantGengX-BEM!"), ChannelLine(7, "x")}));
}

TEST_F(ChannelLogTest, ChannelOutsideTheTablesAndMissingMemoAreLeftAlone) {
  LogChannelLine("x", 9);
  EndChannelProgress(0, 200);
  ReportStepStatus(9);
  EXPECT_EQ(memo_.Count(), 0u);
  g.LogMemo = nullptr;
  LogChannelLine("x", 0);
  ReportResultCode(6, 0);
  EXPECT_EQ(g.ChannelState[0], TChannelState::Idle);
}

TEST_F(ChannelLogTest, BeginStartsGaugeAndTimeOutByTickOrByBlocks) {
  struct Case {
    uint16_t tick, blocks;
    int32_t maxValue;
    uint16_t timer;
    uint8_t tickProgress;
  };
  // clang-format off
  const Case cases[] = {
  //   tick  blocks  maxValue  timer  tickProgress
      {0,    16,     16,       500,   0},
      {2000, 16,     2000,     2000,  1},
      {500,  64,     500,      500,   1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tick);
    SetGauge(1, 100, 90, clRed);
    g.BlockIndex[1] = 7;
    g.ChannelTickProgress[1] = c.tickProgress ? 0 : 1;
    BeginChannelProgress(c.tick, c.blocks, 1);
    EXPECT_EQ(g.ChannelBusy[1], 1);
    EXPECT_EQ(g.BlockIndex[1], 0);
    EXPECT_EQ(g.BlockCount[1], c.blocks);
    EXPECT_EQ(g.ChannelTimer[1], c.timer);
    EXPECT_EQ(g.ChannelTickProgress[1], c.tickProgress);
    EXPECT_EQ(gauges_[1].MaxValue(), c.maxValue);
    EXPECT_EQ(gauges_[1].Progress(), 3);
    EXPECT_EQ(gauges_[1].ForeColor(), clBlue);
  }
}

TEST_F(ChannelLogTest, BeginAndEndWithoutAGaugeStillSetTheChannel) {
  g.ChannelGauge[4] = nullptr;
  BeginChannelProgress(0, 32, 4);
  EXPECT_EQ(g.ChannelBusy[4], 1);
  EXPECT_EQ(g.ChannelTimer[4], 500);
  EndChannelProgress(1, 4);
  EXPECT_EQ(g.ChannelBusy[4], 0);
  EXPECT_EQ(g.ChannelState[4], TChannelState::Idle);
}

struct ResultCase {
  uint8_t code;
  const char* text;
  uint32_t colour;
  bool beep;
};

// clang-format off
const ResultCase kResultCases[] = {
//   code  text                                  colour  beep
    {6,    "操作成功！",                          clBlue, true},
    {0,    "操作成功！",                          clBlue, true},
    {11,   "芯片没有响应！",                      clRed,  false},
    {42,   "数据包错误！",                        clRed,  false},
    {81,   "Flash的大小与芯片不匹配",             clRed,  false},
    {224,  "串口通讯错误！",                      clRed,  false},
    {5,    "操作失败！错误代码: 05(0x05)！",      clRed,  false},
    {200,  "操作失败！错误代码: 0200(0xC8)！",    clRed,  false},
    {1,    "操作失败！错误代码: 01(0x01)！",      clRed,  false},
};
// clang-format on

TEST_F(ChannelLogTest, ResultCodeEndsTheStepAndLogsItsMessage) {
  for (const ResultCase& c : kResultCases) {
    SCOPED_TRACE(c.code);
    memo_.Clear();
    boxes_.Clear();
    BeginChannelProgress(0, 64, 3);
    g.ChannelState[3] = TChannelState::ProgramFlash;
    ReportResultCode(c.code, 3);
    EXPECT_EQ(memo_.Lines(), std::vector<std::string>{ChannelLine(3, c.text)});
    EXPECT_EQ(gauges_[3].ForeColor(), c.colour);
    EXPECT_EQ(gauges_[3].Progress(), 64);
    EXPECT_EQ(g.ChannelState[3], TChannelState::Idle);
    EXPECT_EQ(g.ChannelBusy[3], 0);
    EXPECT_EQ(g.ChannelTimer[3], 0);
    EXPECT_EQ(boxes_.Beeps(), c.beep ? std::vector<unsigned>{0} : std::vector<unsigned>{});
  }
}

struct StepCase {
  const char* name;
  uint8_t step;
  uint16_t progress, total;
  int32_t maxBefore;  // the gauge before: this maximum, progress 50, red
  int32_t progressAfter, maxAfter;
  uint32_t colourAfter;
  const char* line;  // null: no line
};

// clang-format off
const StepCase kStepCases[] = {
//   name                          step  progress  total  maxBefore  progressAfter  maxAfter  colourAfter  line
    {"flash programming starts",   64,   0,        64,    100,       2,             64,       clBlue, "Do Main Flash Programming...."},
    {"flash programming goes on",  64,   10,       64,    100,       12,            64,       clBlue, nullptr},
    {"progress clamped first",     64,   10,       64,    5,         5,             64,       clBlue, nullptr},
    {"eep programming keeps red",  80,   0,        32,    100,       2,             32,       clRed,  "Do EEP Data Programming...."},
    {"interface",                  16,   0,        0,     100,       5,             100,      clBlue, "Initial Programming Interface ...."},
    {"blank check",                32,   0,        0,     100,       30,            100,      clRed,  "Chip Blank Checking...."},
    {"progress read only for 64/80", 48, 9,        0,     100,       50,            100,      clRed,  "Do Chip Erasing...."},
    {"flash verification",         112,  0,        0,     100,       50,            100,      clBlue, "Do Main Flash Verification...."},
    {"eep verification",           128,  0,        0,     100,       50,            100,      clRed,  "Do EEP Data Verification...."},
    {"option bytes",               160,  0,        0,     100,       50,            100,      clRed,  "Do Chip Option Byte Programming...."},
};
// clang-format on

TEST_F(ChannelLogTest, StepReportMovesTheGaugeAndLogsTheStep) {
  for (const StepCase& c : kStepCases) {
    SCOPED_TRACE(c.name);
    memo_.Clear();
    SetGauge(5, c.maxBefore, 50, clRed);
    g.ChannelBusy[5] = 1;
    g.ChannelState[5] = TChannelState::ProgramFlash;
    g.ChannelTimer[5] = 300;
    PutStepReport(5, c.step, 0, c.progress, c.total);
    ReportStepStatus(5);
    EXPECT_EQ(gauges_[5].Progress(), c.progressAfter);
    EXPECT_EQ(gauges_[5].MaxValue(), c.maxAfter);
    EXPECT_EQ(gauges_[5].ForeColor(), c.colourAfter);
    EXPECT_EQ(memo_.Lines(), c.line ? std::vector<std::string>{ChannelLine(5, c.line)} : std::vector<std::string>{});
    // A report never touches the step in progress.
    EXPECT_EQ(g.ChannelBusy[5], 1);
    EXPECT_EQ(g.ChannelState[5], TChannelState::ProgramFlash);
    EXPECT_EQ(g.ChannelTimer[5], 300);
  }
}

TEST_F(ChannelLogTest, BadCheckByteOrUnknownStepChangesNothing) {
  struct Case {
    const char* name;
    uint8_t step, result, checkError;
  };
  // clang-format off
  const Case cases[] = {
      {"bad check byte, progress step", 16,   0, 1},
      {"bad check byte, completion",    240,  6, 0x80},
      {"unknown step",                  0x55, 0, 0},
      {"step 0",                        0,    0, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetGauge(0, 64, 10, clRed);
    PutStepReport(0, c.step, c.result, 0, 100, c.checkError);
    ReportStepStatus(0);
    EXPECT_EQ(memo_.Count(), 0u);
    EXPECT_EQ(gauges_[0].Progress(), 10);
    EXPECT_EQ(gauges_[0].MaxValue(), 64);
    EXPECT_EQ(gauges_[0].ForeColor(), clRed);
    EXPECT_EQ(g.TotalOk + g.TotalNg, 0);
    EXPECT_EQ(RunCounts().ResultsSinceSave, 0u);
  }
}

TEST_F(ChannelLogTest, CompletionReportCountsTheChipAndLogsTheTotals) {
  struct Case {
    uint8_t result;
    const char* outcome;
    uint32_t colour;
    int ok, ng;
  };
  // clang-format off
  const Case cases[] = {
  //   result  outcome                         colour  ok  ng
      {6,      "Successed !",                  clBlue, 1,  0},
      {30,     "Error：芯片未设定读保护！",      clRed,  0,  1},
      {11,     "Failed : Error=0x0B!",         clRed,  0,  1},
      {0,      "Failed : Error=0x00!",         clRed,  0,  1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    StartCase();
    g.TotalOk = 10;
    g.TotalNg = 20;
    memo_.Clear();
    SetGauge(6, 64, 10, c.colour == clBlue ? clRed : clBlue);
    PutStepReport(6, 240, c.result, 0x1234, 0x5678);
    ReportStepStatus(6);
    EXPECT_EQ(memo_.Lines(), (std::vector<std::string>{
                                 ChannelLine(6, std::string("Progrmming Completed : ") + c.outcome),
                                 ChannelLine(6, "OK=" + std::to_string(c.ok) + ", NG=" + std::to_string(c.ng) + "."),
                                 ">---------- Total OK Number is : " + std::to_string(10 + c.ok) + ", NG is " +
                                     std::to_string(20 + c.ng) + " ----------"}));
    EXPECT_EQ(gauges_[6].ForeColor(), c.colour);
    EXPECT_EQ(gauges_[6].MaxValue(), 64);
    EXPECT_EQ(gauges_[6].Progress(), 64);
    EXPECT_EQ(RunCounts().ChannelOkCount[6], c.ok);
    EXPECT_EQ(RunCounts().ChannelNgCount[6], c.ng);
    EXPECT_EQ(RunCounts().ResultsSinceSave, 1u);
  }
}

TEST_F(ChannelLogTest, ChannelCountsAreKeptPerChannelAndTotalsShared) {
  for (uint8_t result : {6, 6, 11}) {
    PutStepReport(0, 240, result);
    ReportStepStatus(0);
  }
  PutStepReport(2, 240, 6);
  ReportStepStatus(2);
  EXPECT_EQ(memo_.Line(memo_.Count() - 2), ChannelLine(2, "OK=1, NG=0."));
  EXPECT_EQ(memo_.Lines().back(), ">---------- Total OK Number is : 3, NG is 1 ----------");
  EXPECT_EQ(RunCounts().ChannelOkCount[0], 2);
  EXPECT_EQ(RunCounts().ChannelNgCount[0], 1);
  EXPECT_EQ(RunCounts().ChannelOkCount[2], 1);
}

class RunLogTest : public ChannelLogTest {
 protected:
  void SetUp() override {
    ChannelLogTest::SetUp();
    g.ProgramDir = tempFolder_.Slashed();
  }

  void CountReports(int n) {
    for (int i = 0; i < n; ++i) LogTotals();
  }
  void CompleteOneChip() {
    PutStepReport(0, 240, 6);
    ReportStepStatus(0);
  }
  std::vector<std::string> FilesInFolder() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) names.push_back(entry.path().filename());
    return names;
  }
  std::string FileText(const std::string& name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string MemoAsCrLfText() const {
    std::string text;
    for (const std::string& line : memo_.Lines()) text += line + "\r\n";
    return text;
  }

  TempFolder tempFolder_{"orv_runlog_"};
  const std::filesystem::path& folder_ = tempFolder_.Path();
};

TEST_F(RunLogTest, SavedOnThe2000thAnd4000thCompletionReportOnly) {
  const std::string name = "GenTG_2026_03_05_14_07_09.log";
  CountReports(1999);
  EXPECT_TRUE(FilesInFolder().empty());

  CompleteOneChip();  // the 2000th
  EXPECT_EQ(FilesInFolder(), std::vector<std::string>{name});
  EXPECT_EQ(FileText(name), MemoAsCrLfText());
  EXPECT_EQ(RunCounts().ResultsSinceSave, 0u);
  EXPECT_EQ(memo_.Count(), 1999u + 3u);  // the window log goes on uncleared
  std::filesystem::remove(folder_ / name);

  CompleteOneChip();  // the 2001st
  EXPECT_TRUE(FilesInFolder().empty());
  EXPECT_EQ(RunCounts().ResultsSinceSave, 1u);

  SetClockForTest([] { return MakeLocalTime(2026, 3, 6, 9, 0, 1); });
  CountReports(1998);
  EXPECT_TRUE(FilesInFolder().empty());
  CountReports(1);  // the 4000th
  EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"GenTG_2026_03_06_09_00_01.log"});
  EXPECT_EQ(FileText("GenTG_2026_03_06_09_00_01.log"), MemoAsCrLfText());
}

TEST_F(RunLogTest, NameTakesTheLocaleFormatsWithSeparatorsReplaced) {
  struct Case {
    const char* date;
    const char* time;
    const char* name;
  };
  // clang-format off
  const Case cases[] = {
      {"%d/%m/%Y", "%H:%M:%S",    "GenTG_05_03_2026_14_07_09.log"},
      {"%d.%m.%y", "%I:%M:%S %p", "GenTG_05.03.26_02_07_09 PM.log"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLocaleFormatsForTest(c.date, c.time);
    CountReports(2000);
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{c.name});
    std::filesystem::remove(folder_ / c.name);
  }
}

TEST_F(RunLogTest, RunLogThatCannotBeWrittenRaisesAndLeavesTheGaugeUnfilled) {
  g.ProgramDir = (folder_ / "missing").string() + "/";
  CountReports(1999);
  SetGauge(0, 64, 10, clRed);
  PutStepReport(0, 240, 6);
  EXPECT_THROW(ReportStepStatus(0), EInOutError);
  EXPECT_EQ(RunCounts().ResultsSinceSave, 0u);
  EXPECT_EQ(gauges_[0].Progress(), 10);
  EXPECT_EQ(g.TotalOk, 1);
}

}  // namespace
