// The simulated tracker's boot loader: a YMODEM batch receiver.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

class SimLine;

struct BootOptions {
  char startChar = 'C';  // 'C', 0x15 (NAK) or 'G'
};

struct ReceivedImage {
  std::string name;
  std::vector<unsigned char> data;
  bool complete = false;
};

class BootLoader {
 public:
  explicit BootLoader(const BootOptions& options) : options_(options) {}
  // Receives one batch on the line; returns when it ended or failed.
  void Run(SimLine& line);
  std::vector<ReceivedImage> Images() const;

 private:
  BootOptions options_;
  mutable std::mutex lock_;
  std::vector<ReceivedImage> images_;
};

}  // namespace sim
