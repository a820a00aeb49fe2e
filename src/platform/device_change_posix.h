// Tells when serial ports may have come or gone, without any toolkit: udev
// events of the tty subsystem (a USB bridge plugged in or pulled out), and
// changes in the simulated trackers' runtime folder, including a simulator
// that was killed without withdrawing its port (its process is watched).
//
// All sources sit behind one descriptor: a window wraps it in a read
// notifier (QSocketNotifier) and calls Drain() when it fires; a terminal
// program polls it or calls WaitForChange().
//
// Thread contract: one thread owns a monitor and makes all calls on it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct udev;
struct udev_monitor;

namespace platform {

class DeviceChangeMonitor {
 public:
  // Starts watching; creates the runtime folder when it is missing.
  DeviceChangeMonitor();
  ~DeviceChangeMonitor();
  DeviceChangeMonitor(const DeviceChangeMonitor&) = delete;
  DeviceChangeMonitor& operator=(const DeviceChangeMonitor&) = delete;

  // True when udev, the runtime folder or both are watched.
  bool IsWatching() const { return udevFd_ >= 0 || folderWatch_ >= 0; }
  bool WatchesRuntimeFolder() const { return folderWatch_ >= 0; }

  // Readable while events are pending; -1 when nothing could be watched.
  int Descriptor() const { return IsWatching() ? epollFd_ : -1; }

  // Consumes the pending events without waiting. True when ports may have
  // come or gone since the last call (refill the port list then).
  bool Drain();

  // Waits up to `timeoutMs` clock milliseconds for a change; true when one
  // came (its events are consumed).
  bool WaitForChange(std::uint32_t timeoutMs);

 private:
  void WatchUdev();
  void WatchRuntimeFolder();
  bool DrainUdev();
  bool DrainFolder();
  // Follows the processes of the advertised simulators, so that one ending
  // without withdrawing its port still raises a change.
  void SyncProcessWatches();
  void Unwatch(int fd);

  int epollFd_ = -1;
  udev* udev_ = nullptr;
  udev_monitor* udevMonitor_ = nullptr;
  int udevFd_ = -1;
  int inotifyFd_ = -1;
  int folderWatch_ = -1;
  std::string folder_;
  std::map<long, int> processFds_;  // pid -> pidfd
};

}  // namespace platform
