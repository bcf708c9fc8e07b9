// The simulated unit over a real pseudo-terminal, driven by the program's own
// framing: packets are built by hand from the wire layouts (link/support/sim_line.h).
// Its timing, scripts and hang-ups against the program's serial component are
// in simunit_comm_test.cpp.

#include "simunit/sim_unit.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <filesystem>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/framing.h"
#include "link/support/sim_line.h"
#include "link/wire.h"
#include "support/temp_folder.h"

namespace {

using namespace simline;

class SimUnitTest : public testing::Test {
 protected:
  SimUnitTest() : line_(unit_.SlavePath()) { unit_.Start(); }
  int Result(const Bytes& packet) {
    line_.Send(packet);
    return line_.NextResult();
  }
  int Operation(uint16_t op, uint16_t imageCrc16 = 0) {
    return Result(Packet(kCmdOperation, op, OpPayload(imageCrc16)));
  }
  void Program(const Bytes& data) {
    for (uint16_t kb = 0; kb < kChipKB; kb += 4)
      ASSERT_EQ(Result(Packet(kCmdProgramFlash, kb, ProgramPayload(data, kb * 1024u))), 6) << kb;
  }

  // The upgrade's finish packet, which is not answered, then the identity
  // text that the identify request after it brings back ("" without one).
  std::string FinishAndIdentify() {
    Bytes finish = {kCmdFirmwareFinish, 0x00, 'R', 'S', 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0, 0};
    Put16(finish, 10, PacketCrcRange(finish.data(), 0, 9));
    line_.Send(finish);
    line_.SendIdentify();
    const std::optional<Bytes> identity = line_.NextReply();
    if (!identity || identity->size() <= kIdentityTextOffset) return {};
    return std::string(identity->begin() + kIdentityTextOffset, identity->end() - 1);
  }

  SimUnit unit_;
  Line line_;
};

TEST_F(SimUnitTest, AnswersTheIdentifyRequestWithItsIdentity) {
  ASSERT_TRUE(line_.ok());
  SimIdentity identity;
  identity.version = "V1.7";
  identity.letters[0] = 'Q';
  identity.letters[1] = 'K';
  unit_.SetIdentity(identity);
  line_.SendIdentify();
  const std::optional<Bytes> reply = line_.NextReply();
  ASSERT_TRUE(reply);
  const std::string text = "OrvantGengX-BEM V1.7,SimUnit";
  ASSERT_EQ(reply->size(), kIdentityTextOffset + text.size() + 1);
  EXPECT_EQ(Bytes(reply->begin(), reply->begin() + 3), (Bytes{0xA3, 0xA5, 0x35}));
  EXPECT_EQ(Get16(*reply, kIdentityTextLengthOffset), text.size());
  EXPECT_EQ((*reply)[kIdentityLettersOffset], 'Q');
  EXPECT_EQ((*reply)[kIdentityLettersOffset + 1], 'K');
  EXPECT_EQ(std::string(reply->begin() + kIdentityTextOffset, reply->end() - 1), text);
  EXPECT_EQ(reply->back(), 0);
  ASSERT_TRUE(unit_.WaitForLog(1, kReplyWait));
  EXPECT_TRUE(unit_.Log()[0].IsIdentify());
}

TEST_F(SimUnitTest, BlankCheckFollowsTheChipState) {
  EXPECT_EQ(Operation(kOpBlankCheck), 6);
  unit_.SetNotBlank();
  EXPECT_EQ(Operation(kOpBlankCheck), 21);
  const struct {
    SimProtection protection;
    int result;
  } kProtected[] = {{SimProtection::kReadProtected16, 16},
                    {SimProtection::kReadProtected19, 19},
                    {SimProtection::kWriteProtected, 90}};
  for (const auto& c : kProtected) {
    unit_.SetProtection(c.protection);
    EXPECT_EQ(Operation(kOpBlankCheck), c.result);
  }
  // An erase clears both the data and the protection.
  EXPECT_EQ(Operation(kOpErase), 6);
  EXPECT_EQ(Operation(kOpBlankCheck), 6);
}

TEST_F(SimUnitTest, ProgramThenVerifyGivesTheCrcOfTheDataSent) {
  const Bytes data = Pattern(kChipKB * 1024, 7);
  Program(data);
  line_.Send(Packet(kCmdOperation, kOpVerify, OpPayload(Crc16(data))));
  const std::optional<Bytes> verify = line_.NextData();
  ASSERT_TRUE(verify);
  ASSERT_GE(verify->size(), 6u);
  EXPECT_EQ((*verify)[0], 6);
  EXPECT_EQ(Get16(*verify, 2), Crc16(data));
  EXPECT_EQ(Operation(kOpBlankCheck), 21);

  // Against another expected CRC the unit reports the difference.
  line_.Send(Packet(kCmdOperation, kOpVerify, OpPayload(Crc16(data) ^ 1)));
  const std::optional<Bytes> differ = line_.NextData();
  ASSERT_TRUE(differ);
  EXPECT_EQ((*differ)[0], 48);
  EXPECT_EQ(Get16(*differ, 2), Crc16(data));
  EXPECT_EQ(Get16(*differ, 4), Crc16(data) ^ 1);
}

TEST_F(SimUnitTest, ReadsReturnTheBytesProgrammed) {
  const Bytes data = Pattern(kChipKB * 1024, 11);
  Program(data);
  for (uint16_t kb = 0; kb < kChipKB; kb += 4) {
    line_.Send(Packet(kCmdReadFlash, kb, OpPayload()));
    const std::optional<Bytes> block = line_.NextData();
    ASSERT_TRUE(block);
    EXPECT_EQ(*block, Bytes(data.begin() + kb * 1024, data.begin() + kb * 1024 + kDataBlockBytes));
  }
  Bytes readPayload = ParamBlock(kChipKB, 0, kChipKB * 1024 - 1, 0);
  readPayload.resize(64);
  Put16(readPayload, kReadAddressOffset, 0x1000);
  Put16(readPayload, kReadLengthOffset, 256);
  line_.Send(Packet(kCmdOperation, kOpReadAddress, readPayload));
  const std::optional<Bytes> range = line_.NextData();
  ASSERT_TRUE(range);
  EXPECT_EQ(*range, Bytes(data.begin() + 0x1000, data.begin() + 0x1100));
  EXPECT_EQ(unit_.ReadFlash(0, kChipKB * 1024), data);
}

TEST_F(SimUnitTest, ChipIdAndConfigurationRoundTrip) {
  const std::array<uint8_t, 12> id = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0xAB, 0xCD};
  unit_.SetChipId(id);
  line_.Send(Packet(kCmdOperation, kOpChipId, OpPayload()));
  const std::optional<Bytes> reply = line_.NextData();
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, Bytes(id.begin(), id.end()));

  Bytes config = ParamBlock(kChipKB, 0, kChipKB * 1024 - 1, 0);
  config.resize(192, 0);
  EXPECT_EQ(Result(Packet(kCmdOperation, kOpWriteConfig, config)), 6);
  EXPECT_EQ(unit_.ConfigBytes()[0], 0x40);
  EXPECT_EQ(unit_.ConfigBytes()[15], 0x4F);
}

