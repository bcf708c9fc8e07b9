#include "link/port_discovery.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "shared/state.h"
#include "toolkit/combo_box.h"

namespace {

namespace fs = std::filesystem;

// A pseudo-terminal pair, closed with the object.
class Pty {
public:
  Pty() {
    char name[256] = {0};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) slaveName_ = name;
  }
  ~Pty() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  const std::string& SlaveName() const { return slaveName_; }

private:
  int master_ = -1;
  int slave_ = -1;
  std::string slaveName_;
};

// A sysfs tty class folder and a device folder, built around real
// pseudo-terminals: each port's device entry is a link to a pty slave.
class FakeTree {
public:
  FakeTree() {
    char folder[] = "/tmp/portsXXXXXX";
    root_ = mkdtemp(folder);
    fs::create_directories(Sys());
    fs::create_directories(Dev());
    fs::create_directories(root_ / "drivers");
  }
  ~FakeTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::string Sys() const { return (root_ / "sys").string(); }
  std::string Dev() const { return (root_ / "dev").string(); }

  // A port bound to driver ("" for none); with a device entry when pty is given.
  void AddPort(const std::string& name, const std::string& driver, const Pty* pty) {
    const fs::path port = root_ / "sys" / name;
    fs::create_directories(port / "device");
    if (!driver.empty()) {
      fs::create_directories(root_ / "drivers" / driver);
      fs::create_directory_symlink(root_ / "drivers" / driver, port / "device" / "driver");
    }
    if (pty) fs::create_symlink(pty->SlaveName(), root_ / "dev" / name);
  }

private:
  fs::path root_;
};

class PortDiscoveryTest : public ::testing::Test {
protected:
  void SetUp() override { ResetState(); }
  void TearDown() override { ResetState(); }
  TComboBoxModel box_;
};

TEST_F(PortDiscoveryTest, OffersOpenablePortsOfTheTwoDriverFamiliesInTextOrder) {
  FakeTree tree;
  Pty usb0, usb2, usb10, builtIn, acm, held;
  ASSERT_FALSE(usb0.SlaveName().empty());
  tree.AddPort("ttyUSB2", "cp210x", &usb2);
  tree.AddPort("ttyUSB10", "ftdi_sio", &usb10);
  tree.AddPort("ttyUSB0", "ftdi_sio", &usb0);
  tree.AddPort("ttyS0", "serial8250", &builtIn);
  tree.AddPort("ttyACM0", "cdc_acm", &acm);
  tree.AddPort("ttyUSB7", "ftdi_sio", nullptr);  // listed, but no device to open
  tree.AddPort("ttyUSB8", "cp210x", &held);       // held by another program
  tree.AddPort("tty0", "", &builtIn);             // no driver at all

  const int holder = ::open(held.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  ListSerialPorts(box_, tree.Sys(), tree.Dev());
  ::close(holder);

  EXPECT_EQ(box_.Items(), (std::vector<std::string>{"ttyUSB0", "ttyUSB10", "ttyUSB2"}));
  EXPECT_EQ(box_.Text(), "ttyUSB2");
  EXPECT_EQ(g.DeviceCount, 3);
}

TEST_F(PortDiscoveryTest, APortIsClosedAgainAfterTheTest) {
  FakeTree tree;
  Pty usb0;
  tree.AddPort("ttyUSB0", "ftdi_sio", &usb0);
  ListSerialPorts(box_, tree.Sys(), tree.Dev());
  ASSERT_EQ(box_.Count(), 1u);
  const int fd = ::open((tree.Dev() + "/ttyUSB0").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
}

TEST_F(PortDiscoveryTest, WithoutUsablePortsTheTextSaysSoAndNoChannelIsInUse) {
  g.DeviceCount = 4;
  FakeTree tree;
  Pty builtIn;
  tree.AddPort("ttyS0", "serial8250", &builtIn);
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
