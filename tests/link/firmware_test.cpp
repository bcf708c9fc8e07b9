#include "link/firmware.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/channel_log.h"
#include "link/channel_ticks.h"
#include "link/comm.h"
#include "link/framing.h"
#include "link/identify.h"
#include "link/operation_steps.h"
#include "link/receive.h"
#include "link/wire.h"
#include "shared/main_window.h"
#include "shared/state.h"
#include "simunit/firmware_builder.h"
#include "simunit/sim_unit.h"
#include "support/gui_wait.h"
#include "support/process_state.h"
#include "support/stand_in_window.h"
#include "support/temp_folder.h"
#include "toolkit/combo_box.h"
#include "toolkit/gui_queue.h"
#include "toolkit/gauge.h"
#include "toolkit/memo.h"
#include "toolkit/random.h"
#include "toolkit/le_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Range(const uint8_t* p, size_t from, size_t count) { return Bytes(p + from, p + from + count); }

Bytes PatternBody(size_t n, uint8_t salt = 0) {
  Bytes body(n);
  for (size_t i = 0; i < n; ++i) body[i] = static_cast<uint8_t>(i * 7 + (i >> 8) + salt);
  return body;
}

std::string VersionText() { return std::string(g.FirmwareVersion, strnlen(g.FirmwareVersion, sizeof g.FirmwareVersion)); }

class FirmwareTest : public ::testing::Test {
protected:
  void SetUp() override {
    g.LogMemo = &memo_;
    g.ChannelGauge[0] = &gauge_;
  }
  // A table case starts from a clean process, with log and gauge bound again.
  void StartCase() {
    ResetProcessState();
    FirmwareTest::SetUp();
  }

  void WriteImage(const Bytes& image) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
  void Load(const Bytes& image) {
    WriteImage(image);
    LoadFirmwareImage(path_);
  }
  // A good image of the given firmware end, loaded.
  void LoadValid(uint16_t firmwareEnd, const Bytes& body = PatternBody(65536 - 4096 * 2)) {
    TFirmwareBuildOptions options;
    options.firmwareEnd = firmwareEnd;
    Load(BuildFirmwareImage(body, "V2.3", options));
    ASSERT_EQ(g.ImageValid, 1);
  }
  std::string LastLogLine() const { return memo_.Count() ? memo_.Lines().back() : std::string(); }

  TMemo memo_;
  TGauge gauge_;
  TempFolder folder_{"orv_fw_"};
  std::string path_ = folder_.File("GenXBEM.FWR");
};

TEST_F(FirmwareTest, LoadsTheBodyVersionHeaderAndKeyTableOfAGoodImage) {
  const Bytes body = PatternBody(5000);
  const Bytes image = BuildFirmwareImage(body, "V1.7", {.firmwareEnd = {}, .seed = 9});
  Load(image);
  EXPECT_EQ(g.ImageValid, 1);
  EXPECT_EQ(VersionText(), "V1.7");
  EXPECT_EQ(Range(reinterpret_cast<const uint8_t*>(g.FirmwareVersion), 4, 12), Bytes(12, 0));
  EXPECT_EQ(FirmwareBase, 4096u);
  EXPECT_EQ(FirmwareEnd, 4096u + 5000 - 1);
  EXPECT_EQ(FirmwareBodyLength, 5000);
  EXPECT_EQ(Range(FirmwareImage, 0, body.size()), body);
  EXPECT_EQ(Range(FirmwareKeyTable, 0, kFirmwareKeyBytes), Range(image.data(), kFirmwareKeyOffset, kFirmwareKeyBytes));
  EXPECT_EQ(Range(FirmwareKeyTable, kFirmwareKeyBytes, 806), Bytes(806, 0));
}

// An image written byte by byte from the file layout, with nothing of the
// loader's or the builder's: magic at 0, version at 7, key word at 15, the
// words XOR the key at 17, 19, 21, 23, 3290 key bytes at 25, the body from
// 3315 rounded up to 16, 876 trailer bytes, then the byte sum. A few bytes
// follow the checksum, as a longer file may carry.
struct HandImage {
  static constexpr size_t kBodyLength = 4100;  // 1025 groups and one more, 4112 stored
  static constexpr size_t kStoredBody = 4112;
  static constexpr size_t kChecksumAt = 3315 + kStoredBody + 876;
  Bytes file;
  Bytes plain;  // the body as the loader must give it back, padding included
  Bytes key;    // the 3290 key bytes

