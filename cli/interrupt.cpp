#include "interrupt.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <cerrno>

#include "console.h"
#include "platform/serial_io.h"

namespace interrupt {
namespace {

std::atomic<int> g_signals{0};
std::atomic<bool> g_requested{false};
std::atomic<bool> g_watcherRunning{false};
// Made once and kept open for the process: a handler may write to it at any
// time, also after the watcher has ended.
int g_wakePipe[2] = {-1, -1};
HANDLE g_stopEvent = nullptr;

// What the watcher reads: a first signal, or its Handling ending.
constexpr char kSignalByte = 1;
constexpr char kEndByte = 0;

std::atomic<bool> g_finishFirst{false};
std::atomic<bool> g_finishRequested{false};

// Asks to finish the work in hand. For watch it takes the first signal's
// place, once, so that the next Ctrl-C stops the trackers in progress.
// Async-signal-safe.
void RequestFinishOnce() {
  if (g_finishFirst.load()) {
    int none = 0;
    g_signals.compare_exchange_strong(none, 1);
  }
  g_finishRequested = true;
}

// Only async-signal-safe calls here.
void OnSignal(int signal) {
  static_assert(std::atomic<int>::is_always_lock_free);
  static_assert(std::atomic<bool>::is_always_lock_free);
  if (signal == SIGHUP) {
    // The terminal went away: its output is lost (console.h), the work in
    // hand is finished. However often it comes, a hang-up never quits.
    RequestFinishOnce();
    return;
  }
  int count = g_signals.fetch_add(1);
  if (g_finishFirst.load()) {
    if (count == 0) {
      g_finishRequested = true;
      return;
    }
    --count;
  }
  if (count == 0) {
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &kSignalByte, 1);
    errno = saved;
    return;
  }
  platform::ReleasePortsForExit();
  std::size_t length = 0;
  const char* line = QuitLine(length);
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, line, length);
  ::_exit(EXIT_INTERRUPTED);
}

// Turns the first signal into the stop event and a line for the user, and
// ends only when its Handling does: a process that quits at once then never
// leaves a finished thread behind that nobody joined.
void Watch() {
  for (;;) {
    char wake = kEndByte;
    const ssize_t n = ::read(g_wakePipe[0], &wake, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n != 1 || wake != kSignalByte) break;
    g_requested = true;
    SetEvent(g_stopEvent);
    console::Err("kvctl: interrupted: stopping at the next safe point (Ctrl-C again quits at once)");
  }
  g_watcherRunning = false;
}

// Forgets bytes left by an earlier Handling: a signal after its end.
void DrainWakePipe() {
  pollfd readable{g_wakePipe[0], POLLIN, 0};
  char stale[16];
  while (::poll(&readable, 1, 0) == 1 && (readable.revents & POLLIN) != 0 &&
         ::read(g_wakePipe[0], stale, sizeof stale) > 0) {
  }
}

}  // namespace

Handling::Handling(FirstSignal first) {
  if (g_stopEvent == nullptr) g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_wakePipe[0] < 0 && ::pipe2(g_wakePipe, O_CLOEXEC) != 0) {
    g_wakePipe[0] = g_wakePipe[1] = -1;
    return;  // no handlers: signals act as before
  }
  DrainWakePipe();
  g_finishFirst = first == FirstSignal::Finish;
  g_finishRequested = false;
  g_requested = false;
  g_signals = 0;
  ResetEvent(g_stopEvent);
  g_watcherRunning = true;
  watcher_ = std::thread(Watch);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

Handling::~Handling() {
  if (!watcher_.joinable()) return;
  [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &kEndByte, 1);
  watcher_.join();
}

bool WatcherRunning() { return g_watcherRunning.load(); }

void RequestFinish() { RequestFinishOnce(); }

bool FinishRequested() { return g_finishRequested.load() || g_requested.load(); }

bool Requested() { return g_requested.load(); }

HANDLE StopEvent() { return g_stopEvent; }

DWORD WaitOrStop(HANDLE handle, DWORD timeoutMs) {
  if (g_stopEvent == nullptr) return WaitForSingleObject(handle, timeoutMs);
  const HANDLE both[2] = {handle, g_stopEvent};
  return WaitForMultipleObjects(2, both, FALSE, timeoutMs);
}

}  // namespace interrupt
