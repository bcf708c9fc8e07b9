#include "link/image_checksums.h"

#include "catalogue/checksums.h"
#include "link/framing.h"
#include "shared/state.h"

namespace {
// A range every checksum routine refuses without reading a byte.
constexpr uint32_t kRefusedFirst = 1;
constexpr uint32_t kRefusedLast = 0;
}  // namespace

void ComputeImageChecksums(uint32_t start, uint32_t end) {
  const bool inImage = start < kFlashImageBytes && end < kFlashImageBytes;
  const uint32_t first = inImage ? start : kRefusedFirst;
  const uint32_t last = inImage ? end : kRefusedLast;
  g.ImageCrc16 = Crc16Range(g.FlashImage, first, last);
  g.ImagePacketCrc = PacketCrcRange(g.FlashImage, first, last);
  g.ImageSum32 = SumRange(g.FlashImage, first, last);
  g.ImageSum16 = static_cast<uint16_t>(g.ImageSum32);
}