  HandImage() : file(kChecksumAt + 4 + 9, 0x77), plain(kStoredBody, 0), key(3290) {
    const char magic[] = "OrvFmWr";
    for (size_t i = 0; i < 7; ++i) file[i] = static_cast<uint8_t>(magic[i] ^ kFirmwareMagicMask);
    const uint8_t version[8] = {'V', '4', '.', '2', 0, 0, 0, 0};
    std::copy(version, version + 8, file.begin() + 7);
    const uint16_t k = 0xA55A;
    auto put = [this](size_t at, uint16_t value) {
      file[at] = static_cast<uint8_t>(value);
      file[at + 1] = static_cast<uint8_t>(value >> 8);
    };
    put(15, k);
    put(17, 0x17FF ^ k);  // firmware end
    put(19, 0x1111 ^ k);
    put(21, 0x2222 ^ k);
    put(23, kBodyLength ^ k);
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i * 13 + 1 + (i >> 8));
    std::copy(key.begin(), key.end(), file.begin() + 25);
    for (size_t i = 0; i < kBodyLength; ++i) plain[i] = static_cast<uint8_t>(0x10 + i * 3 + (i >> 9));
    for (size_t i = 0; i < kStoredBody; ++i) {
      const size_t slot = 4 * ((i / 4) % 1024) + (i % 2);  // bytes 0, 2 take the first key byte, 1, 3 the second
      const uint8_t mask = slot < key.size() ? key[slot] : 0;
      file[3315 + i] = plain[i] ^ mask;
    }
    for (size_t i = 0; i < 876; ++i) file[3315 + kStoredBody + i] = static_cast<uint8_t>(0xE0 + i);
    uint32_t sum = 0;
    for (size_t i = 0; i < kChecksumAt; ++i) sum += file[i];
    for (size_t i = 0; i < 4; ++i) file[kChecksumAt + i] = static_cast<uint8_t>(sum >> (8 * i));
  }
};

TEST_F(FirmwareTest, AnImageWrittenByHandFromTheLayoutLoads) {
  const HandImage hand;
  Load(hand.file);
  EXPECT_EQ(g.ImageValid, 1);
  EXPECT_EQ(VersionText(), "V4.2");
  EXPECT_EQ(FirmwareBase, 4096u);
  EXPECT_EQ(FirmwareEnd, 0x17FFu);
  EXPECT_EQ(FirmwareBodyLength, HandImage::kBodyLength);
  EXPECT_EQ(Range(FirmwareKeyTable, 0, 3290), hand.key);
  EXPECT_EQ(Range(FirmwareKeyTable, 3290, 806), Bytes(806, 0));
  // Groups 823..1023 met zero key bytes; 1024.. start the table again.
  EXPECT_EQ(Range(FirmwareImage, 0, HandImage::kStoredBody), hand.plain);
  EXPECT_EQ(Range(FirmwareImage, HandImage::kStoredBody, 64), Range(hand.file.data(), HandImage::kStoredBody, 64));

  // The checksum sits right after the trailer, not at the end of the file.
  Bytes moved = hand.file;
  std::rotate(moved.end() - 13, moved.end() - 9, moved.end());  // checksum to the very end
  Load(moved);
  EXPECT_EQ(g.ImageValid, 0);
}

TEST_F(FirmwareTest, TheBuilderWritesTheFileLayout) {
  const Bytes body = PatternBody(4100, 0x21);
  const Bytes image = BuildFirmwareImage(body, "V6.1", {.firmwareEnd = 0x2345, .seed = 11});
  ASSERT_EQ(image.size(), 3315u + 4112 + 876 + 4);
  const char magic[] = "OrvFmWr";
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(image[i], static_cast<uint8_t>(magic[i] ^ kFirmwareMagicMask)) << i;
  EXPECT_EQ(Range(image.data(), 7, 8), (Bytes{'V', '6', '.', '1', 0, 0, 0, 0}));
  const uint16_t k = GetLe16(image.data() + 15);
  EXPECT_EQ(GetLe16(image.data() + 17) ^ k, 0x2345);
  EXPECT_EQ(GetLe16(image.data() + 23) ^ k, 4100);
  for (size_t i = 0; i < 4112; ++i) {
    const size_t slot = 4 * ((i / 4) % 1024) + (i % 2);
    const uint8_t mask = slot < 3290 ? image[25 + slot] : 0;
    const uint8_t plain = i < body.size() ? body[i] : 0;
    ASSERT_EQ(image[3315 + i] ^ mask, plain) << i;
  }
  uint32_t sum = 0;
  for (size_t i = 0; i < image.size() - 4; ++i) sum += image[i];
  EXPECT_EQ(Range(image.data(), image.size() - 4, 4),
            (Bytes{static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum >> 16),
                   static_cast<uint8_t>(sum >> 24)}));
}

