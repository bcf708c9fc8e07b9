#include "link/commands.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "link/comm.h"
#include "link/framing.h"
#include "link/wire.h"
#include "shared/state.h"
#include "toolkit/random.h"

namespace {

// Random ranges: a byte draw gives 0..254, a word draw 0..65534.
constexpr uint32_t kRandomByteRange = 255;
constexpr uint32_t kRandomWordRange = 65535;

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

void Put16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* p, uint32_t value) {
  Put16(p, static_cast<uint16_t>(value));
  Put16(p + 2, static_cast<uint16_t>(value >> 16));
}

// Consecutive little-endian words.
void PutWords(uint8_t* p, std::initializer_list<uint16_t> words) {
  for (uint16_t word : words) {
    Put16(p, word);
    p += 2;
  }
}

// Bits 8..23 of an address: the only part of a 32-bit address that travels.
uint16_t MiddleBits(uint32_t address) { return static_cast<uint16_t>(address >> 8); }

uint8_t RandomByte() { return static_cast<uint8_t>(Random(kRandomByteRange)); }

void WriteHeader(uint8_t ch, uint8_t code, uint16_t argument, uint8_t b3, uint8_t b4, uint8_t b5,
                 uint16_t payloadBytes) {
  uint8_t* p = Slot(ch);
  p[0] = code;
  Put16(p + 1, argument);
  p[3] = b3;
  p[4] = b4;
  p[5] = b5;
  Put16(p + 6, payloadBytes);
}

void WriteChipHeader(uint8_t ch, uint8_t code, uint16_t argument, uint16_t payloadBytes) {
  WriteHeader(ch, code, argument, g.ChipSeries, g.ChipType, g.ChipIndex, payloadBytes);
}

// Zeroes the payload, so that bytes a command leaves undefined never carry an
// earlier packet or reply onto the wire.
void ClearPayload(uint8_t ch, uint16_t payloadBytes) {
  std::memset(Slot(ch) + kPacketHeaderBytes, 0, payloadBytes);
}

// Appends the packet CRC over exactly header and payload, frames the packet
// and sends the frame.
bool FinishAndSend(uint8_t ch, uint16_t payloadBytes) {
  uint8_t* p = Slot(ch);
  const uint32_t last = kPacketHeaderBytes + payloadBytes - 1;
  Put16(p + last + 1, PacketCrcRange(p, 0, last));
  const size_t length = SlipEncode(p, g.TxFrame[ch], kPacketHeaderBytes + payloadBytes + kPacketCrcBytes,
                                   kFrameBytes);
  return SendChannelFrame(ch, length);
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
  if (offset > kTxPacketBytes - kParamBlockBytes) return;
  uint8_t* b = Slot(ch) + offset;
  std::memset(b, 0, kParamBlockBytes);
  b[3] = g.ChipSeries;
  b[4] = g.ChipType;
  b[5] = g.ChipIndex;
  b[6] = RandomByte();
  b[7] = g.AutoDetect;
  Put16(b + 8, argument);
  b[10] = RandomByte();
  b[11] = RandomByte();
  Put16(b + 12, MiddleBits(g.FlashStart));
  Put16(b + 14, MiddleBits(g.FlashEnd));
  PutWords(b + 16, {g.RomSizeKB, g.PageSize, g.PageCount, g.EepSize, g.SizeWord5, g.SizeWord6,
                    MiddleBits(g.EepStart), MiddleBits(g.EepEnd)});
  const uint8_t controls[] = {g.CheckFlags,   g.InterfaceFlags, g.PowerResetFlags, g.ControlByte4,
                              g.ControlByte5, g.ControlByte6,   g.ChipModelA,      g.ControlByte8,
                              g.PowerOnDelay, g.PowerOffDelay,  g.ChipInDelay,     g.ChipOutDelay,
                              g.ChipModelB,   g.ControlByte14,  g.ProgSpeed};
  std::memcpy(b + 32, controls, sizeof controls);  // byte 47 stays 0
  PutWords(b + 48, {g.ImagePacketCrc, g.ImageSum16, g.AuxCheckWord1, g.AuxCheckWord2, g.AuxCheckWord3,
                    g.AuxCheckWord4, g.ImageCrc16});
}

void PutStringField(std::string_view text, size_t offset, size_t fieldLength, uint8_t ch) {
  if (offset >= kTxPacketBytes) return;
  fieldLength = std::min(fieldLength, kTxPacketBytes - offset);
  if (fieldLength == 0) return;
  uint8_t* f = Slot(ch) + offset;
  const std::string_view bytes = text.substr(0, text.find('\0'));
  size_t written = 0;
  if (bytes.empty()) {
    f[written++] = '?';
  } else {
    written = std::min(bytes.size(), fieldLength);
    std::memcpy(f, bytes.data(), written);
  }
  std::memset(f + written, 0, fieldLength - written);
}

