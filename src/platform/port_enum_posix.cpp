#include <libudev.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/port_enum.h"
#include "platform/sim_registry.h"

namespace platform {
namespace {

constexpr const char* PROLIFIC_VENDOR_ID = "067b";

struct UdevDeleter {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

bool StartsWith(const char* s, const char* prefix) { return s && std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// A tty with a device behind it. Virtual consoles, ptmx and the like hang
// under /devices/virtual; 8250 ports the kernel reserves without finding a
// UART report port type 0 (unknown).
bool HasSerialHardware(udev_device* tty) {
  if (StartsWith(udev_device_get_devpath(tty), "/devices/virtual/")) return false;
  if (!udev_device_get_parent(tty)) return false;
  const char* uartType = udev_device_get_sysattr_value(tty, "type");
  return !(uartType && std::strcmp(uartType, "0") == 0);
}

// The name the tool opens: "ttyUSB0" for /dev/ttyUSB0, the full node path
// when the node lives elsewhere.
std::string PortNameOf(udev_device* tty) {
  const char* node = udev_device_get_devnode(tty);
  const char* sysname = udev_device_get_sysname(tty);
  if (!node || !sysname) return {};
  if (std::string(node) == std::string("/dev/") + sysname) return sysname;
  return node;
}

// The name Windows' device manager would show for a port that is not a
// tracker's.
std::string OtherPortFriendlyName(const std::string& portName, bool onUsb) {
  if (!onUsb) return "Serial Port (" + portName + ")";
  if (portName.find("ttyACM") != std::string::npos) return "USB Serial Device (" + portName + ")";
  return "USB-to-Serial Comm Port (" + portName + ")";
}

void AppendHardwarePorts(bool allSerial, std::vector<PortInfo>& ports) {
  UdevPtr<udev> context(udev_new());
  if (!context) return;
  UdevPtr<udev_enumerate> walk(udev_enumerate_new(context.get()));
  if (!walk || udev_enumerate_add_match_subsystem(walk.get(), "tty") < 0 || udev_enumerate_scan_devices(walk.get()) < 0)
    return;
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(walk.get())) {
    UdevPtr<udev_device> tty(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (!tty || !HasSerialHardware(tty.get())) continue;
    const std::string portName = PortNameOf(tty.get());
    if (portName.empty()) continue;
    // Owned by the tty: not unreferenced here.
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty.get(), "usb", "usb_device");
    const char* vendor = usb ? udev_device_get_sysattr_value(usb, "idVendor") : nullptr;
    const bool prolific = vendor && std::strcmp(vendor, PROLIFIC_VENDOR_ID) == 0;
    if (prolific) ports.push_back({portName, TrackerFriendlyName(portName), false});
    else if (allSerial) ports.push_back({portName, OtherPortFriendlyName(portName, usb != nullptr), false});
  }
}

}  // namespace

std::vector<PortInfo> EnumeratePorts(bool allSerial) {
  std::vector<PortInfo> ports;
  AppendHardwarePorts(allSerial, ports);
  for (auto& sim : ListSimulatedPorts()) ports.push_back({std::move(sim.portPath), std::move(sim.friendlyName), true});
  return ports;
}

}  // namespace platform
