// The simulated unit's line: the serving thread, pacing in both directions,
// the one-shot scripts, and the accessors.

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
#include <ctime>
#include <stdexcept>
#include <thread>

#include "link/wire.h"
#include "simunit/sim_unit_parts.h"
#include "simunit/sim_wire.h"

namespace {

// The largest packet the program sends (a program block: header, parameter
// block, 4 KB, CRC) with room to spare; a longer frame is answered as bad.
constexpr size_t kMaxPacketBytes = 8192;
constexpr size_t kReadBytes = 4096;
// Pacing writes this many bytes at a time, each chunk once the line would
// have carried it, so the last byte leaves when it would on the real line.
constexpr size_t kPaceChunkBytes = 32;
constexpr int kWritePollMs = 100;
constexpr int64_t kMicrosPerSecond = 1000000;

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

// The time n bytes take on a line of baud bits per second.
std::chrono::microseconds LineTime(size_t n, uint32_t baud) {
  if (baud == 0) return std::chrono::microseconds(0);
  return std::chrono::microseconds(static_cast<int64_t>(n) * kBitsPerByte * kMicrosPerSecond / baud);
}

bool Matches(int wanted, int value) { return wanted == kSimAny || wanted == value; }

bool IsVerify(const std::vector<uint8_t>& p) {
  return p.size() >= kPacketHeaderBytes && p[kHeaderCommandOffset] == kCmdOperation &&
         GetLe16At(p, kHeaderArgumentOffset) == kOpVerify;
}

// Sets a packet's payload byte 0 and makes its CRC hold again.
void SetStatusByte(std::vector<uint8_t>& packet, uint8_t status) {
  if (packet.size() <= kPacketHeaderBytes + kPacketCrcBytes) return;
  packet[kPacketHeaderBytes] = status;
  const size_t body = packet.size() - kPacketCrcBytes;
  PutLe16(packet.data() + body, SimPacketCrc(packet.data(), body));
}

std::vector<uint8_t> Framed(const std::vector<SimStepReport>& reports) {
  std::vector<uint8_t> bytes;
  for (const SimStepReport& r : reports) {
    const std::vector<uint8_t> frame = SimFrame(SimStepReportPacket(r));
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }
  return bytes;
}

}  // namespace

SimUnit::SimUnit() {
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
    throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
  lineFd_ = master;
  slaveFd_ = slave;
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
  CloseLine();
  CloseFd(wakeFd_);
}

