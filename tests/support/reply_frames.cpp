#include "support/reply_frames.h"

#include "link/framing.h"
#include "link/wire.h"
#include "toolkit/le_bytes.h"

ReplyBytes ReplyPacket(const ReplyBytes& payload, uint8_t command) {
  ReplyBytes packet(kPacketHeaderBytes, 0);
  packet[kHeaderCommandOffset] = command;
  PutLe16(packet.data() + kHeaderLengthOffset, static_cast<uint16_t>(payload.size()));
  packet.insert(packet.end(), payload.begin(), payload.end());
  const uint16_t crc = PacketCrcRange(packet.data(), 0, static_cast<uint32_t>(packet.size() - 1));
  packet.push_back(static_cast<uint8_t>(crc));
  packet.push_back(static_cast<uint8_t>(crc >> 8));
  return packet;
}

ReplyBytes ResultReply(uint8_t code) { return ReplyPacket({code}); }

ReplyBytes CheckReply(uint8_t result, uint16_t chipCrc, uint16_t secondCrc) {
  ReplyBytes payload(kCheckReplyBytes, 0);
  payload[kCheckResultOffset] = result;
  PutLe16(payload.data() + kCheckChipCrcOffset, chipCrc);
  PutLe16(payload.data() + kCheckSecondCrcOffset, secondCrc);
  return ReplyPacket(payload);
}

ReplyBytes StepReport(uint8_t step, uint8_t result, uint16_t progress, uint16_t total) {
  ReplyBytes report(kStepReportBytes, 0);
  report[0] = kStepReportMark;
  report[1] = step;
  report[2] = result;
  PutLe16(report.data() + 3, progress);
  PutLe16(report.data() + 5, total);
  uint8_t sum = 0;
  for (size_t i = 0; i + 1 < report.size(); ++i) sum = static_cast<uint8_t>(sum + report[i]);
  report.back() = static_cast<uint8_t>(-sum);
  return report;
}

ReplyBytes IdentityReply(std::string_view text) {
  ReplyBytes reply(kIdentityTextOffset + text.size(), 0);
  for (size_t i = 0; i < sizeof kIdentifyMark; ++i) reply[i] = kIdentifyMark[i];
  reply[kIdentityDeviceTypeOffset] = 1;
  PutLe16(reply.data() + kIdentityTextLengthOffset, static_cast<uint16_t>(text.size()));
  reply[kIdentityLettersOffset] = 'O';
  reply[kIdentityLettersOffset + 1] = 'G';
  for (size_t i = 0; i < text.size(); ++i) reply[kIdentityTextOffset + i] = static_cast<uint8_t>(text[i]);
  return reply;
}

ReplyBytes Framed(const ReplyBytes& packet) {
  ReplyBytes frame(MaxFrameBytes(packet.size()));
  frame.resize(SlipEncode(packet.data(), frame.data(), packet.size(), frame.size()));
  return frame;
}

ReplyBytes FramedAll(std::initializer_list<ReplyBytes> packets) {
  ReplyBytes all;
  for (const ReplyBytes& packet : packets) {
    const ReplyBytes frame = Framed(packet);
    all.insert(all.end(), frame.begin(), frame.end());
  }
  return all;
}
