#include "link/commands.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "link/comm.h"
#include "link/framing.h"
#include "link/wire.h"
#include "shared/state.h"
#include "toolkit/le_bytes.h"
#include "toolkit/random.h"
#include "toolkit/utf8_fit.h"

namespace {

// The reset packet spells "RESET" across its argument and chip bytes.
constexpr uint16_t kResetArgument = 'R' | ('E' << 8);
constexpr uint8_t kResetByte3 = 'S';
constexpr uint8_t kResetByte4 = 'T';
constexpr uint8_t kResetByte5 = 0xA8;

// Off-line information block layout (offsets inside the block).
constexpr size_t kInfoParamBlock = 4;
constexpr size_t kInfoSnFlags = 84;
constexpr size_t kInfoSnLength = 85;
constexpr size_t kInfoSnIncrement = 86;
constexpr size_t kInfoSnAddress = 88;
constexpr size_t kInfoSnValue = 92;
constexpr size_t kInfoRunShutTime = 100;
constexpr size_t kInfoMaxProgramCount = 102;
constexpr size_t kInfoChipName = 256;
constexpr size_t kInfoChipNameBytes = 16;
constexpr size_t kInfoDataFileName = 272;
constexpr size_t kInfoDataFileNameBytes = 48;
constexpr size_t kInfoFiller = 320;
constexpr size_t kInfoFillerBytes = 161;

// Block numbers of the programming and download commands wrap at 4096 KB,
// the size of the flash image.
constexpr uint32_t kBlockNumberModulo = 4096;
// Block data is copied in rows of 16 bytes, so the base address drops its
// low four bits.
constexpr uint32_t kRowAlignMask = ~uint32_t{0xF};

uint8_t* Slot(uint8_t ch) { return g.TxPacket[ch]; }

// Bits 8..23 of an address: the only part of a 32-bit address that travels.
uint16_t MiddleBits(uint32_t address) { return static_cast<uint16_t>(address >> 8); }

void WriteHeader(uint8_t ch, uint8_t code, uint16_t argument, uint8_t b3, uint8_t b4, uint8_t b5,
                 uint16_t payloadBytes) {
  uint8_t* p = Slot(ch);
  p[kHeaderCommandOffset] = code;
  PutLe16(p + kHeaderArgumentOffset, argument);
  p[kHeaderChipOffset] = b3;
  p[kHeaderChipOffset + 1] = b4;
  p[kHeaderChipOffset + 2] = b5;
  PutLe16(p + kHeaderLengthOffset, payloadBytes);
}

void WriteChipHeader(uint8_t ch, uint8_t code, uint16_t argument, uint16_t payloadBytes) {
  WriteHeader(ch, code, argument, g.ChipSeries, g.ChipType, g.ChipIndex, payloadBytes);
}

// Zeroes the payload, so that bytes a command leaves undefined never carry an
// earlier packet or reply onto the wire.
void ClearPayload(uint8_t ch, uint16_t payloadBytes) {
  std::memset(Slot(ch) + kPacketHeaderBytes, 0, payloadBytes);
}

bool FinishAndSend(uint8_t ch, uint16_t payloadBytes) {
  return SendPacketWithCrc(ch, size_t{kPacketHeaderBytes} + payloadBytes);
}

// Copies one data block of an image from offset first; the part of the block
// that lies past the image is zeros.
void CopyImageBlock(uint8_t* dst, const uint8_t* image, size_t imageBytes, uint64_t first) {
  size_t inside = 0;
  if (first < imageBytes) inside = std::min<uint64_t>(kDataBlockBytes, imageBytes - first);
  if (inside > 0) std::memcpy(dst, image + first, inside);
  std::memset(dst + inside, 0, kDataBlockBytes - inside);
}

uint64_t FlashBlockOffset(uint32_t block, uint32_t baseAddress) {
  return uint64_t{block} * kBlockUnitBytes + (baseAddress & kRowAlignMask);
}

uint64_t EepBlockOffset(uint32_t block) { return uint64_t{block} * kBlockUnitBytes; }

void CopyFlashBlock(uint8_t* dst, uint32_t block, uint32_t baseAddress) {
  CopyImageBlock(dst, g.FlashImage, kFlashImageBytes, FlashBlockOffset(block, baseAddress));
}

void CopyEepBlock(uint8_t* dst, uint32_t block) {
  CopyImageBlock(dst, g.EepImage, kEepImageBytes, EepBlockOffset(block));
}

}  // namespace

std::array<uint8_t, 2> OfflineKeyBytes(uint16_t argument) {
  return {static_cast<uint8_t>((static_cast<uint8_t>(argument) ^ kOfflineKeyFixed0) | 0x80),
          static_cast<uint8_t>((static_cast<uint8_t>(argument >> 8) ^ kOfflineKeyFixed1) | 0x80)};
}

