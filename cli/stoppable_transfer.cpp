#include "stoppable_transfer.h"

#include <algorithm>

#include "firmware/serial_channel.h"
#include "interrupt.h"
#include "platform/serial_io.h"

namespace {
// How long one read may wait before the stop is looked at again.
constexpr DWORD STOP_LOOK_MS = 100;
// CAN CAN: the receiver ends the batch at once and its menu comes back.
constexpr unsigned char kCancelBatch[] = {YmodemSender::CAN, YmodemSender::CAN};
constexpr DWORD CANCEL_WRITE_MS = 1000;
// What a quit at once leaves on the line while the batch runs: the cancel,
// a few times over, so that the boot loader ends the batch and its menu
// answers the next probe (the whole block in hand has gone out before them).
constexpr char kCancelOnQuit[] = "\x18\x18\x18\x18\x18";
}  // namespace

bool StoppableChannel::StopNow() {
  if (stopped_) return true;
  if (!stopRequested_()) return false;
  stopped_ = true;
  inner_.Write(kCancelBatch, sizeof kCancelBatch, CANCEL_WRITE_MS);
  return true;
}

int StoppableChannel::Write(const void* buffer, int count, DWORD timeoutMs) {
  if (StopNow()) return CHANNEL_WRITE_FAILED;
  return inner_.Write(buffer, count, timeoutMs);
}

int StoppableChannel::Read(void* buffer, int count, DWORD timeoutMs) {
  DWORD left = timeoutMs;
  for (;;) {
    if (StopNow()) return CHANNEL_READ_FAILED;
    const DWORD slice = std::min(left, STOP_LOOK_MS);
    const int got = inner_.Read(buffer, count, slice);
    if (got != 0 || left <= slice) return got;
    left -= slice;
  }
}

int RunStoppableFirmwareTransfer(const char* portName, FirmwareImage& image, const FirmwareObserver& observer,
                                 FirmwareTransferReport* report, bool* stopped) {
  SerialChannel serial;
  StoppableChannel channel(serial, [] { return interrupt::Requested(); });
  FirmwareTransferReport local;
  FirmwareTransferReport& out = report ? *report : local;
  int r = channel.Open(portName);
  if (r != TRANSFER_OK) {
    out = {FirmwareStep::OpenPort, r};
    if (stopped) *stopped = false;
    return 1;
  }
  platform::SetPortExitBytes(serial.Handle(), kCancelOnQuit);
  r = channel.Configure(FIRMWARE_BAUD_RATE);
  if (r != TRANSFER_OK) {
    channel.Close();
    out = {FirmwareStep::ConfigurePort, r};
    if (stopped) *stopped = false;
    return 1;
  }
  const int result = SendFirmwareImage(channel, image, observer, &out);
  // An interrupt before the first block still cancels the waiting receiver.
  if (result != 0) channel.StopNow();
  channel.Close();
  if (stopped) *stopped = channel.Stopped();
  return result != 0 ? 1 : 0;
}
