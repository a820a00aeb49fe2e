#include "sim_gsm.h"

#include "sim_line.h"

namespace sim {

bool GsmModem::OnCommand(std::string_view line, SimLine& out) {
  if (line == "kv+fwv\r") {
    out.Send("kv+fwv\r\r\n" + options_.versionText + "\r\n");
    return true;
  }
  return false;
}

std::array<std::string, 4> GsmModem::Store() const {
  std::lock_guard<std::mutex> lock(lock_);
  return store_;
}

}  // namespace sim
