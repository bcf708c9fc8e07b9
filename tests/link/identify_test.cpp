#include "link/identify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "link/firmware.h"
#include "link/framing.h"
#include "link/operation_steps.h"
#include "shared/main_window.h"
#include "shared/state.h"
#include "support/process_state.h"
#include "support/stand_in_window.h"
#include "toolkit/combo_box.h"
#include "toolkit/memo.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An identity reply: A3 A5 35, device type, text length, two letters, and
// the text from offset 28.
Bytes IdentityReply(std::string_view text, const char* letters = "OG") {
  Bytes reply(28 + text.size(), 0);
  reply[0] = 0xA3;
  reply[1] = 0xA5;
  reply[2] = 0x35;
  reply[4] = 0x21;
  reply[6] = static_cast<uint8_t>(text.size());
  reply[7] = static_cast<uint8_t>(text.size() >> 8);
  reply[8] = static_cast<uint8_t>(letters[0]);
  reply[9] = static_cast<uint8_t>(letters[1]);
  std::copy(text.begin(), text.end(), reply.begin() + 28);
  return reply;
}

void SetFirmwareVersion(std::string_view version) {
  std::memset(g.FirmwareVersion, 0, sizeof g.FirmwareVersion);
  std::memcpy(g.FirmwareVersion, version.data(), version.size());
}

std::string NameIn(const char (&name)[kDeviceNameBytes]) { return std::string(name, strnlen(name, kDeviceNameBytes)); }

void FillName(char (&name)[kDeviceNameBytes], std::string_view text) {
  std::memset(name, 0, kDeviceNameBytes);
  std::memcpy(name, text.data(), text.size());
}

class IdentifyTest : public ::testing::Test {
protected:
  static constexpr uint8_t kCh = 2;

  void SetUp() override { Arrange(); }

  // A table case starts afresh: a clean process, an empty log and window.
  void StartCase() {
    ResetProcessState();
    memo_.Clear();
    window_.logLines.clear();
    window_.caption.clear();
    window_.captionSets = 0;
    Arrange();
  }

  void Arrange() {
    g.OrvantBEMxPrg = &window_;
    g.LogMemo = &memo_;
    g.ChannelUnready[kCh] = 1;
    // A valid image in place, so that an upgrade start shows.
    g.ImageValid = 1;
    FirmwareBase = 4096;
    FirmwareEnd = 5119;
  }

  // Frames the decoded bytes into the channel's receive frame and hands them
  // to identification, as the receive handler does.
  void Receive(const Bytes& decoded) {
    const size_t n = SlipEncode(decoded.data(), g.RxFrame[kCh], decoded.size(), kFrameBytes);
    uint16_t frameLength = static_cast<uint16_t>(n - 5);  // the frame without its trailing fill
    HandleIdentifyReply(frameLength, kCh);
  }
  std::string LastLogLine() const { return memo_.Count() ? memo_.Lines().back() : std::string(); }

  StandInWindow window_;
  TMemo memo_;
};

struct IdentifyCase {
  const char* what;
  std::string text;
  const char* letters;
  const char* firmwareVersion;
  // Expected.
  const char* caption;  // nullptr: not set
  const char* logText;  // nullptr: no line
  int foundDevices;
  bool upgrade;
  int linked;
};

const IdentifyCase kIdentifyCases[] = {
    {"current version ending at a comma", "OrvantGengX-BEM V1.7,build 12\r\n", "OG", "V1.7",
     "OrvantGengX-BEM V1.7,build 12", "找到设备：OrvantGengX-BEM V1.7,build 12!", 1, false, 1},
    {"older version", "OrvantGengX-BEM V1.6,build 12\r\n", "OG", "V1.7",
     "OrvantGengX-BEM V1.6,build 12", "找到设备：OrvantGengX-BEM V1.6,build 12!", 0, true, 1},
    {"bytes, not numbers: V1.10 before V1.9", "OrvantGengX-BEM V1.10 r", "OG", "V1.9",
     "OrvantGengX-BEM V1.10 r", "找到设备：OrvantGengX-BEM V1.10 r!", 0, true, 1},
    {"newer version", "OrvantGengX-BEM V1.8", "OG", "V1.7",
     "OrvantGengX-BEM V1.8", "找到设备：OrvantGengX-BEM V1.8!", 1, false, 1},
    {"token at a comma is a prefix of the image's version", "OrvantGengX-BEM V1.7,x", "OG", "V1.7.1",
     "OrvantGengX-BEM V1.7,x", "找到设备：OrvantGengX-BEM V1.7,x!", 1, false, 1},
    {"token at the end of the text against a longer version", "OrvantGengX-BEM V1.7", "OG", "V1.7.1",
     "OrvantGengX-BEM V1.7", "找到设备：OrvantGengX-BEM V1.7!", 0, true, 1},
    {"no image version makes every unit current", "OrvantGengX-BEM V0.1", "OG", "",
     "OrvantGengX-BEM V0.1", "找到设备：OrvantGengX-BEM V0.1!", 1, false, 1},
    {"no version in the text", "OrvantGengX-BEM", "OG", "V1.7",
     "OrvantGengX-BEM", "找到设备：OrvantGengX-BEM!", 0, true, 1},
    {"a longer name with this edition's prefix", "OrvantGengX-BEMPRO V2.0", "OG", "V1.7",
     "OrvantGengX-BEMPRO V2.0", "找到设备：OrvantGengX-BEMPRO V2.0!", 1, false, 1},
    {"another edition of the family", "OrvantGengX-ABC V1.0", "OG", "V1.7", nullptr, nullptr, 0, true, 1},
    {"another name carrying QK", "Quokka V1.0", "QK", "V1.7", nullptr, nullptr, 0, true, 1},
    {"another name", "Quokka V1.0", "OG", "V1.7", "未找到设备！", "未找到设备!", 0, false, 0},
    // 'R' - 'O' is 3, the older-firmware result: still another name.
    {"a name difference of three", "RrvantGengX-BEM V1.0", "OG", "V1.7", "未找到设备！", "未找到设备!", 0, false, 0},
};

