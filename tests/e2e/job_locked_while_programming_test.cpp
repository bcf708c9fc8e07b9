// The job cannot change under a run: while a slow unit keeps its channel
// programming, a data load, a further load, a project open and a chip read
// are refused, and every block that every unit receives is of the image the
// run started with. End to end on eight simulated units.
#include <QAction>
#include <QToolButton>

#include "console/command_guards.h"
#include "link/image_checksums.h"
#include "support/eight_channels.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t kSlowUnit = 3;
constexpr size_t kReadUnit = 0;  // the chip read's channel
constexpr auto kSlowBlock = 300ms;  // a 32 KB image is 8 blocks: 2.4 s a chip
constexpr uint32_t kBlockBytes = 4096;

struct Checksums {
  uint16_t crc16, packetCrc, sum16;
  uint32_t sum32;
  bool operator==(const Checksums&) const = default;
};
Checksums Current() { return {g.ImageCrc16, g.ImagePacketCrc, g.ImageSum16, g.ImageSum32}; }

class JobLockedTest : public EightChannelTest {
 protected:
  // The log lines that say a command was refused.
  size_t Refusals() const {
    size_t n = 0;
    for (const std::string& line : window->InfoMemo().Lines())
      n += line.ends_with(std::string(" ") + kChannelsBusyText) ? 1 : 0;
    return n;
  }
};

TEST_F(JobLockedTest, LoadsProjectAndChipReadWaitForTheRunAndEveryBlockIsOfTheFirstImage) {
  ShowAndSearch();
  ChooseChip("FU6813N");
  // Another job at hand: its data file and a project of it.
  const Bytes other = PatternImage(kImageBytes, 11);
  const std::string otherData = LoadFile("other.bin", other);
  const std::string otherJob = folder + "other.ptv";
  files.Choose(otherJob);
  window->SavetoProjectFile1->trigger();
  ASSERT_TRUE(std::filesystem::exists(otherJob));
  // The job of the run.
  LoadFile("job.bin", image);
  ASSERT_EQ(Held(), image);
  const Checksums loaded = Current();
  farm->Unit(kSlowUnit).SetLatencies({.program = kSlowBlock});

  window->AutoSpdBtn->click();
  ASSERT_TRUE(WaitFor([&] { return !farm->Unit(kSlowUnit).ProgrammedBlocks().empty() && g.ChannelBusy[kReadUnit] == 0; }));
  // Channel 0 done, its next chip holds the other job: what a chip read would bring.
  farm->Unit(kReadUnit).WriteFlash(0, other);
  const size_t dialogsBefore = files.Opened().size();

  LoadFile("other.bin", other);
  files.Choose(otherData);
  window->SpdBtnLoadMore->click();
  files.Choose(otherJob);
  window->SpdBtnLdPrj->click();
  window->ReadChipMemory1->trigger();

  // All four were tried while the slow unit was still programming.
  ASSERT_EQ(g.ChannelBusy[kSlowUnit], 1);
  ASSERT_EQ(g.ChannelState[kSlowUnit], TChannelState::ProgramFlash);
  ASSERT_LT(farm->Unit(kSlowUnit).ProgrammedBlocks().size(), kImageBytes / kBlockBytes);
  EXPECT_EQ(Refusals(), 4u);
  EXPECT_EQ(files.Opened().size(), dialogsBefore);
  EXPECT_EQ(Held(), image);
  EXPECT_EQ(g.DataLoaded, 1);
  EXPECT_EQ(Current(), loaded);

  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  EXPECT_EQ(Current(), loaded);
  EXPECT_EQ(Held(), image);
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    size_t blocks = 0;
    for (const SimPacket& packet : farm->Unit(ch).Log()) {
      EXPECT_NE(packet.Command(), kCmdReadFlash);
      if (packet.Command() != kCmdProgramFlash) continue;
      ++blocks;
      const size_t at = size_t{packet.Argument()} * 1024;
      const auto data = packet.bytes.begin() + kPacketHeaderBytes + kParamBlockBytes;
      ASSERT_GE(packet.bytes.size(), kPacketHeaderBytes + kParamBlockBytes + kBlockBytes);
      EXPECT_TRUE(std::equal(data, data + kBlockBytes, image.begin() + static_cast<ptrdiff_t>(at)))
          << "block at " << at;
    }
    EXPECT_EQ(blocks, kImageBytes / kBlockBytes);
    EXPECT_EQ(farm->Unit(ch).ReadFlash(0, kImageBytes), ch == kReadUnit ? other : image);
    EXPECT_TRUE(ChannelLogged(ch, "自动编程操作成功！"));
    EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
  }

  // The run over, the same load goes ahead.
  LoadFile("other.bin", other);
  EXPECT_EQ(Held(), other);
  EXPECT_NE(Current(), loaded);
  EXPECT_EQ(Refusals(), 4u);
}

}  // namespace
