#include "simunit/sim_unit.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "link/framing.h"
#include "link/wire.h"
#include "shared/state.h"

namespace {

constexpr uint32_t kEepBytes = kSimEepBytes;
constexpr uint32_t kFirmwareStoreBytes = kSimFirmwareBytes;
// Room for the largest command frame and a block behind it.
constexpr size_t kReceiveBytes = 16384;
// Result codes the unit answers with.
constexpr uint8_t kResultSuccess = 6;
constexpr uint8_t kResultProtected = 16;  // the blank check's "read-protected", a write's "write-protected"
constexpr uint8_t kResultReadProtected = 19;
constexpr uint8_t kResultNotBlank = 21;
constexpr uint8_t kResultUnknownCommand = 37;
constexpr uint8_t kResultVerifyDiffers = 48;
constexpr uint8_t kResultOutOfRange = 85;
constexpr uint8_t kResultIllegal = 90;
// Pacing sends this many bytes at a time, then waits for the line to catch up.
constexpr size_t kPaceChunkBytes = 32;
constexpr int kWritePollMs = 100;
constexpr size_t kMaxIdentityText = 200;

uint16_t Get16(const std::vector<uint8_t>& p, size_t at) {
  return static_cast<uint16_t>(p[at] | (p[at + 1] << 8));
}

uint32_t Get32(const std::vector<uint8_t>& p, size_t at) {
  return Get16(p, at) | (static_cast<uint32_t>(Get16(p, at + 2)) << 16);
}

void Put16(std::vector<uint8_t>& p, uint16_t v) {
  p.push_back(static_cast<uint8_t>(v));
  p.push_back(static_cast<uint8_t>(v >> 8));
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
  const size_t n = payload.size();
  std::vector<uint8_t> p(kPacketHeaderBytes + n + kPacketCrcBytes, 0);
  std::copy_n(request.begin(), std::min<size_t>(request.size(), kHeaderLengthOffset), p.begin());
  p[kHeaderLengthOffset] = static_cast<uint8_t>(n);
  p[kHeaderLengthOffset + 1] = static_cast<uint8_t>(n >> 8);
  std::copy(payload.begin(), payload.end(), p.begin() + kPacketHeaderBytes);
  const uint16_t crc = PacketCrcRange(p.data(), 0, static_cast<uint32_t>(kPacketHeaderBytes + n - 1));
  p[kPacketHeaderBytes + n] = static_cast<uint8_t>(crc);
  p[kPacketHeaderBytes + n + 1] = static_cast<uint8_t>(crc >> 8);
  return p;
}

std::vector<uint8_t> ResultPacket(const std::vector<uint8_t>& request, uint8_t code) {
  return ReplyPacket(request, {code});
}

std::vector<uint8_t> Frame(const std::vector<uint8_t>& packet) {
  std::vector<uint8_t> frame(MaxFrameBytes(packet.size()));
  frame.resize(SlipEncode(packet.data(), frame.data(), packet.size(), frame.size()));
  return frame;
}

// Copies length bytes from store[offset..] clipped to limit bytes.
std::vector<uint8_t> Slice(const std::vector<uint8_t>& store, uint32_t limit, uint32_t offset,
                           uint32_t length) {
  limit = std::min<uint32_t>(limit, static_cast<uint32_t>(store.size()));
  if (offset >= limit) return {};
  const uint32_t n = std::min(length, limit - offset);
  return std::vector<uint8_t>(store.begin() + offset, store.begin() + offset + n);
}

// True when [offset, offset + length) lies inside size bytes.
bool Inside(uint64_t offset, uint64_t length, uint64_t size) { return offset + length <= size; }

bool IsReadProtected(SimProtection p) {
  return p == SimProtection::kReadProtected16 || p == SimProtection::kReadProtected19;
}

void SetRaw(int fd, bool realLine) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return;
  cfmakeraw(&tio);
  if (realLine) {
    cfsetispeed(&tio, B1000000);
    cfsetospeed(&tio, B1000000);
    tio.c_cflag |= CSTOPB | CLOCAL | CREAD;
    tio.c_cflag &= ~CRTSCTS;
  }
  tcsetattr(fd, TCSANOW, &tio);
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// The fd that Stop() signals. Without it Stop() could never wake the serving
// thread and would wait for it for ever, so a unit that cannot have one is not
// made: its line fds are closed again (no destructor runs for a constructor
// that throws) and the constructor throws.
int OpenWakeFd(int& lineFd, int& slaveFd) {
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd >= 0) return fd;
  const int error = errno;
  CloseFd(lineFd);
  CloseFd(slaveFd);
  throw std::runtime_error(std::string("eventfd: ") + std::strerror(error));
}

}  // namespace

