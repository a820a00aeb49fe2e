// A simulated tracker on a pseudo-terminal with the tool's end opened as a
// serial port, for tests that talk to it byte for byte or through the
// settings exchange.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/serial_io.h"
#include "sim_tracker.h"

namespace testing_support {

class PtySim {
 public:
  explicit PtySim(sim::SimOptions options = {});
  ~PtySim();
  PtySim(const PtySim&) = delete;
  PtySim& operator=(const PtySim&) = delete;

  // True when the tracker runs and its port is open at 115200.
  bool Ready() const { return port_ != INVALID_HANDLE_VALUE; }
  HANDLE Port() const { return port_; }
  sim::SimTracker& Tracker() { return *tracker_; }

  // Writes bytes to the tracker with one WriteFile.
  void Write(std::string_view bytes);
  // Reads until the text received so far ends with `end`, or `timeoutMs`
  // clock milliseconds pass. Returns what was read.
  std::string ReadUntil(std::string_view end, DWORD timeoutMs = 5000);
  // Reads whatever arrives within `ms` clock milliseconds.
  std::string ReadFor(DWORD ms);
  // Reads what has already arrived, without waiting.
  std::string ReadNow();

 private:
  std::unique_ptr<sim::SimTracker> tracker_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

}  // namespace testing_support
