// The byte channel of the firmware transfer: open a port by name, configure
// it, write and read with a time-out in clock milliseconds, close.
//
// Thread contract: a channel belongs to one thread (the update thread, or the
// terminal program's main thread) for its whole life.
#pragma once

#include "firmware/transfer_result.h"
#include "platform/win_types.h"

class CommChannel {
 public:
  // Opens the named port with exclusive access: 0, or CHANNEL_FAILED,
  // CHANNEL_NO_SUCH_PORT, CHANNEL_PORT_BUSY.
  virtual int Open(const char* portName) = 0;
  // Sets the line to baudRate, 8 data bits, no parity, one stop bit and
  // empties both buffers: 0, CHANNEL_FAILED or CHANNEL_BAD_SETTINGS.
  virtual int Configure(DWORD baudRate) = 0;
  // Returns the number of bytes written (possibly fewer than count; 0 when the
  // line took nothing within timeoutMs) or CHANNEL_WRITE_FAILED.
  virtual int Write(const void* buffer, int count, DWORD timeoutMs) = 0;
  // Returns as soon as at least one byte is there: the number read (at most
  // count), 0 when nothing came within timeoutMs (time-out 0: one attempt),
  // or CHANNEL_READ_FAILED.
  virtual int Read(void* buffer, int count, DWORD timeoutMs) = 0;
  // Releases the port; calling it again does nothing.
  virtual void Close() = 0;
  virtual ~CommChannel() = 0;
};

inline CommChannel::~CommChannel() {}
