#define KV_WIN32_REAL_CALLS  // this file calls the real functions
// Serial ports on Windows: the real comm API, plus what the layer adds on
// every system: the byte trace, time-outs on the platform clock, a bounded
// wait for readability, and the bytes a process writes when it must end at
// once. Exclusive use, the comm state and the line's time-outs are the
// driver's.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/clock.h"
#include "platform/comm_retry.h"
#include "platform/port_write_gate.h"
#include "platform/serial_io.h"
#include "platform/win32_handles.h"

namespace {

using platform::win32::detail::PortOf;
using platform::win32::detail::PortState;
using platform::win32::detail::RealMs;

// Never destroyed: a detached worker may still read or write at exit.
std::mutex& TraceLock() {
  static auto* lock = new std::mutex;
  return *lock;
}
std::shared_ptr<platform::PortTraceSink>& TraceSink() {
  static auto* sink = new std::shared_ptr<platform::PortTraceSink>;
  return *sink;
}
std::shared_ptr<platform::PortTraceSink> CurrentTrace() {
  std::lock_guard<std::mutex> lock(TraceLock());
  return TraceSink();
}

void Trace(const PortState& port, bool sent, const void* bytes, DWORD count) {
  if (count == 0) return;
  if (auto trace = CurrentTrace()) (*trace)(port.path, sent, static_cast<const unsigned char*>(bytes), count);
}

platform::win32::detail::CommCalls& Comm() { return platform::win32::detail::RealCommCalls(); }

// A read or write on a port: a line error that stopped the driver is
// acknowledged and the call made once more (comm_retry.h). Bytes the failed
// call still moved count, and the second call moves only the rest, so that
// nothing is lost or sent twice.
BOOL AcknowledgeLineError(HANDLE handle) {
  DWORD errors = 0;
  return Comm().clearError(handle, &errors, nullptr);
}

BOOL RetriedRead(HANDLE handle, void* buffer, DWORD toRead, DWORD* read) {
  auto* bytes = static_cast<char*>(buffer);
  DWORD total = 0;
  const BOOL ok = platform::CallRetryingAfterLineError(
      [&] {
        DWORD got = 0;
        const BOOL r = Comm().read(handle, bytes + total, toRead - total, &got, nullptr);
        total += got;
        return r || total == toRead ? TRUE : FALSE;
      },
      [&] { return AcknowledgeLineError(handle); });
  *read = total;
  return ok;
}

BOOL RetriedWrite(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written) {
  const auto* bytes = static_cast<const char*>(buffer);
  DWORD total = 0;
  const BOOL ok = platform::CallRetryingAfterLineError(
      [&] {
        DWORD done = 0;
        const BOOL r = Comm().write(handle, bytes + total, toWrite - total, &done, nullptr);
        total += done;
        return r || total == toWrite ? TRUE : FALSE;
      },
      [&] { return AcknowledgeLineError(handle); });
  *written = total;
  return ok;
}

DWORD ScaledTimeout(DWORD clockMs) { return clockMs == MAXDWORD ? MAXDWORD : RealMs(clockMs); }

COMMTIMEOUTS RealTimeouts(const COMMTIMEOUTS& clock) {
  return {ScaledTimeout(clock.ReadIntervalTimeout), ScaledTimeout(clock.ReadTotalTimeoutMultiplier),
          ScaledTimeout(clock.ReadTotalTimeoutConstant), ScaledTimeout(clock.WriteTotalTimeoutMultiplier),
          ScaledTimeout(clock.WriteTotalTimeoutConstant)};
}

// The read returns with what has arrived (interval MAXDWORD, multiplier 0 or
// MAXDWORD) rather than waiting for every byte asked for.
bool ReturnsWhatArrived(const COMMTIMEOUTS& t) {
  return t.ReadIntervalTimeout == MAXDWORD &&
         (t.ReadTotalTimeoutMultiplier == 0 || t.ReadTotalTimeoutMultiplier == MAXDWORD);
}

}  // namespace

