// The firmware transfer from the terminal, with the interrupt hooked in: the
// same engine as the window's update, on a channel that, once Ctrl-C or
// SIGTERM came, cancels the batch with CAN CAN between two blocks and then
// fails every read and write, so that the transfer returns through its
// normal path (the port is closed and released by its owner).
//
// Thread contract: runs on the job's thread, like RunFirmwareTransfer.
#pragma once

#include <functional>

#include "firmware/firmware_transfer.h"

// Like RunFirmwareTransfer for an image opened beforehand (no console
// lines). `stopped` tells whether the transfer ended because of an interrupt.
int RunStoppableFirmwareTransfer(const char* portName, FirmwareImage& image, const FirmwareObserver& observer,
                                 FirmwareTransferReport* report, bool* stopped);

// The channel (exposed for tests): forwards to `inner` until `stopRequested`
// returns true, then sends the cancel and fails.
class StoppableChannel final : public CommChannel {
 public:
  StoppableChannel(CommChannel& inner, std::function<bool()> stopRequested)
      : inner_(inner), stopRequested_(std::move(stopRequested)) {}
  int Open(const char* portName) override { return inner_.Open(portName); }
  int Configure(DWORD baudRate) override { return inner_.Configure(baudRate); }
  int Write(const void* buffer, int count, DWORD timeoutMs) override;
  int Read(void* buffer, int count, DWORD timeoutMs) override;
  void Close() override { inner_.Close(); }
  bool Stopped() const { return stopped_; }
  // True (after sending the cancel once) when the transfer must stop.
  bool StopNow();

 private:
  CommChannel& inner_;
  std::function<bool()> stopRequested_;
  bool stopped_ = false;
};
