#include "interrupt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "console.h"
#include "platform/serial_io.h"

namespace interrupt {
namespace {

std::atomic<int> g_signals{0};
std::atomic<bool> g_requested{false};
int g_wakePipe[2] = {-1, -1};
HANDLE g_stopEvent = nullptr;

constexpr char kQuitText[] =
    "\nkvctl: quit at once; a settings write or update may be incomplete: run it again\n";

std::atomic<bool> g_finishFirst{false};
std::atomic<bool> g_finishRequested{false};

// Only async-signal-safe calls here.
void OnSignal(int) {
  static_assert(std::atomic<int>::is_always_lock_free);
  static_assert(std::atomic<bool>::is_always_lock_free);
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
    const char wake = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &wake, 1);
    errno = saved;
    return;
  }
  platform::ReleasePortsForExit();
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kQuitText, sizeof kQuitText - 1);
  ::_exit(EXIT_INTERRUPTED);
}

// Turns the first signal into the stop event and a line for the user.
void Watch() {
  char wake = 0;
  while (::read(g_wakePipe[0], &wake, 1) < 0 && errno == EINTR) {
  }
  g_requested = true;
  SetEvent(g_stopEvent);
  console::Err("kvctl: interrupted: stopping at the next safe point (Ctrl-C again quits at once)");
}

}  // namespace

void Install() {
  if (g_stopEvent != nullptr) return;
  g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (::pipe2(g_wakePipe, O_CLOEXEC) != 0) return;  // no handlers: signals act as before
  std::thread(Watch).detach();
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void InstallFinishingFirst() {
  g_finishFirst = true;
  Install();
}

bool FinishRequested() { return g_finishRequested.load() || g_requested.load(); }

bool Requested() { return g_requested.load(); }

HANDLE StopEvent() { return g_stopEvent; }

DWORD WaitOrStop(HANDLE handle, DWORD timeoutMs) {
  if (g_stopEvent == nullptr) return WaitForSingleObject(handle, timeoutMs);
  const HANDLE both[2] = {handle, g_stopEvent};
  return WaitForMultipleObjects(2, both, FALSE, timeoutMs);
}

}  // namespace interrupt