TEST_F(SimUnitTest, RefusesWhatItCannotTake) {
  Bytes badCrc = Packet(kCmdOperation, kOpBlankCheck, OpPayload());
  badCrc.back() ^= 0x01;
  EXPECT_EQ(Result(badCrc), 35);
  Bytes shortened = Packet(kCmdOperation, kOpBlankCheck, OpPayload());
  Put16(shortened, 6, 100);  // length field disagrees with the packet
  EXPECT_EQ(Result(shortened), 42);
  EXPECT_EQ(Result(Packet(0x42, 0, {})), 37);
  EXPECT_EQ(Operation(77), 37);
  EXPECT_EQ(Result(Packet(kCmdReadFlash, kChipKB, OpPayload())), 85);  // past the chip
  Bytes data = Pattern(kChipKB * 1024, 1);
  unit_.SetProtection(SimProtection::kWriteProtected);
  EXPECT_EQ(Result(Packet(kCmdProgramFlash, 0, ProgramPayload(data, 0))), 16);
  unit_.SetProtection(SimProtection::kReadProtected19);
  EXPECT_EQ(Result(Packet(kCmdReadFlash, 0, OpPayload())), 19);
  // A bad frame on the line is answered as one.
  line_.WriteRaw({0xC0, 0x01, 0xDB, 0x05, 0xC0});
  EXPECT_EQ(line_.NextResult(), 42);
}

TEST_F(SimUnitTest, FailureRulesAndSilence) {
  unit_.SetFailure(11, kCmdOperation, kOpBlankCheck);
  EXPECT_EQ(Operation(kOpBlankCheck), 11);
  EXPECT_EQ(Operation(kOpErase), 6);
  unit_.SetFailure(0);
  EXPECT_EQ(Operation(kOpBlankCheck), 6);

  // Silent: the blank check gets no answer, so the identity is the next
  // thing on the line.
  unit_.SetSilent(true);
  line_.Send(Packet(kCmdOperation, kOpBlankCheck, OpPayload()));
  line_.SendIdentify();
  const std::optional<Bytes> next = line_.NextReply();
  ASSERT_TRUE(next);
  EXPECT_EQ((*next)[0], 0xA3);
  ASSERT_TRUE(unit_.WaitForLog(5, kReplyWait));
  EXPECT_EQ(unit_.Log()[3].Command(), kCmdOperation);
}

