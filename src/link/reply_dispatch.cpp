#include "link/reply_dispatch.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "link/channel_log.h"
#include "link/commands.h"
#include "link/firmware.h"
#include "link/framing.h"
#include "link/image_checksums.h"
#include "link/operation_steps.h"
#include "link/wire.h"
#include "shared/main_window.h"
#include "shared/state.h"
#include "toolkit/format.h"
#include "toolkit/gauge.h"
#include "toolkit/le_bytes.h"

namespace {

// A 4 KB packet advances a transfer by four kilobyte blocks.
constexpr uint32_t kBlockStepKB = kDataBlockBytes / kBlockUnitBytes;
// Ticks a programming step waits for the acknowledgement of its next block.
constexpr uint16_t kProgramBlockTimeoutTicks = 300;
// Unit results the handlers tell apart.
constexpr uint8_t kResultSuccess = 6;
constexpr uint8_t kResultNotBlank = 21;
constexpr uint8_t kResultReadProtected16 = 16;
constexpr uint8_t kResultReadProtected19 = 19;
constexpr uint8_t kResultWriteProtected = 90;
constexpr uint8_t kResultCrcDiffers = 48;
constexpr uint8_t kResultOutOfRange = 85;
// Ending code of a blank check that found data: red, without a message.
constexpr uint8_t kEndNotBlank = 1;

bool IsAck(uint8_t status) { return status == 0 || status == kResultSuccess; }
bool InAuto(uint8_t channel) { return g.ChannelAuto[channel] != 0; }
const uint8_t* Payload(uint8_t channel) { return g.TxPacket[channel] + kPacketHeaderBytes; }

// A data reply shorter than what its handler reads is a bad frame, not old
// bytes of the slot.
bool PayloadHolds(size_t bytes, uint8_t channel) {
  if (g.ReplyPayloadBytes[channel] >= bytes) return true;
  ReportResultCode(kFrameBad, channel);
  return false;
}

void Log(const std::string& text, uint8_t channel) { LogChannelLine(text, channel); }

void AdvanceSerialNumber() {
  if (g.OrvantBEMxPrg != nullptr) g.OrvantBEMxPrg->AdvanceSerialNumber();
}

// The block just acknowledged or received is done: BlockIndex moves on by one
// packet and the gauge with it. Returns the new index unclipped, so that a
// transfer near the top of the 16-bit range ends instead of wrapping.
uint32_t AdvanceBlock(uint8_t channel) {
  const uint32_t next = uint32_t{g.BlockIndex[channel]} + kBlockStepKB;
  g.BlockIndex[channel] = static_cast<uint16_t>(std::min<uint32_t>(next, UINT16_MAX));
  if (TGauge* gauge = g.ChannelGauge[channel]) gauge->SetProgress(static_cast<int32_t>(next + 1));
  return next;
}
bool MoreBlocks(uint8_t channel) { return AdvanceBlock(channel) < g.BlockCount[channel]; }

// The Auto Program run ends here when no configuration write follows.
void EndAutoRun(uint8_t channel) {
  Log("自动编程操作成功！", channel);
  AdvanceSerialNumber();
  EndChannelProgress(0, channel);
}

using TReplyHandler = void (*)(uint8_t status, uint8_t channel);
struct TReplyRoute {
  TChannelState State;
  TReplyHandler Handler;
};

// One row per state whose replies have a handler; any other state's replies
// only clear the busy flag.
constexpr TReplyRoute kReplyRoutes[] = {
    {TChannelState::DownloadStart, OnDownloadStartAck},
    {TChannelState::DownloadFlash, OnFlashDownloadAck},
    {TChannelState::Erase, OnEraseDone},
    {TChannelState::BlankCheck, OnBlankCheckDone},
    {TChannelState::ProgramFlash, OnProgramFlashAck},
    {TChannelState::VerifyFlash, OnVerifyFlashDone},
    {TChannelState::WriteConfig, OnWriteConfigDone},
    {TChannelState::ReadFlash, OnReadFlashBlock},
    {TChannelState::ReadEep, OnReadEepBlock},
    {TChannelState::ReadChecksum, OnReadChecksumDone},
    {TChannelState::ReadChipId, OnReadChipIdDone},
    {TChannelState::FirmwareUpgrade, FirmwareBlockDone},
};

}  // namespace

