#include "link/reply_dispatch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/checksums.h"
#include "link/framing.h"
#include "link/operation_steps.h"
#include "link/receive.h"
#include "link/wire.h"
#include "shared/main_window.h"
#include "shared/state.h"
#include "support/process_state.h"
#include "support/reply_frames.h"
#include "toolkit/clock.h"
#include "toolkit/combo_box.h"
#include "toolkit/gauge.h"
#include "toolkit/le_bytes.h"
#include "toolkit/memo.h"
#include "toolkit/scripted_dialogs.h"
#include "support/stand_in_window.h"

namespace {

// The command a handler sent next: what lies framed in the channel's TxFrame.
// The reply itself is decoded into TxPacket, so only a new frame tells.
struct SentCommand {
  uint8_t code;
  uint16_t argument;
  bool operator==(const SentCommand&) const = default;
};
void PrintTo(const SentCommand& c, std::ostream* os) {
  *os << "command 0x" << std::hex << int{c.code} << " argument " << std::dec << c.argument;
}

class ReplyDispatchTest : public ::testing::Test {
protected:
  static constexpr uint8_t kCh = 2;

  void SetUp() override {
    SetClockForTest([] { return MakeLocalTime(2026, 3, 4, 10, 11, 12); });
    SetLocaleFormatsForTest("%Y-%m-%d", "%H:%M:%S");
    g.LogMemo = &memo_;
    g.OrvantBEMxPrg = &window_;
    for (int ch = 0; ch < kChannels; ++ch) g.ChannelGauge[ch] = &gauges_[ch];
    g.RomSizeKB = 16;
    g.FlashStart = 0;
    g.FlashEnd = 0x3FFF;
    g.ChannelLinked[kCh] = 1;
  }

  // The channel in the middle of a step, as its starter left it.
  void EnterStep(TChannelState state, bool autoRun, uint16_t blockIndex = 0, uint16_t blockCount = 16) {
    g.ChannelState[kCh] = state;
    g.ChannelAuto[kCh] = autoRun ? 1 : 0;
    g.ChannelBusy[kCh] = 1;
    g.ChannelTimer[kCh] = 777;
    g.BlockIndex[kCh] = blockIndex;
    g.BlockCount[kCh] = blockCount;
    gauges_[kCh].SetMaxValue(100);
    gauges_[kCh].SetProgress(3);
    gauges_[kCh].SetForeColor(clBlack);
  }

  // The frame arrives on the channel as one block.
  void Receive(const ReplyBytes& frame) {
    std::memset(g.TxFrame[kCh], 0, sizeof g.TxFrame[kCh]);
    memo_.Clear();
    ReceiveChannelBlock(kCh, frame.data(), static_cast<uint16_t>(frame.size()));
  }

  std::optional<SentCommand> Sent() const {
    if (g.TxFrame[kCh][0] != 0xC0) return std::nullopt;
    uint8_t frame[kFrameBytes];
    std::memcpy(frame, g.TxFrame[kCh], sizeof frame);
    uint8_t packet[kTxPacketBytes];
    uint16_t length = 0;
    uint16_t count = static_cast<uint16_t>(sizeof frame);
    if (SlipDecode(frame, packet, sizeof packet, length, count) != kFrameOk) return SentCommand{0, 0};
    return SentCommand{packet[0], GetLe16(packet + 1)};
  }

  // The texts of the channel's log lines, without time and channel.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    const std::string prefix = "> 10:11:12 C" + std::to_string(kCh + 1) + ": ";
    for (const std::string& line : memo_.Lines())
      texts.push_back(line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : "?" + line);
    return texts;
  }

  ScriptedMessageBoxes boxes_;
  TMemo memo_;
  TGauge gauges_[kChannels];
  StandInWindow window_;
};

// --- One reply in one state ---

constexpr uint32_t kUntouched = clBlack;  // the gauge colour EnterStep leaves

