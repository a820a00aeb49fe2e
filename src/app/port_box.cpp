#include "app/port_box.h"

#include "platform/serial_io.h"
#include "serial/port_items.h"

namespace {
std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n\v\f";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// "ttyUSB0", "ttyUSB0:" and "/dev/ttyUSB0" all open the same device.
std::string DeviceOf(const std::string& text) {
  const std::string name = PortNameFromItem(Trimmed(text));
  return name.empty() ? name : platform::PortDevicePath(name);
}
}  // namespace

int PortBox::ItemNaming(const std::string& text) const {
  const std::string device = DeviceOf(text);
  if (device.empty()) return -1;
  for (int i = 0; i < dialog_.ItemCount(id_); ++i)
    if (DeviceOf(dialog_.ItemString(id_, i)) == device) return i;
  return -1;
}

void PortBox::Settle() {
  const std::string typed = dialog_.ItemText(id_);
  const int current = dialog_.CurSel(id_);
  if (current >= 0 && typed == dialog_.ItemString(id_, current)) return;
  const int named = ItemNaming(typed);
  const int shown = named >= 0 ? named : current;
  if (shown != current) dialog_.SetCurSel(id_, shown);
  dialog_.SetItemText(id_, shown >= 0 ? dialog_.ItemString(id_, shown) : std::string());
}
