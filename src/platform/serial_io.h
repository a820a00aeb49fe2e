// Serial port calls with Windows' names, structures and results: opening a
// port as a file, its comm state and time-outs, reads, writes, purges and the
// queue and line-error query. On POSIX a port is a tty opened with exclusive
// access (TIOCEXCL plus a non-blocking flock, since root passes TIOCEXCL);
// the process's own controlling terminal is refused, and closing the last
// handle puts back the terminal settings the device had before the open.
//
// Thread contract: one thread may read while another writes; a handle is
// closed by its owner only after its readers were told to stop (or hold their
// own reference, platform::RetainHandle).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/sync.h"
#include "platform/win_types.h"

#ifndef _WIN32
struct DCB {
  DWORD DCBlength = sizeof(DCB);
  DWORD BaudRate = 9600;
  DWORD fBinary : 1 = 1;
  DWORD fParity : 1 = 0;
  DWORD fOutxCtsFlow : 1 = 0;
  DWORD fOutxDsrFlow : 1 = 0;
  DWORD fDtrControl : 2 = 1;
  DWORD fDsrSensitivity : 1 = 0;
  DWORD fTXContinueOnXoff : 1 = 0;
  DWORD fOutX : 1 = 0;
  DWORD fInX : 1 = 0;
  DWORD fErrorChar : 1 = 0;
  DWORD fNull : 1 = 0;
  DWORD fRtsControl : 2 = 1;
  DWORD fAbortOnError : 1 = 0;
  std::uint16_t XonLim = 2048;
  std::uint16_t XoffLim = 512;
  BYTE ByteSize = 8;
  BYTE Parity = 0;
  BYTE StopBits = 0;
  char XonChar = 0x11;
  char XoffChar = 0x13;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
};

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout = 0;
  DWORD ReadTotalTimeoutMultiplier = 0;
  DWORD ReadTotalTimeoutConstant = 0;
  DWORD WriteTotalTimeoutMultiplier = 0;
  DWORD WriteTotalTimeoutConstant = 0;
};

struct COMSTAT {
  DWORD cbInQue = 0;
  DWORD cbOutQue = 0;
};

constexpr BYTE NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2;
constexpr BYTE ONESTOPBIT = 0, TWOSTOPBITS = 2;
constexpr DWORD DTR_CONTROL_DISABLE = 0, DTR_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_DISABLE = 0, RTS_CONTROL_ENABLE = 1, RTS_CONTROL_HANDSHAKE = 2;
constexpr DWORD PURGE_TXABORT = 0x1, PURGE_RXABORT = 0x2, PURGE_TXCLEAR = 0x4, PURGE_RXCLEAR = 0x8;
constexpr DWORD CE_RXOVER = 0x1, CE_OVERRUN = 0x2, CE_RXPARITY = 0x4, CE_FRAME = 0x8;

// Opens a serial device for exclusive read/write. Only OPEN_EXISTING and
// share mode 0 are supported. Fails with ERROR_FILE_NOT_FOUND for a missing
// device or one that is not a terminal device, and ERROR_ACCESS_DENIED for
// one held by another handle or process, or that is the process's own
// controlling terminal (or the terminal of its standard streams).
HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* security, DWORD creation, DWORD flags,
                   HANDLE templateFile);

BOOL GetCommState(HANDLE port, DCB* dcb);
// Fails with ERROR_INVALID_PARAMETER for a baud rate or frame the driver refuses.
// DTR and RTS changes that the device cannot make (a pseudo-terminal) are ignored.
BOOL SetCommState(HANDLE port, const DCB* dcb);
BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE port, const COMMTIMEOUTS* timeouts);
BOOL PurgeComm(HANDLE port, DWORD flags);
BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status);
// Waits (bounded, 1000 ms) until the output queue has drained.
BOOL FlushFileBuffers(HANDLE port);

// Reads follow the port's COMMTIMEOUTS: {MAXDWORD, MAXDWORD, C} returns at once
// with what has arrived, or waits up to C ms for the first byte; {MAXDWORD, 0, 0}
// never waits; other settings wait for `toRead` bytes up to the total time-out
// (no time-out: until they came). A port whose device went away fails.
BOOL ReadFile(HANDLE port, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
// Writes everything unless the line fails; a line that accepts nothing for
// 10 s ends the write with what was written (never blocks for good).
BOOL WriteFile(HANDLE port, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
#else
#include "platform/win32_calls.h"
#endif

namespace platform {
// The device path for a port name: "\\.\COM3" on Windows; on POSIX
// "/dev/ttyUSB0" for "ttyUSB0", or the name itself when it starts with "/".
std::string PortDevicePath(const std::string& portName);

// Waits up to `timeoutMs` clock milliseconds until at least one byte can be
// read. Returns 1 when readable, 0 on time-out, -1 when the port failed
// (device gone, the other side of a terminal hung up, invalid handle). Lets the firmware channel wake on the port
// instead of sleeping in fixed steps.
int WaitCommReadable(HANDLE port, DWORD timeoutMs);

// True when the port's device has gone away (cable pulled, simulator ended).
bool CommLineLost(HANDLE port);

// Receives every byte read from or written to any port, with the port's
// device path; `sent` is true for bytes the tool wrote. Process-wide, for
// the terminal program's --trace. Called on the reading or writing thread.
// Bytes ReleasePortsForExit writes to this port first (at most 8; empty for
// none), such as ESC to abandon a message text the tracker is taking in.
// Any thread.
void SetPortExitBytes(HANDLE port, std::string_view bytes);

// For a process that must end at once (a second Ctrl-C): stops every other
// port write (platform/port_write_gate.h), writes each open port's exit bytes, puts back the terminal settings it had
// before it was opened and clears its exclusive-use flag, so that the port can be opened again by anyone. The ports
// stay open. Async-signal-safe.
void ReleasePortsForExit();

// The sink and its lock are never destroyed: a worker that outlived its
// caller's bound (sync.h) may still read or write a port while the process
// exits, and so call the sink; the sink's own state must outlive it as well.
using PortTraceSink =
    std::function<void(const std::string& device, bool sent, const unsigned char* bytes, std::size_t count)>;
void SetPortTrace(PortTraceSink sink);
}  // namespace platform