struct DispatchCase {
  const char* name;
  TChannelState state;
  bool autoRun;
  ReplyBytes frame;
  uint16_t blockIndex = 0;
  uint16_t blockCount = 16;
  uint8_t interfaceFlags = 0;
  uint8_t checkFlags = 0;
  // What follows.
  std::optional<SentCommand> sent{};
  std::vector<std::string> log{};
  uint32_t colour = kUntouched;
  TChannelState endState = TChannelState::Idle;
  uint8_t busy = 0;
  uint16_t endBlockIndex = 0;
  uint8_t downloadOk = 0;
  int32_t totalOk = 0;
  int serialAdvances = 0;
};
void PrintTo(const DispatchCase& c, std::ostream* os) { *os << c.name; }

ReplyBytes Result(uint8_t code) { return Framed(ResultReply(code)); }
ReplyBytes Check(uint8_t result) { return Framed(CheckReply(result, 0x1A2B, 0x3C4D)); }
ReplyBytes Data(size_t bytes, uint8_t fill = 0x5A) { return Framed(ReplyPacket(ReplyBytes(bytes, fill))); }
ReplyBytes BadCrc() {
  ReplyBytes packet = ResultReply(6);
  packet.back() ^= 0x01;
  return Framed(packet);
}
ReplyBytes BadEscape() { return {0xC0, 0x93, 0xDB, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0}; }
ReplyBytes ProgrammingReport() { return Framed(StepReport(64, 0, 0, 16)); }

using S = TChannelState;
constexpr auto kBlankCheck = SentCommand{kCmdOperation, kOpBlankCheck};
constexpr auto kErase = SentCommand{kCmdOperation, kOpErase};
constexpr auto kVerify = SentCommand{kCmdOperation, kOpVerify};
constexpr auto kWriteConfig = SentCommand{kCmdOperation, kOpWriteConfig};
constexpr auto kProgramBlock0 = SentCommand{kCmdProgramFlash, 0};
constexpr const char* kProgramStart = "开始Main Flash数据编程......";
constexpr const char* kEraseStart = "执行芯片擦除......";

