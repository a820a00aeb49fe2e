// kvctl ports: the tracker ports, with the main window's filtering rule.
#include <algorithm>

#include "commands.h"
#include "console.h"
#include "exit_codes.h"
#include "platform/port_enum.h"
#include "platform/serial_io.h"
#include "platform/sim_registry.h"

std::vector<std::string> TrackerPorts() {
  std::vector<std::string> ports;
  for (const auto& info : platform::EnumeratePorts(false)) {
    if (info.friendlyName.find(platform::TRACKER_NAME_MARK) == std::string::npos) continue;
    const std::string name = platform::PortNameFromFriendlyName(info.friendlyName);
    if (!name.empty() && std::find(ports.begin(), ports.end(), name) == ports.end()) ports.push_back(name);
  }
  return ports;
}

bool IsSimulatedTracker(const std::string& port) {
  const std::string device = platform::PortDevicePath(port);
  for (const auto& sim : platform::ListSimulatedPorts())
    if (platform::PortDevicePath(sim.portPath) == device) return true;
  return false;
}

int CmdPorts(bool allSerial) {
  const auto ports = platform::EnumeratePorts(allSerial);
  std::size_t width = 4;
  for (const auto& p : ports) width = std::max(width, p.portName.size());
  for (const auto& p : ports) {
    std::string name = p.portName;
    name.resize(width, ' ');
    console::Out(name + "  " + p.friendlyName);
  }
  return kExitOk;
}
