// A firmware image that is there but gives no upgrade, met by the real window
// offscreen: at start-up it is reported as a missing image is (the log line
// with its path and the reason, then the box, before the command line is
// read); the upgrade command logs the same line and starts nothing.
#include <fstream>
#include <string>
#include <vector>

#include "simunit/firmware_builder.h"
#include "support/command_fixture.h"
#include "support/unusable_firmware.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes GoodImage() { return BuildFirmwareImage(Bytes(3000, 0x3C), "V2.0"); }

class UnusableFirmwareWindowTest : public CommandTest {
protected:
  void SetUp() override {
    CommandTest::SetUp();
    g.ProgramDir = folder;
  }
  void WriteImage(const Bytes& bytes) {
    std::ofstream(image, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::string image = folder + "GenXBEM.FWR";
};

TEST_F(UnusableFirmwareWindowTest, StartUpLogsThePathAndTheReasonAndShowsTheBox) {
  for (const UnusableFirmwareCase& c : UnusableFirmwareImages(GoodImage())) {
    SCOPED_TRACE(c.name);
    window->InfoMemo().Clear();
    boxes.Clear();
    WriteImage(c.bytes);
    g.ImageValid = 1;
    window->SetCommandLine({folder + "job.ptv", "OFF"});
    g.CommandLineMode = 0;
    bool commandLineReadBeforeBox = true;
    SetMessageBoxResponder([&](const MessageBoxRequest& request) {
      commandLineReadBeforeBox = g.CommandLineMode != 0;
      EXPECT_EQ(request.buttons, unsigned{mbOK});
      EXPECT_EQ(request.text, UnusableFirmwareBoxText(image, c.reason));
      return ModalResult::Ok;
    });
    window->FormShow(nullptr);
    window->Timer2->stop();
    EXPECT_FALSE(commandLineReadBeforeBox);
    EXPECT_EQ(g.ImageValid, 0);
    ASSERT_EQ(LogLines().size(), 2u);
    EXPECT_EQ(LogLines()[1], "> 14:03:22 " + UnusableFirmwareLogText(image, c.reason));
  }
}

TEST_F(UnusableFirmwareWindowTest, TheUpgradeCommandLogsThePathAndTheReasonAndStartsNothing) {
  LinkChannel(0);
  for (const UnusableFirmwareCase& c : UnusableFirmwareImages(GoodImage())) {
    SCOPED_TRACE(c.name);
    WriteImage(c.bytes);
    g.ImageValid = 1;
    const size_t before = LogLines().size();
    window->DoFirmwarePpgrade1->trigger();
    EXPECT_EQ(g.ImageValid, 0);
    ASSERT_EQ(LogLines().size(), before + 1);
    EXPECT_EQ(LogLines().back(), "> 14:03:22 " + UnusableFirmwareLogText(image, c.reason));
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(g.ChannelState[0], TChannelState::Idle);
    EXPECT_TRUE(LineStaysQuiet(*lines[0]));
  }
}

}  // namespace
