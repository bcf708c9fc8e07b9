#include "link/port_discovery.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "link/serial_port.h"
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

// Opened exactly as the serial component opens a channel's port, so a port
// listed here is one the device search can open; closed again at once.
bool CanOpenExclusively(const fs::path& device) {
  SerialPort probe;
  return probe.Open(device.string()) == SerialPort::OpenResult::Opened;
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