bool SimPacket::IsIdentify() const {
  return bytes.size() == sizeof kIdentifyMark &&
         std::equal(bytes.begin(), bytes.end(), std::begin(kIdentifyMark));
}

uint8_t SimPacket::Command() const { return bytes.empty() ? 0 : bytes[0]; }

uint16_t SimPacket::Argument() const { return bytes.size() < 3 ? 0 : Get16(bytes, 1); }

SimUnit::SimUnit() {
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
    throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
  lineFd_ = master;
  slaveFd_ = slave;
  ownsTty_ = true;
  slavePath_ = name;
  // Raw on the slave side, or the line discipline would echo our own replies
  // back to us and rewrite CR and LF bytes.
  SetRaw(slaveFd_, false);
  fcntl(lineFd_, F_SETFL, fcntl(lineFd_, F_GETFL) | O_NONBLOCK);
  wakeFd_ = OpenWakeFd(lineFd_, slaveFd_);
}

SimUnit::SimUnit(const std::string& attachPath) {
  lineFd_ = open(attachPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (lineFd_ < 0)
    throw std::runtime_error(attachPath + ": " + std::strerror(errno));
  if (isatty(lineFd_)) SetRaw(lineFd_, true);
  slavePath_ = attachPath;
  wakeFd_ = OpenWakeFd(lineFd_, slaveFd_);
}

SimUnit::~SimUnit() {
  Stop();
  CloseFd(lineFd_);
  CloseFd(slaveFd_);
  CloseFd(wakeFd_);
}

void SimUnit::Start() {
  if (thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this] { Serve(); });
}

void SimUnit::Stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t w = write(wakeFd_, &one, sizeof one);
  thread_.join();
  uint64_t drained = 0;
  [[maybe_unused]] ssize_t r = read(wakeFd_, &drained, sizeof drained);
}

void SimUnit::Serve() {
  std::vector<uint8_t> rx(kReceiveBytes);
  std::vector<uint8_t> frame(kFrameBytes);
  uint16_t rxCount = 0;
  while (!stopping_) {
    pollfd fds[2] = {{lineFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) {
      if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return;
      continue;
    }
    // A full buffer without a frame in it holds nothing worth keeping.
    if (rxCount == rx.size()) rxCount = 0;
    const ssize_t got = read(lineFd_, rx.data() + rxCount, rx.size() - rxCount);
    if (got <= 0) {
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      return;
    }
    rxCount = static_cast<uint16_t>(rxCount + got);
    uint16_t position = 0;
    for (;;) {
      const uint16_t start = position;
      uint16_t frameLength = 0;
      if (!ExtractFrame(rx.data(), rxCount, position, frame.data(), frame.size(), frameLength)) {
        position = start;
        break;
      }
      HandleFrame(frame.data(), frameLength);
    }
    std::copy(rx.begin() + position, rx.begin() + rxCount, rx.begin());
    rxCount = static_cast<uint16_t>(rxCount - position);
  }
}

void SimUnit::HandleFrame(uint8_t* frame, uint16_t frameLength) {
  std::vector<uint8_t> decoded(kTxPacketBytes);
  uint16_t decodedLength = 0;
  uint16_t count = frameLength;
  const uint8_t result = SlipDecode(frame, decoded.data(), decoded.size(), decodedLength, count);
  decoded.resize(result == kFrameIncomplete ? 0 : decodedLength);
  std::vector<uint8_t> reply;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reply = Answer(decoded, result);
    log_.push_back(SimPacket{decoded, result});
  }
  logChanged_.notify_all();
  if (!reply.empty()) Write(reply);
}

std::vector<uint8_t> SimUnit::Answer(const std::vector<uint8_t>& packet, uint8_t decodeResult) {
  if (decodeResult == kFrameOk) return AnswerPacket(packet);
  if (SimPacket{packet, decodeResult}.IsIdentify())
    return silentIdentify_ ? std::vector<uint8_t>{} : Frame(IdentityReply());
  if (silent_) return {};
  return Frame(ResultPacket({}, kFrameBad));
}

