#include "link/operation_steps.h"

#include "link/channel_log.h"
#include "link/commands.h"
#include "shared/state.h"
#include "toolkit/random.h"

namespace {

// What every step begins with; LogText nullptr: the step writes no line.
struct TStepEntry {
  uint8_t State;
  uint16_t Tick;
  const char* LogText;
};

// clang-format off
//                                      state               tick             log text
constexpr TStepEntry kDownloadStep      {StateDownloadStart, kBlockStepTicks, "开始下载数据到烧写器......"};
constexpr TStepEntry kFlashDownloadStep {StateDownloadFlash, kBlockStepTicks, nullptr};
constexpr TStepEntry kAutoProgramStep   {StateBlankCheck,    kStepTicks,      "开始自动编程，执行芯片查空......"};
constexpr TStepEntry kEraseStep         {StateErase,         kEraseTicks,     "执行芯片擦除......"};
constexpr TStepEntry kBlankCheckStep    {StateBlankCheck,    kStepTicks,      "执行芯片查空......"};
constexpr TStepEntry kProgramFlashStep  {StateProgramFlash,  kBlockStepTicks, "开始Main Flash数据编程......"};
constexpr TStepEntry kVerifyFlashStep   {StateVerifyFlash,   kStepTicks,      "开始Main Flash数据校验......"};
constexpr TStepEntry kWriteConfigStep   {StateWriteConfig,   kStepTicks,      "写入芯片配置数据......"};
constexpr TStepEntry kReadFlashStep     {StateReadFlash,     kBlockStepTicks, "读取芯片Main Flash数据......"};
constexpr TStepEntry kReadEepStep       {StateReadEep,       kBlockStepTicks, nullptr};
// clang-format on

// The first block of every block step; BeginChannelProgress has just set
// BlockIndex to it.
constexpr uint16_t kFirstBlock = 0;
// The off-line information packet's argument is a word draw, 0..65534.
constexpr uint32_t kDownloadArgumentRange = 65535;

void EnterStep(const TStepEntry& step, uint8_t channel) {
  g.ChannelState[channel] = step.State;
  if (step.LogText != nullptr) LogChannelLine(step.LogText, channel);
  BeginChannelProgress(step.Tick, g.RomSizeKB, channel);
}

}  // namespace

void StartDownload(uint8_t channel) {
  EnterStep(kDownloadStep, channel);
  SendOfflineInfo(kCmdOfflineInfo, static_cast<uint16_t>(Random(kDownloadArgumentRange)), channel);
}

void StartFlashDownload(uint8_t channel) {
  EnterStep(kFlashDownloadStep, channel);
  SendFlashDownloadBlock(kCmdDownloadFlash, kFirstBlock, g.BaseAddress, channel);
}

void StartAutoProgram(uint8_t channel) {
  g.ChannelAuto[channel] = 1;
  EnterStep(kAutoProgramStep, channel);
  SendOpCommand(kCmdOperation, kOpBlankCheck, channel);
}

void StartErase(uint8_t channel) {
  EnterStep(kEraseStep, channel);
  SendOpCommand(kCmdOperation, kOpErase, channel);
}

void StartBlankCheck(uint8_t channel) {
  EnterStep(kBlankCheckStep, channel);
  SendOpCommand(kCmdOperation, kOpBlankCheck, channel);
}

void StartProgramFlash(uint8_t channel) {
  EnterStep(kProgramFlashStep, channel);
  SendProgramBlock(kCmdProgramFlash, kFirstBlock, g.BaseAddress, channel);
}

void StartVerifyFlash(uint8_t channel) {
  EnterStep(kVerifyFlashStep, channel);
  SendOpCommand(kCmdOperation, kOpVerify, channel);
}

void StartWriteConfig(uint8_t channel) {
  EnterStep(kWriteConfigStep, channel);
  SendConfigCommand(channel);
}

void StartReadFlash(uint8_t channel) {
  EnterStep(kReadFlashStep, channel);
  SendOpCommand(kCmdReadFlash, kFirstBlock, channel);
}

void StartReadEep(uint8_t channel) {
  EnterStep(kReadEepStep, channel);
  SendOpCommand(kCmdReadEep, kFirstBlock, channel);
}
