#include "platform/port_enum.h"

namespace platform {

std::string TrackerFriendlyName(std::string_view portName) {
  std::string name = "Prolific USB-to-Serial Comm Port (";
  name += portName;
  name += ')';
  return name;
}

std::string PortNameFromFriendlyName(std::string_view friendlyName) {
  // Windows: "(COM" and the first ")" after it.
  if (const auto open = friendlyName.find("(COM"); open != std::string_view::npos) {
    const auto close = friendlyName.find(')', open);
    if (close == std::string_view::npos) return {};
    return std::string(friendlyName.substr(open + 1, close - open - 1));
  }
  // POSIX: a device name ("(tty...") or a path ("(/..."), up to the last ")".
  auto open = friendlyName.find("(tty");
  if (open == std::string_view::npos) open = friendlyName.find("(/");
  if (open == std::string_view::npos) return {};
  const auto close = friendlyName.rfind(')');
  if (close == std::string_view::npos || close <= open + 1) return {};
  return std::string(friendlyName.substr(open + 1, close - open - 1));
}

}  // namespace platform