TEST_F(FirmwareTest, TheBodyIsUnscrambledSixteenBytesAtATime) {
  struct Case {
    size_t bodyLength;
    size_t unscrambled;
  };
  for (const Case c : {Case{16, 16}, Case{17, 32}}) {
    StartCase();
    const Bytes body = PatternBody(c.bodyLength, 0x31);
    const Bytes image = BuildFirmwareImage(body, "V1.0");
    Load(image);
    EXPECT_EQ(g.ImageValid, 1) << c.bodyLength;
    Bytes expected = body;
    expected.resize(c.unscrambled, 0);  // the padding of the last unit
    EXPECT_EQ(Range(FirmwareImage, 0, c.unscrambled), expected) << c.bodyLength;
    // Past the unscrambled groups the buffer still holds the file as read.
    EXPECT_EQ(Range(FirmwareImage, c.unscrambled, 64), Range(image.data(), c.unscrambled, 64)) << c.bodyLength;
  }
}

TEST_F(FirmwareTest, GroupsPastTheCarriedKeyBytesAreStoredAsTheyAre) {
  // Groups 823..1023 meet the zero part of the key table.
  const Bytes body = PatternBody(8192, 0x5A);
  const Bytes image = BuildFirmwareImage(body, "V1.0");
  EXPECT_EQ(Range(image.data(), kFirmwareBodyOffset + 4 * 823, 4 * 201), Range(body.data(), 4 * 823, 4 * 201));
  EXPECT_NE(Range(image.data(), kFirmwareBodyOffset + 4 * 1024, 16), Range(body.data(), 4 * 1024, 16));
  Load(image);
  EXPECT_EQ(Range(FirmwareImage, 0, body.size()), body);
}

TEST_F(FirmwareTest, AVersionFieldNotBeginningWithVGivesZerosAndTheImageStaysValid) {
  std::memcpy(g.FirmwareVersion, "V9.9", 4);
  Load(BuildFirmwareImage(PatternBody(100), "1.7-beta"));
  EXPECT_EQ(g.ImageValid, 1);
  EXPECT_EQ(Range(reinterpret_cast<const uint8_t*>(g.FirmwareVersion), 0, 16), Bytes(16, 0));
}

TEST_F(FirmwareTest, AnyChangedSummedByteOrStoredChecksumMakesTheImageInvalid) {
  const Bytes good = BuildFirmwareImage(PatternBody(300), "V1.2");
  const size_t trailer = good.size() - kFirmwareChecksumBytes - kFirmwareTrailerBytes;
  for (const size_t at : {trailer, trailer + 500, good.size() - kFirmwareChecksumBytes - 1, good.size() - 1,
                          good.size() - kFirmwareChecksumBytes, kFirmwareKeyOffset + 7, kFirmwareBodyOffset + 3}) {
    Bytes image = good;
    image[at] ^= 0x10;
    StartCase();
    Load(image);
    EXPECT_EQ(g.ImageValid, 0) << "byte " << at;
    // The unscrambled data and the version stay in place.
    EXPECT_EQ(VersionText(), "V1.2") << "byte " << at;
  }
}

TEST_F(FirmwareTest, AWrongMagicChangesNothingButTheBuffer) {
  LoadValid(5119);
  const Bytes keyTable = Range(FirmwareKeyTable, 0, kFirmwareKeyBytes);
  Bytes other = BuildFirmwareImage(PatternBody(64), "V7.7", {.firmwareEnd = 36863, .seed = 3});
  other[2] ^= 0x01;
  Load(other);
  EXPECT_EQ(g.ImageValid, 0);
  EXPECT_EQ(VersionText(), "V2.3");
  EXPECT_EQ(FirmwareEnd, 5119u);
  EXPECT_EQ(FirmwareBodyLength, 65536 - 4096 * 2);
  EXPECT_EQ(Range(FirmwareKeyTable, 0, kFirmwareKeyBytes), keyTable);
  EXPECT_EQ(Range(FirmwareImage, 0, 16), Range(other.data(), 0, 16));
}

