#include "simunit/sim_wire.h"

#include <algorithm>

#include "link/wire.h"
#include "toolkit/le_bytes.h"

namespace {

constexpr uint8_t kEnd = 0xC0;
constexpr uint8_t kEsc = 0xDB;
constexpr uint8_t kEscEnd = 0xDC;
constexpr uint8_t kEscEsc = 0xDD;
constexpr uint16_t kCrcFeedback = 0x4A12;

}  // namespace

uint16_t SimPacketCrc(const uint8_t* bytes, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    const bool odd = (crc & 1) != 0;
    crc = static_cast<uint16_t>((crc >> 1) ^ bytes[i]);
    if (odd) crc ^= kCrcFeedback;
  }
  return crc;
}

std::vector<uint8_t> SimFrame(const std::vector<uint8_t>& packet) {
  std::vector<uint8_t> frame;
  frame.reserve(2 * packet.size() + 2);
  frame.push_back(kEnd);
  for (uint8_t b : packet) {
    if (b == kEnd) {
      frame.push_back(kEsc);
      frame.push_back(kEscEnd);
    } else if (b == kEsc) {
      frame.push_back(kEsc);
      frame.push_back(kEscEsc);
    } else {
      frame.push_back(b);
    }
  }
  frame.push_back(kEnd);
  return frame;
}

std::vector<uint8_t> SimPacketOf(const std::vector<uint8_t>& header,
                                 const std::vector<uint8_t>& payload) {
  const size_t n = std::min<size_t>(payload.size(), 0xFFFF);
  std::vector<uint8_t> p(kPacketHeaderBytes + n + kPacketCrcBytes, 0);
  std::copy_n(header.begin(), std::min<size_t>(header.size(), kHeaderLengthOffset), p.begin());
  PutLe16(p.data() + kHeaderLengthOffset, static_cast<uint16_t>(n));
  std::copy_n(payload.begin(), n, p.begin() + kPacketHeaderBytes);
  PutLe16(p.data() + kPacketHeaderBytes + n, SimPacketCrc(p.data(), kPacketHeaderBytes + n));
  return p;
}

bool SimFrameReader::Take(uint8_t b) {
  if (!open_) {
    if (b != kEnd) return false;
    open_ = true;
    escape_ = bad_ = any_ = false;
    packet_.clear();
    return false;
  }
  if (b == kEnd) {
    if (!any_) return false;  // a run of 0xC0: the frame opens at the last one
    open_ = false;
    if (escape_) bad_ = true;
    if (bad_) packet_.clear();
    return true;
  }
  any_ = true;
  if (bad_) return false;
  uint8_t out = b;
  if (escape_) {
    escape_ = false;
    if (b == kEscEnd) {
      out = kEnd;
    } else if (b == kEscEsc) {
      out = kEsc;
    } else {
      bad_ = true;
      return false;
    }
  } else if (b == kEsc) {
    escape_ = true;
    return false;
  }
  if (packet_.size() >= capacity_) {
    bad_ = true;
    return false;
  }
  packet_.push_back(out);
  return false;
}
