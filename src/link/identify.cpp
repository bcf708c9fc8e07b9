#include "link/identify.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "link/channel_log.h"
#include "link/commands.h"
#include "link/firmware.h"
#include "link/framing.h"
#include "link/operation_steps.h"
#include "link/wire.h"
#include "shared/main_window.h"
#include "shared/state.h"
#include "toolkit/format.h"
#include "toolkit/le_bytes.h"

namespace {

constexpr uint8_t kIdentifyRequest[kIdentifyRequestBytes] = {0xC0, 0xA3, 0xA5, 0x35, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr size_t kVersionTokenBytes = 8;

// The text of an identity reply as the checks see it: L + 1 bytes from the
// text offset, cut at the end of the decoded reply, with every byte outside
// 0x20..0x7F taken as 0.
class TReplyText {
public:
  TReplyText(const uint8_t* reply, uint16_t replyLength, uint8_t offset) : text_(reply + offset) {
    const size_t declared = size_t{GetLe16(reply + kIdentityTextLengthOffset)} + 1;
    const size_t available = replyLength > offset ? replyLength - offset : 0;
    length_ = std::min(declared, available);
    nameEnd_ = 0;
    while (nameEnd_ < length_ && (*this)[nameEnd_] != 0) ++nameEnd_;
  }
  size_t Length() const { return length_; }
  // Position of the first 0, or Length().
  size_t NameEnd() const { return nameEnd_; }
  uint8_t operator[](size_t i) const {
    const uint8_t b = text_[i];
    return b < 0x20 || b >= 0x80 ? 0 : b;
  }
  // Beyond the first 0 the text reads as 0.
  uint8_t NameByte(size_t i) const { return i < nameEnd_ ? (*this)[i] : 0; }

private:
  const uint8_t* text_;
  size_t length_;
  size_t nameEnd_;
};

bool IsIdentityReply(const uint8_t* reply, uint16_t replyLength) {
  return replyLength >= kPacketHeaderBytes && std::memcmp(reply, kIdentifyMark, sizeof kIdentifyMark) == 0 &&
         (reply[kIdentityTextLengthOffset] | reply[kIdentityTextLengthOffset + 1]) != 0;
}

bool CarriesQk(const uint8_t* reply, uint16_t replyLength) {
  return replyLength >= kIdentityLettersOffset + 2 && reply[kIdentityLettersOffset] == 'Q' && reply[kIdentityLettersOffset + 1] == 'K';
}

size_t NameLength(const char (&name)[kDeviceNameBytes]) { return strnlen(name, kDeviceNameBytes); }

// The first difference of the text against the expected name, 0 on a match.
int NameDifference(const TReplyText& text, const char (&name)[kDeviceNameBytes]) {
  const size_t n = NameLength(name);
  for (size_t i = 0; i < n; ++i) {
    const int diff = text.NameByte(i) - static_cast<uint8_t>(name[i]);
    if (diff != 0) return diff;
  }
  return 0;
}

void TakeText(const TReplyText& text, char (&name)[kDeviceNameBytes]) {
  std::memset(name, 0, kDeviceNameBytes);
  const size_t n = std::min(text.NameEnd(), kDeviceNameBytes - 1);
  for (size_t i = 0; i < n; ++i) name[i] = static_cast<char>(text[i]);
}

// The version token begins at the 'V' of the first blank-and-V pair and ends
// before a blank or a comma, after 8 bytes, or with a 0 where the text ends.
bool UnitIsOlder(const TReplyText& text) {
  uint8_t token[kVersionTokenBytes] = {0};
  size_t tokenLength = 1;  // no pair: the token is a single 0
  for (size_t p = 1; p < text.Length(); ++p) {
    if (text[p - 1] != ' ' || text[p] != 'V') continue;
    token[0] = 'V';
    size_t next = p + 1;
    while (tokenLength < kVersionTokenBytes && next < text.Length() && text[next] != ' ' && text[next] != ',')
      token[tokenLength++] = text[next++];
    if (tokenLength < kVersionTokenBytes && next >= text.Length()) token[tokenLength++] = 0;
    break;
  }
  // Bytes, not numbers: V1.10 is older than V1.9.
  for (size_t i = 0; i < tokenLength; ++i) {
    const uint8_t own = static_cast<uint8_t>(g.FirmwareVersion[i]);
    if (token[i] != own) return token[i] < own;
    if (own == 0) break;
  }
  return false;
}

void MarkLinked(uint8_t ch, const char (&text)[kDeviceNameBytes]) {
  g.ChannelUnready[ch] = 0;
  g.ChannelLinked[ch] = 1;
  g.ChannelState[ch] = TChannelState::Idle;
  g.ChannelTimer[ch] = kStepTimeoutTicks;
  const std::string_view shown(text, NameLength(text));
  if (g.OrvantBEMxPrg != nullptr) g.OrvantBEMxPrg->SetInfoPanelCaption(shown);
  LogChannelLine(Format("找到设备：%s!", {shown}), ch);
}

// A unit whose completed upgrade did not take: it counts as not found, and
// says what it still reports, once.
void ReportUpgradeNotTaken(const uint8_t* reply, uint16_t replyLength, uint8_t ch) {
  char reported[kDeviceNameBytes];
  TakeText(TReplyText(reply, replyLength, kIdentityTextOffset), reported);
  g.ChannelLinked[ch] = 0;
  if (g.OrvantBEMxPrg != nullptr) g.OrvantBEMxPrg->SetInfoPanelCaption("未找到设备！");
  LogChannelLine(Format(kUpgradeNotTakenFormat, {std::string_view(reported, NameLength(reported))}), ch);
}

void FillName(char (&buffer)[kDeviceNameBytes], std::string_view name) {
  std::memset(buffer, 0, kDeviceNameBytes);
  std::memcpy(buffer, name.data(), std::min(name.size(), kDeviceNameBytes - 1));
}

}  // namespace

bool SendIdentify(uint8_t ch) {
  if (!IsChannel(ch)) return false;
  std::memcpy(g.TxFrame[ch], kIdentifyRequest, kIdentifyRequestBytes);
  return SendChannelFrame(ch, kIdentifyRequestBytes);
}

TDeviceCheck CheckDevice(const uint8_t* reply, uint16_t replyLength, char (&name)[kDeviceNameBytes], uint8_t textOffset) {
  if (!IsIdentityReply(reply, replyLength)) return {TDeviceVerdict::NotIdentity, kReplyNotIdentity};
  const TReplyText text(reply, replyLength, textOffset);
  if (const int diff = NameDifference(text, name); diff != 0)
    return {TDeviceVerdict::OtherName, static_cast<uint8_t>(diff)};
  TakeText(text, name);
  if (UnitIsOlder(text)) return {TDeviceVerdict::OlderFirmware, kReplyOlderFirmware};
  return {TDeviceVerdict::Current, kReplyCurrent};
}

uint8_t CheckDeviceReply(const uint8_t* reply, uint16_t replyLength, char (&name)[kDeviceNameBytes], uint8_t textOffset) {
  return CheckDevice(reply, replyLength, name, textOffset).code;
}

uint8_t CheckDeviceName(const uint8_t* reply, uint16_t replyLength, char (&name)[kDeviceNameBytes], uint8_t textOffset) {
  if (!IsIdentityReply(reply, replyLength)) return kNameNotIdentity;
  const TReplyText text(reply, replyLength, textOffset);
  if (NameDifference(text, name) != 0) return CarriesQk(reply, replyLength) ? kNameOfFamily : kNameOther;
  TakeText(text, name);
  return kNameOfFamily;
}

void HandleIdentifyReply(uint16_t& frameLength, uint8_t ch) {
  if (!IsChannel(ch)) return;
  uint16_t decodedLength = 0;
  if (SlipDecode(g.RxFrame[ch], g.TxPacket[ch], kTxPacketBytes, decodedLength, frameLength) != 0) return;
  const uint8_t* reply = g.TxPacket[ch];
  // Units working stand-alone report their steps whether identified or not.
  if (reply[0] == kStepReportMark) {
    ReportStepStatus(ch);
    return;
  }
  char edition[kDeviceNameBytes];
  char family[kDeviceNameBytes];
  FillName(edition, kEditionName);
  FillName(family, kFamilyName);

  const TDeviceCheck check = CheckDevice(reply, decodedLength, edition, kIdentityTextOffset);
  if (check.verdict == TDeviceVerdict::Current) {
    g.UpgradeCompleted[ch] = 0;
    MarkLinked(ch, edition);
    g.FoundDevices += 1;
    return;
  }
  const bool wantsUpgrade = check.verdict == TDeviceVerdict::OlderFirmware ||
                            CheckDeviceName(reply, decodedLength, family, kIdentityTextOffset) == kNameOfFamily;
  if (wantsUpgrade && g.UpgradeCompleted[ch] != 0) {
    ReportUpgradeNotTaken(reply, decodedLength, ch);
    return;
  }
  if (check.verdict == TDeviceVerdict::OlderFirmware) {
    MarkLinked(ch, edition);
    StartFirmwareUpgrade(ch);
    return;
  }
  if (wantsUpgrade) {
    StartFirmwareUpgrade(ch);
    return;
  }
  g.ChannelLinked[ch] = 0;
  if (g.OrvantBEMxPrg != nullptr) g.OrvantBEMxPrg->SetInfoPanelCaption("未找到设备！");
  LogChannelLine("未找到设备!", ch);
}