TEST_F(FirmwareTest, ImagesOutsideTheBufferOrTheHeaderLimitsAreRefused) {
  const Bytes good = BuildFirmwareImage(PatternBody(64), "V7.7", {.firmwareEnd = {}, .seed = 5});
  const uint16_t key = GetLe16(good.data() + kFirmwareKeyWordOffset);
  auto withWord = [&](size_t at, uint16_t value) {
    Bytes image = good;
    image[at] = static_cast<uint8_t>(value ^ key);
    image[at + 1] = static_cast<uint8_t>((value ^ key) >> 8);
    return image;
  };
  Bytes oversized = BuildFirmwareImage(PatternBody(kFirmwareBodyLengthMax), "V7.7");
  oversized.resize(kFirmwareImageBytes + 1, 0);
  Bytes truncated = good;
  truncated.resize(good.size() - 1);
  struct Case {
    const char* what;
    Bytes image;
  };
  const Case cases[] = {
      {"file larger than the buffer", oversized},
      {"firmware end below the base", BuildFirmwareImage(PatternBody(64), "V7.7", {.firmwareEnd = 4095})},
      {"firmware end past 32 blocks", BuildFirmwareImage(PatternBody(64), "V7.7", {.firmwareEnd = 36864})},
      {"body length past the buffer", withWord(kFirmwareBodyLengthOffset, kFirmwareBodyLengthMax + 1)},
      {"body longer than the file", withWord(kFirmwareBodyLengthOffset, 80)},
      {"file shorter than its layout", truncated},
  };
  for (const Case& c : cases) {
    StartCase();
    LoadValid(5120);
    Load(c.image);
    EXPECT_EQ(g.ImageValid, 0) << c.what;
    EXPECT_EQ(VersionText(), "V2.3") << c.what;
    EXPECT_EQ(FirmwareEnd, 5120u) << c.what;
    EXPECT_EQ(FirmwareBodyLength, 65536 - 4096 * 2) << c.what;
  }
}

TEST_F(FirmwareTest, TheLargestBodyThatFitsLoads) {
  const Bytes body = PatternBody(kFirmwareBodyLengthMax, 3);
  const Bytes image = BuildFirmwareImage(body, "V3.0");
  EXPECT_EQ(image.size(), 3315u + kFirmwareBodyLengthMax + 880);
  Load(image);
  EXPECT_EQ(g.ImageValid, 1);
  EXPECT_EQ(FirmwareEnd, kFirmwareEndMax);
  EXPECT_EQ(Range(FirmwareImage, 0, body.size()), body);
}

TEST_F(FirmwareTest, AFileThatCannotBeReadLeavesNoValidImage) {
  LoadValid(5119);
  LoadFirmwareImage(folder_.File("absent.FWR"));
  EXPECT_EQ(g.ImageValid, 0);
  EXPECT_EQ(VersionText(), "V2.3");
}

TEST_F(FirmwareTest, LoadingAgainAfterPacketsWereSentGivesTheSameImage) {
  LoadValid(36863);
  const Bytes first(FirmwareImage, FirmwareImage + kFirmwareImageBytes);
  StartFirmwareUpgrade(0);
  while (g.ChannelState[0] == TChannelState::FirmwareUpgrade) FirmwareBlockDone(0, 0);
  SendFirmwareFinish(0);
  LoadFirmwareImage(path_);
  EXPECT_EQ(g.ImageValid, 1);
  EXPECT_EQ(Bytes(FirmwareImage, FirmwareImage + kFirmwareImageBytes), first);
}