// clang-format off
const DispatchCase kDispatchCases[] = {
  // Off-line information block and download.
  {.name = "DownloadStartAck0", .state = S::DownloadStart, .autoRun = false, .frame = Result(0),
   .sent = SentCommand{kCmdDownloadFlash, 0}, .colour = clBlue, .endState = S::DownloadFlash, .busy = 1},
  {.name = "DownloadStartAck6", .state = S::DownloadStart, .autoRun = false, .frame = Result(6),
   .sent = SentCommand{kCmdDownloadFlash, 0}, .colour = clBlue, .endState = S::DownloadFlash, .busy = 1},
  {.name = "DownloadStartFails", .state = S::DownloadStart, .autoRun = false, .frame = Result(37),
   .log = {"不认识的命令！"}, .colour = clRed},
  {.name = "DownloadNextBlock", .state = S::DownloadFlash, .autoRun = false, .frame = Result(6), .blockIndex = 4,
   .sent = SentCommand{kCmdDownloadFlash, 8}, .endState = S::DownloadFlash, .busy = 1, .endBlockIndex = 8},
  {.name = "DownloadLastBlockCountsResets", .state = S::DownloadFlash, .autoRun = false, .frame = Result(0), .blockIndex = 12,
   .sent = SentCommand{kCmdReset, 'R' | ('E' << 8)}, .log = {"数据下载操作成功！"}, .colour = clBlue, .endBlockIndex = 16, .downloadOk = 1},
  {.name = "DownloadBlockFails", .state = S::DownloadFlash, .autoRun = false, .frame = Result(44), .blockIndex = 4,
   .log = {"Flash Memory错误！"}, .colour = clRed, .endBlockIndex = 4},
  // Erase.
  {.name = "EraseInAutoPrograms", .state = S::Erase, .autoRun = true, .frame = Result(6),
   .sent = kProgramBlock0, .log = {"擦除芯片操作成功！", kProgramStart}, .colour = clBlue, .endState = S::ProgramFlash, .busy = 1},
  {.name = "EraseAloneEnds", .state = S::Erase, .autoRun = false, .frame = Result(0),
   .log = {"擦除芯片操作成功！"}, .colour = clBlue},
  {.name = "EraseFails", .state = S::Erase, .autoRun = true, .frame = Result(11),
   .log = {"芯片没有响应！"}, .colour = clRed},
  // Blank check, by status, with and without Auto.
  {.name = "BlankInAutoPrograms", .state = S::BlankCheck, .autoRun = true, .frame = Result(0),
   .sent = kProgramBlock0, .log = {"芯片为空！", kProgramStart}, .colour = clBlue, .endState = S::ProgramFlash, .busy = 1},
  {.name = "OneByteSixToBlankCheckInAutoPrograms", .state = S::BlankCheck, .autoRun = true, .frame = Result(6),
   .sent = kProgramBlock0, .log = {"芯片为空！", kProgramStart}, .colour = clBlue, .endState = S::ProgramFlash, .busy = 1},
  {.name = "BlankAloneEndsBlue", .state = S::BlankCheck, .autoRun = false, .frame = Result(6),
   .log = {"芯片为空！"}, .colour = clBlue},
  {.name = "NotBlankInAutoErases", .state = S::BlankCheck, .autoRun = true, .frame = Result(21),
   .sent = kErase, .log = {"芯片不为空！", kEraseStart}, .colour = clBlue, .endState = S::Erase, .busy = 1},
  {.name = "NotBlankAloneEndsRedWithoutMessage", .state = S::BlankCheck, .autoRun = false, .frame = Result(21),
   .log = {"芯片不为空！"}, .colour = clRed},
  {.name = "NotBlankInAutoWithStopOnNotBlankEndsRedUnerased", .state = S::BlankCheck, .autoRun = true, .frame = Result(21),
   .checkFlags = 0xC0, .log = {"芯片不为空！"}, .colour = clRed},
  {.name = "BlankInAutoWithStopOnNotBlankPrograms", .state = S::BlankCheck, .autoRun = true, .frame = Result(6),
   .checkFlags = 0x40, .sent = kProgramBlock0, .log = {"芯片为空！", kProgramStart}, .colour = clBlue, .endState = S::ProgramFlash, .busy = 1},
  {.name = "Status16InAutoErases", .state = S::BlankCheck, .autoRun = true, .frame = Result(16),
   .sent = kErase, .log = {"芯片已读保护，需要擦除芯片！", kEraseStart}, .colour = clBlue, .endState = S::Erase, .busy = 1},
  {.name = "Status16AloneReportsWriteProtection", .state = S::BlankCheck, .autoRun = false, .frame = Result(16),
   .log = {"芯片已被写保护！"}, .colour = clRed},
  {.name = "Status19InAutoErases", .state = S::BlankCheck, .autoRun = true, .frame = Result(19),
   .sent = kErase, .log = {"芯片已读保护，需要擦除芯片！", kEraseStart}, .colour = clBlue, .endState = S::Erase, .busy = 1},
  {.name = "Status19AloneReports", .state = S::BlankCheck, .autoRun = false, .frame = Result(19),
   .log = {"芯片已被读保护！"}, .colour = clRed},
  {.name = "Status90InAutoErases", .state = S::BlankCheck, .autoRun = true, .frame = Result(90),
   .sent = kErase, .log = {"芯片已写保护，需要擦除芯片！", kEraseStart}, .colour = clBlue, .endState = S::Erase, .busy = 1},
  {.name = "Status90AloneReports", .state = S::BlankCheck, .autoRun = false, .frame = Result(90),
   .log = {"非法操作，芯片可能被保护！"}, .colour = clRed},
  {.name = "OtherStatusToBlankCheckReports", .state = S::BlankCheck, .autoRun = true, .frame = Result(200),
   .log = {"操作失败！错误代码: 0200(0xC8)！"}, .colour = clRed},
  {.name = "DataReplyToBlankCheckIsBlank", .state = S::BlankCheck, .autoRun = false, .frame = Data(4),
   .log = {"芯片为空！"}, .colour = clBlue},
  {.name = "BadPacketCrc", .state = S::BlankCheck, .autoRun = true, .frame = BadCrc(),
   .log = {"数据包校验错误！"}, .colour = clRed},
  {.name = "BadFrame", .state = S::BlankCheck, .autoRun = true, .frame = BadEscape(),
   .log = {"数据包错误！"}, .colour = clRed},
  // Programming.
  {.name = "ProgramNextBlock", .state = S::ProgramFlash, .autoRun = true, .frame = Result(6), .blockIndex = 0,
   .sent = SentCommand{kCmdProgramFlash, 4}, .endState = S::ProgramFlash, .busy = 1, .endBlockIndex = 4},
  {.name = "ProgramLastBlockInAutoVerifies", .state = S::ProgramFlash, .autoRun = true, .frame = Result(0), .blockIndex = 12,
   .sent = kVerify, .log = {"数据编程操作成功！", "开始Main Flash数据校验......"}, .colour = clBlue,
   .endState = S::VerifyFlash, .busy = 1, .endBlockIndex = 0},
  {.name = "ProgramLastBlockAloneEnds", .state = S::ProgramFlash, .autoRun = false, .frame = Result(6), .blockIndex = 12,
   .log = {"数据编程操作成功！"}, .colour = clBlue, .endBlockIndex = 16},
  {.name = "ProgramBlockNearTheTopEndsInsteadOfWrapping", .state = S::ProgramFlash, .autoRun = false, .frame = Result(6),
   .blockIndex = 65532, .blockCount = 65535, .log = {"数据编程操作成功！"}, .colour = clBlue, .endBlockIndex = 65535},
  {.name = "ProgramBlockFails", .state = S::ProgramFlash, .autoRun = true, .frame = Result(44), .blockIndex = 8,
   .log = {"Flash Memory错误！"}, .colour = clRed, .endBlockIndex = 8},
  {.name = "StepReportDuringProgrammingLeavesTheBlock", .state = S::ProgramFlash, .autoRun = true,
   .frame = ProgrammingReport(), .blockIndex = 8, .log = {"Do Main Flash Programming...."}, .colour = clBlue,
   .endState = S::ProgramFlash, .busy = 1, .endBlockIndex = 8},
  // Verification.
  {.name = "VerifyMatchAloneEnds", .state = S::VerifyFlash, .autoRun = false, .frame = Check(6),
   .log = {"Verify Success : Chip CRC16 is 0x1A2B."}, .colour = clBlue},
  {.name = "VerifyMatchInAutoEndsTheRun", .state = S::VerifyFlash, .autoRun = true, .frame = Check(6),
   .log = {"Verify Success : Chip CRC16 is 0x1A2B.", "自动编程操作成功！"}, .colour = clBlue, .serialAdvances = 1},
  {.name = "VerifyMatchInAutoWithConfigBitWritesConfig", .state = S::VerifyFlash, .autoRun = true, .frame = Check(6),
   .interfaceFlags = 0x20, .sent = kWriteConfig,
   .log = {"Verify Success : Chip CRC16 is 0x1A2B.", "写入芯片配置数据......"}, .colour = clBlue,
   .endState = S::WriteConfig, .busy = 1},
  {.name = "VerifyMismatchEndsRedWithoutMessage", .state = S::VerifyFlash, .autoRun = true, .frame = Check(48),
   .log = {"Verify Error : Chip CRC16 is 0x1A2B/0x3C4D."}, .colour = clRed},
  {.name = "VerifyOtherResultReports", .state = S::VerifyFlash, .autoRun = true, .frame = Check(52),
   .log = {"芯片校验和不正确！"}, .colour = clRed},
  {.name = "OneByteSixToVerifyEndsWithoutCrcLine", .state = S::VerifyFlash, .autoRun = true, .frame = Result(6),
   .log = {"操作成功！"}, .colour = clBlue},
  {.name = "ShortVerifyReplyIsABadFrame", .state = S::VerifyFlash, .autoRun = true, .frame = Data(5, 6),
   .log = {"数据包错误！"}, .colour = clRed},
  {.name = "EmptyVerifyReplyIsABadFrame", .state = S::VerifyFlash, .autoRun = true, .frame = Data(0),
   .log = {"数据包错误！"}, .colour = clRed},
  // Configuration write.
  {.name = "ConfigInAutoCountsTheRun", .state = S::WriteConfig, .autoRun = true, .frame = Result(6),
   .log = {"写芯片Config Data操作成功！"}, .colour = clBlue, .totalOk = 1, .serialAdvances = 1},
  {.name = "ConfigAloneCountsNothing", .state = S::WriteConfig, .autoRun = false, .frame = Result(0),
   .log = {"写芯片Config Data操作成功！"}, .colour = clBlue},
  {.name = "ConfigFails", .state = S::WriteConfig, .autoRun = true, .frame = Result(79),
   .log = {"写Option Byte出错！"}, .colour = clRed},
  // Reads.
  {.name = "OneByteSixToFlashReadReports", .state = S::ReadFlash, .autoRun = false, .frame = Result(6),
   .log = {"操作成功！"}, .colour = clBlue},
  {.name = "ShortFlashReadBlockIsABadFrame", .state = S::ReadFlash, .autoRun = false, .frame = Data(4095),
   .log = {"数据包错误！"}, .colour = clRed},
  {.name = "ChecksumMatch", .state = S::ReadChecksum, .autoRun = false, .frame = Check(6),
   .log = {"Read Chip CRC16 is 0x1A2B/0x3C4D."}, .colour = clBlue},
  {.name = "ChecksumDiffersIsAnAnswerToo", .state = S::ReadChecksum, .autoRun = false, .frame = Check(48),
   .log = {"Read Chip CRC16 is 0x1A2B/0x3C4D."}, .colour = clBlue},
  {.name = "ChecksumOtherResultReports", .state = S::ReadChecksum, .autoRun = false, .frame = Check(19),
   .log = {"芯片已被读保护！"}, .colour = clRed},
  {.name = "ShortChecksumReplyIsABadFrame", .state = S::ReadChecksum, .autoRun = false, .frame = Data(3, 6),
   .log = {"数据包错误！"}, .colour = clRed},
  {.name = "ChipIdLineEndsWithABlank", .state = S::ReadChipId, .autoRun = false,
   .frame = Framed(ReplyPacket({0x01, 0xAB, 0x02, 0xCD, 0x0E, 0xF0, 0x00, 0x11, 0x7F, 0x80, 0xC0, 0xDB})),
   .log = {"UID=01 AB 02 CD 0E F0 00 11 7F 80 C0 DB "}, .colour = clBlue},
  {.name = "ShortChipIdIsABadFrame", .state = S::ReadChipId, .autoRun = false, .frame = Data(11),
   .log = {"数据包错误！"}, .colour = clRed},
  {.name = "ChipIdNeedsData", .state = S::ReadChipId, .autoRun = false, .frame = Result(6),
   .log = {"操作成功！"}, .colour = clBlue},
  // States without a handler only clear the busy flag.
  {.name = "ReadAddressOnlyClearsBusy", .state = S::ReadAddress, .autoRun = false, .frame = Data(64),
   .endState = S::ReadAddress},
  {.name = "IdleOnlyClearsBusy", .state = S::Idle, .autoRun = true, .frame = Result(21)},
  {.name = "UnofferedEepDownloadOnlyClearsBusy", .state = S::DownloadEep, .autoRun = false, .frame = Result(6),
   .endState = S::DownloadEep},
  {.name = "StepReportWhenIdleIsShown", .state = S::Idle, .autoRun = false, .frame = ProgrammingReport(),
   .log = {"Do Main Flash Programming...."}, .colour = clBlue, .busy = 1},
};
// clang-format on