TEST_F(IdentifyTest, IdentityRepliesAreJudgedByNameAndVersion) {
  for (const IdentifyCase& c : kIdentifyCases) {
    StartCase();
    SetFirmwareVersion(c.firmwareVersion);
    Receive(IdentityReply(c.text, c.letters));
    SCOPED_TRACE(c.what);
    EXPECT_EQ(window_.caption, c.caption ? c.caption : "");
    EXPECT_EQ(window_.captionSets, c.caption ? 1 : 0);
    if (c.logText) {
      EXPECT_EQ(memo_.Count(), 1u + (c.upgrade ? 1u : 0u));
      EXPECT_TRUE(memo_.Line(0).ends_with(std::string(" C3: ") + c.logText)) << memo_.Line(0);
    }
    EXPECT_EQ(g.FoundDevices, c.foundDevices);
    EXPECT_EQ(g.UpgradeStarted, c.upgrade ? 1 : 0);
    EXPECT_EQ(g.ChannelLinked[kCh], c.linked);
    if (c.upgrade) {
      EXPECT_EQ(g.ChannelState[kCh], TChannelState::FirmwareUpgrade);
      EXPECT_EQ(g.ChannelUnready[kCh], 1);
      EXPECT_TRUE(LastLogLine().ends_with(" C3: 开始升级编程器固件......")) << LastLogLine();
      EXPECT_EQ(memo_.Count(), c.logText ? 2u : 1u);
    } else if (c.linked) {
      EXPECT_EQ(g.ChannelState[kCh], TChannelState::Idle);
      EXPECT_EQ(g.ChannelUnready[kCh], 0);
      EXPECT_EQ(g.ChannelTimer[kCh], 500);
    } else {
      EXPECT_EQ(g.ChannelState[kCh], TChannelState::Unidentified);
      EXPECT_EQ(g.ChannelUnready[kCh], 1);
    }
  }
}

// A unit that still asks for an upgrade right after a completed one would be
// upgraded at every search: it is left, once logged, until the operator asks.
TEST_F(IdentifyTest, AUnitWhoseUpgradeDidNotTakeIsNotUpgradedAgain) {
  struct Case {
    const char* text;
    const char* letters;
  };
  for (const Case c : {Case{"OrvantGengX-BEM V1.6,SimUnit", "OG"}, Case{"OrvantGengX-BEM 1.7", "OG"},
                       Case{"OrvantGengX-ABC V1.0", "OG"}, Case{"Quokka V1.0", "QK"}}) {
    SCOPED_TRACE(c.text);
    StartCase();
    SetFirmwareVersion("V1.7");
    g.UpgradeCompleted[kCh] = 1;
    g.ChannelLinked[kCh] = 1;
    Receive(IdentityReply(c.text, c.letters));
    EXPECT_EQ(g.UpgradeStarted, 0);
    EXPECT_EQ(g.ChannelState[kCh], TChannelState::Unidentified);
    EXPECT_EQ(g.ChannelLinked[kCh], 0);
    EXPECT_EQ(g.FoundDevices, 0);
    EXPECT_EQ(g.UpgradeCompleted[kCh], 1);
    ASSERT_EQ(memo_.Count(), 1u);
    EXPECT_TRUE(memo_.Line(0).ends_with(std::string(" C3: Firmware Upgrade not taken, unit still reports: ") + c.text + "!"))
        << memo_.Line(0);

    // Forgotten, as the operator's search does: upgraded once more.
    ForgetCompletedUpgrades();
    Receive(IdentityReply(c.text, c.letters));
    EXPECT_EQ(g.UpgradeStarted, 1);
    EXPECT_EQ(g.ChannelState[kCh], TChannelState::FirmwareUpgrade);
  }
}

