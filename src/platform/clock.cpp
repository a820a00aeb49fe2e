#include "platform/clock.h"

#include <atomic>
#include <thread>

namespace platform {
namespace {
std::atomic<double> g_speed{1.0};
// Clock time is accumulated across speed changes so it never runs backwards.
std::atomic<std::int64_t> g_baseRealNs{0};
std::atomic<double> g_baseClockMs{0.0};

std::int64_t RealNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

void SetClockSpeed(double factor) {
  if (factor <= 0) factor = 1.0;
  const std::uint64_t now = ClockMs();
  g_baseRealNs = RealNowNs();
  g_baseClockMs = static_cast<double>(now);
  g_speed = factor;
}

double ClockSpeed() { return g_speed.load(); }

std::chrono::nanoseconds RealDuration(std::uint32_t ms) {
  const double ns = static_cast<double>(ms) * 1e6 / g_speed.load();
  return std::chrono::nanoseconds(static_cast<std::int64_t>(ns));
}

double ClockMsPrecise() {
  std::int64_t base = g_baseRealNs.load();
  if (base == 0) {
    std::int64_t expected = 0;
    g_baseRealNs.compare_exchange_strong(expected, RealNowNs());
    base = g_baseRealNs.load();
  }
  const double elapsedMs = static_cast<double>(RealNowNs() - base) / 1e6;
  return g_baseClockMs.load() + elapsedMs * g_speed.load();
}

std::uint64_t ClockMs() { return static_cast<std::uint64_t>(ClockMsPrecise()); }

void SleepUntilClockMs(double clockMs) {
  const double leftMs = clockMs - ClockMsPrecise();
  if (leftMs <= 0) return;
  std::this_thread::sleep_for(std::chrono::nanoseconds(static_cast<std::int64_t>(leftMs * 1e6 / g_speed.load())));
}

void SleepMs(std::uint32_t ms) {
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(RealDuration(ms));
}

}  // namespace platform
