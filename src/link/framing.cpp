#include "link/framing.h"

#include <algorithm>

#include "link/wire.h"
#include "shared/state.h"
#include "toolkit/le_bytes.h"

namespace {

constexpr uint8_t kFrameEnd = 0xC0;
constexpr uint8_t kFrameEsc = 0xDB;
constexpr uint8_t kEscapedEnd = 0xDC;
constexpr uint8_t kEscapedEsc = 0xDD;
constexpr uint8_t kTrailerByte = 0xFF;
constexpr size_t kTrailerBytes = 5;
constexpr uint32_t kLargestRangeEnd = 0xFFFFFF;

bool RangeAccepted(uint32_t start, uint32_t end) {
  return start <= kLargestRangeEnd && end <= kLargestRangeEnd && start <= end;
}

// Drops the first consumed bytes of source[0..count-1].
void Consume(uint8_t* source, uint16_t& count, size_t consumed) {
  if (consumed < count) {
    std::copy(source + consumed, source + count, source);
    count = static_cast<uint16_t>(count - consumed);
  } else {
    count = 0;
  }
}

}  // namespace

uint16_t PacketCrcRange(const uint8_t* buffer, uint32_t start, uint32_t end) {
  if (!RangeAccepted(start, end)) return 0;
  uint16_t crc = 0;
  for (uint32_t i = start; i <= end; ++i) {
    const uint16_t feedback = (crc & 1) ? 0x4A12 : 0;
    crc = static_cast<uint16_t>((crc >> 1) ^ buffer[i] ^ feedback);
  }
  return crc;
}

uint16_t PacketChecksum(const uint8_t* buffer, uint32_t start, uint32_t end) {
  if (!RangeAccepted(start, end)) return 0;
  uint16_t sum = 0;
  for (uint32_t i = start; i <= end; ++i) sum = static_cast<uint16_t>(sum + buffer[i]);
  return static_cast<uint16_t>(0x10000u - sum);
}

size_t SlipEncode(const uint8_t* packet, uint8_t* frame, size_t n, size_t frameCapacity) {
  size_t k = 0;
  auto put = [&](uint8_t b) {
    if (k < frameCapacity) frame[k] = b;
    ++k;
  };
  put(kFrameEnd);
  for (size_t i = 0; i < n && k <= frameCapacity; ++i) {
    const uint8_t b = packet[i];
    if (b == kFrameEnd) {
      put(kFrameEsc);
      put(kEscapedEnd);
    } else if (b == kFrameEsc) {
      put(kFrameEsc);
      put(kEscapedEsc);
    } else {
      put(b);
    }
  }
  put(kFrameEnd);
  for (size_t i = 0; i < kTrailerBytes; ++i) put(kTrailerByte);
  return k <= frameCapacity ? k : 0;
}

uint8_t SlipDecode(uint8_t* source, uint8_t* decoded, size_t decodedCapacity,
                   uint16_t& decodedLength, uint16_t& count) {
  uint16_t i = 0;
  while (i < count && source[i] != kFrameEnd) ++i;
  if (i >= count) return kFrameIncomplete;
  ++i;
  if (i < count && source[i] == kFrameEnd) ++i;
  if (i >= count) return kFrameIncomplete;

  bool escaped = false;
  size_t m = 0;
  for (; i < count; ++i) {
    const uint8_t b = source[i];
    if (b == kFrameEnd) {
      Consume(source, count, size_t{i} + 1);
      if (m > decodedCapacity) {
        decodedLength = 0;
        return kFrameBad;
      }
      decodedLength = static_cast<uint16_t>(m);
      return m >= kPacketHeaderBytes ? kFrameOk : kFrameBad;
    }
    int out = -1;
    if (escaped) {
      if (b == kEscapedEnd) {
        out = kFrameEnd;
      } else if (b == kEscapedEsc) {
        out = kFrameEsc;
      } else {
        Consume(source, count, size_t{i} + 1);
        decodedLength = 0;
        return kFrameBad;
      }
      escaped = false;
    } else if (b == kFrameEsc) {
      escaped = true;
    } else {
      out = b;
    }
    if (out >= 0) {
      // Past the slot the frame is still read to its end, so that it is
      // consumed whole and reported as bad, but nothing more is written.
      if (m < decodedCapacity) decoded[m] = static_cast<uint8_t>(out);
      ++m;
    }
  }
  return kFrameIncomplete;
}

uint8_t CheckPacket(const uint8_t* packet, uint16_t length) {
  // Shorter than a header it is no packet reply at all.
  if (length < kPacketHeaderBytes) return kFrameBad;
  const uint16_t crc = PacketCrcRange(packet, 0, length - 3u);
  const uint16_t sent = GetLe16(packet + length - kPacketCrcBytes);
  if (sent != crc) return kPacketCrcBad;
  const uint16_t n = GetLe16(packet + kHeaderLengthOffset);
  if (n != 1) return kFrameOk;
  // The result byte must be part of this reply, not a leftover of the slot.
  if (length < kPacketHeaderBytes + 1 + kPacketCrcBytes) return kFrameBad;
  return packet[kPacketHeaderBytes];
}

bool ExtractFrame(const uint8_t* buffer, uint16_t count, uint16_t& position, uint8_t* frame,
                  size_t frameCapacity, uint16_t& frameLength) {
  frameLength = 0;
  size_t length = 0;
  auto put = [&](uint8_t b) {
    if (length < frameCapacity) frame[length] = b;
    ++length;
  };
  bool open = false;
  while (position < count) {
    const uint8_t b = buffer[position++];
    if (!open) {
      if (b != kFrameEnd) continue;
      length = 0;
      put(b);
      // In a run of 0xC0 bytes the frame opens at the last one.
      open = !(position < count && buffer[position] == kFrameEnd);
      continue;
    }
    put(b);
    if (b != kFrameEnd) continue;
    if (length <= frameCapacity) {
      frameLength = static_cast<uint16_t>(length);
      return true;
    }
    // Too long for its slot: dropped, and the scan looks for the next frame.
    open = false;
    length = 0;
  }
  frameLength = static_cast<uint16_t>(std::min(length, frameCapacity));
  return false;
}

bool ExtractFrame(uint8_t ch, uint16_t& position, uint16_t& frameLength) {
  if (!IsChannel(ch)) {
    frameLength = 0;
    return false;
  }
  const uint16_t count = static_cast<uint16_t>(std::min<size_t>(g.RxCount[ch], kRxBufferBytes));
  return ExtractFrame(g.RxBuffer[ch], count, position, g.RxFrame[ch], kFrameBytes, frameLength);
}