// A unit being upgraded gets one image whole: while any channel upgrades, a
// reload reads nothing and changes nothing, whatever file now lies there; once
// the upgrade has ended the file is loaded as usual.
TEST_F(FirmwareTest, AReloadWhileAChannelUpgradesChangesNothingUntilItEnds) {
  Bytes wrongMagic = BuildFirmwareImage(PatternBody(4000, 9), "V8.1");
  wrongMagic[0] ^= 0x01;
  Bytes wrongChecksum = BuildFirmwareImage(PatternBody(4000, 9), "V8.1");
  wrongChecksum.back() ^= 0x01;
  struct Case {
    const char* what;
    Bytes file;
    uint8_t validAfter;
    const char* versionAfter;
  };
  const Case cases[] = {
      {"another valid image", BuildFirmwareImage(PatternBody(4000, 9), "V8.1"), 1, "V8.1"},
      {"a wrong magic", wrongMagic, 0, "V2.3"},
      {"a wrong checksum", wrongChecksum, 0, "V8.1"},
      {"an empty file", Bytes{}, 0, "V2.3"},
  };
  constexpr uint8_t kUpgrading = 5;  // not channel 0: any channel counts
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StartCase();
    LoadValid(12287);
    const Bytes image(FirmwareImage, FirmwareImage + kFirmwareImageBytes);
    const Bytes keyTable(FirmwareKeyTable, FirmwareKeyTable + kFirmwareKeyTableBytes);
    StartFirmwareUpgrade(kUpgrading);
    FirmwareBlockDone(0, kUpgrading);
    ASSERT_TRUE(FirmwareUpgradeRunning());

    Load(c.file);
    EXPECT_EQ(g.ImageValid, 1);
    EXPECT_EQ(VersionText(), "V2.3");
    EXPECT_EQ(Bytes(FirmwareImage, FirmwareImage + kFirmwareImageBytes), image);
    EXPECT_EQ(Bytes(FirmwareKeyTable, FirmwareKeyTable + kFirmwareKeyTableBytes), keyTable);
    EXPECT_EQ(FirmwareEnd, 12287u);
    EXPECT_EQ(FirmwareBodyLength, 65536 - 4096 * 2);
    EXPECT_EQ(g.BlockCount[kUpgrading], 8);

    while (g.ChannelState[kUpgrading] == TChannelState::FirmwareUpgrade) FirmwareBlockDone(0, kUpgrading);
    EXPECT_FALSE(FirmwareUpgradeRunning());
    LoadFirmwareImage(path_);
    EXPECT_EQ(g.ImageValid, c.validAfter);
    EXPECT_EQ(VersionText(), c.versionAfter);
  }
}

TEST_F(FirmwareTest, TheBlockCountFollowsTheFirmwareEndInKilobytes) {
  struct Case {
    uint16_t firmwareEnd;
    uint16_t blocks;
  };
  for (const Case c : {Case{4096, 1}, Case{5119, 1}, Case{5120, 2}, Case{36863, 32}}) {
    StartCase();
    LoadValid(c.firmwareEnd);
    StartFirmwareUpgrade(0);
    EXPECT_EQ(g.BlockCount[0], c.blocks) << c.firmwareEnd;
    EXPECT_EQ(gauge_.MaxValue(), c.blocks) << c.firmwareEnd;
  }
}

TEST_F(FirmwareTest, StartingAnUpgradeSetsTheChannelUpAndSendsBlockZero) {
  LoadValid(8191);
  gauge_.SetMaxValue(1);
  StartFirmwareUpgrade(0);
  EXPECT_EQ(g.UpgradeStarted, 1);
  EXPECT_EQ(g.ChannelUnready[0], 1);
  EXPECT_EQ(g.ChannelLinked[0], 1);
  EXPECT_EQ(g.ChannelState[0], TChannelState::FirmwareUpgrade);
  EXPECT_EQ(g.ChannelTickProgress[0], 0);
  EXPECT_EQ(g.ChannelBusy[0], 1);
  EXPECT_EQ(g.ChannelTimer[0], 500);
  EXPECT_EQ(g.BlockIndex[0], 0);
  EXPECT_EQ(g.BlockCount[0], 4);
  // Progress is set before the maximum, so the old maximum of 1 clamps it.
  EXPECT_EQ(gauge_.Progress(), 1);
  EXPECT_EQ(gauge_.ForeColor(), clBlue);
  EXPECT_TRUE(LastLogLine().ends_with(" C1: 开始升级编程器固件......")) << LastLogLine();
  EXPECT_EQ(g.TxPacket[0][0], 0xB7);
  EXPECT_EQ(g.TxPacket[0][1], 0);
}

TEST_F(FirmwareTest, WithoutAValidImageAnUpgradeDoesNothing) {
  StartFirmwareUpgrade(3);
  EXPECT_EQ(g.UpgradeStarted, 0);
  EXPECT_EQ(g.ChannelState[3], TChannelState::Unidentified);
  EXPECT_EQ(g.ChannelBusy[3], 0);
  EXPECT_EQ(memo_.Count(), 0u);
  EXPECT_EQ(g.TxPacket[3][0], 0);
}

