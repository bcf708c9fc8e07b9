#include "link/firmware.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "catalogue/binary_file.h"
#include "link/channel_log.h"
#include "link/commands.h"
#include "link/framing.h"
#include "link/operation_steps.h"
#include "link/wire.h"
#include "shared/state.h"
#include "toolkit/gauge.h"
#include "toolkit/errors.h"
#include "toolkit/format.h"
#include "toolkit/le_bytes.h"
#include "toolkit/random.h"
#include "toolkit/regular_file.h"

uint8_t FirmwareImage[kFirmwareImageBytes];
uint32_t FirmwareBase;
uint32_t FirmwareEnd;
uint16_t FirmwareBodyLength;
uint8_t FirmwareKeyTable[kFirmwareKeyTableBytes];

namespace {

constexpr size_t kMaskedHalfOffset = kPacketHeaderBytes;
constexpr size_t kRandomHalfOffset = kMaskedHalfOffset + kFirmwareBlockBytes;
constexpr size_t kBlockCrcOffset = kPacketHeaderBytes + kFirmwarePayloadBytes;
static_assert(kBlockCrcOffset + kPacketCrcBytes == kFirmwareBlockPacketBytes);
constexpr uint32_t kBlockWordRange = 65525;  // W is 0..65524
// The key table repeats every 1024 groups of four bytes.
constexpr uint32_t kKeyGroups = kFirmwareKeyTableBytes / 4;

// Reads the whole file into FirmwareImage; returns its size, or -1 when it is
// larger than the buffer, no regular file or cannot be read, with the reason
// in whyNot. A file too large or no regular file leaves the buffer untouched:
// a FIFO or a device under the image's name is never waited on. Bytes past
// what was read are cleared, so a load depends on nothing that a previous one
// left behind.
int64_t ReadImageFile(const std::string& path, std::string& whyNot) {
  if (!IsRegularFile(path)) {
    whyNot = kNotRegularFileText;
    return -1;
  }
  std::error_code error;
  const uintmax_t fileBytes = std::filesystem::file_size(path, error);
  if (!error && fileBytes > kFirmwareImageBytes) {
    whyNot = Format(kFirmwareTooLargeFormat, {kFirmwareImageBytes});
    return -1;
  }
  uint32_t count = 0;  // no limit but the buffer
  uint32_t unused = 0;
  try {
    LoadBinFileSum(path, FirmwareImage, kFirmwareImageBytes, count, unused);
  } catch (const EInOutError& failure) {
    whyNot = failure.Reason();
  }
  std::memset(FirmwareImage + count, 0, kFirmwareImageBytes - count);
  return whyNot.empty() ? int64_t{count} : -1;
}

// Why the header's values cannot be used, empty when they can: they must keep
// every read inside the file and every block of the upgrade inside
// FirmwareImage.
std::string HeaderProblem(size_t fileBytes) {
  if (fileBytes < kFirmwareKeyOffset) return Format(kFirmwareHeaderCutShortFormat, {fileBytes});
  const uint16_t key = GetLe16(FirmwareImage + kFirmwareKeyWordOffset);
  const uint32_t end = GetLe16(FirmwareImage + kFirmwareEndOffset) ^ key;
  const uint32_t bodyLength = GetLe16(FirmwareImage + kFirmwareBodyLengthOffset) ^ key;
  if (end < kFirmwareBaseAddress || end > kFirmwareEndMax)
    return Format(kFirmwareEndOutOfRangeFormat, {end, kFirmwareBaseAddress, kFirmwareEndMax});
  if (bodyLength > kFirmwareBodyLengthMax)
    return Format(kFirmwareBodyTooLongFormat, {bodyLength, kFirmwareBodyLengthMax});
  const size_t wanted = FirmwareFileBytes(bodyLength);
  if (fileBytes < wanted) return Format(kFirmwareCutShortFormat, {fileBytes, wanted});
  return {};
}

}  // namespace

void ResetFirmwareState() {
  std::memset(FirmwareImage, 0, sizeof FirmwareImage);
  std::memset(FirmwareKeyTable, 0, sizeof FirmwareKeyTable);
  FirmwareBase = 0;
  FirmwareEnd = 0;
  FirmwareBodyLength = 0;
}

uint16_t ReadWordSum(const uint8_t* p, uint32_t& sum) {
  sum += p[0];
  sum += p[1];
  return GetLe16(p);
}

std::string XorFieldToString(const uint8_t* p, uint32_t& sum, size_t n, uint8_t mask) {
  std::string text(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    sum += p[i];
    text[i] = static_cast<char>(p[i] != 0 ? p[i] ^ mask : 0);
  }
  return text;
}