class DispatchTable : public ReplyDispatchTest, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(DispatchTable, OneReplyInOneState) {
  const DispatchCase& c = GetParam();
  g.InterfaceFlags = c.interfaceFlags;
  g.CheckFlags = c.checkFlags;
  EnterStep(c.state, c.autoRun, c.blockIndex, c.blockCount);
  Receive(c.frame);

  EXPECT_EQ(Sent(), c.sent);
  EXPECT_EQ(LogTexts(), c.log);
  EXPECT_EQ(gauges_[kCh].ForeColor(), c.colour);
  EXPECT_EQ(g.ChannelState[kCh], c.endState);
  EXPECT_EQ(g.ChannelBusy[kCh], c.busy);
  EXPECT_EQ(g.BlockIndex[kCh], c.endBlockIndex);
  EXPECT_EQ(g.DownloadOkCount, c.downloadOk);
  EXPECT_EQ(g.TotalOk, c.totalOk);
  EXPECT_EQ(window_.serialAdvances, c.serialAdvances);
  EXPECT_EQ(g.ChannelAuto[kCh], c.autoRun ? 1 : 0);  // only read here
}

INSTANTIATE_TEST_SUITE_P(Replies, DispatchTable, ::testing::ValuesIn(kDispatchCases),
                         [](const ::testing::TestParamInfo<DispatchCase>& info) { return std::string(info.param.name); });

