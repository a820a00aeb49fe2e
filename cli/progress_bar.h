// Transfer progress for the terminal: a bar redrawn in place on a terminal,
// plain lines (every 10%) when output goes to a file or a pipe, or with
// several trackers at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// One progress text: bar, percent, bytes, rate and time left, e.g.
// "[##########          ]  50.0%  131072/262144 bytes  11.2 KiB/s  11 s left".
std::string FormatProgress(std::uint64_t bytes, std::uint64_t total, double elapsedSeconds);

class ProgressDisplay {
 public:
  // `inPlace`: redraw one line with CR (a terminal, one tracker).
  ProgressDisplay(std::uint64_t total, bool inPlace,
                  std::function<void(const std::string&)> sayLine);
  // Bytes handed to the tracker so far.
  void Update(std::uint64_t bytes);
  // Ends an in-place bar with a line end.
  void Finish();

 private:
  std::uint64_t total_;
  bool inPlace_;
  std::function<void(const std::string&)> sayLine_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  int lastTenth_ = -1;
  bool drew_ = false;
};
