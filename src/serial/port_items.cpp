#include "serial/port_items.h"

std::string PortItemText(std::string_view portName) {
  if (portName.empty() || portName.size() > PORT_NAME_MAX) return {};
  std::string item(portName);
  item += ':';
  return item;
}

std::vector<std::string> TrackerPortItems(const std::vector<platform::PortInfo>& ports) {
  std::vector<std::string> items;
  for (const platform::PortInfo& port : ports) {
    if (port.friendlyName.find(platform::TRACKER_NAME_MARK) == std::string::npos) continue;
    std::string item = PortItemText(platform::PortNameFromFriendlyName(port.friendlyName));
    if (!item.empty()) items.push_back(std::move(item));
  }
  return items;
}

std::string PortNameFromItem(std::string_view item) {
  while (!item.empty() && item.back() == ':') item.remove_suffix(1);
  return std::string(item);
}
