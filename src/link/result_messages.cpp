#include "link/result_messages.h"

#include "toolkit/format.h"

namespace {
struct ResultText {
  uint8_t code;
  const char* text;
};

// Device result codes with a message of their own. 35 and 42 come from the
// link itself (packet CRC mismatch, bad frame); the others from the unit.
constexpr ResultText kResultTexts[] = {
    {4,   "芯片未擦除！"},
    {11,  "芯片没有响应！"},
    {16,  "芯片已被写保护！"},
    {19,  "芯片已被读保护！"},
    {35,  "数据包校验错误！"},
    {37,  "不认识的命令！"},
    {42,  "数据包错误！"},
    {44,  "Flash Memory错误！"},
    {45,  "写EEP/OTP数据错误！"},
    {49,  "数据校验错误！"},
    {52,  "芯片校验和不正确！"},
    {54,  "芯片类型不正确！"},
    {56,  "芯片厂家型号不正确！"},
    {64,  "命令执行超时！"},
    {69,  "命令执行错误！"},
    {71,  "写序列好数据错误！"},
    {79,  "写Option Byte出错！"},
    {81,  "Flash的大小与芯片不匹配"},
    {85,  "地址空间超出芯片范围！"},
    {90,  "非法操作，芯片可能被保护！"},
    {96,  "初始化编程接口错误！"},
    {224, "串口通讯错误！"},
};

constexpr const char* kSuccessText = "操作成功！";
// The 0 before %d is literal: code 200 shows as "0200(0xC8)".
constexpr const char* kUnknownCodeFormat = "操作失败！错误代码: 0%d(0x%0.2x)！";

using Colour = StepReportRow::Colour;
using Line = StepReportRow::Line;
constexpr int32_t kReport = StepReportRow::kFromReport;

// Steps of a unit programming stand-alone, as it reports them.
constexpr StepReportRow kStepRows[] = {
//   step  text                                    progress  maxValue  colour            line
    {16,   "Initial Programming Interface ....",   5,        100,      Colour::Blue,      Line::Always},
    {32,   "Chip Blank Checking....",              30,       100,      Colour::Unchanged, Line::Always},
    {48,   "Do Chip Erasing....",                  50,       100,      Colour::Unchanged, Line::Always},
    {64,   "Do Main Flash Programming....",        kReport,  kReport,  Colour::Blue,      Line::WhenProgressZero},
    {80,   "Do EEP Data Programming....",          kReport,  kReport,  Colour::Unchanged, Line::WhenProgressZero},
    {112,  "Do Main Flash Verification....",       50,       100,      Colour::Blue,      Line::Always},
    {128,  "Do EEP Data Verification....",         50,       100,      Colour::Unchanged, Line::Always},
    {160,  "Do Chip Option Byte Programming....",  50,       100,      Colour::Unchanged, Line::Always},
};
}  // namespace

bool IsSuccessCode(uint8_t code) { return code == 0 || code == 6; }

std::string ResultMessage(uint8_t code) {
  if (IsSuccessCode(code)) return kSuccessText;
  for (const ResultText& row : kResultTexts)
    if (row.code == code) return row.text;
  return Format(kUnknownCodeFormat, {code, code});
}

const StepReportRow* FindStepReportRow(uint8_t step) {
  for (const StepReportRow& row : kStepRows)
    if (row.step == step) return &row;
  return nullptr;
}
