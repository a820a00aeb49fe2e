// The long waits of a dialog, run off the GUI thread: a worker waits for a
// handle (a thread, an event) or runs a piece of blocking work, and its end
// is posted back to the dialog, where the handler continues. The GUI thread
// never waits itself, so the window keeps painting and every dialog or box
// that opens meanwhile takes input as usual.
//
// Each job has its own worker. A handle wait is bounded by its time-out and
// ends at once when the jobs are stopped; a blocking piece of work must end
// within its own bound, which its caller states. Stop (and the destructor)
// ends the handle waits, joins every worker within those bounds and drops the
// continuations that have not run: a dialog calls it first in its
// destructor, before anything the work touches goes away.
//
// Thread contract: GUI thread only (the workers only wait, run their work and
// post).
#pragma once

#include <functional>
#include <list>
#include <thread>

#include "platform/sync.h"
#include "ui/window_ref.h"

namespace ui {

class BackgroundWork {
 public:
  BackgroundWork() = default;
  ~BackgroundWork() { Stop(); }
  BackgroundWork(const BackgroundWork&) = delete;
  BackgroundWork& operator=(const BackgroundWork&) = delete;

  // Waits for `handle` at most `timeoutMs` clock milliseconds, then posts
  // then(WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED) to `window`. An
  // auto-reset event that ends the wait is consumed, as by any wait.
  void WaitThen(const WindowRef& window, HANDLE handle, DWORD timeoutMs, std::function<void(DWORD)> then);
  // Runs `work` on a worker, then posts `then` to `window`.
  void RunThen(const WindowRef& window, std::function<void()> work, std::function<void()> then);

  // Ends the handle waits, joins the workers; continuations not yet run are dropped.
  void Stop();
  // True when no job is left: none started, or all continued or stopped.
  bool Idle() const { return jobs_.empty(); }

 private:
  struct Job {
    unsigned id = 0;
    std::thread thread;
    HANDLE stop = nullptr;  // set by Stop: ends a handle wait at once
  };
  // Starts `body` on a new job's worker; `finish` becomes its continuation.
  void Start(std::function<void(HANDLE stop, std::function<void()> finish)> body, std::function<void()> then);
  // Joins the job whose continuation has run: its worker returns right
  // after posting it.
  void Reap(unsigned id);

  std::list<Job> jobs_;
  unsigned nextId_ = 0;
  unsigned generation_ = 0;  // counts Stops
};

}  // namespace ui
