// Windows: simulated trackers serve Linux pseudo-terminals and never run
// here, so there is nothing to advertise and nothing to list.
#include "platform/sim_registry.h"

namespace platform {

std::string RuntimeFolder() { return {}; }
bool EnsureRuntimeFolder() { return false; }
SimulatedPortToken AdvertiseSimulatedPort(const std::string&) { return {}; }
bool WithdrawSimulatedPort(SimulatedPortToken& token) {
  token.filePath.clear();
  return false;
}
std::vector<SimulatedPort> ListSimulatedPorts() { return {}; }

}  // namespace platform
