#pragma once
// The texts of device result codes and the table of the units' step reports.
// Constant data; any thread.

#include <cstdint>
#include <string>

// 0 and 6 are the codes of success.
bool IsSuccessCode(uint8_t code);

// The message of a device result code: "操作成功！" for success, the code's own
// text where it has one, else "操作失败！错误代码: 0%d(0x%0.2x)！" with the code.
std::string ResultMessage(uint8_t code);

// How a step report moves the channel's gauge, one row per known step code
// (the completion report, step 240, has its own handling and no row).
struct StepReportRow {
  enum class Colour { Unchanged, Blue };
  enum class Line { Always, WhenProgressZero };
  // Gauge values: a number, or kFromReport for the report's progress + 2
  // (Progress) or its total (MaxValue).
  static constexpr int32_t kFromReport = -1;

  uint8_t step;
  const char* text;
  int32_t progress;
  int32_t maxValue;
  Colour colour;
  Line line;
};

// The row of a step code, or null for the completion report and unknown codes.
const StepReportRow* FindStepReportRow(uint8_t step);

// The step code of a finished chip, and its results.
inline constexpr uint8_t kStepCompleted = 240;
inline constexpr uint8_t kStepResultOk = 6;
inline constexpr uint8_t kStepResultNotReadProtected = 30;