void SimUnit::Start() {
  if (thread_.joinable() || hungUp_) return;
  stopping_ = false;
  serving_ = true;
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

void SimUnit::HangUp() {
  hangUpRequested_ = true;
  // A serving thread closes the line itself, so no fd it polls is closed
  // under it; a write in progress on another thread ends at its next chunk.
  // One that has ended (or never ran) polls nothing: close it here. Each side
  // sets its flag before it reads the other's, so one of them closes.
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t w = write(wakeFd_, &one, sizeof one);
  if (!serving_) CloseLine();
}

void SimUnit::CloseLine() {
  std::lock_guard<std::mutex> lock(writeMutex_);
  // Set first, so that whoever sees the hang-up at the far end sees it here too.
  if (hangUpRequested_) hungUp_ = true;
  CloseFd(lineFd_);
  CloseFd(slaveFd_);
  changed_.notify_all();
}

void SimUnit::Serve() {
  ServeLine();
  serving_ = false;
  if (hangUpRequested_) CloseLine();
}

void SimUnit::ServeLine() {
  SimFrameReader reader(kMaxPacketBytes);
  std::vector<uint8_t> block(kReadBytes);
  // When the last byte received so far would have ended on the paced line.
  Clock::time_point lineFree{};
  Clock::time_point frameReadAt{};
  while (!stopping_) {
    if (hangUpRequested_) {
      CloseLine();
      return;
    }
    pollfd fds[2] = {{lineFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) continue;  // Stop or HangUp: the loop head decides
    if ((fds[0].revents & POLLIN) == 0) {
      if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return;
      continue;
    }
    const ssize_t got = read(lineFd_, block.data(), block.size());
    if (got <= 0) {
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      return;
    }
    const Clock::time_point readAt = Clock::now();
    const uint32_t baud = LineBaud();
    const Clock::time_point start = std::max(readAt, lineFree);
    for (ssize_t i = 0; i < got && !Interrupted(); ++i) {
      const bool wasOpen = reader.IsOpen();
      const bool closed = reader.Take(block[static_cast<size_t>(i)]);
      if (!wasOpen && reader.IsOpen()) frameReadAt = readAt;
      if (!closed) continue;
      HandleFrame(reader.Packet(), reader.Result(), frameReadAt,
                  start + LineTime(static_cast<size_t>(i) + 1, baud));
    }
    lineFree = start + LineTime(static_cast<size_t>(got), baud);
  }
}

void SimUnit::HandleFrame(const std::vector<uint8_t>& packet, uint8_t decodeResult,
                          Clock::time_point receivedAt, Clock::time_point arrived) {
  std::optional<Outgoing> out = Prepare(packet, decodeResult, receivedAt);
  changed_.notify_all();
  if (!out) return;
  if (!WaitUntil(arrived + out->delay) || !WaitUntilHolds(out->heldUntil)) return;
  if (out->hangUp) {
    hangUpRequested_ = true;
    CloseLine();
    return;
  }
  WriteShaped(*out);
}

std::optional<SimUnit::Outgoing> SimUnit::Prepare(const std::vector<uint8_t>& packet,
                                                  uint8_t decodeResult,
                                                  Clock::time_point receivedAt) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint8_t result = decodeResult != 0 || packet.size() >= kPacketHeaderBytes ||
                                 IsIdentifyRequest(packet)
                             ? decodeResult
                             : kSimFrameBad;
  log_.push_back(SimPacket{packet, result, receivedAt, {}});
  const uint64_t serial = nextSerial_++;
  logSerials_.push_back(serial);
  std::vector<uint8_t> reply = Answer(packet, result);
  if (reply.empty()) return std::nullopt;

  Outgoing out;
  out.serial = serial;
  const bool isPacket = result == 0 && packet.size() >= kPacketHeaderBytes;
  std::optional<SimFault> fault = isPacket ? TakeFault(packet) : std::nullopt;
  if (isPacket) out.delay = LatencyOf(packet);
  if (fault && !Spoil(*fault, packet, reply, out)) return std::nullopt;
  if (out.hangUp) return out;
  if (!nextShapes_.empty()) {
    out.shape = nextShapes_.front();
    nextShapes_.pop_front();
  } else {
    out.shape = shape_;
  }
  std::vector<uint8_t> frame = SimFrame(reply);
  // The unit's own framing never makes this sequence: 0xDB must be followed
  // by 0xDC or 0xDD.
  if (out.badEscape) {
    const std::vector<uint8_t> bad = {0xDB, 0x01};
    frame.insert(frame.begin() + static_cast<ptrdiff_t>(frame.size() / 2), bad.begin(), bad.end());
  }
  out.bytes = Framed(out.shape.reportsBefore);
  out.bytes.insert(out.bytes.end(), frame.begin(), frame.end());
  const std::vector<uint8_t> after = Framed(out.shape.reportsAfter);
  out.bytes.insert(out.bytes.end(), after.begin(), after.end());
  return out;
}

bool SimUnit::Spoil(const SimFault& fault, const std::vector<uint8_t>& request,
                    std::vector<uint8_t>& reply, Outgoing& out) {
  switch (fault.kind) {
    case SimFaultKind::kBadCrc:
      reply.back() ^= 0x01;
      break;
    case SimFaultKind::kBadEscape:
      out.badEscape = true;
      break;
    case SimFaultKind::kTruncatedData:
      if (reply.size() >= kPacketHeaderBytes + kPacketCrcBytes) {
        const size_t n = reply.size() - kPacketHeaderBytes - kPacketCrcBytes;
        const auto payload = reply.begin() + kPacketHeaderBytes;
        reply = SimPacketOf(reply, std::vector<uint8_t>(payload, payload + std::min<size_t>(n, fault.keepBytes)));
      }
      break;
    case SimFaultKind::kOneByteReply:
      reply = SimPacketOf(request, {fault.code});
      break;
    case SimFaultKind::kVerifyDiffers:
      SetStatusByte(reply, kSimVerifyDiffers);
      break;
    case SimFaultKind::kSilence:
      return false;
    case SimFaultKind::kLateReply:
      out.delay += fault.delay;
      out.heldUntil = fault.heldUntil;
      break;
    case SimFaultKind::kHangUp:
      out.hangUp = true;
      break;
  }
  return true;
}

std::optional<SimFault> SimUnit::TakeFault(const std::vector<uint8_t>& packet) {
  const int command = packet[kHeaderCommandOffset];
  const int argument = GetLe16At(packet, kHeaderArgumentOffset);
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    const bool wanted = it->kind == SimFaultKind::kVerifyDiffers
                            ? IsVerify(packet)
                            : Matches(it->command, command) && Matches(it->operation, argument);
    if (!wanted) continue;
    const SimFault fault = *it;
    faults_.erase(it);
    return fault;
  }
  return std::nullopt;
}

