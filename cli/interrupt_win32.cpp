// Ctrl-C, Ctrl-Break and closing the console window for kvctl on Windows
// (interrupt.h). Windows calls the handler on a thread of its own, so the
// first interrupt sets the stop event there; a second one, or the console
// window closing, quits at once. No watcher thread is needed: a Handling
// only installs the handler and counts from zero.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <cstdio>
#include <cstdlib>

#include "console.h"
#include "console_text.h"
#include "interrupt.h"
#include "platform/serial_io.h"

namespace interrupt {
namespace {

std::atomic<int> g_signals{0};
std::atomic<bool> g_requested{false};
std::atomic<bool> g_finishFirst{false};
std::atomic<bool> g_finishRequested{false};
HANDLE g_stopEvent = nullptr;

[[noreturn]] void QuitAtOnce() {
  platform::ReleasePortsForExit();
  std::size_t length = 0;
  console::WriteText(stderr, QuitLine(length));  // wide on a console: the command's names read right
  std::_Exit(EXIT_INTERRUPTED);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  // The window closing leaves no time to stop at a safe point.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) QuitAtOnce();
  int count = g_signals.fetch_add(1);
  if (g_finishFirst.load()) {
    if (count == 0) {
      g_finishRequested = true;
      return TRUE;
    }
    --count;
  }
  if (count > 0) QuitAtOnce();
  g_requested = true;
  SetEvent(g_stopEvent);
  console::Err("kvctl: interrupted: stopping at the next safe point (Ctrl-C again quits at once)");
  return TRUE;
}

}  // namespace

Handling::Handling(FirstSignal first) {
  if (g_stopEvent == nullptr) {
    g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  }
  g_signals = 0;
  g_requested = false;
  g_finishRequested = false;
  ResetEvent(g_stopEvent);
  g_finishFirst = first == FirstSignal::Finish;
}

// The handler stays installed: a second Ctrl-C still quits at once.
Handling::~Handling() = default;

bool WatcherRunning() { return false; }

void RequestFinish() {
  if (g_finishFirst.load()) {
    int none = 0;
    g_signals.compare_exchange_strong(none, 1);
  }
  g_finishRequested = true;
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
