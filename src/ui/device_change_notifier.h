// Device-change notification for a window, the stand-in for WM_DEVICECHANGE:
// watches the descriptor of a device monitor (platform/device_change_posix.h:
// udev, the simulated trackers' folder) and calls back on the GUI thread
// whenever it reports a change. The monitor itself stays GUI-free; this class
// only needs its descriptor and a way to consume what is pending.
//
// A change that arrives inside a pumped wait is reported once after the wait
// (pumped_wait.h); changes that pile up meanwhile are merged into one.
//
// Thread contract: GUI thread only.
#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QSocketNotifier>

namespace ui {

class DeviceChangeNotifier : public QObject {
  Q_OBJECT
 public:
  // `drain` consumes what is pending on the descriptor (so it stops being
  // readable) and tells whether ports may have come or gone; `onChange` is
  // the window's handler.
  DeviceChangeNotifier(int fd, std::function<bool()> drain, std::function<void()> onChange,
                       QObject* parent = nullptr);
  ~DeviceChangeNotifier() override;

 private:
  void OnReadable();
  void Deliver();

  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<bool()> drain_;
  std::function<void()> onChange_;
};

}  // namespace ui