void HandleReply(uint8_t channel, uint16_t frameLength) {
  if (!IsChannel(channel)) return;
  uint16_t length = static_cast<uint16_t>(std::min<size_t>(frameLength, kFrameBytes));
  uint16_t decodedLength = 0;
  const uint8_t decoded = SlipDecode(g.RxFrame[channel], g.TxPacket[channel], kTxPacketBytes, decodedLength, length);
  if (decoded != kFrameOk) {
    ReportResultCode(decoded, channel);
    return;
  }
  if (g.TxPacket[channel][0] == kStepReportMark) {
    ReportStepStatus(channel);
    return;
  }
  constexpr uint16_t kFraming = kPacketHeaderBytes + kPacketCrcBytes;
  g.ReplyPayloadBytes[channel] = decodedLength > kFraming ? static_cast<uint16_t>(decodedLength - kFraming) : 0;
  DispatchStepResult(CheckPacket(g.TxPacket[channel], decodedLength), channel);
}

void DispatchStepResult(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  for (const TReplyRoute& route : kReplyRoutes) {
    if (route.State != g.ChannelState[channel]) continue;
    route.Handler(status, channel);
    return;
  }
  g.ChannelBusy[channel] = 0;
}

void OnDownloadStartAck(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  if (IsAck(status))
    StartFlashDownload(channel);
  else
    ReportResultCode(status, channel);
}

void OnFlashDownloadAck(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  if (!IsAck(status)) return ReportResultCode(status, channel);
  if (MoreBlocks(channel)) {
    SendFlashDownloadBlock(kCmdDownloadFlash, g.BlockIndex[channel], g.BaseAddress, channel);
    return;
  }
  g.DownloadOkCount += 1;  // the unattended download waits for every channel's
  EndChannelProgress(0, channel);
  Log("数据下载操作成功！", channel);
  SendReset(channel);
}

void OnEraseDone(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  if (!IsAck(status)) return ReportResultCode(status, channel);
  Log("擦除芯片操作成功！", channel);
  if (InAuto(channel))
    StartProgramFlash(channel);
  else
    EndChannelProgress(0, channel);
}

void OnBlankCheckDone(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  const bool autoRun = InAuto(channel);
  switch (status) {
    case 0:
    case kResultSuccess:
      Log("芯片为空！", channel);
      if (autoRun) return StartProgramFlash(channel);
      return EndChannelProgress(0, channel);
    case kResultNotBlank:
      Log("芯片不为空！", channel);
      // The operator ticks "非空报错退出" so that a chip that already holds
      // firmware (a returned part, one put in twice) is never erased.
      if (autoRun && (g.CheckFlags & kCheckNotBlankIsErrorBit) == 0) return StartErase(channel);
      return EndChannelProgress(kEndNotBlank, channel);
    case kResultReadProtected16:
    case kResultReadProtected19:
      if (!autoRun) return ReportResultCode(status, channel);
      Log("芯片已读保护，需要擦除芯片！", channel);
      return StartErase(channel);
    case kResultWriteProtected:
      if (!autoRun) return ReportResultCode(status, channel);
      Log("芯片已写保护，需要擦除芯片！", channel);
      return StartErase(channel);
    default:
      return ReportResultCode(status, channel);
  }
}

void OnProgramFlashAck(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  if (!IsAck(status)) return ReportResultCode(status, channel);
  g.ChannelTimer[channel] = kProgramBlockTimeoutTicks;
  if (MoreBlocks(channel)) {
    SendProgramBlock(kCmdProgramFlash, g.BlockIndex[channel], g.BaseAddress, channel);
    return;
  }
  Log("数据编程操作成功！", channel);
  if (InAuto(channel))
    StartVerifyFlash(channel);
  else
    EndChannelProgress(0, channel);
}

void OnVerifyFlashDone(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  if (status != 0) return ReportResultCode(status, channel);
  if (!PayloadHolds(kCheckReplyBytes, channel)) return;
  const uint8_t* payload = Payload(channel);
  const uint8_t result = payload[kCheckResultOffset];
  const uint16_t chipCrc = GetLe16(payload + kCheckChipCrcOffset);
  const uint16_t secondCrc = GetLe16(payload + kCheckSecondCrcOffset);
  if (result == kResultSuccess) {
    Log(Format("Verify Success : Chip CRC16 is 0x%0.4x.", {chipCrc}), channel);
    if (!InAuto(channel)) return EndChannelProgress(0, channel);
    if ((g.InterfaceFlags & kInterfaceWriteConfig) != 0) return StartWriteConfig(channel);
    return EndAutoRun(channel);
  }
  if (result == kResultCrcDiffers) {
    Log(Format("Verify Error : Chip CRC16 is 0x%0.4x/0x%0.4x.", {chipCrc, secondCrc}), channel);
    return EndChannelProgress(kResultCrcDiffers, channel);
  }
  ReportResultCode(result, channel);
}