// --- Sequences and what a single reply cannot show ---

TEST_F(ReplyDispatchTest, ProgrammingAcknowledgementsRearmTheTimeOutButReportsDoNot) {
  EnterStep(TChannelState::ProgramFlash, true, 4);
  // Any block reloads the time-out with 1000; only an acknowledgement sets 300.
  Receive(Framed(StepReport(64, 0, 5, 16)));
  EXPECT_EQ(g.ChannelTimer[kCh], 1000);
  Receive(Result(6));
  EXPECT_EQ(g.ChannelTimer[kCh], 300);
  EXPECT_EQ(gauges_[kCh].Progress(), 9);  // BlockIndex + 1
}

TEST_F(ReplyDispatchTest, SixteenKilobyteFlashReadTakesFourBlocksThenShowsTheView) {
  g.FlashStart = 0x100;
  g.FlashEnd = 0x3FFF;
  std::memset(g.FlashImage, 0xEE, 0x5000);
  StartReadFlash(kCh);
  std::vector<uint16_t> arguments{Sent()->argument};
  for (uint8_t block = 0; block < 4; ++block) {
    Receive(Data(4096, static_cast<uint8_t>(0x10 + block)));
    if (const auto sent = Sent()) {
      EXPECT_EQ(sent->code, kCmdReadFlash);
      arguments.push_back(sent->argument);
    }
  }
  EXPECT_EQ(arguments, (std::vector<uint16_t>{0, 4, 8, 12}));
  for (size_t i = 0; i < 0x4000; ++i) ASSERT_EQ(g.FlashImage[i], 0x10 + i / 4096) << i;
  EXPECT_EQ(g.FlashImage[0x4000], 0xEE);
  EXPECT_EQ(g.DataLoaded, 1);
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"Main Flash读取成功！"}));
  // The checksums are those of the chip's data over the flash range, shown
  // as after a load, and no file is named for them any more.
  EXPECT_EQ(g.ImageCrc16, Crc16Range(g.FlashImage, 0x100, 0x3FFF));
  EXPECT_EQ(g.ImagePacketCrc, PacketCrcRange(g.FlashImage, 0x100, 0x3FFF));
  EXPECT_EQ(g.ImageSum32, SumRange(g.FlashImage, 0x100, 0x3FFF));
  EXPECT_EQ(g.ImageSum16, static_cast<uint16_t>(g.ImageSum32));
  EXPECT_EQ(window_.shownChecksums, std::vector<uint16_t>{g.ImageCrc16});
  EXPECT_EQ(window_.dataFromChip, 1);
  ASSERT_EQ(window_.flashGrids.size(), 1u);
  EXPECT_EQ(window_.flashGrids[0], std::make_pair(uint32_t{0x100}, uint32_t{0x3FFF}));
  EXPECT_EQ(g.ChannelState[kCh], TChannelState::Idle);
  EXPECT_EQ(gauges_[kCh].ForeColor(), clBlue);
}

