#include "sim_boot_loader.h"

#include "sim_line.h"

namespace sim {

void BootLoader::Run(SimLine&) {}

std::vector<ReceivedImage> BootLoader::Images() const {
  std::lock_guard<std::mutex> lock(lock_);
  return images_;
}

}  // namespace sim