std::chrono::microseconds SimUnit::LatencyOf(const std::vector<uint8_t>& packet) const {
  const uint8_t command = packet[kHeaderCommandOffset];
  if (command == kCmdProgramFlash || command == kCmdProgramEep) return latencies_.program;
  if (command == kCmdReadFlash || command == kCmdReadEep) return latencies_.read;
  if (command != kCmdOperation) return std::chrono::microseconds(0);
  switch (GetLe16At(packet, kHeaderArgumentOffset)) {
    case kOpErase:
      return latencies_.erase;
    case kOpVerify:
      return latencies_.verify;
    default:
      return std::chrono::microseconds(0);
  }
}

void SimUnit::WriteShaped(const Outgoing& out) {
  {
    ++repliesWaiting_;
    std::unique_lock<std::mutex> lock(writeMutex_);
    --repliesWaiting_;
    const uint32_t baud = LineBaud();
    size_t from = 0;
    bool whole = true;
    if (out.bytes.size() < kAdapterPacketBytes) {
      const std::chrono::microseconds hold = AdapterHold();
      if (hold.count() > 0 && !WaitUntil(Clock::now() + hold)) return;
    }
    std::vector<size_t> ends = out.shape.cuts;
    ends.push_back(out.bytes.size());
    for (size_t end : ends) {
      if (end <= from || end > out.bytes.size()) continue;
      if (from > 0 && !(WaitUntil(Clock::now() + out.shape.gap) && WaitUntilHolds(out.shape.pieceTaken))) {
        whole = false;
        break;
      }
      if (!WritePaced(out.bytes.data() + from, end - from, baud)) {
        whole = false;
        break;
      }
      from = end;
    }
    if (!whole) return;
  }
  const Clock::time_point done = Clock::now();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++repliesSent_;
    // The entry is near the end, unless the log was cleared meanwhile.
    for (size_t i = logSerials_.size(); i-- > 0;) {
      if (logSerials_[i] != out.serial) continue;
      log_[i].repliedAt = done;
      break;
    }
  }
  changed_.notify_all();
}

void SimUnit::Write(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  WritePaced(bytes.data(), bytes.size(), LineBaud());
}

// writeMutex_ held.
bool SimUnit::WritePaced(const uint8_t* bytes, size_t n, uint32_t baud) {
  if (baud == 0) return WriteAll(bytes, n);
  const Clock::time_point start = Clock::now();
  for (size_t sent = 0; sent < n;) {
    const size_t chunk = std::min(kPaceChunkBytes, n - sent);
    if (!WaitUntil(start + LineTime(sent + chunk, baud))) return false;
    if (!WriteAll(bytes + sent, chunk)) return false;
    sent += chunk;
  }
  return true;
}

