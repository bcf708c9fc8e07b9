#include "link/operation_steps.h"

#include "link/channel_log.h"
#include "link/commands.h"
#include "shared/state.h"
#include "toolkit/random.h"

namespace {

// The first block of every block step; BeginChannelProgress has just set
// BlockIndex to it.
constexpr uint16_t kFirstBlock = 0;

// One step: its state, its tick (kBlockStepTicks for a block step), its log
// line (nullptr: none of its own) and the sender of its first command.
struct TStepEntry {
  TChannelState State;
  uint16_t Tick;
  const char* LogText;
  bool (*SendFirst)(uint8_t channel);
};

// clang-format off
//                                      state               tick             log text                                first command
constexpr TStepEntry kDownloadStep      {TChannelState::DownloadStart, kBlockStepTicks, "开始下载数据到烧写器......",
    [](uint8_t ch) { return SendOfflineInfo(kCmdOfflineInfo, RandomWord(), ch); }};
constexpr TStepEntry kFlashDownloadStep {TChannelState::DownloadFlash, kBlockStepTicks, nullptr,
    [](uint8_t ch) { return SendFlashDownloadBlock(kCmdDownloadFlash, kFirstBlock, g.BaseAddress, ch); }};
constexpr TStepEntry kAutoProgramStep   {TChannelState::BlankCheck,    kStepTicks,      "开始自动编程，执行芯片查空......",
    [](uint8_t ch) { return SendOpCommand(kCmdOperation, kOpBlankCheck, ch); }};
constexpr TStepEntry kEraseStep         {TChannelState::Erase,         kEraseTicks,     "执行芯片擦除......",
    [](uint8_t ch) { return SendOpCommand(kCmdOperation, kOpErase, ch); }};
constexpr TStepEntry kBlankCheckStep    {TChannelState::BlankCheck,    kStepTicks,      "执行芯片查空......",
    [](uint8_t ch) { return SendOpCommand(kCmdOperation, kOpBlankCheck, ch); }};
constexpr TStepEntry kProgramFlashStep  {TChannelState::ProgramFlash,  kBlockStepTicks, "开始Main Flash数据编程......",
    [](uint8_t ch) { return SendProgramBlock(kCmdProgramFlash, kFirstBlock, g.BaseAddress, ch); }};
constexpr TStepEntry kVerifyFlashStep   {TChannelState::VerifyFlash,   kStepTicks,      "开始Main Flash数据校验......",
    [](uint8_t ch) { return SendOpCommand(kCmdOperation, kOpVerify, ch); }};
constexpr TStepEntry kWriteConfigStep   {TChannelState::WriteConfig,   kStepTicks,      "写入芯片配置数据......",
    [](uint8_t ch) { return SendConfigCommand(ch); }};
constexpr TStepEntry kReadFlashStep     {TChannelState::ReadFlash,     kBlockStepTicks, "读取芯片Main Flash数据......",
    [](uint8_t ch) { return SendOpCommand(kCmdReadFlash, kFirstBlock, ch); }};
constexpr TStepEntry kReadEepStep       {TChannelState::ReadEep,       kBlockStepTicks, nullptr,
    [](uint8_t ch) { return SendOpCommand(kCmdReadEep, kFirstBlock, ch); }};
// clang-format on

// State first, so that the reply to the command is dispatched by it.
void RunStep(const TStepEntry& step, uint8_t channel) {
  if (!IsChannel(channel)) return;
  g.ChannelState[channel] = step.State;
  if (step.LogText != nullptr) LogChannelLine(step.LogText, channel);
  BeginChannelProgress(step.Tick, g.RomSizeKB, channel);
  step.SendFirst(channel);  // a lost frame leaves the step waiting for its time-out
}

}  // namespace

void StartDownload(uint8_t channel) { RunStep(kDownloadStep, channel); }
void StartFlashDownload(uint8_t channel) { RunStep(kFlashDownloadStep, channel); }
void StartAutoProgram(uint8_t channel) {
  if (!IsChannel(channel)) return;
  g.ChannelAuto[channel] = 1;  // cleared only by the console, before a single step
  RunStep(kAutoProgramStep, channel);
}
void StartErase(uint8_t channel) { RunStep(kEraseStep, channel); }
void StartBlankCheck(uint8_t channel) { RunStep(kBlankCheckStep, channel); }
void StartProgramFlash(uint8_t channel) { RunStep(kProgramFlashStep, channel); }
void StartVerifyFlash(uint8_t channel) { RunStep(kVerifyFlashStep, channel); }
void StartWriteConfig(uint8_t channel) { RunStep(kWriteConfigStep, channel); }
void StartReadFlash(uint8_t channel) { RunStep(kReadFlashStep, channel); }
void StartReadEep(uint8_t channel) { RunStep(kReadEepStep, channel); }
