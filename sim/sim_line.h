// The simulated tracker's end of the serial line: the master side of a
// pseudo-terminal. The tool opens the slave side (PortPath) like any port.
//
// Thread contract: the tracker's own thread reads and writes; Close() may be
// called from any thread (it pulls the cable: the tool's reads and writes
// fail). A close waits for a system call in progress on the line, never for a
// whole read time-out.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>

namespace sim {

struct LineOptions {
  // Pacing: 0 baud means an unpaced line (bytes pass at memory speed).
  std::uint32_t baudRate = 0;
  std::uint32_t latencyMs = 0;  // one-way latency added to each direction
  // Faults on bytes travelling from the tool to the tracker.
  double bitErrorRate = 0.0;              // chance per byte that one bit flips
  double dropRate = 0.0;                  // chance per byte that it is lost
  std::uint64_t pullCableAfterBytes = 0;  // 0: never; else close the line after so many received bytes
  std::uint32_t seed = 1;
};

// One direction of a paced line: bytes leave one after another, 10 bit times
// each (start, 8 data, stop), and reach the far end one latency later.
// Times are clock milliseconds (platform::ClockMsPrecise).
class LinePacer {
 public:
  LinePacer() = default;
  LinePacer(std::uint32_t baudRate, std::uint32_t latencyMs)
      : byteMs_(baudRate ? 10000.0 / baudRate : 0.0), latencyMs_(latencyMs) {}
  bool Paced() const { return byteMs_ > 0 || latencyMs_ > 0; }
  // `count` bytes handed to the line at `handedAtMs`: the time at which the
  // last of them has fully arrived at the far end.
  double Arrival(double handedAtMs, std::size_t count) {
    lineFreeAt_ = (handedAtMs > lineFreeAt_ ? handedAtMs : lineFreeAt_) + byteMs_ * static_cast<double>(count);
    return lineFreeAt_ + latencyMs_;
  }

 private:
  double byteMs_ = 0;
  double latencyMs_ = 0;
  double lineFreeAt_ = 0;  // when the last byte handed in has left the sender
};

class SimLine {
 public:
  SimLine() = default;
  ~SimLine();
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  // Creates the pseudo-terminal; false when the system has none to give.
  bool Open(const LineOptions& options);
  // Closes the master side (and the tracker's own hold on the slave).
  void Close();
  bool IsOpen() const { return open_.load(); }
  const std::string& PortPath() const { return slavePath_; }

  // Sends bytes to the tool, paced and delayed as the options say: they reach
  // the tool when the last of them has crossed the line.
  void Send(std::string_view bytes);
  // Reads one byte from the tool within `timeoutMs` clock milliseconds; on a
  // paced line it returns no sooner than the byte has crossed the line.
  // Returns 0..255, -1 on time-out, -2 when the line is closed.
  int ReadByte(std::uint32_t timeoutMs);

  std::uint64_t BytesReceived() const { return received_.load(); }
  std::uint64_t BytesSent() const { return sent_.load(); }
  std::uint64_t FaultsInjected() const { return faults_.load(); }

 private:
  int RawReadByte(std::uint32_t timeoutMs);

  // Held shared around each system call on the master, exclusively by Close.
  std::shared_mutex fdLock_;
  int masterFd_ = -1;
  int slaveHoldFd_ = -1;
  std::atomic<bool> open_{false};
  std::string slavePath_;
  LineOptions options_;
  std::mutex writeLock_;
  std::atomic<std::uint64_t> received_{0}, sent_{0}, faults_{0};
  std::uint32_t rng_ = 1;
  LinePacer toTool_, fromTool_;
  // Clock time at which the buffered bytes were taken from the pseudo-terminal:
  // the tool had handed them to the line by then.
  double batchReadAt_ = 0;
  unsigned char readBuf_[4096];
  std::size_t readPos_ = 0, readLen_ = 0;
};

}  // namespace sim