TEST_F(ReplyDispatchTest, FlashReadWithEepGoesOnToTheEepRead) {
  g.EepSize = 256;
  EnterStep(TChannelState::ReadFlash, false, 12);
  Receive(Data(4096));
  EXPECT_EQ(Sent(), (SentCommand{kCmdReadEep, 0}));
  EXPECT_EQ(g.ChannelState[kCh], TChannelState::ReadEep);
}

TEST_F(ReplyDispatchTest, FlashReadBlockPastTheImageWritesNothing) {
  g.BaseAddress = kFlashImageBytes - 2048;
  g.FlashImage[kFlashImageBytes - 1] = 0x77;
  EnterStep(TChannelState::ReadFlash, false, 0);
  Receive(Data(4096, 0x11));
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"地址空间超出芯片范围！"}));
  EXPECT_EQ(g.FlashImage[kFlashImageBytes - 1], 0x77);
  EXPECT_EQ(g.FlashImage[kFlashImageBytes - 2048], 0);
  EXPECT_FALSE(Sent().has_value());
  EXPECT_EQ(g.ChannelBusy[kCh], 0);
}

TEST_F(ReplyDispatchTest, SmallEepComesWholeInOneBlock) {
  g.EepSize = 512;
  std::memset(g.EepImage, 0xEE, 1024);
  EnterStep(TChannelState::ReadEep, false, 0);
  Receive(Data(4096, 0x33));
  for (size_t i = 0; i < 512; ++i) ASSERT_EQ(g.EepImage[i], 0x33) << i;
  EXPECT_EQ(g.EepImage[512], 0xEE);
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"读取EEP数据成功！"}));
  EXPECT_EQ(window_.eepGrids, 1);
  EXPECT_EQ(gauges_[kCh].ForeColor(), clBlue);
}