void BuildOfflineInfo(uint8_t ch) {
  uint8_t* b = Slot(ch) + kPacketHeaderBytes;
  // Zero first: the bytes between the fields (481..507 included) are covered
  // by the block's CRC and sum and must not carry an earlier packet.
  std::memset(b, 0, kOfflineInfoBytes);
  std::memcpy(b, "ZWLP", 4);
  const auto argument = static_cast<uint16_t>(Random(kRandomWordRange));
  BuildParamBlock(kPacketHeaderBytes + kInfoParamBlock, argument, ch);
  b[kInfoSnFlags] = g.SnFlags;
  b[kInfoSnLength] = g.SnLength;
  Put16(b + kInfoSnIncrement, g.SnIncrement);
  Put32(b + kInfoSnAddress, g.SnAddress);
  Put32(b + kInfoSnValue, g.SnValue);
  Put16(b + kInfoRunShutTime, g.RunShutTime);
  Put32(b + kInfoMaxProgramCount, static_cast<uint32_t>(g.MaxProgramCount));
  PutStringField(g.ChipName, kPacketHeaderBytes + kInfoChipName, kInfoChipNameBytes, ch);
  PutStringField(g.DataFileName, kPacketHeaderBytes + kInfoDataFileName, kInfoDataFileNameBytes, ch);
  for (size_t i = 0; i < kInfoFillerBytes; ++i) b[kInfoFiller + i] = RandomByte();
  Put16(b + kOfflineInfoCrcOffset, PacketCrcRange(b, 0, kOfflineInfoCrcOffset - 1));
  uint16_t sum = 0;
  for (size_t i = 0; i < kOfflineInfoSumOffset; ++i) sum = static_cast<uint16_t>(sum + b[i]);
  Put16(b + kOfflineInfoSumOffset, sum);
}

bool SendOpCommand(uint8_t code, uint16_t argument, uint8_t ch) {
  WriteChipHeader(ch, code, argument, kOpPayloadBytes);
  ClearPayload(ch, kOpPayloadBytes);
  BuildParamBlock(kPacketHeaderBytes, 0, ch);
  return FinishAndSend(ch, kOpPayloadBytes);
}

bool SendConfigCommand(uint8_t ch) {
  WriteChipHeader(ch, kCmdOperation, kOpWriteConfig, kConfigPayloadBytes);
  ClearPayload(ch, kConfigPayloadBytes);
  BuildParamBlock(kPacketHeaderBytes, 0, ch);
  return FinishAndSend(ch, kConfigPayloadBytes);
}

bool SendReadCommand(uint8_t code, uint16_t argument, uint8_t ch) {
  WriteChipHeader(ch, code, argument, kReadPayloadBytes);
  // The packet keeps the block's first 64 bytes; the rest lies past the CRC.
  BuildParamBlock(kPacketHeaderBytes, 0, ch);
  Put32(Slot(ch) + kPacketHeaderBytes + kReadAddressOffset, g.ReadAddress);
  Put16(Slot(ch) + kPacketHeaderBytes + kReadLengthOffset, g.ReadLength);
  return FinishAndSend(ch, kReadPayloadBytes);
}

bool SendProgramBlock(uint8_t code, uint16_t argument, uint32_t baseAddress, uint8_t ch) {
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
  WriteChipHeader(ch, code, argument, kDownloadPayloadBytes);
  CopyFlashBlock(Slot(ch) + kPacketHeaderBytes, argument, baseAddress);
  return FinishAndSend(ch, kDownloadPayloadBytes);
}

bool SendEepDownloadBlock(uint8_t code, uint16_t argument, uint32_t /*baseAddress*/, uint8_t ch) {
  WriteChipHeader(ch, code, argument, kDownloadPayloadBytes);
  CopyEepBlock(Slot(ch) + kPacketHeaderBytes, argument);
  return FinishAndSend(ch, kDownloadPayloadBytes);
}

bool SendOfflineInfo(uint8_t code, uint16_t argument, uint8_t ch) {
  WriteChipHeader(ch, code, argument, kOfflinePayloadBytes);
  BuildOfflineInfo(ch);
  uint8_t* payload = Slot(ch) + kPacketHeaderBytes;
  std::memcpy(payload + kOfflineInfoBytes, payload, kOfflineInfoBytes);
  const auto key = OfflineKeyBytes(argument);
  for (size_t i = 0; i < kOfflinePayloadBytes; ++i) payload[i] ^= key[i % 2];
  return FinishAndSend(ch, kOfflinePayloadBytes);
}

bool SendReset(uint8_t ch) {
  WriteHeader(ch, kCmdReset, kResetArgument, kResetByte3, kResetByte4, kResetByte5, kResetPayloadBytes);
  ClearPayload(ch, kResetPayloadBytes);
  return FinishAndSend(ch, kResetPayloadBytes);
}

bool SendChannelFrame(uint8_t ch, size_t length) {
  TComm* comm = g.ChannelComm[ch];
  if (comm == nullptr) return false;
  return comm->SendData(g.TxFrame[ch], static_cast<uint16_t>(length));
}
