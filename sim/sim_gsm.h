// The simulated tracker's GSM side: version answer and the message store.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace sim {

class SimLine;

struct GsmOptions {
  std::string versionText = "F-0KV770E-V1.4(20090904)";
};

class GsmModem {
 public:
  explicit GsmModem(const GsmOptions& options) : options_(options) {}
  // Handles one command line (ending in CR); false when it is not a GSM command.
  bool OnCommand(std::string_view line, SimLine& out);
  // True while a message body is being received (after the input prompt).
  bool InBody() const { return false; }
  void OnBodyByte(unsigned char, SimLine&) {}
  std::array<std::string, 4> Store() const;

 private:
  GsmOptions options_;
  mutable std::mutex lock_;
  std::array<std::string, 4> store_;
};

}  // namespace sim