void BuildParamBlock(size_t offset, uint16_t argument, uint8_t ch) {
  if (!IsChannel(ch) || offset > kTxPacketBytes - kParamBlockBytes) return;
  uint8_t* b = Slot(ch) + offset;
  std::memset(b, 0, kParamBlockBytes);
  b[kParamChipOffset] = g.ChipSeries;
  b[kParamChipOffset + 1] = g.ChipType;
  b[kParamChipOffset + 2] = g.ChipIndex;
  b[kParamRandom0Offset] = RandomByte();
  b[kParamAutoDetectOffset] = g.AutoDetect;
  PutLe16(b + kParamArgumentOffset, argument);
  b[kParamRandom1Offset] = RandomByte();
  b[kParamRandom2Offset] = RandomByte();
  const std::pair<uint16_t, uint16_t> words[] = {
      {kParamFlashStartOffset, MiddleBits(g.FlashStart)},
      {kParamFlashEndOffset, MiddleBits(g.FlashEnd)},
      {kParamRomSizeKBOffset, g.RomSizeKB},
      {kParamPageSizeOffset, g.PageSize},
      {kParamPageCountOffset, g.PageCount},
      {kParamEepSizeOffset, g.EepSize},
      {kParamSizeWord5Offset, g.SizeWord5},
      {kParamSizeWord6Offset, g.SizeWord6},
      {kParamEepStartOffset, MiddleBits(g.EepStart)},
      {kParamEepEndOffset, MiddleBits(g.EepEnd)},
      {kParamImagePacketCrcOffset, g.ImagePacketCrc},
      {kParamImageSum16Offset, g.ImageSum16},
      {kParamAuxCheckWordsOffset, g.AuxCheckWord1},
      {kParamAuxCheckWordsOffset + 2, g.AuxCheckWord2},
      {kParamAuxCheckWordsOffset + 4, g.AuxCheckWord3},
      {kParamAuxCheckWordsOffset + 6, g.AuxCheckWord4},
      {kParamImageCrc16Offset, g.ImageCrc16},
  };
  for (const auto& [at, value] : words) PutLe16(b + at, value);
  const uint8_t controls[] = {g.CheckFlags,   g.InterfaceFlags, g.PowerResetFlags, g.ControlByte4,
                              g.ControlByte5, g.ControlByte6,   g.ChipModelA,      g.ControlByte8,
                              g.PowerOnDelay, g.PowerOffDelay,  g.ChipInDelay,     g.ChipOutDelay,
                              g.ChipModelB,   g.ControlByte14,  g.ProgSpeed};
  static_assert(sizeof controls < kParamControlGroupBytes);  // the group's last byte stays 0
  std::memcpy(b + kParamControlGroupOffset, controls, sizeof controls);
}

void PutStringField(std::string_view text, size_t offset, size_t fieldLength, uint8_t ch) {
  if (!IsChannel(ch) || offset >= kTxPacketBytes) return;
  fieldLength = std::min(fieldLength, kTxPacketBytes - offset);
  if (fieldLength == 0) return;
  uint8_t* f = Slot(ch) + offset;
  const std::string_view bytes = text.substr(0, text.find('\0'));
  size_t written = 0;
  if (bytes.empty()) {
    f[written++] = '?';
  } else {
    // Whole characters only: half a UTF-8 character at the field's end
    // reads back as U+FFFD.
    written = FittingUtf8Bytes(bytes, fieldLength);
    std::memcpy(f, bytes.data(), written);
  }
  std::memset(f + written, 0, fieldLength - written);
}

void BuildOfflineInfo(uint8_t ch) {
  if (!IsChannel(ch)) return;
  uint8_t* b = Slot(ch) + kPacketHeaderBytes;
  // Zero first: the bytes between the fields (481..507 included) are covered
  // by the block's CRC and sum and must not carry an earlier packet.
  std::memset(b, 0, kOfflineInfoBytes);
  std::memcpy(b, "ZWLP", 4);
  const uint16_t argument = RandomWord();
  BuildParamBlock(kPacketHeaderBytes + kInfoParamBlock, argument, ch);
  b[kInfoSnFlags] = g.SnFlags;
  b[kInfoSnLength] = g.SnLength;
  PutLe16(b + kInfoSnIncrement, g.SnIncrement);
  PutLe32(b + kInfoSnAddress, g.SnAddress);
  PutLe32(b + kInfoSnValue, g.SnValue);
  PutLe16(b + kInfoRunShutTime, g.RunShutTime);
  PutLe32(b + kInfoMaxProgramCount, static_cast<uint32_t>(g.MaxProgramCount));
  PutStringField(g.ChipName, kPacketHeaderBytes + kInfoChipName, kInfoChipNameBytes, ch);
  PutStringField(g.DataFileName, kPacketHeaderBytes + kInfoDataFileName, kInfoDataFileNameBytes, ch);
  for (size_t i = 0; i < kInfoFillerBytes; ++i) b[kInfoFiller + i] = RandomByte();
  PutLe16(b + kOfflineInfoCrcOffset, PacketCrcRange(b, 0, kOfflineInfoCrcOffset - 1));
  uint16_t sum = 0;
  for (size_t i = 0; i < kOfflineInfoSumOffset; ++i) sum = static_cast<uint16_t>(sum + b[i]);
  PutLe16(b + kOfflineInfoSumOffset, sum);
}

