// Speeds the platform clock up for one test and puts it back afterwards.
#pragma once

#include "platform/clock.h"

class ClockSpeedScope {
 public:
  explicit ClockSpeedScope(double factor) { platform::SetClockSpeed(factor); }
  ~ClockSpeedScope() { platform::SetClockSpeed(1.0); }
  ClockSpeedScope(const ClockSpeedScope&) = delete;
  ClockSpeedScope& operator=(const ClockSpeedScope&) = delete;
};