TEST_F(FirmwareTest, EveryReplyStatusAcknowledgesTheBlockUntilTheFinish) {
  LoadValid(36863);
  StartFirmwareUpgrade(0);
  const uint8_t statuses[] = {0, 6, 42, 35, 0xFF};
  for (uint16_t block = 1; block < 32; ++block) {
    FirmwareBlockDone(statuses[block % 5], 0);
    EXPECT_EQ(g.BlockIndex[0], block);
    EXPECT_EQ(g.TxPacket[0][0], 0xB7);
    EXPECT_EQ(g.TxPacket[0][1], static_cast<uint8_t>(4 * block)) << block;
    EXPECT_EQ(g.ChannelState[0], TChannelState::FirmwareUpgrade);
    if (block == 5) {
      EXPECT_EQ(gauge_.Progress(), 2 + 5);
    }
  }
  EXPECT_EQ(g.TxPacket[0][1], 124);
  FirmwareBlockDone(42, 0);
  EXPECT_EQ(g.ChannelUnready[0], 0);
  EXPECT_EQ(g.ChannelState[0], TChannelState::Idle);
  EXPECT_EQ(g.ChannelBusy[0], 0);
  EXPECT_EQ(g.ChannelTimer[0], 0);
  EXPECT_EQ(gauge_.Progress(), gauge_.MaxValue());
  EXPECT_EQ(gauge_.ForeColor(), clBlue);
  EXPECT_TRUE(LastLogLine().ends_with(" C1: Firmware Upgrade Completed!")) << LastLogLine();
  EXPECT_EQ(Range(g.TxPacket[0], 0, 12), (Bytes{0xBD, 0x00, 0x52, 0x53, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0xCF, 0x53}));
}