void CopyOfflineInfoBlock(uint8_t* block) {
  BuildOfflineInfo(0);
  std::memcpy(block, Slot(0) + kPacketHeaderBytes, kOfflineInfoBytes);
}

bool SendOpCommand(uint8_t code, uint16_t argument, uint8_t ch) {
  if (!IsChannel(ch)) return false;
  WriteChipHeader(ch, code, argument, kOpPayloadBytes);
  ClearPayload(ch, kOpPayloadBytes);
  BuildParamBlock(kPacketHeaderBytes, 0, ch);
  return FinishAndSend(ch, kOpPayloadBytes);
}

bool SendConfigCommand(uint8_t ch) {
  if (!IsChannel(ch)) return false;
  WriteChipHeader(ch, kCmdOperation, kOpWriteConfig, kConfigPayloadBytes);
  ClearPayload(ch, kConfigPayloadBytes);
  BuildParamBlock(kPacketHeaderBytes, 0, ch);
  return FinishAndSend(ch, kConfigPayloadBytes);
}

bool SendReadCommand(uint8_t code, uint16_t argument, uint8_t ch) {
  if (!IsChannel(ch)) return false;
  WriteChipHeader(ch, code, argument, kReadPayloadBytes);
  // The packet keeps the block's first 64 bytes; the rest lies past the CRC.
  BuildParamBlock(kPacketHeaderBytes, 0, ch);
  PutLe32(Slot(ch) + kPacketHeaderBytes + kReadAddressOffset, g.ReadAddress);
  PutLe16(Slot(ch) + kPacketHeaderBytes + kReadLengthOffset, g.ReadLength);
  return FinishAndSend(ch, kReadPayloadBytes);
}

bool SendProgramBlock(uint8_t code, uint16_t argument, uint32_t baseAddress, uint8_t ch) {
  if (!IsChannel(ch)) return false;
  WriteChipHeader(ch, code, argument, kProgramPayloadBytes);
  BuildParamBlock(kPacketHeaderBytes, 0, ch);
  uint8_t* data = Slot(ch) + kPacketHeaderBytes + kParamBlockBytes;
  const uint32_t block = g.BlockIndex[ch] % kBlockNumberModulo;
  if (code == kCmdProgramEep)
    CopyEepBlock(data, block);
  else
    CopyFlashBlock(data, block, baseAddress);
  return FinishAndSend(ch, kProgramPayloadBytes);
}

bool SendFlashDownloadBlock(uint8_t code, uint16_t argument, uint32_t baseAddress, uint8_t ch) {
  if (!IsChannel(ch)) return false;
  WriteChipHeader(ch, code, argument, kDownloadPayloadBytes);
  CopyFlashBlock(Slot(ch) + kPacketHeaderBytes, argument, baseAddress);
  return FinishAndSend(ch, kDownloadPayloadBytes);
}

bool SendEepDownloadBlock(uint8_t code, uint16_t argument, uint32_t /*baseAddress*/, uint8_t ch) {
  if (!IsChannel(ch)) return false;
  WriteChipHeader(ch, code, argument, kDownloadPayloadBytes);
  CopyEepBlock(Slot(ch) + kPacketHeaderBytes, argument);
  return FinishAndSend(ch, kDownloadPayloadBytes);
}

bool SendOfflineInfo(uint8_t code, uint16_t argument, uint8_t ch) {
  if (!IsChannel(ch)) return false;
  WriteChipHeader(ch, code, argument, kOfflinePayloadBytes);
  BuildOfflineInfo(ch);
  uint8_t* payload = Slot(ch) + kPacketHeaderBytes;
  std::memcpy(payload + kOfflineInfoBytes, payload, kOfflineInfoBytes);
  const auto key = OfflineKeyBytes(argument);
  for (size_t i = 0; i < kOfflinePayloadBytes; ++i) payload[i] ^= key[i % 2];
  return FinishAndSend(ch, kOfflinePayloadBytes);
}

bool SendReset(uint8_t ch) {
  if (!IsChannel(ch)) return false;
  WriteHeader(ch, kCmdReset, kResetArgument, kResetByte3, kResetByte4, kResetByte5, kResetPayloadBytes);
  ClearPayload(ch, kResetPayloadBytes);
  return FinishAndSend(ch, kResetPayloadBytes);
}

bool SendPacketWithCrc(uint8_t ch, size_t packetBytes) {
  if (!IsChannel(ch) || packetBytes == 0 || packetBytes > kTxPacketBytes - kPacketCrcBytes) return false;
  uint8_t* p = Slot(ch);
  const auto last = static_cast<uint32_t>(packetBytes - 1);
  PutLe16(p + packetBytes, PacketCrcRange(p, 0, last));
  return SendChannelFrame(ch, SlipEncode(p, g.TxFrame[ch], packetBytes + kPacketCrcBytes, kFrameBytes));
}

bool SendChannelFrame(uint8_t ch, size_t length) {
  if (!IsChannel(ch) || length == 0 || length > kFrameBytes) return false;
  TComm* comm = g.ChannelComm[ch];
  if (comm == nullptr) return false;
  return comm->SendData(g.TxFrame[ch], static_cast<uint16_t>(length));
}
