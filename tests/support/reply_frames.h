#pragma once
// What a programmer unit sends, built for tests: packet replies with their
// CRC, step reports with their check byte, identity replies, all framed as on
// the wire (opening and closing 0xC0, escapes, five trailing 0xFF).

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

using ReplyBytes = std::vector<uint8_t>;

// A packet reply: header (command, argument 0, chip bytes 0, payload length),
// payload, packet CRC.
ReplyBytes ReplyPacket(const ReplyBytes& payload, uint8_t command = 0x93);
// A one-byte reply carrying the unit's result code.
ReplyBytes ResultReply(uint8_t code);
// A verification or checksum data reply: result, a zero byte, the chip's
// CRC-16 and the second value.
ReplyBytes CheckReply(uint8_t result, uint16_t chipCrc, uint16_t secondCrc);
// An 8-byte step report whose bytes sum to 0 modulo 256.
ReplyBytes StepReport(uint8_t step, uint8_t result, uint16_t progress, uint16_t total);
// An identity reply with the unit's text at offset 28.
ReplyBytes IdentityReply(std::string_view text);

// The packet framed as the unit sends it, trailing fill included.
ReplyBytes Framed(const ReplyBytes& packet);
// Several packets framed one after the other.
ReplyBytes FramedAll(std::initializer_list<ReplyBytes> packets);
