#include "platform/device_change_posix.h"

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>

#include "platform/clock.h"
#include "platform/sim_registry.h"

namespace platform {
namespace {

constexpr std::uint32_t FOLDER_EVENTS =
    IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
// Bounds one Drain() under a storm of events; what is left stays pending.
constexpr int MAX_DRAIN_ROUNDS = 16;

// A descriptor that becomes readable when the process ends; -1 where the
// system has none (called directly: the C library's wrapper is not usable
// from C++ on every system we build on).
int OpenProcessDescriptor(long pid) { return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0)); }

bool AddToEpoll(int epollFd, int fd) {
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = fd;
  return ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev) == 0;
}

}  // namespace

DeviceChangeMonitor::DeviceChangeMonitor() {
  epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (epollFd_ < 0) return;
  WatchUdev();
  WatchRuntimeFolder();
  SyncProcessWatches();
}

DeviceChangeMonitor::~DeviceChangeMonitor() {
  for (const auto& [pid, fd] : processFds_) ::close(fd);
  if (inotifyFd_ >= 0) ::close(inotifyFd_);
  if (udevMonitor_) udev_monitor_unref(udevMonitor_);
  if (udev_) udev_unref(udev_);
  if (epollFd_ >= 0) ::close(epollFd_);
}

void DeviceChangeMonitor::WatchUdev() {
  udev_ = udev_new();
  if (!udev_) return;
  // Events from the udev daemon, sent once the device node is ready to open.
  udevMonitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (!udevMonitor_ || udev_monitor_filter_add_match_subsystem_devtype(udevMonitor_, "tty", nullptr) < 0 ||
      udev_monitor_enable_receiving(udevMonitor_) < 0)
    return;
  const int fd = udev_monitor_get_fd(udevMonitor_);
  if (fd < 0) return;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  if (AddToEpoll(epollFd_, fd)) udevFd_ = fd;
}

void DeviceChangeMonitor::WatchRuntimeFolder() {
  if (inotifyFd_ < 0) {
    inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0) return;
    if (!AddToEpoll(epollFd_, inotifyFd_)) {
      ::close(inotifyFd_);
      inotifyFd_ = -1;
      return;
    }
  }
  folderWatch_ = -1;
  if (!EnsureRuntimeFolder()) return;
  folder_ = RuntimeFolder();
  folderWatch_ = ::inotify_add_watch(inotifyFd_, folder_.c_str(), FOLDER_EVENTS | IN_ONLYDIR);
}

bool DeviceChangeMonitor::DrainUdev() {
  bool changed = false;
  while (udev_device* dev = udev_monitor_receive_device(udevMonitor_)) {
    const char* action = udev_device_get_action(dev);
    if (action && (!std::strcmp(action, "add") || !std::strcmp(action, "remove") || !std::strcmp(action, "move")))
      changed = true;
    udev_device_unref(dev);
  }
  return changed;
}

bool DeviceChangeMonitor::DrainFolder() {
  bool changed = false, folderLost = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(inotifyFd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      if (ev->mask & IN_Q_OVERFLOW) {
        changed = true;  // events were lost: assume the worst
        continue;
      }
      if (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
        // Only the current watch counts; IN_IGNORED of a replaced one does not.
        if (ev->wd == folderWatch_) folderLost = changed = true;
        continue;
      }
      // Files being written start with a dot; they appear by a rename.
      if (ev->len > 0 && ev->name[0] != '.') changed = true;
    }
  }
  if (folderLost) {
    // The folder was removed (a /tmp cleaner): make it again and watch it.
    if (folderWatch_ >= 0) ::inotify_rm_watch(inotifyFd_, folderWatch_);
    WatchRuntimeFolder();
  }
  return changed;
}

void DeviceChangeMonitor::SyncProcessWatches() {
  if (epollFd_ < 0) return;
  std::set<long> live;
  for (const auto& port : ListSimulatedPorts()) {
    live.insert(port.pid);
    if (processFds_.count(port.pid)) continue;
    const int fd = OpenProcessDescriptor(port.pid);
    if (fd < 0) continue;  // already gone, or no process descriptors here
    if (!AddToEpoll(epollFd_, fd)) {
      ::close(fd);
      continue;
    }
    processFds_[port.pid] = fd;
  }
  for (auto it = processFds_.begin(); it != processFds_.end();) {
    if (live.count(it->first)) {
      ++it;
      continue;
    }
    Unwatch(it->second);
    it = processFds_.erase(it);
  }
}

void DeviceChangeMonitor::Unwatch(int fd) {
  ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
  ::close(fd);
}

bool DeviceChangeMonitor::Drain() {
  if (epollFd_ < 0) return false;
  bool changed = false;
  for (int round = 0; round < MAX_DRAIN_ROUNDS; ++round) {
    epoll_event events[16];
    const int n = ::epoll_wait(epollFd_, events, 16, 0);
    if (n <= 0) break;
    bool roundChanged = false;
    for (int i = 0; i < n; ++i) {
      const int fd = events[i].data.fd;
      if (fd == udevFd_) {
        roundChanged = DrainUdev() || roundChanged;
      } else if (fd == inotifyFd_) {
        roundChanged = DrainFolder() || roundChanged;
      } else {
        // A simulator's process ended; its port is gone even if its file stays.
        for (auto it = processFds_.begin(); it != processFds_.end(); ++it) {
          if (it->second != fd) continue;
          Unwatch(fd);
          processFds_.erase(it);
          roundChanged = true;
          break;
        }
      }
    }
    if (roundChanged) {
      changed = true;
      SyncProcessWatches();
    }
  }
  return changed;
}

bool DeviceChangeMonitor::WaitForChange(std::uint32_t timeoutMs) {
  if (Descriptor() < 0) return false;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + RealDuration(timeoutMs);
  for (;;) {
    if (Drain()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{epollFd_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left.count()) + 1);
    if (r < 0 && errno != EINTR) return false;
  }
}

}  // namespace platform
