// Ctrl-C, SIGTERM and SIGHUP for kvctl.
//
// A hang-up (SIGHUP: the terminal was closed) stops nothing midway: what
// kvctl prints there is lost and counted so (console.h), every tracker in
// hand is finished, and watch stops watching (FinishRequested). It never
// counts towards quitting at once, however often it comes.
//
// Ctrl-C and SIGTERM:
// The first one asks every job to stop at its next safe point: waits that
// watch StopEvent() end, a settings write is cancelled (a message text being
// entered is finished or abandoned, never left open), an update cancels the
// transfer; ports are closed through their owners (terminal settings back,
// exclusive use released), the trace is written and the state each tracker
// is left in is printed; kvctl then exits with 130. A second one quits at
// once: each open port gets the bytes that leave the tracker idle (ESC during
// a message text), its terminal settings back and its exclusive-use flag
// cleared, and the process ends with 130 without writing the trace.
//
// A watcher thread turns the first signal into StopEvent() and a line for
// the user (a signal handler may do neither). It belongs to a Handling: the
// Handling's end stops it through the same pipe the handler writes to and
// joins it. The watcher waits for nothing but that pipe, so the join takes at
// most the line it may be printing for a signal that came first. After the
// Handling is gone the handlers stay installed: a first signal is then only
// counted, a second one still quits at once.
//
// Thread contract: construct and destroy the Handling on the main thread,
// before any port is opened and after every job has ended; Requested,
// FinishRequested, StopEvent and WaitOrStop from any thread.
#pragma once

#include <string>
#include <thread>

#include "quit_line.h"

#include "platform/sync.h"

namespace interrupt {

// The exit status after an interrupt (128 + SIGINT, for every signal).
constexpr int EXIT_INTERRUPTED = 130;

// What the first Ctrl-C or SIGTERM does: stop every job at its next safe
// point, or (for kvctl watch) only ask to finish the trackers in progress and
// stop watching (FinishRequested); then the next ones act as the first and
// second do with Stop.
enum class FirstSignal { Stop, Finish };

// Installs the handlers and starts the watcher; the destructor stops the
// watcher and joins it. One at a time; each starts with no signal counted.
// Without a pipe for the watcher, nothing is installed and signals act as
// the system's defaults.
class Handling {
 public:
  explicit Handling(FirstSignal first = FirstSignal::Stop);
  ~Handling();
  Handling(const Handling&) = delete;
  Handling& operator=(const Handling&) = delete;

 private:
  std::thread watcher_;
};

// SetQuitAdvice and SetQuitLine (quit_line.h) set the line a quit at once
// prints.

// True while a Handling's watcher thread runs.
bool WatcherRunning();

// True once a hang-up or a first signal of FirstSignal::Finish came (or any
// stop): watch starts no new tracker.
bool FinishRequested();
// Acts as a hang-up: FinishRequested from now on (watch's lost output).
void RequestFinish();
// True once the first interrupt arrived.
bool Requested();
// A manual-reset event set when the first interrupt arrived (never closed).
HANDLE StopEvent();

// Waits up to `timeoutMs` for `handle` or the interrupt: WAIT_OBJECT_0 for
// the handle, WAIT_OBJECT_0 + 1 for the interrupt, WAIT_TIMEOUT.
DWORD WaitOrStop(HANDLE handle, DWORD timeoutMs);

}  // namespace interrupt
