// Units unplugged and plugged back on the ports that the settings file names:
// each hang-up takes its channel out, and the next search reaches every
// channel again, through the real main window and its search button.
#include <gtest/gtest.h>

#include <vector>

#include "support/eight_channels.h"

namespace {

class ReplugSearchTest : public EightChannelTest {
protected:
  void SetUp() override {
    EightChannelTest::SetUp();
    // Each unit comes back on the path the settings file gave it.
    farm->WriteLinkedConfig(folder);
  }

  // Pulls the units off their lines one after another; the window closes
  // each one's port and forgets its unit, and each hang-up takes the port
  // list's entry at its channel's place out (the order is chosen so that
  // every one has an entry to take).
  void Unplug(const std::vector<size_t>& channels) {
    for (size_t ch : channels) {
      const size_t listed = window->ComboBoxCOM().Count();
      farm->Unit(ch).HangUp();
      ASSERT_TRUE(WaitFor([&] {
        return window->SPComm[ch]->PortHandle() == 0 && g.ChannelLinked[ch] == 0 &&
               window->ComboBoxCOM().Count() == listed - 1;
      })) << "channel " << ch;
    }
  }
  void PlugBack(const std::vector<size_t>& channels) {
    for (size_t ch : channels) farm->Replug(ch);
  }

  int IdentifyRequests(size_t ch) const {
    int requests = 0;
    for (const SimPacket& packet : farm->Unit(ch).Log()) requests += packet.IsIdentify() ? 1 : 0;
    return requests;
  }
  void ExpectEveryChannelLinked() {
    EXPECT_EQ(window->ComboBoxCOM().Count(), kUnits);
    for (size_t ch = 0; ch < kUnits; ++ch) {
      SCOPED_TRACE(testing::Message() << "channel " << ch);
      EXPECT_EQ(g.ChannelLinked[ch], 1);  // the search button unlinked it first
      EXPECT_NE(window->SPComm[ch]->PortHandle(), 0);
      EXPECT_EQ(window->SPComm[ch]->CommName(), folder + "unit" + std::to_string(ch + 1));
    }
  }
};

TEST_F(ReplugSearchTest, TwoUnitsPluggedBackAreFoundWithAllTheOthers) {
  ShowAndSearch();
  const std::vector<size_t> replugged = {2, 5};
  Unplug(replugged);
  PlugBack(replugged);

  Search();
  ExpectEveryChannelLinked();
  // The last channel's unit never failed, and was asked again.
  EXPECT_EQ(IdentifyRequests(kUnits - 1), 2);
  for (size_t ch : replugged) EXPECT_EQ(IdentifyRequests(ch), 1) << "channel " << ch;
}

TEST_F(ReplugSearchTest, EveryUnitPluggedBackIsFoundAgain) {
  ShowAndSearch();
  std::vector<size_t> all;  // the last channel first: the list empties
  for (size_t ch = kUnits; ch-- > 0;) all.push_back(ch);
  Unplug(all);
  EXPECT_EQ(window->ComboBoxCOM().Text(), "请连接设备......");
  PlugBack(all);

  Search();
  ExpectEveryChannelLinked();
  EXPECT_EQ(window->ComboBoxCOM().Text(), folder + "unit1");
}

}  // namespace