TEST_F(ReplyDispatchTest, LargeEepComesInBlocksAndTakesOnlyItsShareOfTheLast) {
  g.EepSize = 6144;
  std::memset(g.EepImage, 0xEE, sizeof g.EepImage);
  EnterStep(TChannelState::ReadEep, false, 0);
  Receive(Data(4096, 0x01));
  EXPECT_EQ(Sent(), (SentCommand{kCmdReadEep, 4}));
  // The unit may send just the bytes that are left.
  Receive(Data(2048, 0x02));
  EXPECT_FALSE(Sent().has_value());
  for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(g.EepImage[i], 0x01) << i;
  for (size_t i = 4096; i < 6144; ++i) ASSERT_EQ(g.EepImage[i], 0x02) << i;
  EXPECT_EQ(g.EepImage[6144], 0xEE);
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"读取EEP数据成功！"}));
  EXPECT_EQ(window_.eepGrids, 1);
}

TEST_F(ReplyDispatchTest, EepBlockPastTheImageWritesNothingAndShortOnesAreBad) {
  g.EepSize = 20000;  // more than the EEP image holds
  g.EepImage[sizeof g.EepImage - 1] = 0x77;
  EnterStep(TChannelState::ReadEep, false, 16);
  Receive(Data(4096, 0x11));
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"地址空间超出芯片范围！"}));
  EXPECT_EQ(g.EepImage[sizeof g.EepImage - 1], 0x77);

  g.EepSize = 6144;
  EnterStep(TChannelState::ReadEep, false, 4);
  Receive(Data(2047, 0x11));
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"数据包错误！"}));
  EXPECT_EQ(g.EepImage[4096], 0);
}

