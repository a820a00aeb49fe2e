#include "firmware/serial_channel.h"

#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/serial_io.h"

namespace {
constexpr DWORD PURGE_ALL = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
}  // namespace

SerialChannel::~SerialChannel() { Close(); }

int SerialChannel::Open(const char* portName) {
  Close();  // a second Open must not leak the port held so far
  if (portName == nullptr || std::strlen(portName) > MAX_PORT_NAME) return CHANNEL_FAILED;
  const std::string path = platform::PortDevicePath(portName);
  m_hPort = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
  if (m_hPort != INVALID_HANDLE_VALUE) return TRANSFER_OK;
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND: return CHANNEL_NO_SUCH_PORT;
    case ERROR_ACCESS_DENIED: return CHANNEL_PORT_BUSY;
    default: return CHANNEL_FAILED;
  }
}

int SerialChannel::Configure(DWORD baudRate) {
  if (!FlushFileBuffers(m_hPort)) return CHANNEL_FAILED;
  if (!PurgeComm(m_hPort, PURGE_ALL)) return CHANNEL_FAILED;
  DCB dcb{};
  if (!GetCommState(m_hPort, &dcb)) return CHANNEL_FAILED;
  // Only the frame changes; flow control, DTR/RTS and the special characters
  // keep what the driver reported.
  dcb.BaudRate = baudRate;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  if (!SetCommState(m_hPort, &dcb))
    return GetLastError() == ERROR_INVALID_PARAMETER ? CHANNEL_BAD_SETTINGS : CHANNEL_FAILED;
  // Reads return at once with what has arrived; writes hand everything to the
  // driver. The channel does its own waiting.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  if (!SetCommTimeouts(m_hPort, &timeouts)) return CHANNEL_FAILED;
  if (!PurgeComm(m_hPort, PURGE_ALL)) return CHANNEL_FAILED;
  return TRANSFER_OK;
}

int SerialChannel::Write(const void* buffer, int count, DWORD timeoutMs) {
  if (count < 0 || (buffer == nullptr && count > 0)) return CHANNEL_WRITE_FAILED;
  if (count == 0) return 0;
  const std::uint64_t deadline = platform::ClockMs() + timeoutMs;
  for (;;) {
    // WriteFile waits on the port itself while the line is full (bounded), so
    // a retry happens only after such a wait, never in a spin.
    DWORD written = 0;
    if (!WriteFile(m_hPort, buffer, static_cast<DWORD>(count), &written, nullptr)) return CHANNEL_WRITE_FAILED;
    if (written != 0) return static_cast<int>(written);
    if (platform::ClockMs() >= deadline) return 0;
  }
}

int SerialChannel::Read(void* buffer, int count, DWORD timeoutMs) {
  if (count < 0 || (buffer == nullptr && count > 0)) return CHANNEL_READ_FAILED;
  if (count == 0) return 0;
  DWORD got = 0;
  if (!ReadFile(m_hPort, buffer, static_cast<DWORD>(count), &got, nullptr)) return CHANNEL_READ_FAILED;
  if (got != 0 || timeoutMs == 0) return static_cast<int>(got);
  const int ready = platform::WaitCommReadable(m_hPort, timeoutMs);
  if (ready == 0) return 0;
  if (ready < 0) return CHANNEL_READ_FAILED;
  // The port said it is readable: no byte now means the line hung up (a
  // pulled cable reads as an empty, always-readable line).
  if (!ReadFile(m_hPort, buffer, static_cast<DWORD>(count), &got, nullptr) || got == 0) return CHANNEL_READ_FAILED;
  return static_cast<int>(got);
}

void SerialChannel::Close() {
  if (m_hPort == INVALID_HANDLE_VALUE) return;
  CloseHandle(m_hPort);
  m_hPort = INVALID_HANDLE_VALUE;
}
