#include "unit_line.h"

#include "link/framing.h"
#include "link/wire.h"
#include "toolkit/le_bytes.h"

std::optional<std::vector<uint8_t>> ReadPacket(PtyPair& line, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::vector<uint8_t> received;
  std::vector<uint8_t> decoded(2 * kDataBlockBytes + 256);
  while (std::chrono::steady_clock::now() < deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    std::vector<uint8_t> byte = line.Read(1, left);
    if (byte.empty()) break;
    received.push_back(byte[0]);
    if (byte[0] != 0xC0 || received.size() > 0xFFFF) continue;
    std::vector<uint8_t> source = received;
    auto count = static_cast<uint16_t>(source.size());
    uint16_t length = 0;
    const uint8_t result = SlipDecode(source.data(), decoded.data(), decoded.size(), length, count);
    if (result == kFrameIncomplete) continue;
    if (result != kFrameOk) return std::nullopt;
    return std::vector<uint8_t>(decoded.begin(), decoded.begin() + length);
  }
  return std::nullopt;
}

bool LineStaysQuiet(PtyPair& line, std::chrono::milliseconds quiet) { return line.Read(1, quiet).empty(); }

uint8_t PacketCommand(const std::vector<uint8_t>& packet) {
  return packet.size() > kHeaderCommandOffset ? packet[kHeaderCommandOffset] : 0;
}

uint16_t PacketArgument(const std::vector<uint8_t>& packet) {
  return packet.size() >= kHeaderArgumentOffset + 2u ? GetLe16(packet.data() + kHeaderArgumentOffset) : 0;
}