TEST_F(SimUnitTest, ResetIsLoggedAndNotAnswered) {
  line_.Send(Packet(kCmdReset, 0x4552, {0, 0}));
  line_.SendIdentify();
  const std::optional<Bytes> next = line_.NextReply();
  ASSERT_TRUE(next);
  EXPECT_EQ((*next)[0], 0xA3);
  EXPECT_EQ(unit_.ResetsReceived(), 1);
  const std::vector<SimPacket> log = unit_.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Command(), kCmdReset);
  EXPECT_EQ(log[0].Argument(), 0x4552);
}

TEST_F(SimUnitTest, TakesAFrameSplitAcrossWrites) {
  const Bytes frame = FrameOf(Packet(kCmdOperation, kOpBlankCheck, OpPayload()));
  line_.WriteRaw({0x00, 0x13, 0xFF});  // line noise before the frame
  line_.WriteRaw(Bytes(frame.begin(), frame.begin() + 50));
  line_.WriteRaw(Bytes(frame.begin() + 50, frame.end()));
  EXPECT_EQ(line_.NextResult(), 6);
  EXPECT_EQ(unit_.Log().size(), 1u);
}

// The off-line information block: 512 bytes with its CRC and sum, twice,
// masked with the key bytes made from the packet argument.
Bytes OfflinePayload(uint16_t argument, const Bytes& block, bool sameCopies = true) {
  Bytes payload = block;
  payload.insert(payload.end(), block.begin(), block.end());
  if (!sameCopies) payload[700] ^= 1;
  const uint8_t key0 = static_cast<uint8_t>(((argument & 0xFF) ^ kOfflineKeyFixed0) | 0x80);
  const uint8_t key1 = static_cast<uint8_t>(((argument >> 8) ^ kOfflineKeyFixed1) | 0x80);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] ^= (i % 2 == 0) ? key0 : key1;
  return payload;
}

Bytes OfflineBlock() {
  Bytes block = Pattern(kOfflineInfoBytes, 3);
  block[0] = 'Z';
  block[1] = 'W';
  block[2] = 'L';
  block[3] = 'P';
  Put16(block, kOfflineInfoCrcOffset, PacketCrcRange(block.data(), 0, kOfflineInfoCrcOffset - 1));
  const uint32_t sum = std::accumulate(block.begin(), block.begin() + kOfflineInfoSumOffset, 0u);
  Put16(block, kOfflineInfoSumOffset, static_cast<uint16_t>(sum));
  return block;
}

TEST_F(SimUnitTest, ChecksTheOfflineInformation) {
  const Bytes block = OfflineBlock();
  const uint16_t argument = 0x1234;
  EXPECT_EQ(Result(Packet(kCmdOfflineInfo, argument, OfflinePayload(argument, block))), 6);
  const std::optional<std::array<uint8_t, 512>> taken = unit_.OfflineInfo();
  ASSERT_TRUE(taken);
  EXPECT_EQ(Bytes(taken->begin(), taken->end()), block);

  // Masked with the keys of another argument, the copies still agree but the
  // block's own CRC no longer holds.
  EXPECT_EQ(Result(Packet(kCmdOfflineInfo, argument, OfflinePayload(0x4321, block))), 35);
  EXPECT_EQ(Result(Packet(kCmdOfflineInfo, argument, OfflinePayload(argument, block, false))), 42);
  Bytes badCrc = block;
  badCrc[100] ^= 0x10;
  EXPECT_EQ(Result(Packet(kCmdOfflineInfo, argument, OfflinePayload(argument, badCrc))), 35);
  Bytes badSum = block;
  badSum[kOfflineInfoSumOffset] ^= 1;
  EXPECT_EQ(Result(Packet(kCmdOfflineInfo, argument, OfflinePayload(argument, badSum))), 35);
}