// writeMutex_ held.
bool SimUnit::WriteAll(const uint8_t* bytes, size_t n) {
  while (n > 0) {
    if (Interrupted() || lineFd_ < 0) return false;
    const ssize_t put = write(lineFd_, bytes, n);
    if (put > 0) {
      bytes += put;
      n -= static_cast<size_t>(put);
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) return false;
    // The far side is not reading: wait for room, or for Stop.
    pollfd fds[2] = {{lineFd_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
    poll(fds, 2, kWritePollMs);
  }
  return true;
}

bool SimUnit::WaitUntil(Clock::time_point when) const {
  for (;;) {
    if (Interrupted()) return false;
    const auto left = when - Clock::now();
    if (left <= Clock::duration::zero()) return true;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    // The wake-up fd stays readable once signalled, so every wait after Stop
    // or HangUp ends at once.
    pollfd wake{wakeFd_, POLLIN, 0};
    ppoll(&wake, 1, &timeout, nullptr);
  }
}

bool SimUnit::WaitUntilHolds(const std::function<bool()>& done) const {
  if (!done) return true;
  const Clock::time_point deadline = Clock::now() + kSimHoldPatience;
  while (!done() && Clock::now() < deadline)
    if (!WaitUntil(Clock::now() + std::chrono::milliseconds(1))) return false;
  return true;
}

uint32_t SimUnit::LineBaud() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lineBaud_;
}

std::chrono::microseconds SimUnit::AdapterHold() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return latencies_.adapterHold;
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

void SimUnit::SetUpgradeImageFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  upgradeImageFile_ = path;
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
  return SimSlice(flash_, chipBytes_, offset, length);
}

std::vector<uint8_t> SimUnit::ReadEep(uint32_t offset, uint32_t length) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return SimSlice(eep_, kSimEepBytes, offset, length);
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
  return SimSlice(download_, kSimFlashBytes, offset, length);
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

void SimUnit::SetLatencies(const SimLatencies& latencies) {
  std::lock_guard<std::mutex> lock(mutex_);
  latencies_ = latencies;
}

void SimUnit::AddFault(const SimFault& fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back(fault);
}

size_t SimUnit::FaultsPending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_.size();
}

void SimUnit::SetReplyShape(const SimReplyShape& shape) {
  std::lock_guard<std::mutex> lock(mutex_);
  shape_ = shape;
}

void SimUnit::ShapeNextReply(const SimReplyShape& shape) {
  std::lock_guard<std::mutex> lock(mutex_);
  nextShapes_.push_back(shape);
}

void SimUnit::SendStepReport(const SimStepReport& report) { SendFrame(SimStepReportPacket(report)); }

void SimUnit::SendStepReport(uint8_t step, uint8_t result, uint16_t progress, uint16_t total) {
  SendStepReport(SimStepReport{step, result, progress, total});
}

void SimUnit::SendFrame(const std::vector<uint8_t>& packet) { Write(SimFrame(packet)); }

void SimUnit::SendRaw(const std::vector<uint8_t>& bytes) { Write(bytes); }

size_t SimUnit::StreamStepReports(const SimStepReport& report, size_t count, std::chrono::milliseconds limit) {
  const std::vector<uint8_t> frame = SimFrame(SimStepReportPacket(report));
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = start + limit;
  streamed_ = 0;
  for (size_t sent = 0; sent < count && !streamStop_ && !Interrupted() && Clock::now() < end; ++sent) {
    // Paced from the stream's start, so the frames follow each other at the
    // line rate however the waits between them fall.
    const uint32_t baud = LineBaud();
    if (baud != 0 && !WaitUntil(start + LineTime((sent + 1) * frame.size(), baud))) break;
    // A reply never waits behind the whole stream: the lock is not fair.
    while (repliesWaiting_ > 0 && !Interrupted()) std::this_thread::yield();
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (!WriteAll(frame.data(), frame.size())) break;
    ++streamed_;
  }
  streamStop_ = false;  // the stop was this stream's
  return streamed_;
}

void SimUnit::StopStream() { streamStop_ = true; }

std::vector<SimPacket> SimUnit::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

void SimUnit::ClearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.clear();
  logSerials_.clear();
}

bool SimUnit::WaitForLog(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return log_.size() >= count; });
}

std::vector<uint16_t> SimUnit::ProgrammedBlocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return programmedBlocks_;
}

std::vector<uint16_t> SimUnit::DownloadBlocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return downloadBlocks_;
}

size_t SimUnit::RepliesSent() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return repliesSent_;
}

bool SimUnit::WaitForReplies(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return repliesSent_ >= count; });
}
