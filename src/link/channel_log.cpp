#include "link/channel_log.h"

#include <algorithm>

#include "link/operation_steps.h"
#include "link/result_messages.h"
#include "link/wire.h"
#include "toolkit/clock.h"
#include "toolkit/dialogs.h"
#include "toolkit/format.h"
#include "toolkit/gauge.h"
#include "toolkit/le_bytes.h"
#include "toolkit/memo.h"

namespace {
// A fresh gauge shows a sliver, so a started step is visibly running.
constexpr int32_t kStartProgress = 3;
// Progress and total of a step report count from 0; the gauge is shown two
// units ahead, like a block step's start.
constexpr int32_t kReportProgressLead = 2;
static_assert(kStepReportBytes <= kTxPacketBytes);

constexpr const char* kCompletedText = "Progrmming Completed : ";
constexpr const char* kCompletedOkText = "Successed !";
// The colon is the full-width one.
constexpr const char* kNotReadProtectedText = "Error：芯片未设定读保护！";
constexpr const char* kCompletedFailFormat = "Failed : Error=0x%0.2x!";
constexpr const char* kChannelCountsFormat = "OK=%d, NG=%d.";
constexpr const char* kTotalsFormat = ">---------- Total OK Number is : %d, NG is %d ----------";
constexpr const char* kRunLogPrefix = "GenTG_";
constexpr const char* kRunLogExtension = ".log";

ChannelRunCounts counts{};

void AddMemoLine(std::string_view line) {
  if (g.LogMemo) g.LogMemo->Add(line);
}

// The date and time as the locale writes them, with the characters that a
// file name cannot hold (or that the program has always replaced) made '_'.
std::string RunLogPath() {
  const std::tm now = Now();
  std::string stamp = ShortDateText(now) + "_" + LongTimeText(now);
  std::replace_if(
      stamp.begin(), stamp.end(), [](char c) { return c == '-' || c == '/' || c == ':'; }, '_');
  return g.ProgramDir + kRunLogPrefix + stamp + kRunLogExtension;
}

void ShowCompletion(uint8_t result, uint8_t channel, TGauge* gauge) {
  std::string text = kCompletedText;
  if (result == kStepResultOk) {
    text += kCompletedOkText;
    counts.ChannelOkCount[channel] += 1;
    g.TotalOk += 1;
    if (gauge) gauge->SetForeColor(clBlue);
  } else {
    counts.ChannelNgCount[channel] += 1;
    g.TotalNg += 1;
    if (gauge) gauge->SetForeColor(clRed);
    text += result == kStepResultNotReadProtected ? std::string(kNotReadProtectedText)
                                                  : Format(kCompletedFailFormat, {result});
  }
  LogChannelLine(text, channel);
  LogChannelLine(Format(kChannelCountsFormat, {counts.ChannelOkCount[channel], counts.ChannelNgCount[channel]}),
                 channel);
  LogTotals();
  // Only after the totals: a run log that cannot be written leaves the bar as it was.
  if (gauge) gauge->SetProgress(gauge->MaxValue());
}

void ShowStep(const StepReportRow& row, uint16_t progress, uint16_t total, uint8_t channel, TGauge* gauge) {
  if (gauge) {
    // Progress before MaxValue: it is clamped to the maximum still in force.
    gauge->SetProgress(row.progress == StepReportRow::kFromReport ? progress + kReportProgressLead : row.progress);
    gauge->SetMaxValue(row.maxValue == StepReportRow::kFromReport ? total : row.maxValue);
    if (row.colour == StepReportRow::Colour::Blue) gauge->SetForeColor(clBlue);
  }
  if (row.line == StepReportRow::Line::Always || progress == 0) LogChannelLine(row.text, channel);
}
}  // namespace

void LogChannelLine(std::string_view text, uint8_t channel) {
  if (!IsChannel(channel)) return;
  std::string line = "> " + LongTimeText(Now()) + Format(" C%d: ", {channel + 1});
  line += text;
  AddMemoLine(line);
}

void BeginChannelProgress(uint16_t tick, uint16_t blocks, uint8_t channel) {
  if (!IsChannel(channel)) return;
  g.ChannelBusy[channel] = 1;
  g.BlockIndex[channel] = 0;
  g.BlockCount[channel] = blocks;
  TGauge* gauge = g.ChannelGauge[channel];
  const bool byTicks = tick != 0;
  g.ChannelTimer[channel] = byTicks ? tick : kStepTimeoutTicks;
  g.ChannelTickProgress[channel] = byTicks ? 1 : 0;
  if (gauge) {
    gauge->SetMaxValue(byTicks ? tick : blocks);
    gauge->SetProgress(kStartProgress);
    gauge->SetForeColor(clBlue);
  }
}

void EndChannelProgress(uint8_t code, uint8_t channel) {
  if (!IsChannel(channel)) return;
  g.ChannelBusy[channel] = 0;
  g.ChannelState[channel] = TChannelState::Idle;
  g.ChannelTimer[channel] = 0;
  if (TGauge* gauge = g.ChannelGauge[channel]) {
    gauge->SetForeColor(code != 0 ? clRed : clBlue);
    gauge->SetProgress(gauge->MaxValue());
  }
}

void ReportResultCode(uint8_t code, uint8_t channel) {
  if (!IsChannel(channel)) return;
  const bool success = IsSuccessCode(code);
  EndChannelProgress(success ? 0 : code, channel);
  if (success) MessageBeep(0);
  LogChannelLine(ResultMessage(code), channel);
}

void ReportStepStatus(uint8_t channel) {
  if (!IsChannel(channel)) return;
  const uint8_t* report = g.TxPacket[channel];
  uint8_t check = 0;
  for (size_t i = 0; i < kStepReportBytes; ++i) check = static_cast<uint8_t>(check + report[i]);
  if (check != 0) return;

  const uint8_t step = report[kReportStepOffset];
  const uint8_t result = report[kReportResultOffset];
  const uint16_t total = GetLe16(report + kReportTotalOffset);
  TGauge* gauge = g.ChannelGauge[channel];
  if (step == kStepCompleted) {
    ShowCompletion(result, channel, gauge);
    return;
  }
  const StepReportRow* row = FindStepReportRow(step);
  if (!row) return;
  // Only the two programming steps carry a progress; for the others it counts as 0.
  const bool carriesProgress = row->progress == StepReportRow::kFromReport;
  ShowStep(*row, carriesProgress ? GetLe16(report + kReportProgressOffset) : 0, total, channel, gauge);
}

void LogTotals() {
  counts.ResultsSinceSave += 1;
  AddMemoLine(Format(kTotalsFormat, {g.TotalOk, g.TotalNg}));
  if (counts.ResultsSinceSave < kResultsPerRunLog) return;
  counts.ResultsSinceSave = 0;
  // A snapshot of the whole window log; the window log itself goes on.
  const std::string path = RunLogPath();
  if (g.LogMemo) g.LogMemo->SaveToFile(path);
}

const ChannelRunCounts& RunCounts() { return counts; }

void ResetRunCounts() { counts = ChannelRunCounts{}; }
