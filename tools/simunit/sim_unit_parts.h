#pragma once
// Helpers the unit's source files share; not for outside use.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "link/wire.h"
#include "toolkit/le_bytes.h"

// Little-endian fields of a packet held in a vector; the caller has checked
// that the bytes lie inside it.
inline uint16_t GetLe16At(const std::vector<uint8_t>& p, size_t at) { return GetLe16(p.data() + at); }
inline uint32_t GetLe32At(const std::vector<uint8_t>& p, size_t at) { return GetLe32(p.data() + at); }

// Copies length bytes from store[offset..] clipped to limit bytes.
inline std::vector<uint8_t> SimSlice(const std::vector<uint8_t>& store, uint32_t limit,
                                     uint32_t offset, uint32_t length) {
  limit = std::min<uint32_t>(limit, static_cast<uint32_t>(store.size()));
  if (offset >= limit) return {};
  const uint32_t n = std::min(length, limit - offset);
  return std::vector<uint8_t>(store.begin() + offset, store.begin() + offset + n);
}

// The three bytes of the identify request, framed without header or CRC.
inline bool IsIdentifyRequest(const std::vector<uint8_t>& bytes) {
  return bytes.size() == sizeof kIdentifyMark &&
         std::equal(bytes.begin(), bytes.end(), std::begin(kIdentifyMark));
}
