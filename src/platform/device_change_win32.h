// Tells when serial ports may have come or gone on Windows: WM_DEVICECHANGE
// (a COM-port interface arriving or going, or the device tree changing)
// received by a message-only window that belongs to the monitor.
//
// Thread contract: the thread that made the monitor owns it and makes all
// calls on it (the window's messages are that thread's).
#pragma once

#include <windows.h>

#include <cstdint>

namespace platform {

class DeviceChangeMonitor {
 public:
  DeviceChangeMonitor();
  ~DeviceChangeMonitor();
  DeviceChangeMonitor(const DeviceChangeMonitor&) = delete;
  DeviceChangeMonitor& operator=(const DeviceChangeMonitor&) = delete;

  bool IsWatching() const { return window_ != nullptr; }

  // Handles the window's pending messages without waiting. True when ports
  // may have come or gone since the last call.
  bool Drain();

  // Waits up to `timeoutMs` clock milliseconds for a change; true when one came.
  bool WaitForChange(std::uint32_t timeoutMs);

  // Called by the window procedure.
  void NoteChange() { changed_ = true; }

 private:
  HWND window_ = nullptr;
  HDEVNOTIFY notification_ = nullptr;
  bool changed_ = false;
};

}  // namespace platform
