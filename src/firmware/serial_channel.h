// CommChannel over a serial port opened as a file (a COM port on Windows, a
// tty on POSIX: "ttyUSB0" opens /dev/ttyUSB0, a name starting with "/" is
// opened as given). Reads wait on the port itself, so a reply is seen the
// moment it arrives.
//
// Thread contract: one thread owns the channel (see CommChannel).
#pragma once

#include "firmware/comm_channel.h"

class SerialChannel final : public CommChannel {
 public:
  // Longest port name accepted by Open.
  static constexpr int MAX_PORT_NAME = 255;

  SerialChannel() = default;
  ~SerialChannel() override;
  SerialChannel(const SerialChannel&) = delete;
  SerialChannel& operator=(const SerialChannel&) = delete;

  int Open(const char* portName) override;
  int Configure(DWORD baudRate) override;
  int Write(const void* buffer, int count, DWORD timeoutMs) override;
  int Read(void* buffer, int count, DWORD timeoutMs) override;
  void Close() override;

  bool IsOpen() const { return m_hPort != INVALID_HANDLE_VALUE; }
  // The open port (INVALID_HANDLE_VALUE when closed), for what its owner
  // sets on it beside the transfer (the bytes a quit at once leaves).
  HANDLE Handle() const { return m_hPort; }

 private:
  HANDLE m_hPort = INVALID_HANDLE_VALUE;
};
