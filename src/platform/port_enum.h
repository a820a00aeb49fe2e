// Listing the serial ports present on this machine, each with the friendly
// name Windows' device manager would show for it, so that one filtering rule
// ("Prolific USB-to-Serial" in the name, the port in parentheses) finds the
// tracker on every system.
//
// On Linux a tracker port is a tty whose USB parent is a Prolific bridge; the
// simulated trackers that run on this machine for this user (kvsim) are listed
// the same way, with their pseudo-terminal path as the port name.
//
// Thread contract: every function may be called from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct PortInfo {
  // What the tool opens (platform::PortDevicePath): "ttyUSB0", "COM4", or a
  // full path such as "/dev/pts/5" for a simulated tracker.
  std::string portName;
  // "Prolific USB-to-Serial Comm Port (ttyUSB0)", "Serial Port (ttyS0)", ...
  std::string friendlyName;
  bool simulated = false;  // served by a kvsim process
};

// The text every tracker port's friendly name contains.
inline constexpr std::string_view TRACKER_NAME_MARK = "Prolific USB-to-Serial";

// "Prolific USB-to-Serial Comm Port (<portName>)".
std::string TrackerFriendlyName(std::string_view portName);

// The port name in a friendly name: "COM4" from "... (COM4)", "ttyUSB0" from
// "... (ttyUSB0)", "/dev/pts/5" from "... (/dev/pts/5)". The Windows form is
// "(COM" up to the first ")" after it; the POSIX forms run from "(tty" or
// "(/" to the last ")". Empty when the name holds no port.
std::string PortNameFromFriendlyName(std::string_view friendlyName);

// The present tracker ports (Prolific bridges and running simulated trackers),
// or with `allSerial` every serial port that has real hardware behind it plus
// the simulated trackers. Hardware ports come first in the system's order,
// then the simulated ones, oldest first. An empty list when nothing is found
// or the device walk fails.
std::vector<PortInfo> EnumeratePorts(bool allSerial);

}  // namespace platform