TEST_F(SimUnitTest, RecordsTheBlocksItTookAndTheReset) {
  const Bytes data = Pattern(kChipKB * 1024, 5);
  Program(data);
  unit_.SetProtection(SimProtection::kWriteProtected);
  EXPECT_EQ(Result(Packet(kCmdProgramFlash, 0, ProgramPayload(data, 0))), 16);  // refused: not recorded
  EXPECT_EQ(unit_.ProgrammedBlocks(), (std::vector<uint16_t>{0, 4, 8, 12}));

  const Bytes block = Pattern(kDataBlockBytes, 6);
  EXPECT_EQ(Result(Packet(kCmdDownloadFlash, 8, block)), 6);
  EXPECT_EQ(Result(Packet(kCmdDownloadFlash, 12, block)), 6);
  EXPECT_EQ(Result(Packet(kCmdDownloadEep, 0, block)), 6);  // not a flash download block
  EXPECT_EQ(Result(Packet(kCmdDownloadFlash, 4, Bytes(100, 0))), 42);
  EXPECT_EQ(unit_.DownloadBlocks(), (std::vector<uint16_t>{8, 12}));
  EXPECT_EQ(unit_.DownloadedFlash(8 * 1024, kDataBlockBytes), block);

  const size_t before = unit_.Log().size();
  Bytes badReset = Packet(kCmdReset, 0x4552, {0, 0});
  badReset.back() ^= 1;
  line_.Send(badReset);
  line_.Send(Packet(kCmdReset, 0x4552, {0, 0}));
  ASSERT_TRUE(unit_.WaitForLog(before + 2, kReplyWait));
  EXPECT_EQ(unit_.ResetsReceived(), 1);
}

// A firmware block packet: three bytes of each group masked with the word W,
// the fourth 0, then the whole first half masked with the random second half.
Bytes FirmwareBlock(uint16_t block, const Bytes& firmware, uint16_t w) {
  Bytes p(kPacketHeaderBytes + kFirmwarePayloadBytes + kPacketCrcBytes, 0);
  p[0] = kCmdFirmwareBlock;
  p[1] = static_cast<uint8_t>(4 * block);
  Put16(p, kFirmwareMaskWordOffset, w);
  p[4] = 0x21;
  p[5] = 0x42;
  Put16(p, 6, kFirmwarePayloadBytes);
  const uint8_t wb[3] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)};
  const Bytes random = Pattern(kFirmwarePayloadBytes - kFirmwareBlockBytes, block + 100u);
  for (size_t j = 0; j < kFirmwarePayloadBytes - kFirmwareBlockBytes; ++j)
    p[8 + kFirmwareBlockBytes + j] = (j % 4 == 3) ? 0 : random[j] % 255;
  for (size_t j = 0; j < kFirmwareBlockBytes; ++j) {
    const uint8_t plain = (j % 4 == 3) ? 0 : firmware[block * kFirmwareBlockBytes + j] ^ wb[j % 4];
    p[8 + j] = plain ^ p[8 + kFirmwareBlockBytes + j];
  }
  Put16(p, p.size() - 2, PacketCrcRange(p.data(), 0, static_cast<uint32_t>(p.size() - 3)));
  return p;
}

TEST_F(SimUnitTest, FirmwareUpgradeStoresTheImageAndReportsTheNewVersion) {
  const Bytes firmware = Pattern(2 * kFirmwareBlockBytes, 9);
  unit_.SetUpgradeVersion("V2.3");
  EXPECT_EQ(Result(FirmwareBlock(0, firmware, 0x1357)), 6);
  Bytes corrupted = FirmwareBlock(1, firmware, 0x2468);
  corrupted[500] ^= 0x01;
  EXPECT_EQ(Result(corrupted), 35);
  EXPECT_EQ(Result(FirmwareBlock(1, firmware, 0x2468)), 6);
  EXPECT_EQ(unit_.FirmwareBlocksReceived(), 2);

  EXPECT_EQ(FinishAndIdentify(), "OrvantGengX-BEM V2.3,SimUnit");

  const Bytes stored = unit_.Firmware();
  for (size_t j = 0; j < firmware.size(); ++j)
    ASSERT_EQ(stored[j], (j % 4 == 3) ? 0 : firmware[j]) << j;
}

