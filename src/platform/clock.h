// The one clock behind every pause, time-out and timer of the tool.
// Product code always runs at real speed. Tests may speed the clock up
// in-process (never through the environment) so that a 25 s probe takes a
// fraction of a second while every ratio between waits stays the same.
//
// Thread contract: every function may be called from any thread. A wait
// converts its bound to real time when it starts, so a speed change reaches
// only the waits that start after it; tests change the speed while no wait
// of theirs runs.
#pragma once

#include <chrono>
#include <cstdint>

namespace platform {

// Speed factor: 1 is real time, 20 makes every wait 20 times shorter.
void SetClockSpeed(double factor);
double ClockSpeed();

// Real duration of a wait of `ms` clock milliseconds.
std::chrono::nanoseconds RealDuration(std::uint32_t ms);

// Milliseconds of clock time since an arbitrary start (grows `speed` times
// faster than real time while the clock is sped up).
std::uint64_t ClockMs();

// Sleeps `ms` clock milliseconds.
void SleepMs(std::uint32_t ms);

// Clock time with sub-millisecond resolution, on the same scale as ClockMs.
// A paced serial line needs it: one byte lasts 87 us at 115200 baud.
double ClockMsPrecise();

// Sleeps until the clock reads `clockMs` (ClockMsPrecise scale); returns at
// once when that time has already passed.
void SleepUntilClockMs(double clockMs);

}  // namespace platform

#ifndef _WIN32
// Windows' Sleep, on the same clock.
inline void Sleep(std::uint32_t ms) { platform::SleepMs(ms); }
#else
#include "platform/win32_calls.h"
#endif