std::vector<uint8_t> SimUnit::AnswerPacket(const std::vector<uint8_t>& p) {
  const uint8_t command = p[kHeaderCommandOffset];
  const uint16_t argument = Get16(p, kHeaderArgumentOffset);
  const size_t n = Get16(p, kHeaderLengthOffset);
  const bool whole = p.size() == kPacketHeaderBytes + n + kPacketCrcBytes;
  const bool crcOk = whole && PacketCrcRange(p.data(), 0, static_cast<uint32_t>(p.size() - 3)) ==
                                  Get16(p, p.size() - kPacketCrcBytes);
  if (command == kCmdReset) {
    if (crcOk) ++resets_;
    return {};
  }
  if (command == kCmdFirmwareFinish) {
    if (crcOk) TakeFirmwareFinish(p);
    return {};
  }
  if (silent_) return {};
  if (!whole) return Frame(ResultPacket(p, kFrameBad));
  if (!crcOk) return Frame(ResultPacket(p, kPacketCrcBad));
  if (failure_.code != 0 && (failure_.command == kSimAny || failure_.command == command) &&
      (failure_.operation == kSimAny || failure_.operation == argument))
    return Frame(ResultPacket(p, failure_.code));

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
        code = kFrameBad;
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
        return Frame(ReplyPacket(
            p, Slice(store, size, static_cast<uint32_t>(blockOffset), kDataBlockBytes)));
      }
      break;
    }
    case kCmdDownloadFlash:
    case kCmdDownloadEep:
      // The job's images are kept in one store, EEP blocks by their number too.
      if (n != kDataBlockBytes) {
        code = kFrameBad;
      } else if (!Inside(blockOffset, kDataBlockBytes, download_.size())) {
        code = kResultOutOfRange;
      } else {
        std::copy_n(p.begin() + payload, kDataBlockBytes,
                    download_.begin() + static_cast<ptrdiff_t>(blockOffset));
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
  return Frame(ResultPacket(p, code));
}

void SimUnit::TakeParamBlock(const std::vector<uint8_t>& p) {
  const size_t at = kPacketHeaderBytes + kParamRomSizeKBOffset;
  if (p.size() < at + 2 + kPacketCrcBytes) return;
  const uint32_t bytes = uint32_t{Get16(p, at)} * 1024;
  if (bytes != 0) chipBytes_ = std::min<uint32_t>(bytes, kSimFlashBytes);
}

std::vector<uint8_t> SimUnit::AnswerOperation(const std::vector<uint8_t>& p) {
  const uint16_t operation = Get16(p, kHeaderArgumentOffset);
  const size_t n = Get16(p, kHeaderLengthOffset);
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
        code = kFrameBad;
        break;
      }
      if (IsReadProtected(protection_)) {
        code = kResultReadProtected;
        break;
      }
      const uint32_t start = uint32_t{Get16(p, payload + kParamFlashStartOffset)} << 8;
      const uint32_t end = (uint32_t{Get16(p, payload + kParamFlashEndOffset)} << 8) | 0xFF;
      if (end < start || end >= chipBytes_) {
        code = kResultOutOfRange;
        break;
      }
      const uint16_t chip = Crc16(flash_.data(), start, end);
      const uint16_t expected = Get16(p, payload + kParamImageCrc16Offset);
      std::vector<uint8_t> reply = {chip == expected ? kResultSuccess : kResultVerifyDiffers, 0};
      Put16(reply, chip);
      Put16(reply, expected);
      return Frame(ReplyPacket(p, reply));
    }
    case kOpChipId:
      return Frame(ReplyPacket(p, std::vector<uint8_t>(chipId_.begin(), chipId_.end())));
    case kOpWriteConfig:
      if (n < kParamControlGroupOffset + kParamControlGroupBytes) {
        code = kFrameBad;
      } else if (protection_ == SimProtection::kWriteProtected) {
        code = kResultProtected;
      } else {
        std::copy_n(p.begin() + payload + kParamControlGroupOffset, config_.size(), config_.begin());
      }
      break;
    case kOpReadAddress: {
      if (n < kReadLengthOffset + 2) {
        code = kFrameBad;
        break;
      }
      const uint32_t address = Get32(p, payload + kReadAddressOffset);
      const uint16_t length = Get16(p, payload + kReadLengthOffset);
      if (IsReadProtected(protection_)) {
        code = kResultReadProtected;
      } else if (length > kDataBlockBytes || !Inside(address, length, chipBytes_)) {
        code = kResultOutOfRange;
      } else {
        return Frame(ReplyPacket(p, Slice(flash_, chipBytes_, address, length)));
      }
      break;
    }
    default:
      code = kResultUnknownCommand;
      break;
  }
  return Frame(ResultPacket(p, code));
}

