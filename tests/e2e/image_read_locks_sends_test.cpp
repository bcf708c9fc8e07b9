// No unit is sent an image that a chip read is filling: while a slow unit's
// read runs on channel 1, Auto Program, the download, programming and
// verification each log why and send nothing to any unit; blank check and
// erase, which carry no image, go ahead. Once the read is over, a run sends
// every unit the chip's image, whole. End to end on eight simulated units.
#include <QAction>
#include <QToolButton>

#include "console/command_guards.h"
#include "support/eight_channels.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t kReadUnit = 0;  // the chip read's channel
constexpr auto kSlowRead = 300ms;  // a 32 KB chip is 8 read blocks: 2.4 s
constexpr uint32_t kBlockBytes = 4096;

struct SendCommand {
  const char* name;
  QToolButton* TOrvantBEMxPrg::*button;
};
const SendCommand kSendCommands[] = {
    {"Auto Program", &TOrvantBEMxPrg::AutoSpdBtn},
    {"Download", &TOrvantBEMxPrg::SpdBtnDownLoad},
    {"Program", &TOrvantBEMxPrg::SpdBtnProg},
    {"Verify", &TOrvantBEMxPrg::SpdBtnVerify},
};

class ImageReadTest : public EightChannelTest {
 protected:
  static bool EndsWith(const std::string& line, const std::string& tail) {
    return line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
  }
  // Every packet that carries image bytes, from the offset from on: each of
  // its blocks must be that of want at the block's address.
  static void ExpectBlocksOf(const SimUnit& unit, size_t from, const Bytes& want, size_t wantBlocks) {
    const std::vector<SimPacket> log = unit.Log();
    size_t blocks = 0;
    for (size_t i = from; i < log.size(); ++i) {
      const SimPacket& packet = log[i];
      if (packet.Command() != kCmdProgramFlash && packet.Command() != kCmdDownloadFlash) continue;
      ++blocks;
      const size_t at = size_t{packet.Argument()} * 1024;
      ASSERT_GE(packet.bytes.size(), kPacketHeaderBytes + kParamBlockBytes + kBlockBytes);
      ASSERT_LE(at + kBlockBytes, want.size());
      const auto data = packet.bytes.begin() + kPacketHeaderBytes + kParamBlockBytes;
      EXPECT_TRUE(std::equal(data, data + kBlockBytes, want.begin() + static_cast<ptrdiff_t>(at))) << "block at " << at;
    }
    EXPECT_EQ(blocks, wantBlocks);
  }
};

TEST_F(ImageReadTest, SendsWaitForTheChipReadAndEveryBlockIsOfOneImage) {
  ShowAndSearch();
  ChooseChip("FU6813N");
  LoadFile("job.bin", image);
  ASSERT_EQ(Held(), image);
  // The chip on channel 1 holds another job, read slowly.
  const Bytes chip = PatternImage(kImageBytes, 11);
  farm->Unit(kReadUnit).SetChipSize(kImageBytes);
  farm->Unit(kReadUnit).WriteFlash(0, chip);
  farm->Unit(kReadUnit).SetLatencies({.read = kSlowRead});
  std::vector<size_t> logBefore(kUnits);
  for (size_t ch = 0; ch < kUnits; ++ch) logBefore[ch] = farm->Unit(ch).Log().size();

  window->ReadChipMemory1->trigger();
  ASSERT_TRUE(WaitFor([&] { return g.BlockIndex[kReadUnit] >= 4; }));
  for (const SendCommand& command : kSendCommands) {
    SCOPED_TRACE(command.name);
    const size_t lines = window->InfoMemo().Count();
    (window.get()->*command.button)->click();
    const std::vector<std::string> log = window->InfoMemo().Lines();
    EXPECT_EQ(log.size(), lines + 1);
    EXPECT_TRUE(EndsWith(log.back(), std::string(" ") + kImageBeingReadText)) << log.back();
  }
  // A step without the image goes on beside the read, on the other channels.
  window->SpdBtnBlankChk->click();
  // All were tried while the read was still filling the image.
  ASSERT_EQ(g.ChannelState[kReadUnit], TChannelState::ReadFlash);
  ASSERT_EQ(g.ChannelBusy[kReadUnit], 1);
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));

  EXPECT_TRUE(ChannelLogged(kReadUnit, "Main Flash读取成功！"));
  EXPECT_EQ(Held(), chip);
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    const std::vector<SimPacket> log = farm->Unit(ch).Log();
    for (size_t i = logBefore[ch]; i < log.size(); ++i) {
      const SimPacket& packet = log[i];
      if (ch == kReadUnit)
        EXPECT_EQ(packet.Command(), kCmdReadFlash);
      else
        EXPECT_TRUE(packet.Command() == kCmdOperation && packet.Argument() == kOpBlankCheck)
            << int{packet.Command()} << " " << packet.Argument();
    }
    EXPECT_EQ(farm->Unit(ch).ReadFlash(0, kImageBytes), ch == kReadUnit ? chip : Bytes(kImageBytes, kSimErasedByte));
    if (ch != kReadUnit) {
      EXPECT_TRUE(ChannelLogged(ch, "芯片为空！"));
    }
    logBefore[ch] = log.size();
  }

  // The read over, a run programs every unit with the chip's image, whole.
  window->AutoSpdBtn->click();
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    ExpectBlocksOf(farm->Unit(ch), logBefore[ch], chip, kImageBytes / kBlockBytes);
    EXPECT_EQ(farm->Unit(ch).ReadFlash(0, kImageBytes), chip);
    EXPECT_TRUE(ChannelLogged(ch, "自动编程操作成功！"));
    EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
  }
}

}  // namespace