void SumBytes(const uint8_t* p, uint32_t& sum, size_t n) {
  for (size_t i = 0; i < n; ++i) sum += p[i];
}

void CopyVersionField(const uint8_t* p, uint32_t& sum, size_t n) {
  if (n > kFirmwareVersionBytes) n = kFirmwareVersionBytes;
  SumBytes(p, sum, n);
  std::memcpy(g.FirmwareVersion, p, n);
}

void ScrambleFirmwareGroup(uint8_t* group, uint32_t k, const uint8_t* keyTable) {
  const uint8_t* key = keyTable + 4 * (k % kKeyGroups);
  group[0] ^= key[0];
  group[1] ^= key[1];
  group[2] ^= key[0];
  group[3] ^= key[1];
}

std::string FirmwareImagePath() { return g.ProgramDir + kFirmwareFileName; }

bool FirmwareUpgradeRunning() {
  for (uint8_t ch = 0; ch < kChannels; ++ch)
    if (g.ChannelState[ch] == TChannelState::FirmwareUpgrade) return true;
  return false;
}

void EndLostUpgrade(uint8_t ch) {
  if (!IsChannel(ch) || g.ChannelState[ch] != TChannelState::FirmwareUpgrade) return;
  g.ChannelUnready[ch] = 0;
  LogChannelLine("Firmware Upgrade Failed!", ch);
  EndChannelProgress(1, ch);
}

void ForgetCompletedUpgrades() {
  for (uint8_t& completed : g.UpgradeCompleted) completed = 0;
}

std::string LoadFirmwareImage(const std::string& path) {
  if (FirmwareUpgradeRunning()) return {};
  g.ImageValid = 0;
  std::string whyNot;
  const int64_t fileBytes = ReadImageFile(path, whyNot);
  if (fileBytes < 0) return whyNot;
  if (fileBytes == 0) return kFirmwareEmptyText;
  // Shorter than the magic: whatever the cleared buffer holds there is no magic.
  uint32_t sum = 0;
  if (XorFieldToString(FirmwareImage, sum, kFirmwareMagicBytes, kFirmwareMagicMask) != kFirmwareMagicText)
    return kFirmwareNoMagicText;
  FirmwareBase = kFirmwareBaseAddress;
  if (std::string problem = HeaderProblem(static_cast<size_t>(fileBytes)); !problem.empty()) return problem;

  CopyVersionField(FirmwareImage + kFirmwareVersionOffset, sum, kFirmwareVersionFieldBytes);
  if (g.FirmwareVersion[0] != 'V') std::memset(g.FirmwareVersion, 0, kFirmwareVersionFieldBytes);

  const uint16_t key = ReadWordSum(FirmwareImage + kFirmwareKeyWordOffset, sum);
  FirmwareEnd = ReadWordSum(FirmwareImage + kFirmwareEndOffset, sum) ^ key;
  ReadWordSum(FirmwareImage + kFirmwareSpareWord1Offset, sum);
  ReadWordSum(FirmwareImage + kFirmwareSpareWord2Offset, sum);
  FirmwareBodyLength = ReadWordSum(FirmwareImage + kFirmwareBodyLengthOffset, sum) ^ key;

  SumBytes(FirmwareImage + kFirmwareKeyOffset, sum, kFirmwareKeyBytes);
  std::memcpy(FirmwareKeyTable, FirmwareImage + kFirmwareKeyOffset, kFirmwareKeyBytes);
  std::memset(FirmwareKeyTable + kFirmwareKeyBytes, 0, kFirmwareKeyTableBytes - kFirmwareKeyBytes);

  // The output runs 3315 bytes behind the input over the same buffer, so every
  // group is read before anything is written over it.
  size_t in = kFirmwareBodyOffset;
  size_t out = 0;
  uint32_t group = 0;
  for (uint32_t done = 0; done < FirmwareBodyLength; done += kFirmwareBodyUnitBytes) {
    for (int i = 0; i < 4; ++i, in += 4, out += 4, ++group) {
      uint8_t bytes[4];
      std::memcpy(bytes, FirmwareImage + in, 4);
      SumBytes(bytes, sum, 4);
      ScrambleFirmwareGroup(bytes, group, FirmwareKeyTable);
      std::memcpy(FirmwareImage + out, bytes, 4);
    }
  }
  SumBytes(FirmwareImage + in, sum, kFirmwareTrailerBytes);
  const uint32_t stored = GetLe32(FirmwareImage + in + kFirmwareTrailerBytes);
  if (stored != sum) return Format(kFirmwareChecksumMismatchFormat, {stored, sum});
  g.ImageValid = 1;
  return {};
}