uint8_t SimUnit::TakeOfflineInfo(const std::vector<uint8_t>& p) {
  if (Get16(p, kHeaderLengthOffset) != 2 * kOfflineInfoBytes) return kFrameBad;
  const uint16_t argument = Get16(p, kHeaderArgumentOffset);
  const uint8_t key0 = static_cast<uint8_t>(((argument & 0xFF) ^ kOfflineKeyFixed0) | 0x80);
  const uint8_t key1 = static_cast<uint8_t>(((argument >> 8) ^ kOfflineKeyFixed1) | 0x80);
  std::vector<uint8_t> plain(p.begin() + kPacketHeaderBytes,
                             p.begin() + kPacketHeaderBytes + 2 * kOfflineInfoBytes);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] ^= (i % 2 == 0) ? key0 : key1;
  if (!std::equal(plain.begin(), plain.begin() + kOfflineInfoBytes,
                  plain.begin() + kOfflineInfoBytes))
    return kFrameBad;
  uint16_t sum = 0;
  for (size_t i = 0; i < kOfflineInfoSumOffset; ++i) sum = static_cast<uint16_t>(sum + plain[i]);
  if (PacketCrcRange(plain.data(), 0, kOfflineInfoCrcOffset - 1) != Get16(plain, kOfflineInfoCrcOffset) ||
      sum != Get16(plain, kOfflineInfoSumOffset))
    return kPacketCrcBad;
  std::array<uint8_t, kOfflineInfoBytes> block{};
  std::copy_n(plain.begin(), block.size(), block.begin());
  offlineInfo_ = block;
  return kResultSuccess;
}

uint8_t SimUnit::TakeFirmwareBlock(const std::vector<uint8_t>& p) {
  if (Get16(p, kHeaderLengthOffset) != kFirmwarePayloadBytes) return kFrameBad;
  const uint16_t w = Get16(p, kFirmwareMaskWordOffset);
  const uint8_t wordBytes[3] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8),
                                static_cast<uint8_t>(w)};
  const uint32_t block = p[kHeaderArgumentOffset] / 4u;
  const uint32_t base = (block * kFirmwareBlockBytes) % kFirmwareStoreBytes;
  const uint8_t* masked = p.data() + kPacketHeaderBytes;
  const uint8_t* random = masked + kFirmwareBlockBytes;
  for (uint32_t j = 0; j < kFirmwareBlockBytes; ++j) {
    // The fourth byte of every group does not travel.
    const uint8_t plain = (j % 4 == 3) ? 0 : masked[j] ^ random[j] ^ wordBytes[j % 4];
    firmware_[base + j] = plain;
  }
  ++firmwareBlocks_;
  return kResultSuccess;
}

void SimUnit::TakeFirmwareFinish(const std::vector<uint8_t>& p) {
  static const uint8_t kFinish[] = {kCmdFirmwareFinish, 0x00, 'R', 'S', 0x00, 0x00, 0x02, 0x00};
  if (!std::equal(std::begin(kFinish), std::end(kFinish), p.begin())) return;
  if (firmwareBlocks_ > 0 && !upgradeVersion_.empty()) identity_.version = upgradeVersion_;
  firmwareBlocks_ = 0;
}

std::vector<uint8_t> SimUnit::IdentityReply() const {
  std::string text = identity_.name + " " + identity_.version + identity_.suffix;
  if (text.size() > kMaxIdentityText) text.resize(kMaxIdentityText);
  // The text goes out with its terminating 0: L + 1 bytes.
  std::vector<uint8_t> reply(kIdentityTextOffset + text.size() + 1, 0);
  std::copy(std::begin(kIdentifyMark), std::end(kIdentifyMark), reply.begin());
  reply[kIdentityDeviceTypeOffset] = identity_.deviceType;
  reply[kIdentityTextLengthOffset] = static_cast<uint8_t>(text.size());
  reply[kIdentityTextLengthOffset + 1] = static_cast<uint8_t>(text.size() >> 8);
  reply[kIdentityLettersOffset] = static_cast<uint8_t>(identity_.letters[0]);
  reply[kIdentityLettersOffset + 1] = static_cast<uint8_t>(identity_.letters[1]);
  std::copy(text.begin(), text.end(), reply.begin() + kIdentityTextOffset);
  return reply;
}

void SimUnit::Write(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  uint32_t baud = 0;
  {
    std::lock_guard<std::mutex> state(mutex_);
    baud = lineBaud_;
  }
  if (baud == 0) {
    WriteAll(bytes.data(), bytes.size());
    return;
  }
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  for (size_t sent = 0; sent < bytes.size() && !stopping_;) {
    const size_t chunk = std::min(kPaceChunkBytes, bytes.size() - sent);
    WriteAll(bytes.data() + sent, chunk);
    sent += chunk;
    const auto lineTime = std::chrono::microseconds(
        static_cast<int64_t>(sent) * kBitsPerByte * 1000000 / baud);
    std::this_thread::sleep_until(start + lineTime);
  }
}

