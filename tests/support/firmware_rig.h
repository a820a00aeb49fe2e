// Test rig for the firmware transfer: the simulated boot loader served on its
// own thread at the master side of a pseudo-terminal, a SerialChannel opened
// and configured on the slave side, and a record of every frame the loader
// took off the line.
#pragma once

#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "firmware/serial_channel.h"
#include "firmware/transfer_source.h"
#include "firmware/ymodem_sender.h"
#include "sim_boot_loader.h"
#include "sim_line.h"

namespace kvtest {

// Bytes 0..n-1 of a fixed pseudo-random pattern (the same seed gives the same image).
std::vector<unsigned char> PatternImage(std::size_t n, std::uint32_t seed = 7);

class MemorySource final : public TransferSource {
 public:
  explicit MemorySource(std::vector<unsigned char> data) : data_(std::move(data)) {}
  int Read(BYTE* buffer, int maxBytes) override;
  std::size_t Delivered() const { return pos_; }

 private:
  std::vector<unsigned char> data_;
  std::size_t pos_ = 0;
};

// Every progress call, in order.
struct ProgressLog {
  std::vector<std::pair<WPARAM, LPARAM>> calls;
  TransferProgressSink Sink() {
    return [this](WPARAM count, LPARAM kib) { calls.emplace_back(count, kib); };
  }
};

class BootLoaderRig {
 public:
  explicit BootLoaderRig(sim::BootOptions boot = {}, sim::LineOptions line = {});
  ~BootLoaderRig();
  BootLoaderRig(const BootLoaderRig&) = delete;
  BootLoaderRig& operator=(const BootLoaderRig&) = delete;

  // Opens the line, starts the loader and opens and configures the channel.
  // `serveLoader` false leaves the line without anybody answering;
  // `openChannel` false leaves the port free for RunFirmwareTransfer.
  bool Start(bool serveLoader = true, bool openChannel = true);
  // After a successful transfer: waits for the loader to end its batch
  // (bounded) and joins its thread.
  void FinishLoader();
  // After a failed transfer: stops the loader, which may still be waiting.
  void StopLoader();

  SerialChannel& Channel() { return channel_; }
  sim::SimLine& Line() { return line_; }
  sim::BootLoader& Loader() { return loader_; }
  std::vector<sim::BootFrame> Frames() const;
  std::vector<sim::ReceivedImage> Images() const { return loader_.Images(); }

 private:
  sim::LineOptions lineOptions_;
  sim::SimLine line_;
  sim::BootLoader loader_;
  SerialChannel channel_;
  std::thread thread_;
  mutable std::mutex framesLock_;
  std::vector<sim::BootFrame> frames_;
};

// The frame the tool must put on the wire for one block, built here from the
// rules of the protocol (CRC trailer when crc, else the 8-bit sum).
std::vector<unsigned char> ExpectedFrame(unsigned char number, const unsigned char* data, std::size_t n,
                                         std::size_t blockSize, bool crc);

}  // namespace kvtest
