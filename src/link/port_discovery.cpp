#include "link/port_discovery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string_view>
#include <system_error>

#include "shared/state.h"
#include "toolkit/combo_box.h"

namespace {

namespace fs = std::filesystem;

// The kernel's names of the USB virtual COM port drivers the units use.
constexpr std::string_view kPortDrivers[] = {
    "ftdi_sio",
    "cp210x",
};

bool HasUnitDriver(const fs::path& port) {
  std::error_code error;
  const fs::path driver = fs::canonical(port / "device" / "driver", error);
  if (error) return false;
  const std::string name = driver.filename().string();
  for (std::string_view known : kPortDrivers)
    if (name == known) return true;
  return false;
}

// Exclusive as the serial component opens it: flock rather than TIOCEXCL alone,
// which root passes. A port that another program holds fails either way.
bool CanOpenExclusively(const fs::path& device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);  // also drops the lock
  return locked;
}

}  // namespace

void ListSerialPorts(TComboBoxModel& box, const std::string& sysfsRoot, const std::string& devFolder) {
  std::error_code error;
  for (fs::directory_iterator it(sysfsRoot, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (HasUnitDriver(it->path()) && CanOpenExclusively(fs::path(devFolder) / name)) box.Add(name);
  }
  g.DeviceCount = 0;
  if (box.Count() > 0) {
    g.DeviceCount = static_cast<uint8_t>(box.Count());
    box.SetText(box.Items().back());
  } else {
    box.SetText("无可用的串口");
  }
}
