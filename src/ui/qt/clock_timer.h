// A repeating timer on the platform clock, the stand-in for SetTimer: its
// period is given in clock milliseconds, so a sped-up clock (tests) makes it
// tick faster in the same proportion as every other wait.
//
// Ticks that pile up while the GUI thread is occupied are merged by the
// event loop, as Windows merges WM_TIMER messages.
//
// Thread contract: GUI thread only.
#pragma once

#include <functional>

#include <QObject>
#include <QTimer>

#include "platform/win_types.h"

namespace ui {

class ClockTimer : public QObject {
  Q_OBJECT
 public:
  explicit ClockTimer(std::function<void()> onTick, QObject* parent = nullptr);

  // (Re)starts the timer with a period of `periodMs` clock milliseconds.
  void Start(DWORD periodMs);
  void Stop();
  bool IsActive() const { return timer_.isActive(); }

 private:
  void Deliver();

  QTimer timer_;
  std::function<void()> onTick_;
};

}  // namespace ui
