#pragma once
// The program's end of a simulated unit's line for the unit's own tests:
// command packets built by hand from the wire layouts, framed by the
// program's framing, and a raw pty line that sends them and cuts the replies.
// One test thread uses a Line.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/framing.h"
#include "link/wire.h"
#include "shared/state.h"
#include "toolkit/le_bytes.h"

namespace simline {


using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// Generous bound for a reply, also on a loaded machine in a sanitizer build;
// only a broken unit reaches it.
constexpr auto kReplyWait = 20s;
constexpr uint32_t kChipKB = 16;

inline void Put16(Bytes& b, size_t at, uint16_t v) { PutLe16(b.data() + at, v); }

inline uint16_t Get16(const Bytes& b, size_t at) { return GetLe16(b.data() + at); }

// A command packet: header (chip bytes 1, 2, 3), payload, packet CRC.
inline Bytes Packet(uint8_t command, uint16_t argument, const Bytes& payload) {
  Bytes p(kPacketHeaderBytes + payload.size() + kPacketCrcBytes, 0);
  p[0] = command;
  Put16(p, 1, argument);
  p[3] = 1;
  p[4] = 2;
  p[5] = 3;
  Put16(p, 6, static_cast<uint16_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), p.begin() + kPacketHeaderBytes);
  Put16(p, p.size() - 2, PacketCrcRange(p.data(), 0, static_cast<uint32_t>(p.size() - 3)));
  return p;
}

// The 80-byte parameter block with the fields the unit reads.
inline Bytes ParamBlock(uint16_t romKB, uint32_t flashStart, uint32_t flashEnd, uint16_t imageCrc16) {
  Bytes b(kParamBlockBytes, 0);
  Put16(b, kParamFlashStartOffset, static_cast<uint16_t>(flashStart >> 8));
  Put16(b, kParamFlashEndOffset, static_cast<uint16_t>(flashEnd >> 8));
  Put16(b, kParamRomSizeKBOffset, romKB);
  Put16(b, kParamImageCrc16Offset, imageCrc16);
  for (int i = 0; i < kParamControlGroupBytes; ++i) b[kParamControlGroupOffset + i] = static_cast<uint8_t>(0x40 + i);
  return b;
}

inline Bytes OpPayload(uint16_t imageCrc16 = 0) {
  Bytes payload = ParamBlock(kChipKB, 0, kChipKB * 1024 - 1, imageCrc16);
  payload.resize(208, 0);
  return payload;
}

inline Bytes ProgramPayload(const Bytes& data, size_t offset) {
  Bytes payload = ParamBlock(kChipKB, 0, kChipKB * 1024 - 1, 0);
  payload.insert(payload.end(), data.begin() + offset, data.begin() + offset + kDataBlockBytes);
  return payload;
}

// CRC-16/CCITT-FALSE, the checksum the unit reports for the chip.
inline uint16_t Crc16(const Bytes& bytes) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : bytes) {
    crc ^= static_cast<uint16_t>(b << 8);
    for (int i = 0; i < 8; ++i) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

inline Bytes Pattern(size_t n, uint32_t seed) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    out[i] = static_cast<uint8_t>(seed >> 16);
  }
  return out;
}

// A packet framed by the program's framing.
inline Bytes FrameOf(const Bytes& packet) {
  Bytes frame(MaxFrameBytes(packet.size()));
  frame.resize(SlipEncode(packet.data(), frame.data(), packet.size(), frame.size()));
  return frame;
}

// The program's end of the line: the pty slave in raw mode.
class Line {
 public:
  explicit Line(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  ~Line() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  void WriteRaw(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      ASSERT_GT(n, 0);
      done += static_cast<size_t>(n);
    }
  }
  void Send(const Bytes& packet) { WriteRaw(FrameOf(packet)); }
  void SendIdentify() { WriteRaw({0xC0, 0xA3, 0xA5, 0x35, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}); }

  // What the unit has sent so far, waiting up to firstWait for a first byte
  // and then taking only what is already there; it stops once it holds
  // atLeast bytes.
  Bytes ReadWaiting(std::chrono::milliseconds firstWait, size_t atLeast = SIZE_MAX) {
    Bytes got;
    int wait = static_cast<int>(firstWait.count());
    while (got.size() < atLeast) {
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, wait) <= 0) return got;
      uint8_t block[4096];
      const ssize_t n = read(fd_, block, sizeof block);
      if (n <= 0) return got;
      got.insert(got.end(), block, block + n);
      wait = 0;
    }
    return got;
  }

  // The next frame from the unit, decoded; nullopt when none came in time.
  std::optional<Bytes> NextReply() {
    const auto deadline = std::chrono::steady_clock::now() + kReplyWait;
    for (;;) {
      uint16_t position = 0;
      uint16_t frameLength = 0;
      if (ExtractFrame(rx_.data(), static_cast<uint16_t>(rx_.size()), position, frame_, kFrameBytes,
                       frameLength)) {
        rx_.erase(rx_.begin(), rx_.begin() + position);
        Bytes decoded(kTxPacketBytes);
        uint16_t length = 0;
        uint16_t count = frameLength;
        const uint8_t r = SlipDecode(frame_, decoded.data(), decoded.size(), length, count);
        if (r == kFrameIncomplete) return std::nullopt;
        decoded.resize(length);
        return decoded;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
      uint8_t block[2048];
      const ssize_t n = read(fd_, block, sizeof block);
      if (n > 0) rx_.insert(rx_.end(), block, block + n);
    }
  }

  // The status byte of a one-byte reply, after checking its CRC.
  int NextResult() {
    const std::optional<Bytes> reply = NextReply();
    if (!reply || reply->size() < kPacketHeaderBytes) return -1;
    return CheckPacket(reply->data(), static_cast<uint16_t>(reply->size()));
  }
  // The payload of a data reply whose CRC holds.
  std::optional<Bytes> NextData() {
    const std::optional<Bytes> reply = NextReply();
    if (!reply || reply->size() < kPacketHeaderBytes + kPacketCrcBytes) return std::nullopt;
    if (CheckPacket(reply->data(), static_cast<uint16_t>(reply->size())) == kPacketCrcBad) return std::nullopt;
    return Bytes(reply->begin() + kPacketHeaderBytes, reply->end() - kPacketCrcBytes);
  }

 private:
  int fd_;
  Bytes rx_;
  uint8_t frame_[kFrameBytes];
};

}  // namespace simline