void OnWriteConfigDone(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  if (!IsAck(status)) return ReportResultCode(status, channel);
  Log("写芯片Config Data操作成功！", channel);
  if (InAuto(channel)) {
    AdvanceSerialNumber();
    g.TotalOk += 1;
  }
  EndChannelProgress(0, channel);
}

void OnReadFlashBlock(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  if (status != 0) return ReportResultCode(status, channel);
  if (!PayloadHolds(kDataBlockBytes, channel)) return;
  const uint64_t offset = (uint64_t{g.BaseAddress} + uint64_t{g.BlockIndex[channel]} * kBlockUnitBytes) & ~uint64_t{0xF};
  if (offset + kDataBlockBytes > kFlashImageBytes) return ReportResultCode(kResultOutOfRange, channel);
  std::memcpy(g.FlashImage + offset, Payload(channel), kDataBlockBytes);
  if (MoreBlocks(channel)) {
    SendOpCommand(kCmdReadFlash, g.BlockIndex[channel], channel);
    return;
  }
  g.DataLoaded = 1;
  Log("Main Flash读取成功！", channel);
  // The window now holds the chip's data: the next verify, program or
  // download must carry their checksums, not those of the file loaded before.
  // The EEP read that may follow changes nothing they cover.
  ComputeImageChecksums(g.FlashStart, g.FlashEnd);
  if (IMainWindow* window = g.OrvantBEMxPrg) {
    window->ShowImageChecksums();
    window->ShowDataFromChip();
    window->ShowFlashGrid(g.FlashStart, g.FlashEnd);
  }
  if (g.EepSize != 0)
    StartReadEep(channel);
  else
    EndChannelProgress(0, channel);
}

void OnReadEepBlock(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  if (status != 0) return ReportResultCode(status, channel);
  const uint32_t eepSize = g.EepSize;
  // A small EEP comes whole in the first block; a larger one in 4 KB blocks.
  const bool whole = eepSize <= kDataBlockBytes;
  const uint32_t offset = whole ? 0 : uint32_t{g.BlockIndex[channel]} * kBlockUnitBytes;
  const uint32_t share = offset < eepSize ? std::min<uint32_t>(kDataBlockBytes, eepSize - offset) : 0;
  if (!PayloadHolds(share, channel)) return;
  if (offset + share > kEepImageBytes) return ReportResultCode(kResultOutOfRange, channel);
  std::memcpy(g.EepImage + offset, Payload(channel), share);
  if (!whole && AdvanceBlock(channel) * kBlockUnitBytes < eepSize) {
    SendOpCommand(kCmdReadEep, g.BlockIndex[channel], channel);
    return;
  }
  Log("读取EEP数据成功！", channel);
  EndChannelProgress(0, channel);
  if (g.OrvantBEMxPrg != nullptr) g.OrvantBEMxPrg->ShowEepGrid();
}

void OnReadChecksumDone(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  if (status != 0) return ReportResultCode(status, channel);
  if (!PayloadHolds(kCheckReplyBytes, channel)) return;
  const uint8_t* payload = Payload(channel);
  const uint8_t result = payload[kCheckResultOffset];
  // In a checksum read a differing CRC is an answer like any other.
  if (result != kResultSuccess && result != kResultCrcDiffers) return ReportResultCode(result, channel);
  Log(Format("Read Chip CRC16 is 0x%0.4x/0x%0.4x.",
             {GetLe16(payload + kCheckChipCrcOffset), GetLe16(payload + kCheckSecondCrcOffset)}),
      channel);
  EndChannelProgress(0, channel);
}

void OnReadChipIdDone(uint8_t status, uint8_t channel) {
  if (!IsChannel(channel)) return;
  if (status != 0) return ReportResultCode(status, channel);
  if (!PayloadHolds(kChipIdBytes, channel)) return;
  std::string id;
  for (size_t i = 0; i < kChipIdBytes; ++i) id += Format("%0.2x ", {Payload(channel)[i]});
  Log(Format("UID=%s", {id}), channel);
  EndChannelProgress(0, channel);
}
