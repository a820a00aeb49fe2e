// Events, threads and bounded waits with Windows' names and results.
//
// Thread contract: every function may be called from any thread. A handle
// stays valid until CloseHandle; a thread handle may be closed while the
// thread still runs (the thread keeps its own reference). Every timeout is in
// clock milliseconds (platform/clock.h).
//
// Threads are Windows threads: they are waited for through their handle with
// a bound, never joined, and a thread may outlive its starter. The tool
// relies on that where a caller's bound runs out before its worker ends (a
// probe, a port scan after OK, a settings session's thread): the caller goes
// on, and the worker ends by itself, holding what it needs through its own
// references (a shared state, a retained port handle), never its caller's
// frame. Each such worker's header says how long it may run on and what it
// touches. After its routine has returned, a thread touches only its own
// thread object, the waits' process-wide lock (never destroyed, so that a
// thread ending while the process exits finds it intact) and the waits it
// ends, which stay in their threads' frames until it lets go of that lock.
//
// A set wakes only the threads whose wait it ends (waitable_posix.h), so a
// wait costs the same with hundreds of threads as with a few.
#pragma once

#include "platform/win_types.h"

#ifndef _WIN32
using LPTHREAD_START_ROUTINE = DWORD (*)(void*);

// Auto-reset or manual-reset event; name and security attributes unsupported.
HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Starts a thread right away; the handle becomes signalled when it returns.
HANDLE CreateThread(void* securityAttributes, std::size_t stackSize, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD flags, DWORD* threadId);
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

// Waits on an event or a thread. Returns WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs);
// Waits until any one handle is signalled (the lowest index wins when several
// are) or, with waitAll, until all are at once; a satisfied wait consumes the
// auto-reset events it ends on. At most 64 handles, and a wait for all names
// each only once. Returns WAIT_OBJECT_0 + index (WAIT_OBJECT_0 for a wait on
// all), WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD timeoutMs);

// Closes any handle: event, thread or serial port.
BOOL CloseHandle(HANDLE handle);
#else
#include "platform/win32_calls.h"
#endif

namespace platform {
// Gives a worker thread its own reference to a handle (Windows: DuplicateHandle),
// so that the owner closing its copy never pulls the object from under the
// worker. The worker closes its reference with CloseHandle when it ends.
HANDLE RetainHandle(HANDLE handle);

// Number of live handles of all kinds; tests use it to find leaks.
long LiveHandleCount();
}  // namespace platform
