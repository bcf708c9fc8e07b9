#pragma once
// Channel log lines, progress gauges, device result messages, the units' own
// status reports and the run totals. GUI thread only.

#include <cstdint>
#include <string_view>

// "> time C<n>: text" into the window log.
void LogChannelLine(std::string_view text, uint8_t channel);
// Marks the channel busy and starts its gauge and time-out. tick: 0 for steps
// that advance by blocks, else the expected length in 10 ms ticks.
// blocks: the step's block count in KB.
void BeginChannelProgress(uint16_t tick, uint16_t blocks, uint8_t channel);
// Ends the channel's step: 0 success (blue), else failure (red).
void EndChannelProgress(uint8_t code, uint8_t channel);
// Ends the channel's step and logs the code's message.
void ReportResultCode(uint8_t code, uint8_t channel);
// Shows the step report that lies decoded in the channel's reply slot.
void ReportStepStatus(uint8_t channel);
// Logs the totals line and saves the run log when due.
void LogTotals();
