// A station whose ports are pinned in the settings file, after the off-line
// start: that start binds the channels to the adapter ports it lists, which
// on such a station are none or only some, and the search button gives every
// channel its pinned port back. Eight simulated units, the real window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/eight_channels.h"

namespace {

using namespace std::chrono_literals;

// Units also reachable as adapter ports that the port listing finds.
class OfflineThenSearchTest : public EightChannelTest, public ::testing::WithParamInterface<std::vector<size_t>> {};

TEST_P(OfflineThenSearchTest, TheSearchFindsEveryConfiguredUnitAndAutoProgramDoesThemAll) {
  PrepareRun();
  const std::vector<size_t>& listed = GetParam();
  for (size_t i = 0; i < listed.size(); ++i)
    ports.AddPort("ttyUSB" + std::to_string(i), "ftdi_sio", farm->Unit(listed[i]).SlavePath());
  window->StartOfflineProgrm1->trigger();
  ASSERT_EQ(g.DeviceCount, listed.size());
  ASSERT_TRUE(farm->WaitForAll(
      [&](const SimUnit& unit) {
        for (size_t ch : listed)
          if (&unit == &farm->Unit(ch)) return unit.ResetsReceived() == 1;
        return true;
      },
      kRunLimit));

  Search(kUnits);
  EXPECT_EQ(g.DeviceCount, kUnits);
  EXPECT_EQ(window->ComboBoxCOM().Count(), kUnits);
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    EXPECT_EQ(g.PortNames[ch], farm->Unit(ch).SlavePath());
    EXPECT_EQ(window->SPComm[ch]->CommName(), farm->Unit(ch).SlavePath());
    EXPECT_EQ(g.ChannelLinked[ch], 1);
  }

  ASSERT_NO_FATAL_FAILURE(AutoProgramAllGood());
  EXPECT_TRUE(boxes.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(ListedPorts, OfflineThenSearchTest,
                         ::testing::Values(std::vector<size_t>{}, std::vector<size_t>{5, 2}),
                         [](const auto& info) { return std::string(info.index == 0 ? "None" : "TwoOfTheUnits"); });

}  // namespace