// After an upgrade the unit reports the version of the program's image file,
// unless a version of its own is set; a file without one changes nothing.
TEST_F(SimUnitTest, AfterAnUpgradeTheImageFilesVersionIsReported) {
  TempFolder folder("orv_simunit_image_");
  const std::string image = folder.Slashed() + "GenXBEM.FWR";
  struct Case {
    const char* what;
    std::string fileBytes;  // empty: no file
    std::string upgradeVersion;
    std::string reported;
  };
  const Case cases[] = {
      {"the file's version", std::string(7, 'm') + "V2.4" + std::string(20, '\0'), "", "V2.4"},
      {"its own version set", std::string(7, 'm') + "V2.4" + std::string(20, '\0'), "V3.0", "V3.0"},
      {"no file", "", "", "V1.0"},
      {"a field without a version", std::string(7, 'm') + "2.4" + std::string(20, '\0'), "", "V1.0"},
      {"a file shorter than the field", std::string(9, 'm'), "", "V1.0"},
  };
  const Bytes firmware = Pattern(kFirmwareBlockBytes, 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(image);
    if (!c.fileBytes.empty()) std::ofstream(image, std::ios::binary) << c.fileBytes;
    unit_.SetIdentity(SimIdentity{});
    unit_.SetUpgradeVersion(c.upgradeVersion);
    unit_.SetUpgradeImageFile(image);
    ASSERT_EQ(Result(FirmwareBlock(0, firmware, 0x1357)), 6);
    EXPECT_EQ(FinishAndIdentify(), "OrvantGengX-BEM " + c.reported + ",SimUnit");
  }
}

TEST_F(SimUnitTest, SendsStepReportsThatSumToZero) {
  unit_.SendStepReport(64, 0, 10, 64);
  const std::optional<Bytes> report = line_.NextReply();
  ASSERT_TRUE(report);
  ASSERT_EQ(report->size(), kStepReportBytes);
  EXPECT_EQ(Bytes(report->begin(), report->begin() + 7), (Bytes{0xFD, 64, 0, 10, 0, 64, 0}));
  EXPECT_EQ(std::accumulate(report->begin(), report->end(), 0) % 256, 0);
}

TEST_F(SimUnitTest, APacedUnitStillDeliversWholeReplies) {
  const Bytes data = Pattern(kChipKB * 1024, 13);
  unit_.WriteFlash(0, data);
  unit_.SetLineRate(kLineBaud);
  line_.Send(Packet(kCmdReadFlash, 4, OpPayload()));
  const std::optional<Bytes> block = line_.NextData();
  ASSERT_TRUE(block);
  EXPECT_EQ(*block, Bytes(data.begin() + 4096, data.begin() + 8192));
}

TEST(SimUnitLife, StopsWhileTheFarSideReadsNothing) {
  SimUnit unit;
  Line line(unit.SlavePath());
  unit.Start();
  // Far more than the line buffers hold: the writes block until Stop.
  constexpr size_t kOffered = 1024 * 1024;
  std::atomic<bool> senderDone{false};
  std::thread sender([&] {
    for (size_t i = 0; i < kOffered / 1024; ++i) unit.SendRaw(Bytes(1024, 0x55));
    senderDone = true;
  });
  // The first bytes are on the line, so the sender is under way when Stop comes.
  Bytes seen = line.ReadWaiting(kReplyWait, 1);
  EXPECT_FALSE(seen.empty());
  unit.Stop();
  sender.join();
  EXPECT_TRUE(senderDone);
  const Bytes rest = line.ReadWaiting(std::chrono::milliseconds(0));
  seen.insert(seen.end(), rest.begin(), rest.end());
  EXPECT_LT(seen.size(), kOffered) << "Stop cut the blocked writes short";
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 0x55), static_cast<std::ptrdiff_t>(seen.size()));
}

// Leaves exactly `free` descriptors to open: every number below the limit but
// the top `free` ones is taken. Returns false when that cannot be arranged.
bool LeaveFreeDescriptors(int free) {
  int top = -1;
  for (int i = 0; i < 64; ++i) top = std::max(top, open("/dev/null", O_RDONLY));
  if (top < 0) return false;
  const rlimit limit{static_cast<rlim_t>(top + 1 + free), static_cast<rlim_t>(top + 1 + free)};
  return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

TEST(SimUnitLifeDeathTest, WithoutAWakeUpDescriptorNoUnitIsMadeAndNothingStaysOpen) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // Room for the pseudo-terminal pair but not for the wake-up fd.
        if (!LeaveFreeDescriptors(2)) std::_Exit(2);
        try {
          SimUnit unit;
          std::_Exit(3);  // made without a way to stop it
        } catch (const std::runtime_error&) {
        }
        // The pair was closed again: both numbers can be opened once more.
        const bool closed = open("/dev/null", O_RDONLY) >= 0 && open("/dev/null", O_RDONLY) >= 0;
        std::_Exit(closed ? 0 : 4);
      },
      testing::ExitedWithCode(0), "");
}

TEST(SimUnitCrc, TheTestCrcIsCcittFalse) { EXPECT_EQ(Crc16({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x29B1); }

}  // namespace
