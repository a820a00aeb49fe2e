#include "serial/open_serial_port.h"

#include <string>

HANDLE OpenSerialPort(const char* portName, DWORD baudRate) {
  if (portName == nullptr || *portName == '\0') return INVALID_HANDLE_VALUE;
  const std::string path = platform::PortDevicePath(portName);
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (port == INVALID_HANDLE_VALUE) return port;

  // Only the open decides success: a setting the driver refuses is not checked.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(port, &dcb);
  dcb.BaudRate = baudRate;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = 1;
  dcb.fParity = 0;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = 0;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fNull = 0;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = 1;
  SetCommState(port, &dcb);

  COMMTIMEOUTS timeouts{};
  GetCommTimeouts(port, &timeouts);
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = 100;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  SetCommTimeouts(port, &timeouts);

  // Bytes that arrived before the open are not the tracker's answer to us.
  DWORD errors = 0;
  COMSTAT status{};
  ClearCommError(port, &errors, &status);
  PurgeComm(port, PURGE_TXCLEAR);
  PurgeComm(port, PURGE_RXCLEAR);
  ClearCommError(port, &errors, &status);
  return port;
}
