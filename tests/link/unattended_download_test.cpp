#include "link/unattended_download.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "link/operation_steps.h"
#include "shared/state.h"
#include "support/temp_folder.h"
#include "toolkit/errors.h"

namespace {

class UnattendedDownloadTest : public ::testing::Test {
protected:
  void SetUp() override { g.ProgramDir = folder_; }
  std::string ReadResult() {
    std::ifstream in(folder_ + "ResDW.Txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  TempFolder folder{"orv_unattended_"};
  std::string folder_ = folder.Slashed();
};

struct EndCase {
  const char* name;
  uint8_t exitAfterDownload, downloadOk, found;
  bool finished;
};
void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class UnattendedEndTest : public UnattendedDownloadTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(UnattendedEndTest, FinishesWhenEveryFoundUnitTookTheJob) {
  g.ExitAfterDownload = GetParam().exitAfterDownload;
  g.DownloadOkCount = GetParam().downloadOk;
  g.FoundDevices = GetParam().found;
  EXPECT_EQ(UnattendedDownloadFinished(), GetParam().finished);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnattendedEndTest,
                         ::testing::Values(EndCase{"TwoFoundOneDone", 1, 1, 2, false},
                                           EndCase{"TwoFoundTwoDone", 1, 2, 2, true},
                                           EndCase{"NoneFoundNoneDone", 1, 0, 0, false},
                                           EndCase{"NotUnattended", 0, 2, 2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UnattendedDownloadTest, ChannelsInUseNeverPassChannelSeven) {
  g.DeviceCount = 9;
  EXPECT_EQ(ChannelsInUse(), 8);
  g.FoundDevices = 8;
  EXPECT_TRUE(AllUnitsFound());
  g.DeviceCount = 3;
  g.FoundDevices = 2;
  EXPECT_FALSE(AllUnitsFound());
  g.DeviceCount = 0;
  g.FoundDevices = 0;
  EXPECT_TRUE(AllUnitsFound());
}

TEST_F(UnattendedDownloadTest, UpgradedUnitsAreReadyWhenNoChannelInUseIsUnready) {
  g.DeviceCount = 3;
  g.ChannelUnready[1] = 1;
  g.ChannelUnready[3] = 1;  // not in use
  EXPECT_FALSE(UpgradedUnitsReady());
  g.ChannelUnready[1] = 0;
  EXPECT_TRUE(UpgradedUnitsReady());
  g.DeviceCount = 9;
  for (int ch = 0; ch < kChannelSlots; ++ch) g.ChannelUnready[ch] = 0;
  g.ChannelUnready[8] = 1;
  EXPECT_TRUE(UpgradedUnitsReady());
}

TEST_F(UnattendedDownloadTest, DownloadStartsOnEveryChannelInUseAndNoFurther) {
  g.DeviceCount = 9;
  for (int ch = 0; ch < kChannelSlots; ++ch) g.RxCount[ch] = 5;
  StartDownloadOnChannelsInUse();
  for (int ch = 0; ch < kChannels; ++ch) {
    EXPECT_EQ(g.ChannelState[ch], TChannelState::DownloadStart) << ch;
    EXPECT_EQ(g.ChannelBusy[ch], 1) << ch;
    EXPECT_EQ(g.RxCount[ch], 0) << ch;
  }
  EXPECT_EQ(g.ChannelState[8], TChannelState::Unidentified);
  EXPECT_EQ(g.RxCount[8], 5);
}

TEST_F(UnattendedDownloadTest, ResultFileHoldsOneLineWithCrLf) {
  EXPECT_EQ(DownloadResultPath(), folder_ + "ResDW.Txt");
  { std::ofstream(folder_ + "ResDW.Txt") << "old text that is longer than the new one\r\n"; }
  WriteDownloadResult();
  EXPECT_EQ(ReadResult(), "Download Success\r\n");
}

TEST_F(UnattendedDownloadTest, OldResultIsRemovedAndAMissingOneIsNoError) {
  { std::ofstream(folder_ + "ResDW.Txt") << "Download Success\r\n"; }
  EXPECT_EQ(RemoveOldDownloadResult(), "");
  EXPECT_FALSE(std::filesystem::exists(folder_ + "ResDW.Txt"));
  EXPECT_EQ(RemoveOldDownloadResult(), "");
}

// A folder under the result file's name cannot be unlinked, not even by root.
TEST_F(UnattendedDownloadTest, OldResultThatCannotBeRemovedGivesTheSystemsReasonAndStays) {
  std::filesystem::create_directory(folder_ + "ResDW.Txt");
  { std::ofstream(folder_ + "ResDW.Txt/inside") << "x"; }
  EXPECT_EQ(RemoveOldDownloadResult(), std::strerror(EISDIR));
  EXPECT_TRUE(std::filesystem::exists(folder_ + "ResDW.Txt/inside"));
}

TEST_F(UnattendedDownloadTest, ProgramFolderThatIsNoFolderRaisesTheIoErrorAndSaysWhyNothingWasRemoved) {
  // A file where the folder should be: no result can be removed or written there, root or not.
  { std::ofstream(folder_ + "plain") << "x"; }
  g.ProgramDir = folder_ + "plain/";
  EXPECT_NE(RemoveOldDownloadResult(), "");
  EXPECT_THROW(WriteDownloadResult(), EInOutError);
}

}  // namespace
