// Events, threads and bounded waits with Windows' names and results.
//
// Thread contract: every function may be called from any thread. A handle
// stays valid until CloseHandle; a thread handle may be closed while the
// thread still runs (the thread keeps its own reference). Every timeout is in
// clock milliseconds (platform/clock.h).
#pragma once

#include "platform/win_types.h"

#ifndef _WIN32
using LPTHREAD_START_ROUTINE = DWORD (*)(void*);

// Auto-reset or manual-reset event; name and security attributes unsupported.
HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState,
                    const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Starts a thread right away; the handle becomes signalled when it returns.
HANDLE CreateThread(void* securityAttributes, std::size_t stackSize,
                    LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags,
                    DWORD* threadId);
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

// Waits on an event or a thread. Returns WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs);
// Waits until any one handle is signalled (waitAll is not supported and must
// be FALSE). Returns WAIT_OBJECT_0 + index, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                             DWORD timeoutMs);

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