void SimUnit::WriteAll(const uint8_t* bytes, size_t n) {
  while (n > 0 && !stopping_) {
    const ssize_t put = write(lineFd_, bytes, n);
    if (put > 0) {
      bytes += put;
      n -= static_cast<size_t>(put);
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) return;
    // The far side is not reading: wait for room, or for Stop.
    pollfd fds[2] = {{lineFd_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
    poll(fds, 2, kWritePollMs);
  }
}

void SimUnit::SetIdentity(const SimIdentity& identity) {
  std::lock_guard<std::mutex> lock(mutex_);
  identity_ = identity;
}

SimIdentity SimUnit::Identity() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return identity_;
}

void SimUnit::SetUpgradeVersion(const std::string& version) {
  std::lock_guard<std::mutex> lock(mutex_);
  upgradeVersion_ = version;
}

void SimUnit::SetChipSize(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  chipBytes_ = std::min<uint32_t>(bytes, kSimFlashBytes);
}

uint32_t SimUnit::ChipSize() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return chipBytes_;
}

void SimUnit::SetBlank() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fill(flash_.begin(), flash_.end(), kSimErasedByte);
  std::fill(eep_.begin(), eep_.end(), kSimErasedByte);
  protection_ = SimProtection::kNone;
}

void SimUnit::SetNotBlank() {
  std::lock_guard<std::mutex> lock(mutex_);
  flash_[0] = static_cast<uint8_t>(~kSimErasedByte);
}

void SimUnit::SetProtection(SimProtection protection) {
  std::lock_guard<std::mutex> lock(mutex_);
  protection_ = protection;
}

void SimUnit::SetFailure(uint8_t code, int command, int operation) {
  std::lock_guard<std::mutex> lock(mutex_);
  failure_ = Failure{code, command, operation};
}

void SimUnit::SetSilent(bool silent, bool identifyToo) {
  std::lock_guard<std::mutex> lock(mutex_);
  silent_ = silent;
  silentIdentify_ = silent && identifyToo;
}

void SimUnit::SetChipId(const std::array<uint8_t, 12>& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  chipId_ = id;
}

void SimUnit::WriteFlash(uint32_t offset, const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (offset >= chipBytes_) return;
  const size_t n = std::min<size_t>(bytes.size(), chipBytes_ - offset);
  std::copy_n(bytes.begin(), n, flash_.begin() + offset);
}

std::vector<uint8_t> SimUnit::ReadFlash(uint32_t offset, uint32_t length) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return Slice(flash_, chipBytes_, offset, length);
}

std::vector<uint8_t> SimUnit::ReadEep(uint32_t offset, uint32_t length) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return Slice(eep_, kEepBytes, offset, length);
}

std::array<uint8_t, 16> SimUnit::ConfigBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_;
}

std::optional<std::array<uint8_t, 512>> SimUnit::OfflineInfo() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return offlineInfo_;
}

std::vector<uint8_t> SimUnit::DownloadedFlash(uint32_t offset, uint32_t length) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return Slice(download_, kSimFlashBytes, offset, length);
}

std::vector<uint8_t> SimUnit::Firmware() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return firmware_;
}

int SimUnit::FirmwareBlocksReceived() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return firmwareBlocks_;
}

int SimUnit::ResetsReceived() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return resets_;
}

void SimUnit::SetLineRate(uint32_t baud) {
  std::lock_guard<std::mutex> lock(mutex_);
  lineBaud_ = baud;
}

void SimUnit::SendStepReport(uint8_t step, uint8_t result, uint16_t progress, uint16_t total) {
  std::vector<uint8_t> report = {kStepReportMark, step, result};
  Put16(report, progress);
  Put16(report, total);
  uint8_t sum = 0;
  for (uint8_t b : report) sum = static_cast<uint8_t>(sum + b);
  report.push_back(static_cast<uint8_t>(0x100 - sum));
  SendFrame(report);
}

void SimUnit::SendFrame(const std::vector<uint8_t>& packet) { Write(Frame(packet)); }

void SimUnit::SendRaw(const std::vector<uint8_t>& bytes) { Write(bytes); }

std::vector<SimPacket> SimUnit::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

void SimUnit::ClearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.clear();
}

bool SimUnit::WaitForLog(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return logChanged_.wait_for(lock, timeout, [&] { return log_.size() >= count; });
}
