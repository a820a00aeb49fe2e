// The figures of a running transfer: bytes, rate and time left, counted from
// the first data block. The port's opening, the probe, the receiver's start
// character and the boot loader's erase pause after block 0 are not part of
// the data phase and would make the rate read a fraction of the truth.
//
// Thread contract: one thread (the one that sends) calls everything.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class TransferRate {
 public:
  using Clock = std::function<double()>;  // seconds on any steady scale

  // `now` defaults to the tool's clock (platform/clock.h), which tests may speed up.
  explicit TransferRate(std::uint64_t total, Clock now = {});

  // The first data block is about to go out: the data phase begins.
  void DataStarted();
  // `bytes` of the image have been acknowledged (clamped to the total). A
  // first call without DataStarted starts the data phase there; the first
  // call that reaches the total ends it (the EOT exchange is not data).
  void Delivered(std::uint64_t bytes);

  std::uint64_t Total() const { return total_; }
  std::uint64_t Bytes() const { return bytes_; }
  // Seconds from the start of the data phase to its last counted Delivered call.
  double Seconds() const;
  // Bytes per second over the data phase so far; 0 before any time passed.
  double BytesPerSecond() const;
  // Seconds until the total at the current rate; none while no rate is known.
  std::optional<double> SecondsLeft() const;

 private:
  std::uint64_t total_;
  Clock now_;
  std::optional<double> start_;
  double last_ = 0;
  std::uint64_t bytes_ = 0;
};

// "Sent 262144 bytes in 23.4 s (11.0 KiB/s)".
std::string FormatTransferSummary(std::uint64_t bytes, double seconds);
