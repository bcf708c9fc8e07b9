// Every core entry point that takes a channel accepts 0..7 and ignores any
// other: nothing is written into a table or slot, no random value is drawn,
// and a sender reports failure.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "link/channel_log.h"
#include "link/commands.h"
#include "link/firmware.h"
#include "link/framing.h"
#include "link/identify.h"
#include "link/operation_steps.h"
#include "link/receive.h"
#include "link/reply_dispatch.h"
#include "link/wire.h"
#include "shared/state.h"
#include "toolkit/memo.h"
#include "toolkit/random.h"

namespace {

struct EntryPoint {
  const char* name;
  std::function<bool(uint8_t ch)> call;  // true: the entry point reported success
};

void PrintTo(const EntryPoint& e, std::ostream* os) { *os << e.name; }

const std::vector<EntryPoint>& EntryPoints() {
  static const std::vector<EntryPoint> points = {
      {"SendOpCommand", [](uint8_t ch) { return SendOpCommand(kCmdOperation, kOpErase, ch); }},
      {"SendProgramBlock", [](uint8_t ch) { return SendProgramBlock(kCmdProgramFlash, 0, 0, ch); }},
      {"SendConfigCommand", [](uint8_t ch) { return SendConfigCommand(ch); }},
      {"SendFlashDownloadBlock", [](uint8_t ch) { return SendFlashDownloadBlock(kCmdDownloadFlash, 0, 0, ch); }},
      {"SendEepDownloadBlock", [](uint8_t ch) { return SendEepDownloadBlock(kCmdDownloadEep, 0, 0, ch); }},
      {"SendOfflineInfo", [](uint8_t ch) { return SendOfflineInfo(kCmdOfflineInfo, 1, ch); }},
      {"SendReset", [](uint8_t ch) { return SendReset(ch); }},
      {"SendReadCommand", [](uint8_t ch) { return SendReadCommand(kCmdOperation, kOpReadAddress, ch); }},
      {"SendPacketWithCrc", [](uint8_t ch) { return SendPacketWithCrc(ch, 10); }},
      {"SendChannelFrame", [](uint8_t ch) { return SendChannelFrame(ch, 10); }},
      {"BuildParamBlock", [](uint8_t ch) { BuildParamBlock(8, 0, ch); return false; }},
      {"BuildOfflineInfo", [](uint8_t ch) { BuildOfflineInfo(ch); return false; }},
      {"PutStringField", [](uint8_t ch) { PutStringField("text", 8, 16, ch); return false; }},
      {"SendIdentify", [](uint8_t ch) { return SendIdentify(ch); }},
      {"HandleIdentifyReply", [](uint8_t ch) { uint16_t n = 0; HandleIdentifyReply(n, ch); return false; }},
      {"ExtractFrame", [](uint8_t ch) { uint16_t at = 0, n = 0; return ExtractFrame(ch, at, n); }},
      {"StartFirmwareUpgrade", [](uint8_t ch) { StartFirmwareUpgrade(ch); return false; }},
      {"FirmwareBlockDone", [](uint8_t ch) { FirmwareBlockDone(0, ch); return false; }},
      {"SendFirmwareBlock", [](uint8_t ch) { return SendFirmwareBlock(0, ch); }},
      {"SendFirmwareFinish", [](uint8_t ch) { return SendFirmwareFinish(ch); }},
      {"StartDownload", [](uint8_t ch) { StartDownload(ch); return false; }},
      {"StartAutoProgram", [](uint8_t ch) { StartAutoProgram(ch); return false; }},
      {"StartErase", [](uint8_t ch) { StartErase(ch); return false; }},
      {"StartReadEep", [](uint8_t ch) { StartReadEep(ch); return false; }},
      {"LogChannelLine", [](uint8_t ch) { LogChannelLine("line", ch); return false; }},
      {"BeginChannelProgress", [](uint8_t ch) { BeginChannelProgress(0, 4, ch); return false; }},
      {"EndChannelProgress", [](uint8_t ch) { EndChannelProgress(0, ch); return false; }},
      {"ReportResultCode", [](uint8_t ch) { ReportResultCode(6, ch); return false; }},
      {"ReportStepStatus", [](uint8_t ch) { ReportStepStatus(ch); return false; }},
      {"HandleReply", [](uint8_t ch) { HandleReply(ch, 10); return false; }},
      {"DispatchStepResult", [](uint8_t ch) { DispatchStepResult(6, ch); return false; }},
      {"OnReadFlashBlock", [](uint8_t ch) { OnReadFlashBlock(0, ch); return false; }},
      {"ReceiveChannelBlock", [](uint8_t ch) {
         const uint8_t block[] = {0xC0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xC0};
         ReceiveChannelBlock(ch, block, sizeof block);
         return false;
       }},
      {"ReceiveChannelError", [](uint8_t ch) { ReceiveChannelError(ch); return false; }},
  };
  return points;
}

class ChannelPolicyTest : public ::testing::TestWithParam<EntryPoint> {
protected:
  void SetUp() override {
    g.LogMemo = &memo_;
    g.ImageValid = 1;  // so that a firmware upgrade would start on a good channel
    g.RxCount[0] = 0;
    // The spare slot holds a pattern that any write would change.
    std::memset(g.TxPacket[kChannels], 0xEE, kTxPacketBytes);
    std::memset(g.TxFrame[kChannels], 0xEE, kFrameBytes);
    // A valid step report in the spare slot: it would be shown were 8 accepted.
    const uint8_t report[kStepReportBytes] = {kStepReportMark, 1, 0, 0, 0, 0, 0, 0x02};
    std::memcpy(g.TxPacket[kChannels], report, sizeof report);
  }
  TMemo memo_;
};

TEST_P(ChannelPolicyTest, ChannelsPastSevenAreIgnored) {
  for (const int ch : {kChannels, kChannelSlots, 255}) {
    SCOPED_TRACE("channel " + std::to_string(ch));
    const uint32_t seed = RandSeed();
    EXPECT_FALSE(GetParam().call(static_cast<uint8_t>(ch)));
    EXPECT_EQ(RandSeed(), seed) << "a random value was drawn";
    EXPECT_EQ(memo_.Lines().size(), 0u);
  }
  const uint8_t* spare = g.TxPacket[kChannels];
  EXPECT_EQ(spare[0], kStepReportMark);
  EXPECT_EQ(std::vector<uint8_t>(spare + kStepReportBytes, spare + kTxPacketBytes),
            std::vector<uint8_t>(kTxPacketBytes - kStepReportBytes, 0xEE));
  EXPECT_EQ(g.TxFrame[kChannels][0], 0xEE);
  EXPECT_EQ(g.ChannelState[kChannels], TChannelState::Unidentified);
  EXPECT_EQ(g.ChannelBusy[kChannels], 0);
  EXPECT_EQ(g.ChannelTimer[kChannels], 0);
  EXPECT_EQ(g.ChannelAuto[kChannels], 0);
  EXPECT_EQ(g.RxCount[kChannels], 0);
}

INSTANTIATE_TEST_SUITE_P(EveryEntryPoint, ChannelPolicyTest, ::testing::ValuesIn(EntryPoints()),
                         [](const ::testing::TestParamInfo<EntryPoint>& info) { return std::string(info.param.name); });

// The last good channel is served: the edge is 7, not 6.
TEST(ChannelPolicyEdge, ChannelSevenIsServed) {
  TMemo memo;
  g.LogMemo = &memo;
  LogChannelLine("line", 7);
  EXPECT_EQ(memo.Lines().size(), 1u);
  BuildParamBlock(8, 0, 7);
  EXPECT_NE(RandSeed(), 0u) << "the parameter block draws its random bytes";
}

}  // namespace
