// How the simulated unit answers what it receives: the chip, the downloads,
// the off-line information and the firmware upgrade. Called by the serving
// thread with the unit's mutex held.

#include <algorithm>
#include <cstring>
#include <fstream>

#include "link/firmware.h"
#include "link/wire.h"
#include "simunit/sim_unit.h"
#include "simunit/sim_unit_parts.h"
#include "simunit/sim_wire.h"

namespace {

constexpr uint32_t kEepBytes = kSimEepBytes;
constexpr uint32_t kFirmwareStoreBytes = kSimFirmwareBytes;
// Result codes the unit answers with.
constexpr uint8_t kResultSuccess = 6;
constexpr uint8_t kResultProtected = 16;  // the blank check's "read-protected", a write's "write-protected"
constexpr uint8_t kResultReadProtected = 19;
constexpr uint8_t kResultNotBlank = 21;
constexpr uint8_t kResultUnknownCommand = 37;
constexpr uint8_t kResultOutOfRange = 85;
constexpr uint8_t kResultIllegal = 90;
constexpr size_t kMaxIdentityText = 200;

void PutLe16Back(std::vector<uint8_t>& p, uint16_t v) {
  p.resize(p.size() + 2);
  PutLe16(p.data() + p.size() - 2, v);
}

// CRC-16/CCITT-FALSE (poly 0x1021, start 0xFFFF, no reflection, no final
// xor) of bytes[start..end]: the checksum the program shows for an image.
uint16_t Crc16(const uint8_t* bytes, uint32_t start, uint32_t end) {
  uint16_t crc = 0xFFFF;
  for (uint32_t i = start; i <= end; ++i) {
    crc ^= static_cast<uint16_t>(bytes[i] << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

// A reply packet: the request's command, argument and chip bytes, the
// payload and the packet CRC.
std::vector<uint8_t> ReplyPacket(const std::vector<uint8_t>& request,
                                 const std::vector<uint8_t>& payload) {
  return SimPacketOf(request, payload);
}

std::vector<uint8_t> ResultPacket(const std::vector<uint8_t>& request, uint8_t code) {
  return ReplyPacket(request, {code});
}

// True when [offset, offset + length) lies inside size bytes.
bool Inside(uint64_t offset, uint64_t length, uint64_t size) { return offset + length <= size; }

bool IsReadProtected(SimProtection p) {
  return p == SimProtection::kReadProtected16 || p == SimProtection::kReadProtected19;
}

// The version field of a firmware image file, up to its first 0; empty when
// the file cannot be read or the field does not begin with 'V'.
std::string ImageFileVersion(const std::string& path) {
  if (path.empty()) return {};
  std::ifstream in(path, std::ios::binary);
  char field[kFirmwareVersionFieldBytes] = {};
  if (!in.seekg(kFirmwareVersionOffset) || !in.read(field, sizeof field)) return {};
  const std::string version(field, strnlen(field, sizeof field));
  return version.starts_with('V') ? version : std::string();
}

}  // namespace

std::vector<uint8_t> SimStepReportPacket(const SimStepReport& r) {
  std::vector<uint8_t> report = {kStepReportMark, r.step, r.result};
  PutLe16Back(report, r.progress);
  PutLe16Back(report, r.total);
  uint8_t sum = 0;
  for (uint8_t b : report) sum = static_cast<uint8_t>(sum + b);
  report.push_back(static_cast<uint8_t>(0x100 - sum));
  return report;
}

bool SimPacket::IsIdentify() const { return IsIdentifyRequest(bytes); }

uint8_t SimPacket::Command() const { return bytes.empty() ? 0 : bytes[0]; }

uint16_t SimPacket::Argument() const { return bytes.size() < 3 ? 0 : GetLe16At(bytes, 1); }

std::vector<uint8_t> SimUnit::Answer(const std::vector<uint8_t>& packet, uint8_t decodeResult) {
  if (decodeResult == 0 && packet.size() >= kPacketHeaderBytes) return AnswerPacket(packet);
  if (decodeResult == 0 && IsIdentifyRequest(packet))
    return silentIdentify_ ? std::vector<uint8_t>{} : IdentityReply();
  if (silent_) return {};
  return ResultPacket({}, kSimFrameBad);
}

std::vector<uint8_t> SimUnit::AnswerPacket(const std::vector<uint8_t>& p) {
  const uint8_t command = p[kHeaderCommandOffset];
  const uint16_t argument = GetLe16At(p, kHeaderArgumentOffset);
  const size_t n = GetLe16At(p, kHeaderLengthOffset);
  const bool whole = p.size() == kPacketHeaderBytes + n + kPacketCrcBytes;
  const bool crcOk = whole && SimPacketCrc(p.data(), p.size() - kPacketCrcBytes) ==
                                  GetLe16At(p, p.size() - kPacketCrcBytes);
  if (command == kCmdReset) {
    if (crcOk) ++resets_;
    return {};
  }
  if (command == kCmdFirmwareFinish) {
    if (crcOk) TakeFirmwareFinish(p);
    return {};
  }
  if (silent_) return {};
  if (!whole) return ResultPacket(p, kSimFrameBad);
  if (!crcOk) return ResultPacket(p, kSimPacketCrcBad);
  if (failure_.code != 0 && (failure_.command == kSimAny || failure_.command == command) &&
      (failure_.operation == kSimAny || failure_.operation == argument))
    return ResultPacket(p, failure_.code);

  const size_t payload = kPacketHeaderBytes;
  const uint64_t blockOffset = uint64_t{argument} * 1024;
  uint8_t code = kResultSuccess;
  switch (command) {
    case kCmdOperation:
      TakeParamBlock(p);
      return AnswerOperation(p);
    case kCmdProgramFlash:
    case kCmdProgramEep: {
      TakeParamBlock(p);
      if (n != kParamBlockBytes + kDataBlockBytes) {
        code = kSimFrameBad;
        break;
      }
      std::vector<uint8_t>& store = command == kCmdProgramFlash ? flash_ : eep_;
      const uint32_t size = command == kCmdProgramFlash ? chipBytes_ : kEepBytes;
      if (protection_ == SimProtection::kWriteProtected) {
        code = kResultProtected;
      } else if (!Inside(blockOffset, kDataBlockBytes, size)) {
        code = kResultOutOfRange;
      } else {
        std::copy_n(p.begin() + payload + kParamBlockBytes, kDataBlockBytes,
                    store.begin() + static_cast<ptrdiff_t>(blockOffset));
        if (command == kCmdProgramFlash) programmedBlocks_.push_back(argument);
      }
      break;
    }
    case kCmdReadFlash:
    case kCmdReadEep: {
      TakeParamBlock(p);
      const std::vector<uint8_t>& store = command == kCmdReadFlash ? flash_ : eep_;
      const uint32_t size = command == kCmdReadFlash ? chipBytes_ : kEepBytes;
      if (IsReadProtected(protection_)) {
        code = kResultReadProtected;
      } else if (!Inside(blockOffset, kDataBlockBytes, size)) {
        code = kResultOutOfRange;
      } else {
        return ReplyPacket(
            p, SimSlice(store, size, static_cast<uint32_t>(blockOffset), kDataBlockBytes));
      }
      break;
    }
    case kCmdDownloadFlash:
    case kCmdDownloadEep:
      // The job's images are kept in one store, EEP blocks by their number too.
      if (n != kDataBlockBytes) {
        code = kSimFrameBad;
      } else if (!Inside(blockOffset, kDataBlockBytes, download_.size())) {
        code = kResultOutOfRange;
      } else {
        std::copy_n(p.begin() + payload, kDataBlockBytes,
                    download_.begin() + static_cast<ptrdiff_t>(blockOffset));
        if (command == kCmdDownloadFlash) downloadBlocks_.push_back(argument);
      }
      break;
    case kCmdOfflineInfo:
      code = TakeOfflineInfo(p);
      break;
    case kCmdFirmwareBlock:
      code = TakeFirmwareBlock(p);
      break;
    default:
      code = kResultUnknownCommand;
      break;
  }
  return ResultPacket(p, code);
}

void SimUnit::TakeParamBlock(const std::vector<uint8_t>& p) {
  const size_t at = kPacketHeaderBytes + kParamRomSizeKBOffset;
  if (p.size() < at + 2 + kPacketCrcBytes) return;
  const uint32_t bytes = uint32_t{GetLe16At(p, at)} * 1024;
  if (bytes != 0) chipBytes_ = std::min<uint32_t>(bytes, kSimFlashBytes);
}

std::vector<uint8_t> SimUnit::AnswerOperation(const std::vector<uint8_t>& p) {
  const uint16_t operation = GetLe16At(p, kHeaderArgumentOffset);
  const size_t n = GetLe16At(p, kHeaderLengthOffset);
  const size_t payload = kPacketHeaderBytes;
  uint8_t code = kResultSuccess;
  switch (operation) {
    case kOpBlankCheck:
      if (protection_ == SimProtection::kReadProtected16) {
        code = kResultProtected;
      } else if (protection_ == SimProtection::kReadProtected19) {
        code = kResultReadProtected;
      } else if (protection_ == SimProtection::kWriteProtected) {
        code = kResultIllegal;
      } else {
        const bool blank = std::all_of(flash_.begin(), flash_.begin() + chipBytes_,
                                       [](uint8_t b) { return b == kSimErasedByte; });
        code = blank ? kResultSuccess : kResultNotBlank;
      }
      break;
    case kOpErase:
      std::fill(flash_.begin(), flash_.begin() + chipBytes_, kSimErasedByte);
      std::fill(eep_.begin(), eep_.end(), kSimErasedByte);
      protection_ = SimProtection::kNone;
      break;
    case kOpVerify: {
      if (n < kParamImageCrc16Offset + 2) {
        code = kSimFrameBad;
        break;
      }
      if (IsReadProtected(protection_)) {
        code = kResultReadProtected;
        break;
      }
      const uint32_t start = uint32_t{GetLe16At(p, payload + kParamFlashStartOffset)} << 8;
      const uint32_t end = (uint32_t{GetLe16At(p, payload + kParamFlashEndOffset)} << 8) | 0xFF;
      if (end < start || end >= chipBytes_) {
        code = kResultOutOfRange;
        break;
      }
      const uint16_t chip = Crc16(flash_.data(), start, end);
      const uint16_t expected = GetLe16At(p, payload + kParamImageCrc16Offset);
      std::vector<uint8_t> reply = {chip == expected ? kResultSuccess : kSimVerifyDiffers, 0};
      PutLe16Back(reply, chip);
      PutLe16Back(reply, expected);
      return ReplyPacket(p, reply);
    }
    case kOpChipId:
      return ReplyPacket(p, std::vector<uint8_t>(chipId_.begin(), chipId_.end()));
    case kOpWriteConfig:
      if (n < kParamControlGroupOffset + kParamControlGroupBytes) {
        code = kSimFrameBad;
      } else if (protection_ == SimProtection::kWriteProtected) {
        code = kResultProtected;
      } else {
        std::copy_n(p.begin() + payload + kParamControlGroupOffset, config_.size(), config_.begin());
      }
      break;
    case kOpReadAddress: {
      if (n < kReadLengthOffset + 2) {
        code = kSimFrameBad;
        break;
      }
      const uint32_t address = GetLe32At(p, payload + kReadAddressOffset);
      const uint16_t length = GetLe16At(p, payload + kReadLengthOffset);
      if (IsReadProtected(protection_)) {
        code = kResultReadProtected;
      } else if (length > kDataBlockBytes || !Inside(address, length, chipBytes_)) {
        code = kResultOutOfRange;
      } else {
        return ReplyPacket(p, SimSlice(flash_, chipBytes_, address, length));
      }
      break;
    }
    default:
      code = kResultUnknownCommand;
      break;
  }
  return ResultPacket(p, code);
}

uint8_t SimUnit::TakeOfflineInfo(const std::vector<uint8_t>& p) {
  if (GetLe16At(p, kHeaderLengthOffset) != 2 * kOfflineInfoBytes) return kSimFrameBad;
  const uint16_t argument = GetLe16At(p, kHeaderArgumentOffset);
  const uint8_t key0 = static_cast<uint8_t>(((argument & 0xFF) ^ kOfflineKeyFixed0) | 0x80);
  const uint8_t key1 = static_cast<uint8_t>(((argument >> 8) ^ kOfflineKeyFixed1) | 0x80);
  std::vector<uint8_t> plain(p.begin() + kPacketHeaderBytes,
                             p.begin() + kPacketHeaderBytes + 2 * kOfflineInfoBytes);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] ^= (i % 2 == 0) ? key0 : key1;
  if (!std::equal(plain.begin(), plain.begin() + kOfflineInfoBytes,
                  plain.begin() + kOfflineInfoBytes))
    return kSimFrameBad;
  uint16_t sum = 0;
  for (size_t i = 0; i < kOfflineInfoSumOffset; ++i) sum = static_cast<uint16_t>(sum + plain[i]);
  if (SimPacketCrc(plain.data(), kOfflineInfoCrcOffset) != GetLe16At(plain, kOfflineInfoCrcOffset) ||
      sum != GetLe16At(plain, kOfflineInfoSumOffset))
    return kSimPacketCrcBad;
  std::array<uint8_t, kOfflineInfoBytes> block{};
  std::copy_n(plain.begin(), block.size(), block.begin());
  offlineInfo_ = block;
  return kResultSuccess;
}

std::optional<SimFirmwareBlock> SimUnmaskFirmwareBlock(const std::vector<uint8_t>& p) {
  if (p.size() < kPacketHeaderBytes + kFirmwarePayloadBytes || p[0] != kCmdFirmwareBlock) return std::nullopt;
  if (GetLe16At(p, kHeaderLengthOffset) != kFirmwarePayloadBytes) return std::nullopt;
  const uint16_t w = GetLe16At(p, kFirmwareMaskWordOffset);
  const uint8_t wordBytes[3] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8),
                                static_cast<uint8_t>(w)};
  SimFirmwareBlock block;
  block.number = p[kHeaderArgumentOffset] / 4u;
  block.bytes.resize(kFirmwareBlockBytes);
  const uint8_t* masked = p.data() + kPacketHeaderBytes;
  const uint8_t* random = masked + kFirmwareBlockBytes;
  for (uint32_t j = 0; j < kFirmwareBlockBytes; ++j) {
    // The fourth byte of every group does not travel.
    block.bytes[j] = (j % 4 == 3) ? 0 : masked[j] ^ random[j] ^ wordBytes[j % 4];
  }
  return block;
}

