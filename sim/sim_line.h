// The simulated tracker's end of the serial line: the master side of a
// pseudo-terminal. The tool opens the slave side (PortPath) like any port.
//
// Thread contract: the tracker's own thread reads and writes; Close() may be
// called from any thread (it pulls the cable: the tool's reads and writes fail).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace sim {

struct LineOptions {
  // Pacing: 0 baud means an unpaced line (bytes pass at memory speed).
  std::uint32_t baudRate = 0;
  std::uint32_t latencyMs = 0;      // one-way latency added to each direction
  // Faults on bytes travelling from the tool to the tracker.
  double bitErrorRate = 0.0;        // chance per byte that one bit flips
  double dropRate = 0.0;            // chance per byte that it is lost
  std::uint64_t pullCableAfterBytes = 0;  // 0: never; else close the line after so many received bytes
  std::uint32_t seed = 1;
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
  bool IsOpen() const { return masterFd_.load() >= 0; }
  const std::string& PortPath() const { return slavePath_; }

  // Sends bytes to the tool, paced and delayed as the options say.
  void Send(std::string_view bytes);
  // Reads one byte from the tool within `timeoutMs` clock milliseconds.
  // Returns 0..255, -1 on time-out, -2 when the line is closed.
  int ReadByte(std::uint32_t timeoutMs);
  // Discards everything the tool has sent so far.
  void DrainInput();

  std::uint64_t BytesReceived() const { return received_.load(); }
  std::uint64_t BytesSent() const { return sent_.load(); }
  std::uint64_t FaultsInjected() const { return faults_.load(); }

 private:
  int RawReadByte(std::uint32_t timeoutMs);

  std::atomic<int> masterFd_{-1};
  int slaveHoldFd_ = -1;
  std::string slavePath_;
  LineOptions options_;
  std::mutex writeLock_;
  std::atomic<std::uint64_t> received_{0}, sent_{0}, faults_{0};
  std::uint32_t rng_ = 1;
  // Pacing state: clock time (ms, fractional) at which the next byte from the
  // tool has fully arrived, and at which the line to the tool is free again.
  double rxLineFreeAt_ = 0, txLineFreeAt_ = 0;
  unsigned char readBuf_[4096];
  std::size_t readPos_ = 0, readLen_ = 0;
};

}  // namespace sim
