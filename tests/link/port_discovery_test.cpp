#include "link/port_discovery.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "shared/state.h"
#include "support/fake_port_tree.h"
#include "support/pty_pair.h"
#include "toolkit/combo_box.h"

namespace {

class PortDiscoveryTest : public ::testing::Test {
protected:
  TComboBoxModel box_;
};

TEST_F(PortDiscoveryTest, OffersOpenablePortsOfTheTwoDriverFamiliesInTextOrder) {
  FakePortTree tree;
  PtyPair usb0, usb2, usb10, builtIn, acm, held;
  tree.AddPort("ttyUSB2", "cp210x", usb2.SlavePath());
  tree.AddPort("ttyUSB10", "ftdi_sio", usb10.SlavePath());
  tree.AddPort("ttyUSB0", "ftdi_sio", usb0.SlavePath());
  tree.AddPort("ttyS0", "serial8250", builtIn.SlavePath());
  tree.AddPort("ttyACM0", "cdc_acm", acm.SlavePath());
  tree.AddPort("ttyUSB7", "ftdi_sio", "");  // listed, but no device to open
  tree.AddPort("ttyUSB8", "cp210x", held.SlavePath());       // held by another program
  tree.AddPort("tty0", "", builtIn.SlavePath());             // no driver at all

  const int holder = ::open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  ListSerialPorts(box_, tree.Sys(), tree.Dev());
  ::close(holder);

  EXPECT_EQ(box_.Items(), (std::vector<std::string>{"ttyUSB0", "ttyUSB10", "ttyUSB2"}));
  EXPECT_EQ(box_.Text(), "ttyUSB2");
  EXPECT_EQ(g.DeviceCount, 3);
}

TEST_F(PortDiscoveryTest, APortIsClosedAgainAfterTheTest) {
  FakePortTree tree;
  PtyPair usb0;
  tree.AddPort("ttyUSB0", "ftdi_sio", usb0.SlavePath());
  ListSerialPorts(box_, tree.Sys(), tree.Dev());
  ASSERT_EQ(box_.Count(), 1u);
  const int fd = ::open((tree.Dev() + "/ttyUSB0").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
}

size_t OpenDescriptors() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

TEST_F(PortDiscoveryTest, TheScanLeavesNoDescriptorOpen) {
  FakePortTree tree;
  PtyPair usb0, held, builtIn;
  tree.AddPort("ttyUSB0", "ftdi_sio", usb0.SlavePath());
  tree.AddPort("ttyUSB1", "cp210x", held.SlavePath());
  tree.AddPort("ttyUSB2", "ftdi_sio", "");
  tree.AddPort("ttyS0", "serial8250", builtIn.SlavePath());
  const int holder = ::open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const size_t before = OpenDescriptors();
  ListSerialPorts(box_, tree.Sys(), tree.Dev());
  EXPECT_EQ(OpenDescriptors(), before);
  ::close(holder);
  EXPECT_EQ(box_.Items(), std::vector<std::string>{"ttyUSB0"});
}

TEST_F(PortDiscoveryTest, WithoutUsablePortsTheTextSaysSoAndNoChannelIsInUse) {
  g.DeviceCount = 4;
  FakePortTree tree;
  PtyPair builtIn;
  tree.AddPort("ttyS0", "serial8250", builtIn.SlavePath());
  ListSerialPorts(box_, tree.Sys(), tree.Dev());
  EXPECT_EQ(box_.Count(), 0u);
  EXPECT_EQ(box_.Text(), "无可用的串口");
  EXPECT_EQ(g.DeviceCount, 0);

  g.DeviceCount = 4;
  ListSerialPorts(box_, tree.Sys() + "/absent", tree.Dev());
  EXPECT_EQ(box_.Text(), "无可用的串口");
  EXPECT_EQ(g.DeviceCount, 0);
}

}  // namespace
