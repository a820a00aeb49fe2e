#include "ui/qt/clock_timer.h"

#include <algorithm>
#include <chrono>

#include "platform/clock.h"

namespace ui {

ClockTimer::ClockTimer(std::function<void()> onTick, QObject* parent) : QObject(parent), onTick_(std::move(onTick)) {
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &ClockTimer::Deliver);
}

void ClockTimer::Start(DWORD periodMs) {
  const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(platform::RealDuration(periodMs));
  timer_.start(std::max<std::chrono::milliseconds>(real, std::chrono::milliseconds(1)));
}

void ClockTimer::Stop() { timer_.stop(); }

void ClockTimer::Deliver() {
  if (timer_.isActive()) onTick_();
}

}  // namespace ui
