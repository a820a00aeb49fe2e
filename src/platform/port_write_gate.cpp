#include "platform/port_write_gate.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace platform::write_gate {
namespace {

// Sequentially consistent on both sides: a writer that saw the gate open is
// counted before the closer looks at the count.
std::atomic<int> g_writers{0};
std::atomic<bool> g_closed{false};

void PauseOneMs() {
#ifdef _WIN32
  ::Sleep(1);
#else
  timespec pause{0, 1000 * 1000};
  ::nanosleep(&pause, nullptr);  // async-signal-safe
#endif
}

}  // namespace

bool Enter() {
  g_writers.fetch_add(1);
  if (!g_closed.load()) return true;
  g_writers.fetch_sub(1);
  return false;
}

void Leave() { g_writers.fetch_sub(1); }

bool CloseAndDrain(unsigned boundMs) {
  static_assert(std::atomic<int>::is_always_lock_free);
  static_assert(std::atomic<bool>::is_always_lock_free);
  g_closed.store(true);
  for (unsigned waited = 0; g_writers.load() > 0; ++waited) {
    if (waited >= boundMs) return false;
    PauseOneMs();
  }
  return true;
}

bool Closed() { return g_closed.load(); }

}  // namespace platform::write_gate