TEST_F(ReplyDispatchTest, AutoProgramChainRunsToTheConfigurationWriteAndCountsOnce) {
  g.InterfaceFlags = 0x20;
  g.RomSizeKB = 8;
  StartAutoProgram(kCh);
  const std::vector<ReplyBytes> replies = {Result(21), Result(6), Result(6), Result(6), Check(6), Result(6)};
  std::vector<std::string> all;
  for (const ReplyBytes& reply : replies) {
    Receive(reply);
    for (const std::string& text : LogTexts()) all.push_back(text);
  }
  EXPECT_EQ(all, (std::vector<std::string>{"芯片不为空！", kEraseStart, "擦除芯片操作成功！", kProgramStart,
                                           "数据编程操作成功！", "开始Main Flash数据校验......",
                                           "Verify Success : Chip CRC16 is 0x1A2B.", "写入芯片配置数据......",
                                           "写芯片Config Data操作成功！"}));
  EXPECT_EQ(g.TotalOk, 1);
  EXPECT_EQ(window_.serialAdvances, 1);
  EXPECT_EQ(g.ChannelState[kCh], TChannelState::Idle);
  EXPECT_EQ(gauges_[kCh].ForeColor(), clBlue);
}

TEST_F(ReplyDispatchTest, FirmwareUpgradeStateHasItsRow) {
  EnterStep(TChannelState::FirmwareUpgrade, false, 0, 3);
  Receive(Result(6));
  EXPECT_EQ(g.BlockIndex[kCh], 1);
  ASSERT_TRUE(Sent().has_value());
  EXPECT_EQ(Sent()->code, kCmdFirmwareBlock);
  EXPECT_EQ(g.ChannelState[kCh], TChannelState::FirmwareUpgrade);
}

// What a data handler may read is part of the process state: after its reset
// (a test's clean start) no earlier reply's length is left to read by.
TEST_F(ReplyDispatchTest, ResetLeavesNoEarlierReplyForADataHandler) {
  EnterStep(S::ReadChipId, false);
  Receive(Data(kChipIdBytes, 0x00));
  ASSERT_EQ(LogTexts(), std::vector<std::string>{"UID=00 00 00 00 00 00 00 00 00 00 00 00 "});
  ResetProcessState();
  SetUp();
  EnterStep(S::ReadChipId, false);
  memo_.Clear();
  DispatchStepResult(0, kCh);
  EXPECT_EQ(LogTexts(), std::vector<std::string>{"数据包错误！"});
}

TEST_F(ReplyDispatchTest, ChannelsPastSevenAreIgnored) {
  g.ChannelBusy[8] = 1;
  g.ChannelState[8] = TChannelState::BlankCheck;
  const ReplyBytes frame = Result(6);
  std::memcpy(g.RxFrame[8], frame.data(), frame.size() - 5);
  HandleReply(8, static_cast<uint16_t>(frame.size() - 5));
  DispatchStepResult(6, 8);
  DispatchStepResult(6, 200);
  OnBlankCheckDone(6, 8);
  OnReadFlashBlock(0, 9);
  EXPECT_EQ(g.ChannelBusy[8], 1);
  EXPECT_EQ(g.ChannelState[8], TChannelState::BlankCheck);
  EXPECT_EQ(memo_.Count(), 0u);
}

}  // namespace