namespace platform::win32 {

detail::CommCalls& detail::RealCommCalls() {
  static CommCalls calls{::ReadFile, ::WriteFile, ::ClearCommError};
  return calls;
}

HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* security, DWORD creation, DWORD flags,
                   HANDLE templateFile) {
  if (path == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = ::CreateFileA(path, access, shareMode, static_cast<SECURITY_ATTRIBUTES*>(security), creation, flags,
                                templateFile);
  if (handle == INVALID_HANDLE_VALUE) return handle;
  // Only a device with a comm state is a serial port (as on POSIX, where a
  // file that is not a terminal is refused).
  DCB state{};
  state.DCBlength = sizeof state;
  if (::GetFileType(handle) != FILE_TYPE_CHAR || !::GetCommState(handle, &state)) {
    ::CloseHandle(handle);
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto port = std::make_shared<PortState>(path);
  ::GetCommTimeouts(handle, &port->clockTimeouts);
  detail::Track(handle, std::move(port));
  ::SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
  const auto port = PortOf(handle);
  if (!port) return ::ReadFile(handle, buffer, toRead, read, static_cast<OVERLAPPED*>(overlapped));
  if (read) *read = 0;
  if (!buffer && toRead) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* out = static_cast<char*>(buffer);
  DWORD got = 0;
  bool returnNow = false;
  {
    std::lock_guard<std::mutex> lock(port->lock);
    got = static_cast<DWORD>(std::min<std::size_t>(port->pending.size(), toRead));
    std::memcpy(out, port->pending.data(), got);
    port->pending.erase(0, got);
    returnNow = got > 0 && ReturnsWhatArrived(port->clockTimeouts);
  }
  BOOL ok = TRUE;
  if (got < toRead && !returnNow) {
    DWORD more = 0;
    ok = RetriedRead(handle, out + got, toRead - got, &more);
    got += more;
  } else if (got < toRead) {
    // Bytes read ahead came first; whatever else is there already joins them.
    COMSTAT status{};
    DWORD errors = 0;
    if (Comm().clearError(handle, &errors, &status) && status.cbInQue > 0) {
      COMMTIMEOUTS noWait{MAXDWORD, 0, 0, 0, 0};
      COMMTIMEOUTS real{};
      ::GetCommTimeouts(handle, &real);
      ::SetCommTimeouts(handle, &noWait);
      DWORD more = 0;
      if (RetriedRead(handle, out + got, std::min<DWORD>(toRead - got, status.cbInQue), &more)) got += more;
      ::SetCommTimeouts(handle, &real);
    }
  }
  if (read) *read = got;
  Trace(*port, false, out, got);
  return got > 0 ? TRUE : ok;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
  const auto port = PortOf(handle);
  if (!port) return ::WriteFile(handle, buffer, toWrite, written, static_cast<OVERLAPPED*>(overlapped));
  DWORD done = 0;
  BOOL ok = FALSE;
  {
    // A process quitting at once has sent its last bytes: nothing may follow.
    const platform::write_gate::Pass pass;
    if (!pass) {
      if (written) *written = 0;
      SetLastError(ERROR_OPERATION_ABORTED);
      return FALSE;
    }
    ok = RetriedWrite(handle, buffer, toWrite, &done);
  }
  if (written) *written = done;
  Trace(*port, true, buffer, done);
  return ok;
}

BOOL SetCommTimeouts(HANDLE handle, const COMMTIMEOUTS* timeouts) {
  const auto port = PortOf(handle);
  if (!port || !timeouts) return ::SetCommTimeouts(handle, const_cast<COMMTIMEOUTS*>(timeouts));
  COMMTIMEOUTS real = RealTimeouts(*timeouts);
  if (!::SetCommTimeouts(handle, &real)) return FALSE;
  std::lock_guard<std::mutex> lock(port->lock);
  port->clockTimeouts = *timeouts;
  return TRUE;
}

BOOL GetCommTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts) {
  const auto port = PortOf(handle);
  if (!port || !timeouts) return ::GetCommTimeouts(handle, timeouts);
  std::lock_guard<std::mutex> lock(port->lock);
  *timeouts = port->clockTimeouts;
  return TRUE;
}

BOOL PurgeComm(HANDLE handle, DWORD flags) {
  if (const auto port = PortOf(handle); port && (flags & (PURGE_RXCLEAR | PURGE_RXABORT))) {
    std::lock_guard<std::mutex> lock(port->lock);
    port->pending.clear();
  }
  return ::PurgeComm(handle, flags);
}

BOOL ClearCommError(HANDLE handle, DWORD* errors, COMSTAT* status) {
  COMSTAT real{};
  if (!Comm().clearError(handle, errors, &real)) return FALSE;
  if (const auto port = PortOf(handle)) {
    std::lock_guard<std::mutex> lock(port->lock);
    real.cbInQue += static_cast<DWORD>(port->pending.size());
  }
  if (status) *status = real;
  return TRUE;
}

}  // namespace platform::win32