// However an upgrade is lost, it ends: the command no longer waits for it, and
// the search after an upgrade no longer waits for its unit.
TEST_F(FirmwareTest, AnUpgradeThatCanNoLongerEndIsEndedAsFailed) {
  struct Case {
    const char* how;
    std::function<void()> lose;
  };
  const Case cases[] = {
      {"receive error", [] { ReceiveChannelError(0); }},
      {"time-out", [] {
         for (int tick = 0; tick < 500 && g.ChannelBusy[0] != 0; ++tick) AdvanceChannelTicks();
       }},
      {"search or hang-up", [] { EndLostUpgrade(0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    StartCase();
    LoadValid(8191);
    StartFirmwareUpgrade(0);
    FirmwareBlockDone(0, 0);
    ASSERT_TRUE(FirmwareUpgradeRunning());
    c.lose();
    EXPECT_FALSE(FirmwareUpgradeRunning());
    EXPECT_EQ(g.ChannelState[0], TChannelState::Idle);
    EXPECT_EQ(g.ChannelBusy[0], 0);
    EXPECT_EQ(g.ChannelUnready[0], 0);
    EXPECT_EQ(g.UpgradeCompleted[0], 0);
    EXPECT_EQ(gauge_.ForeColor(), clRed);
    EXPECT_TRUE(LastLogLine().ends_with(" C1: Firmware Upgrade Failed!")) << LastLogLine();
  }
}

TEST_F(FirmwareTest, OnlyAnUpgradeIsEndedAsLost) {
  LoadValid(8191);
  StartFirmwareUpgrade(0);
  for (int block = 0; block < 4; ++block) FirmwareBlockDone(0, 0);
  EXPECT_EQ(g.UpgradeCompleted[0], 1);
  const size_t lines = memo_.Count();
  EndLostUpgrade(0);
  g.ChannelState[1] = TChannelState::Erase;
  g.ChannelBusy[1] = 1;
  EndLostUpgrade(1);
  EndLostUpgrade(kChannels);
  EXPECT_EQ(memo_.Count(), lines);
  EXPECT_EQ(g.UpgradeCompleted[0], 1);
  EXPECT_EQ(gauge_.ForeColor(), clBlue);
  EXPECT_EQ(g.ChannelState[1], TChannelState::Erase);
  EXPECT_EQ(g.ChannelBusy[1], 1);
}

TEST_F(FirmwareTest, TheFinishPacketIsFramedAsItStands) {
  SendFirmwareFinish(5);
  const Bytes expected = {0xC0, 0xBD, 0x00, 0x52, 0x53, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                          0xCF, 0x53, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(Range(g.TxFrame[5], 0, expected.size()), expected);
}

class FirmwareBlockTest : public FirmwareTest {
protected:
  // Decodes what went on the wire for the channel.
  Bytes Wire(uint8_t ch) {
    uint8_t frame[kFrameBytes];
    size_t n = 0;
    while (n < kFrameBytes && !(n > 0 && g.TxFrame[ch][n] == 0xC0)) ++n;
    std::memcpy(frame, g.TxFrame[ch], n + 1);
    uint16_t count = static_cast<uint16_t>(n + 1);
    uint16_t decodedLength = 0;
    static uint8_t decoded[kTxPacketBytes];
    EXPECT_EQ(SlipDecode(frame, decoded, sizeof decoded, decodedLength, count), 0);
    return Bytes(decoded, decoded + decodedLength);
  }
};

TEST_F(FirmwareBlockTest, TheBlockPacketDrawsItsMaskInTheFixedOrderAndCarriesItsCrc) {
  LoadValid(36863);
  SetRandSeed(0x1234);
  SendFirmwareBlock(3, 2);
  const Bytes wire = Wire(2);
  ASSERT_EQ(wire.size(), kFirmwareBlockPacketBytes);

  SetRandSeed(0x1234);
  const uint32_t word = Random(65525);
  const uint32_t byte4 = Random(255);
  const uint32_t byte5 = Random(255);
  EXPECT_EQ(wire[0], 0xB7);
  EXPECT_EQ(wire[1], 12);
  EXPECT_EQ(GetLe16(wire.data() + 2), word);
  EXPECT_EQ(wire[4], byte4);
  EXPECT_EQ(wire[5], byte5);
  EXPECT_EQ(GetLe16(wire.data() + 6), 0x1020);
  for (size_t at = 2056; at < 4136; at += 4) {
    for (int j = 0; j < 3; ++j) ASSERT_EQ(wire[at + j], Random(255)) << at + j;
  }
  EXPECT_EQ(GetLe16(wire.data() + 4136), PacketCrcRange(wire.data(), 0, 4135));
}

TEST_F(FirmwareBlockTest, TheFourthByteOfEveryGroupIsZeroOnTheWire) {
  LoadValid(36863);
  for (uint16_t block : {0, 17, 31}) {
    SendFirmwareBlock(block, 0);
    const Bytes wire = Wire(0);
    for (size_t at = 8; at < 4136; at += 4) ASSERT_EQ(wire[at + 3], 0) << "block " << block << " offset " << at;
  }
}

TEST_F(FirmwareBlockTest, UnmaskingABlockGivesBackTheFirstThreeBytesOfEachGroup) {
  LoadValid(36863);
  for (uint16_t block : {0, 1, 31, 32 + 5}) {
    SendFirmwareBlock(block, 1);
    const Bytes wire = Wire(1);
    const uint8_t low = wire[2];
    const uint8_t high = wire[3];
    const uint8_t* source = FirmwareImage + (2048u * block) % 65536;
    for (size_t i = 0; i < 2048; i += 4) {
      const uint8_t* masked = wire.data() + 8 + i;
      const uint8_t* random = masked + 2048;
      ASSERT_EQ(masked[0] ^ random[0] ^ low, source[i]) << block << ":" << i;
      ASSERT_EQ(masked[1] ^ random[1] ^ high, source[i + 1]) << block << ":" << i;
      ASSERT_EQ(masked[2] ^ random[2] ^ low, source[i + 2]) << block << ":" << i;
    }
  }
}


// The program's packets against the simulated unit on the far side of a
// pseudo-terminal, through the channel's own serial component: every packet
// leaves by SendData, every reply comes back as a receive event.
class UpgradeExchangeTest : public FirmwareTest {
protected:
  static constexpr uint8_t kCh = 0;

  void SetUp() override {
    FirmwareTest::SetUp();
    g.OrvantBEMxPrg = &window_;
    unit_.Start();
    ApplyChannelPortDefaults(comm_, kCh);
    comm_.SetCommName(unit_.SlavePath());
    comm_.OnReceiveData = [](TComm*, const uint8_t* data, uint16_t length) { ReceiveChannelBlock(kCh, data, length); };
    comm_.OpenPort();
    g.ChannelComm[kCh] = &comm_;
  }
  void TearDown() override {
    g.ChannelComm[kCh] = nullptr;
    comm_.ClosePort();
    TheGuiQueue().Drain();
    unit_.Stop();
  }

  // Lines of the window log that end a step with a failure or stand for a
  // reply the upgrade did not expect.
  std::vector<std::string> FailureLines() const {
    std::vector<std::string> found;
    for (const std::string& line : memo_.Lines())
      if (line.find("错误") != std::string::npos || line.find("失败") != std::string::npos) found.push_back(line);
    return found;
  }

  StandInWindow window_;
  SimUnit unit_;
  TComm comm_;
};

TEST_F(UpgradeExchangeTest, AnOutdatedUnitTakesEveryBlockAndThenReportsTheNewVersion) {
  const Bytes body = PatternBody(9000, 0x44);
  Load(BuildFirmwareImage(body, "V1.7"));
  ASSERT_EQ(g.ImageValid, 1);
  SimIdentity identity;
  identity.version = "V1.6";
  unit_.SetIdentity(identity);
  unit_.SetUpgradeVersion("V1.7");

  // The identity reply starts the upgrade, and each reply sends the next block
  // until the last one's sends the finish and leaves the channel idle.
  ASSERT_TRUE(SendIdentify(kCh));
  ASSERT_TRUE(DrainUntil([] { return g.UpgradeStarted == 1 && g.ChannelState[kCh] != TChannelState::FirmwareUpgrade; }));
  EXPECT_EQ(window_.caption, "OrvantGengX-BEM V1.6,SimUnit");
  EXPECT_EQ(g.FoundDevices, 0);
  const uint16_t blocks = g.BlockCount[kCh];
  EXPECT_EQ(blocks, 9);  // (9000 - 1) >> 10, plus one
  EXPECT_EQ(g.BlockIndex[kCh], blocks);
  EXPECT_EQ(LastLogLine().substr(LastLogLine().size() - 27), "Firmware Upgrade Completed!");
  EXPECT_EQ(g.ChannelState[kCh], TChannelState::Idle);
  EXPECT_EQ(g.ChannelUnready[kCh], 0);
  EXPECT_EQ(g.ChannelBusy[kCh], 0);

  // The finish packet, which is not answered, closes what the unit received:
  // the request, every block once and in order, the finish.
  ASSERT_TRUE(unit_.WaitForLog(1 + blocks + 1, std::chrono::seconds(30)));
  const std::vector<SimPacket> log = unit_.Log();
  ASSERT_EQ(log.size(), 1u + blocks + 1);
  EXPECT_TRUE(log.front().IsIdentify());
  for (uint16_t block = 0; block < blocks; ++block) {
    const SimPacket& packet = log[1 + block];
    EXPECT_EQ(packet.decodeResult, kFrameOk) << "block " << block;
    ASSERT_EQ(packet.bytes.size(), kFirmwareBlockPacketBytes) << "block " << block;
    EXPECT_EQ(packet.Command(), 0xB7) << "block " << block;
    EXPECT_EQ(packet.bytes[1], 4 * block) << "block " << block;
  }
  EXPECT_EQ(log.back().Command(), 0xBD);
  EXPECT_EQ(log.back().decodeResult, kFrameOk);

  // Three bytes of every four travel.
  const Bytes stored = unit_.Firmware();
  for (size_t i = 0; i < body.size(); ++i) ASSERT_EQ(stored[i], i % 4 == 3 ? 0 : body[i]) << i;

  // The search after the upgrade finds the unit current.
  g.ChannelLinked[kCh] = 0;
  ASSERT_TRUE(SendIdentify(kCh));
  ASSERT_TRUE(DrainUntil([] { return g.FoundDevices != 0; }));
  EXPECT_EQ(g.FoundDevices, 1);
  EXPECT_EQ(g.ChannelLinked[kCh], 1);
  EXPECT_EQ(g.ChannelState[kCh], TChannelState::Idle);
  EXPECT_EQ(window_.caption, "OrvantGengX-BEM V1.7,SimUnit");
  EXPECT_EQ(unit_.Log().size(), 1u + blocks + 2);
  EXPECT_TRUE(FailureLines().empty());
  // Nothing of a frame is left behind: at most the fill after the last one.
  EXPECT_LE(g.RxCount[kCh], 5);
  EXPECT_EQ(Range(g.RxBuffer[kCh], 0, g.RxCount[kCh]), Bytes(g.RxCount[kCh], 0xFF));
}

}  // namespace
