#pragma once
// Identification of the programmer unit on a channel. GUI thread only.
// ch is 0..7 (IsChannel): for any other channel SendIdentify returns false and
// HandleIdentifyReply does nothing.
//
// The identify request is the frame C0 A3 A5 35 C0 and five 0xFF bytes. A unit
// answers with an identity reply: A3 A5 35, a text length L at bytes 6-7
// (little-endian, not 0), two letters at bytes 8-9 and, from offset 28, L + 1
// bytes of text: its name, a blank, 'V' and its firmware version, more text.
// Every text byte below 0x20 or from 0x80 up counts as 0. Only the bytes of
// the decoded reply are read: text that L places beyond them counts as ended.

#include <cstddef>
#include <cstdint>

inline constexpr size_t kDeviceNameBytes = 128;  // holds 127 characters and a 0
inline constexpr uint16_t kIdentifyRequestBytes = 10;
inline constexpr char kEditionName[] = "OrvantGengX-BEM";
inline constexpr char kFamilyName[] = "OrvantGengX";

// Writes the identify request into g.TxFrame[ch] and hands its ten bytes to
// the channel's component. Result: that of SendData (false without one).
bool SendIdentify(uint8_t ch);

// Results of CheckDeviceReply.
inline constexpr uint8_t kReplyNotIdentity = 63;
inline constexpr uint8_t kReplyOlderFirmware = 3;
inline constexpr uint8_t kReplyCurrent = 0;
// Results of CheckDeviceName.
inline constexpr uint8_t kNameNotIdentity = 15;
inline constexpr uint8_t kNameOfFamily = 0;
inline constexpr uint8_t kNameOther = 31;

// The four outcomes of the edition check, told apart without the result byte
// (a name difference can take any byte value, 3 included).
enum class TDeviceVerdict : uint8_t { NotIdentity, OtherName, OlderFirmware, Current };

struct TDeviceCheck {
  TDeviceVerdict verdict;
  uint8_t code;  // the result byte of CheckDeviceReply
};

// Checks an identity reply of replyLength decoded bytes against the expected
// name in name (zero-padded); the text starts at textOffset. On a name match
// the unit's text, up to its first 0 and at most 127 characters, replaces the
// name (zero-padded), and its version token is compared with
// g.FirmwareVersion byte by byte. Code: 63 no identity reply; a non-zero
// difference of the first differing name bytes (text minus name); 3 older
// firmware; 0 current.
TDeviceCheck CheckDevice(const uint8_t* reply, uint16_t replyLength, char (&name)[kDeviceNameBytes], uint8_t textOffset);
uint8_t CheckDeviceReply(const uint8_t* reply, uint16_t replyLength, char (&name)[kDeviceNameBytes], uint8_t textOffset);

// The family check: 15 no identity reply; 0 when the text begins with the
// name (the text then replaces the name as above) or, without that, reply
// bytes 8-9 are "QK" (no copy); else 31.
uint8_t CheckDeviceName(const uint8_t* reply, uint16_t replyLength, char (&name)[kDeviceNameBytes], uint8_t textOffset);

// Logged for a unit that still reports an older version (or only the family
// name) after its completed upgrade, with the text it reports.
inline constexpr const char* kUpgradeNotTakenFormat = "Firmware Upgrade not taken, unit still reports: %s!";

// Handles one frame cut from the receive buffer of an unidentified channel;
// g.RxFrame[ch] holds frameLength bytes. Frames that do not decode are
// dropped; step reports are shown; a unit of this edition is linked (and
// upgraded when its firmware is older), a unit of the family or carrying "QK"
// is upgraded (but not again after an upgrade that did not take, see
// firmware.h); anything else is reported as not found.
void HandleIdentifyReply(uint16_t& frameLength, uint8_t ch);