void StartFirmwareUpgrade(uint8_t ch) {
  if (!IsChannel(ch) || g.ImageValid == 0) return;
  g.UpgradeStarted = 1;
  g.ChannelUnready[ch] = 1;
  g.ChannelLinked[ch] = 1;  // so that the unit's replies reach the reply dispatch
  g.ChannelState[ch] = TChannelState::FirmwareUpgrade;
  g.UpgradeCompleted[ch] = 0;
  g.ChannelTickProgress[ch] = 0;
  g.ChannelBusy[ch] = 1;
  g.ChannelTimer[ch] = kStepTimeoutTicks;
  g.BlockIndex[ch] = 0;
  // Counted in kilobytes of the firmware's address range, one block a count.
  g.BlockCount[ch] = static_cast<uint16_t>(((FirmwareEnd - FirmwareBase) >> 10) + 1);
  if (TGauge* gauge = g.ChannelGauge[ch]) {
    gauge->SetProgress(2);
    gauge->SetMaxValue(g.BlockCount[ch]);
    gauge->SetForeColor(clBlue);
  }
  LogChannelLine("开始升级编程器固件......", ch);
  SendFirmwareBlock(0, ch);
}

void FirmwareBlockDone(uint8_t /*status*/, uint8_t ch) {
  if (!IsChannel(ch)) return;
  if (TGauge* gauge = g.ChannelGauge[ch]) gauge->AddProgress(1);
  g.BlockIndex[ch] += 1;
  if (g.BlockIndex[ch] < g.BlockCount[ch]) {
    SendFirmwareBlock(g.BlockIndex[ch], ch);
    return;
  }
  g.ChannelUnready[ch] = 0;
  g.UpgradeCompleted[ch] = 1;
  SendFirmwareFinish(ch);
  LogChannelLine("Firmware Upgrade Completed!", ch);
  EndChannelProgress(0, ch);
}

bool SendFirmwareBlock(uint16_t block, uint8_t ch) {
  if (!IsChannel(ch)) return false;
  uint8_t* packet = g.TxPacket[ch];
  const uint16_t word = static_cast<uint16_t>(Random(kBlockWordRange));
  const uint8_t low = static_cast<uint8_t>(word);
  const uint8_t high = static_cast<uint8_t>(word >> 8);
  packet[kHeaderCommandOffset] = kCmdFirmwareBlock;
  packet[kHeaderArgumentOffset] = static_cast<uint8_t>(4 * block);
  PutLe16(packet + kFirmwareMaskWordOffset, word);
  packet[kFirmwareMaskWordOffset + 2] = RandomByte();
  packet[kFirmwareMaskWordOffset + 3] = RandomByte();
  PutLe16(packet + kHeaderLengthOffset, kFirmwarePayloadBytes);  // masked half + random half

  const uint8_t* source = FirmwareImage + (size_t{kFirmwareBlockBytes} * block) % kFirmwareImageBytes;
  uint8_t* masked = packet + kMaskedHalfOffset;
  for (size_t i = 0; i < kFirmwareBlockBytes; i += 4) {
    masked[i] = source[i] ^ low;
    masked[i + 1] = source[i + 1] ^ high;
    masked[i + 2] = source[i + 2] ^ low;
    masked[i + 3] = 0;  // the fourth byte of a group is never sent
  }
  for (size_t at = kRandomHalfOffset; at < kBlockCrcOffset; at += 4) {
    packet[at] = RandomByte();
    packet[at + 1] = RandomByte();
    packet[at + 2] = RandomByte();
    packet[at + 3] = 0;
  }
  for (size_t i = kMaskedHalfOffset; i < kRandomHalfOffset; ++i) packet[i] ^= packet[i + kFirmwareBlockBytes];
  return SendPacketWithCrc(ch, kBlockCrcOffset);
}

bool SendFirmwareFinish(uint8_t ch) {
  if (!IsChannel(ch)) return false;
  static constexpr uint8_t kFinish[] = {kCmdFirmwareFinish, 0x00, 'R', 'S', 0x00, 0x00, 0x02, 0x00, 0x00, 0x00};
  static_assert(sizeof kFinish + kPacketCrcBytes == kFirmwareFinishPacketBytes);
  std::memcpy(g.TxPacket[ch], kFinish, sizeof kFinish);
  return SendPacketWithCrc(ch, sizeof kFinish);
}