namespace platform {

std::string PortDevicePath(const std::string& portName) {
  // A full device or file path ("\\.\COM12", Wine's "Z:\dev\pts\3") is
  // opened as given; a bare name goes through the device namespace, which
  // ports above COM9 need. A name as the port list shows it ("COM12:") is
  // that port: only COM1 to COM9 would open by their old DOS names.
  if (portName.find_first_of("\\/") == std::string::npos) {
    std::string name = portName;
    while (!name.empty() && name.back() == ':') name.pop_back();
    if (name.size() < 2 || name.find(':') != std::string::npos) return portName;  // "Z:" is a drive
    return "\\\\.\\" + name;
  }
  if (portName.rfind("\\\\", 0) == 0 || portName.find(':') != std::string::npos) return portName;
  return "\\\\.\\" + portName;
}

int WaitCommReadable(HANDLE handle, DWORD timeoutMs) {
  const auto port = PortOf(handle);
  if (!port) return -1;
  {
    std::lock_guard<std::mutex> lock(port->lock);
    if (!port->pending.empty()) return 1;
  }
  COMSTAT status{};
  DWORD errors = 0;
  if (!Comm().clearError(handle, &errors, &status)) return -1;
  if (status.cbInQue > 0) return 1;
  if (timeoutMs == 0) return 0;
  // A read of one byte with only a total time-out returns as soon as the byte
  // is there; the byte waits in `pending` for the next ReadFile.
  COMMTIMEOUTS real{};
  if (!::GetCommTimeouts(handle, &real)) return -1;
  COMMTIMEOUTS firstByte{0, 0, timeoutMs == INFINITE ? 0 : RealMs(timeoutMs), 0, 0};
  firstByte.WriteTotalTimeoutMultiplier = real.WriteTotalTimeoutMultiplier;
  firstByte.WriteTotalTimeoutConstant = real.WriteTotalTimeoutConstant;
  if (!::SetCommTimeouts(handle, &firstByte)) return -1;
  char byte = 0;
  DWORD got = 0;
  const BOOL ok = RetriedRead(handle, &byte, 1, &got);
  ::SetCommTimeouts(handle, &real);
  if (!ok) return -1;
  if (got == 0) return 0;
  std::lock_guard<std::mutex> lock(port->lock);
  port->pending.push_back(byte);
  return 1;
}

bool CommLineLost(HANDLE handle) {
  // A port whose device went away (USB bridge pulled) fails every call.
  DWORD errors = 0;
  COMSTAT status{};
  return !PortOf(handle) || !Comm().clearError(handle, &errors, &status);
}

void SetPortExitBytes(HANDLE handle, std::string_view bytes) {
  const auto port = PortOf(handle);
  if (!port) return;
  // Once a quit at once has begun, the exit bytes no longer change (a job
  // ending meanwhile must not clear the ESC the tracker still needs).
  const write_gate::Pass pass;
  if (!pass) return;
  std::lock_guard<std::mutex> lock(port->lock);
  port->exitBytes.assign(bytes.substr(0, 8));
}

void ReleasePortsForExit() {
  // Windows gives the port back to everyone when the process ends; what is
  // left is telling the tracker to drop a half-sent text. Once per port, not
  // per handle. The exit bytes are the last the tracker hears: no other
  // thread's write may start after them or still be under way.
  write_gate::CloseAndDrain(write_gate::EXIT_WRITE_DRAIN_MS);
  std::vector<const PortState*> done;
  for (const auto& [handle, port] : win32::detail::OpenPorts()) {
    if (std::find(done.begin(), done.end(), port.get()) != done.end()) continue;
    done.push_back(port.get());
    std::string bytes;
    {
      std::lock_guard<std::mutex> lock(port->lock);
      bytes = port->exitBytes;
    }
    DWORD written = 0;
    if (!bytes.empty()) ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

void SetPortTrace(PortTraceSink sink) {
  std::lock_guard<std::mutex> lock(TraceLock());
  TraceSink() = sink ? std::make_shared<PortTraceSink>(std::move(sink)) : nullptr;
}

}  // namespace platform