TEST_F(IdentifyTest, AUnitFoundCurrentAfterItsUpgradeIsLinkedAndForgetsIt) {
  SetFirmwareVersion("V1.7");
  g.UpgradeCompleted[kCh] = 1;
  Receive(IdentityReply("OrvantGengX-BEM V1.7"));
  EXPECT_EQ(g.ChannelLinked[kCh], 1);
  EXPECT_EQ(g.FoundDevices, 1);
  EXPECT_EQ(g.UpgradeCompleted[kCh], 0);
}

TEST_F(IdentifyTest, AnOlderUnitWithoutAValidImageIsLinkedButNotUpgraded) {
  g.ImageValid = 0;
  SetFirmwareVersion("V1.7");
  Receive(IdentityReply("OrvantGengX-BEM V1.6"));
  EXPECT_EQ(g.ChannelLinked[kCh], 1);
  EXPECT_EQ(g.ChannelState[kCh], TChannelState::Idle);
  EXPECT_EQ(g.FoundDevices, 0);
  EXPECT_EQ(g.UpgradeStarted, 0);
}

TEST_F(IdentifyTest, FramesThatAreNoIdentityReplyAreReportedAsNotFound) {
  Bytes wrongStart = IdentityReply("OrvantGengX-BEM V1.7");
  wrongStart[2] = 0x36;
  Bytes noText = IdentityReply("OrvantGengX-BEM V1.7");
  noText[6] = noText[7] = 0;
  for (const Bytes& frame : {wrongStart, noText, Bytes{0x11, 1, 2, 3, 4, 5, 6, 7, 8, 9}}) {
    StartCase();
    g.ChannelLinked[kCh] = 1;  // not found makes the channel unidentified
    Receive(frame);
    EXPECT_EQ(window_.caption, "未找到设备！");
    EXPECT_TRUE(LastLogLine().ends_with(" C3: 未找到设备!")) << LastLogLine();
    EXPECT_EQ(g.ChannelLinked[kCh], 0);
    EXPECT_EQ(g.UpgradeStarted, 0);
  }
}

TEST_F(IdentifyTest, AStepReportOnAnUnidentifiedChannelIsShownAndChangesNothingElse) {
  Bytes report = {0xFD, 0xF0, 0x06, 0, 0, 0, 0, 0};
  uint8_t sum = 0;
  for (uint8_t b : report) sum = static_cast<uint8_t>(sum + b);
  report[7] = static_cast<uint8_t>(-sum);
  Receive(report);
  ASSERT_GE(memo_.Count(), 1u);
  EXPECT_NE(memo_.Line(0).find("Progrmming Completed"), std::string::npos) << memo_.Line(0);
  EXPECT_EQ(window_.captionSets, 0);
  EXPECT_EQ(g.ChannelLinked[kCh], 0);
  EXPECT_EQ(g.ChannelUnready[kCh], 1);
  EXPECT_EQ(g.FoundDevices, 0);
}

TEST_F(IdentifyTest, FramesShorterThanAHeaderOrBadlyEscapedAreDroppedSilently) {
  const Bytes shortFrame = {0xA3, 0xA5, 0x35, 0, 0, 0, 1};
  Receive(shortFrame);
  const uint8_t badEscape[] = {0xC0, 0xA3, 0xA5, 0x35, 0, 0, 0, 1, 0, 0xDB, 0x05, 0xC0};
  std::memcpy(g.RxFrame[kCh], badEscape, sizeof badEscape);
  uint16_t frameLength = sizeof badEscape;
  HandleIdentifyReply(frameLength, kCh);
  EXPECT_EQ(memo_.Count(), 0u);
  EXPECT_EQ(window_.captionSets, 0);
  EXPECT_EQ(g.ChannelUnready[kCh], 1);
  EXPECT_EQ(g.ChannelLinked[kCh], 0);
}

TEST_F(IdentifyTest, TheCaptionHoldsAtMost127CharactersOfAnOverlongName) {
  const std::string text = "OrvantGengX-BEM" + std::string(400, 'x') + " V1.7";
  SetFirmwareVersion("V1.7");
  Receive(IdentityReply(text));
  EXPECT_EQ(window_.caption, text.substr(0, 127));
  EXPECT_EQ(g.FoundDevices, 1);
}

