#include "ui/device_change_notifier.h"

#include "ui/pumped_wait.h"

namespace ui {

DeviceChangeNotifier::DeviceChangeNotifier(int fd, std::function<bool()> drain,
                                           std::function<void()> onChange, QObject* parent)
    : QObject(parent), drain_(std::move(drain)), onChange_(std::move(onChange)) {
  if (fd < 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &DeviceChangeNotifier::OnReadable);
}

DeviceChangeNotifier::~DeviceChangeNotifier() = default;

void DeviceChangeNotifier::OnReadable() {
  // Consume the news at once, even inside a wait, or the descriptor would
  // stay readable and wake the loop over and over.
  if (drain_ && !drain_()) return;
  Deliver();
}

void DeviceChangeNotifier::Deliver() {
  if (InPumpedWait()) {
    RunAfterPumpedWaits(this, [this] { Deliver(); }, this);
    return;
  }
  if (onChange_) onChange_();
}

}  // namespace ui
