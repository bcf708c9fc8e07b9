#pragma once
// Discovery of the serial ports on which programmer units may sit. GUI thread.

#include <string>

class TComboBoxModel;

inline constexpr char kSysClassTty[] = "/sys/class/tty";
inline constexpr char kDeviceFolder[] = "/dev";

// Adds to box every port under sysfsRoot whose device/driver is one of the
// two USB virtual COM port driver families (ftdi_sio, cp210x) and whose device
// devFolder/<name> can be opened exclusively at this moment (it is closed again
// at once). Items are the port names ("ttyUSB0"), which the box keeps sorted
// as text. Then g.DeviceCount := the number of items (as a byte) and the text
// := the last item, or with no items DeviceCount 0 and the text "无可用的串口".
// A root that cannot be read counts as no ports. Never throws.
void ListSerialPorts(TComboBoxModel& box, const std::string& sysfsRoot = kSysClassTty,
                     const std::string& devFolder = kDeviceFolder);