TEST_F(IdentifyTest, TheTextEndsAfterLPlusOneBytesOrWithTheDecodedReply) {
  struct Case {
    const char* what;
    const char* text;
    uint16_t length;  // L
    const char* firmwareVersion;
    const char* caption;
    int foundDevices;
  };
  const Case cases[] = {
      // The slot past the reply holds an older, longer text; L claims far
      // more than arrived.
      {"L past the reply", "OrvantGengX-BEM V1.7", 0xFFFF, "V1.7", "OrvantGengX-BEM V1.7", 1},
      // L + 1 = 20: the token ends with the text after V1.7, older than V1.7.1.
      {"reply longer than L + 1", "OrvantGengX-BEM V1.7.1 more", 19, "V1.7.1", "OrvantGengX-BEM V1.7", 0},
  };
  for (const Case& c : cases) {
    StartCase();
    SCOPED_TRACE(c.what);
    std::memset(g.TxPacket[kCh], 'x', kTxPacketBytes);
    Bytes reply = IdentityReply(c.text);
    reply[6] = static_cast<uint8_t>(c.length);
    reply[7] = static_cast<uint8_t>(c.length >> 8);
    SetFirmwareVersion(c.firmwareVersion);
    Receive(reply);
    EXPECT_EQ(window_.caption, c.caption);
    EXPECT_EQ(g.FoundDevices, c.foundDevices);
    EXPECT_EQ(g.UpgradeStarted, c.foundDevices == 0 ? 1 : 0);
  }
}

TEST(CheckDeviceTest, ResultBytesOfTheEditionAndFamilyChecks) {
  SetFirmwareVersion("V1.7");
  char name[kDeviceNameBytes];
  struct Case {
    Bytes reply;
    const char* expected;
    uint8_t replyResult;
    uint8_t nameResult;
  };
  Bytes notIdentity = IdentityReply("OrvantGengX-BEM V1.7");
  notIdentity[0] = 0xA4;
  const Case cases[] = {
      {IdentityReply("OrvantGengX-BEM V1.7"), "OrvantGengX-BEM", 0, 0},
      {IdentityReply("OrvantGengX-BEM V1.6"), "OrvantGengX-BEM", 3, 0},
      {IdentityReply("OrvantGengX-BEN V1.7"), "OrvantGengX-BEM", 1, 0},            // 'N' - 'M'
      {IdentityReply("OrvantGengX-BEA V1.7"), "OrvantGengX-BEM", 0xF4, 0},         // 'A' - 'M', as a byte
      {IdentityReply("OrvantGengX"), "OrvantGengX-BEM", static_cast<uint8_t>(-'-'), 0},  // the text ends
      {IdentityReply("Quokka V1", "QK"), "OrvantGengX", 2, 0},                     // 'Q' - 'O'
      {IdentityReply("Quokka V1", "QX"), "OrvantGengX", 2, 31},
      {notIdentity, "OrvantGengX", 63, 15},
  };
  for (const Case& c : cases) {
    FillName(name, c.expected);
    EXPECT_EQ(CheckDeviceReply(c.reply.data(), static_cast<uint16_t>(c.reply.size()), name, 28), c.replyResult)
        << c.expected << " " << std::string(c.reply.begin() + 28, c.reply.end());
    FillName(name, "OrvantGengX");
    EXPECT_EQ(CheckDeviceName(c.reply.data(), static_cast<uint16_t>(c.reply.size()), name, 28), c.nameResult)
        << std::string(c.reply.begin() + 28, c.reply.end());
  }
}

TEST(CheckDeviceTest, AMatchReplacesTheNameWithTheUnitsTextUpToItsFirstControlByte) {
  char name[kDeviceNameBytes];
  FillName(name, "OrvantGengX");
  const Bytes reply = IdentityReply("OrvantGengX-XYZ V3\x01tail");
  ASSERT_EQ(CheckDeviceName(reply.data(), static_cast<uint16_t>(reply.size()), name, 28), 0);
  EXPECT_EQ(NameIn(name), "OrvantGengX-XYZ V3");
  // "QK" alone accepts without a copy.
  FillName(name, "OrvantGengX");
  const Bytes other = IdentityReply("Quokka V1", "QK");
  ASSERT_EQ(CheckDeviceName(other.data(), static_cast<uint16_t>(other.size()), name, 28), 0);
  EXPECT_EQ(NameIn(name), "OrvantGengX");
}

TEST(SendIdentifyTest, WritesTheTenRequestBytes) {
  std::memset(g.TxFrame[4], 0x55, 16);
  EXPECT_FALSE(SendIdentify(4));  // no component bound
  const Bytes expected = {0xC0, 0xA3, 0xA5, 0x35, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x55};
  EXPECT_EQ(Bytes(g.TxFrame[4], g.TxFrame[4] + 11), expected);
}

}  // namespace
