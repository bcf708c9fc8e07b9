#pragma once
// The unit's end of a channel's line in console tests: the packets the
// program sent, decoded as a unit decodes them.

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "support/pty_pair.h"

// The next packet framed on the line (bytes before an opening 0xC0 are
// passed over), or nothing when no whole frame came within limit or it did
// not decode. The limit leaves a sanitizer build on a loaded machine room.
std::optional<std::vector<uint8_t>> ReadPacket(PtyPair& line,
                                               std::chrono::milliseconds limit = std::chrono::seconds(20));
// True when no byte arrives within quiet.
bool LineStaysQuiet(PtyPair& line, std::chrono::milliseconds quiet = std::chrono::milliseconds(100));

// Header fields of a decoded packet (0 when it is too short).
uint8_t PacketCommand(const std::vector<uint8_t>& packet);
uint16_t PacketArgument(const std::vector<uint8_t>& packet);
