// Ctrl-C, SIGTERM and SIGHUP for kvctl.
//
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
// Thread contract: Install from the main thread before any port is opened;
// Requested and StopEvent from any thread.
#pragma once

#include "platform/sync.h"

namespace interrupt {

// The exit status after an interrupt (128 + SIGINT, for every signal).
constexpr int EXIT_INTERRUPTED = 130;

void Install();
// For kvctl watch: the first signal only asks to finish the trackers in
// progress and stop watching (FinishRequested); the next ones act as the
// first and second do after Install.
void InstallFinishingFirst();
bool FinishRequested();
// True once the first interrupt arrived.
bool Requested();
// A manual-reset event set when the first interrupt arrived (never closed).
HANDLE StopEvent();

// Waits up to `timeoutMs` for `handle` or the interrupt: WAIT_OBJECT_0 for
// the handle, WAIT_OBJECT_0 + 1 for the interrupt, WAIT_TIMEOUT.
DWORD WaitOrStop(HANDLE handle, DWORD timeoutMs);

}  // namespace interrupt