uint8_t SimUnit::TakeFirmwareBlock(const std::vector<uint8_t>& p) {
  const std::optional<SimFirmwareBlock> block = SimUnmaskFirmwareBlock(p);
  if (!block) return kSimFrameBad;
  const uint32_t base = (block->number * kFirmwareBlockBytes) % kFirmwareStoreBytes;
  std::copy(block->bytes.begin(), block->bytes.end(), firmware_.begin() + base);
  ++firmwareBlocks_;
  return kResultSuccess;
}

void SimUnit::TakeFirmwareFinish(const std::vector<uint8_t>& p) {
  static const uint8_t kFinish[] = {kCmdFirmwareFinish, 0x00, 'R', 'S', 0x00, 0x00, 0x02, 0x00};
  if (!std::equal(std::begin(kFinish), std::end(kFinish), p.begin())) return;
  if (firmwareBlocks_ > 0) {
    const std::string version = upgradeVersion_.empty() ? ImageFileVersion(upgradeImageFile_) : upgradeVersion_;
    if (!version.empty()) identity_.version = version;
  }
  firmwareBlocks_ = 0;
}

std::vector<uint8_t> SimUnit::IdentityReply() const {
  std::string text = identity_.name + " " + identity_.version + identity_.suffix;
  if (text.size() > kMaxIdentityText) text.resize(kMaxIdentityText);
  // The text goes out with its terminating 0: L + 1 bytes.
  std::vector<uint8_t> reply(kIdentityTextOffset + text.size() + 1, 0);
  std::copy(std::begin(kIdentifyMark), std::end(kIdentifyMark), reply.begin());
  reply[kIdentityDeviceTypeOffset] = identity_.deviceType;
  PutLe16(reply.data() + kIdentityTextLengthOffset, static_cast<uint16_t>(text.size()));
  reply[kIdentityLettersOffset] = static_cast<uint8_t>(identity_.letters[0]);
  reply[kIdentityLettersOffset + 1] = static_cast<uint8_t>(identity_.letters[1]);
  std::copy(text.begin(), text.end(), reply.begin() + kIdentityTextOffset);
  return reply;
}

