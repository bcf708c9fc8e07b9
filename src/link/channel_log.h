#pragma once
// Channel log lines, progress gauges, device result messages, the units' own
// status reports and the run totals. GUI thread only; no locks.
//
// Every routine takes the channel as 0..7 (IsChannel) and does nothing for
// any other, the tables' spare entry 8 included. The window log is g.LogMemo and a channel's
// gauge g.ChannelGauge[channel]; either may be null (not bound yet), and then
// its part of the work is left out and the rest still done.

#include <cstdint>
#include <string_view>

#include "shared/state.h"

// Adds "> " + the time of day (long time format) + " C<channel+1>: " + text
// as the last line of the window log.
void LogChannelLine(std::string_view text, uint8_t channel);

// Marks the channel busy and starts its gauge and time-out. tick: 0 for steps
// that advance by blocks (time-out kStepTimeoutTicks, gauge maximum `blocks`, no tick
// progress), else the expected length in 10 ms ticks (time-out and gauge
// maximum `tick`, tick progress on). blocks: the step's block count in KB.
// The gauge starts blue at 3.
void BeginChannelProgress(uint16_t tick, uint16_t blocks, uint8_t channel);

// Ends the channel's step: idle (0xF0), not busy, time-out 0, gauge full;
// blue when code is 0, red otherwise. Ending an ended channel again is harmless.
void EndChannelProgress(uint8_t code, uint8_t channel);

// Ends the channel's step (0 and 6 as success) and logs the code's message
// (see ResultMessage); success also sounds the default beep.
void ReportResultCode(uint8_t code, uint8_t channel);

// Shows the step report that lies decoded in g.TxPacket[channel]: its first
// 8 bytes (0xFD, step, result, progress LE16, total LE16, check byte). The
// callers hand it only frames that decoded to 8 bytes or more. A report whose
// 8 bytes do not sum to 0 modulo 256, or with an unknown step, changes nothing.
// A completion report (step 240) counts the chip OK (result 6) or NG and calls
// LogTotals, so it may throw what LogTotals throws. Never touches the
// channel's busy flag, state or time-out.
void ReportStepStatus(uint8_t channel);

// Adds the totals line to the window log and counts one completion report; at
// every 2000th it saves the whole window log as
// g.ProgramDir + "GenTG_<short date>_<long time>.log" ('-', '/' and ':' of the
// date and time made '_'), replacing a file of that name; without a window
// log there is nothing to save.
// Throws EInOutError when that file cannot be written; the count has already
// started again from 0 then.
void LogTotals();

// Completion reports counted by ReportStepStatus and LogTotals. Process-wide,
// zero at start, never reset by the program.
struct ChannelRunCounts {
  int32_t ChannelOkCount[kChannelSlots];  // reports with result 6
  int32_t ChannelNgCount[kChannelSlots];  // reports with any other result
  uint32_t ResultsSinceSave;              // since the run log was last written
};
inline constexpr uint32_t kResultsPerRunLog = 2000;

const ChannelRunCounts& RunCounts();
// Back to zero, for tests.
void ResetRunCounts();
