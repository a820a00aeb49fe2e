// Bounded waits of the GUI thread that keep the windows alive.
//
// WaitPumping waits for a handle (a thread, an event), WaitPumpingAny for
// the first of several, while the GUI thread
// goes on painting and serving calls from workers (gui_call.h), shows the busy
// cursor and takes no user input: clicks, keys and the window manager's close
// requests made during the wait are dropped, so what the waiting handler
// decides cannot change under it.
//
// Handlers that must not run inside such a wait (timers, device changes) ask
// InPumpedWait() and, if it says so, hand themselves to RunAfterPumpedWaits,
// which runs them once the outermost wait has ended, as queued calls after the
// handler that waited has returned.
//
// Thread contract: WaitPumping and WaitPumpingAny may be called from any
// thread; off the GUI thread (or without an application) they are plain
// waits. The
// other functions belong to the GUI thread.
#pragma once

#include <functional>

#include <QObject>
#include <QPointer>

#include "platform/sync.h"

namespace ui {

// Same results as WaitForSingleObject: WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_FAILED.
// `timeoutMs` is in clock milliseconds.
DWORD WaitPumping(HANDLE handle, DWORD timeoutMs);
// The same for the first of `count` handles to be signalled, with the
// results of WaitForMultipleObjects (WAIT_OBJECT_0 + index). An auto-reset
// event that ends the wait is consumed, as by any other wait.
DWORD WaitPumpingAny(DWORD count, const HANDLE* handles, DWORD timeoutMs);

bool InPumpedWait();

// Runs `call` after the outermost pumped wait, if `guard` still exists then.
// Calls queued under the same `key` (non-zero) while one is pending are
// merged into that one, as repeated timer ticks or device changes are.
void RunAfterPumpedWaits(const QPointer<QObject>& guard, std::function<void()> call,
                         const void* key = nullptr);

}  // namespace ui
