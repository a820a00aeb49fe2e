// Port listing on Windows through SetupAPI: the present devices of the Ports
// class that have a COM port name. A tracker port is one behind a Prolific
// bridge (USB vendor 067B); it is listed with the friendly name the filter
// looks for even when its driver names it differently, as on Linux.
#include <windows.h>
#include <setupapi.h>
#include <initguid.h>
#include <devguid.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "platform/port_enum.h"

namespace platform {
namespace {

std::string RegistryText(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
  char text[512] = {};
  DWORD type = 0;
  if (!::SetupDiGetDeviceRegistryPropertyA(devices, &device, property, &type, reinterpret_cast<BYTE*>(text),
                                           sizeof text - 1, nullptr))
    return {};
  // A multi-string (hardware ids) reads as its first entry here; the vendor
  // id is in every entry.
  return text;
}

std::string ComPortName(HDEVINFO devices, SP_DEVINFO_DATA& device) {
  HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  char name[64] = {};
  DWORD size = sizeof name - 1;
  DWORD type = 0;
  const LONG result = ::RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
  ::RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ) return {};
  const std::string port = name;
  // Printer ports share the class.
  return port.rfind("COM", 0) == 0 ? port : std::string();
}

bool IsProlific(std::string hardwareId) {
  std::transform(hardwareId.begin(), hardwareId.end(), hardwareId.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return hardwareId.find("VID_067B") != std::string::npos;
}

}  // namespace

std::vector<PortInfo> EnumeratePorts(bool allSerial) {
  std::vector<PortInfo> ports;
  HDEVINFO devices = ::SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    const std::string portName = ComPortName(devices, device);
    if (portName.empty()) continue;
    std::string friendly = RegistryText(devices, device, SPDRP_FRIENDLYNAME);
    const bool tracker = IsProlific(RegistryText(devices, device, SPDRP_HARDWAREID)) ||
                         friendly.find(TRACKER_NAME_MARK) != std::string::npos;
    if (tracker) {
      if (friendly.find(TRACKER_NAME_MARK) == std::string::npos || PortNameFromFriendlyName(friendly) != portName)
        friendly = TrackerFriendlyName(portName);
      ports.push_back({portName, friendly, false});
    } else if (allSerial) {
      if (PortNameFromFriendlyName(friendly) != portName) friendly = "Serial Port (" + portName + ")";
      ports.push_back({portName, friendly, false});
    }
  }
  ::SetupDiDestroyDeviceInfoList(devices);
  return ports;
}

}  // namespace platform
