// The tracker probe: sends "ati\r" and watches for the GSM module's
// identification ("SIEMENS" and "OK" in one read) or the tracker's "Main Menu".
//
// Thread contract: the probe runs on its own thread and holds its own
// reference to the port, so the caller may give up waiting (its bound ran
// out) and close its handle without pulling the port from under the probe.
// The result flag is shared, never a pointer into the caller's frame.
//
// A probe may outlive the caller that started it: the main window and the
// port scan wait for it with a bound and then go on, as the Windows tool does
// with its probe thread. Such a probe ends by itself within its polls
// (PROBE_POLLING_MS and the reads between them) and until then touches only
// its own port reference, the shared result flag and stop request, and the
// platform layer's process-wide state (the clock, the wait lock, the port
// trace), which is never destroyed for that reason. A caller that must not
// leave it behind (kvctl, ProbeTracker) gives it a stop request and, after its
// own wait, stops it and waits PROBE_STOP_WAIT_MS for its end.
#pragma once

#include <atomic>
#include <memory>

#include "common/tool_timings.h"
#include "platform/sync.h"

// Its polls and their pacing: PROBE_LAST_POLL, PROBE_POLL_MS, PROBE_ATI_EVERY
// (common/tool_timings.h).

// The process-wide result of the main window's and the port scan's probes.
extern std::atomic<BYTE> g_bDeviceFound;

struct ProbeJob {
  HANDLE port;                               // the probe's own reference
  std::shared_ptr<std::atomic<BYTE>> found;  // set to 1 when a tracker answered
  std::shared_ptr<std::atomic<bool>> stop;   // when set, the probe ends after its current poll; may be null
};

// Thread routine: `param` is a ProbeJob allocated with new; the thread
// deletes it (and releases its port reference) when it ends. Returns 1.
DWORD ProbeThreadProc(void* param);

// Starts a probe on `port` that reports into `found` (g_bDeviceFound when
// null) and looks at `stop` (if any) after each pause. Returns the thread
// handle for the caller's bounded wait, or null.
HANDLE StartProbeThread(HANDLE port, std::shared_ptr<std::atomic<BYTE>> found = nullptr,
                        std::shared_ptr<std::atomic<bool>> stop = nullptr);

// Sets `stop` and waits at most PROBE_STOP_WAIT_MS for `probe` to end; closes
// the handle. True when the probe has ended.
bool StopProbeThread(HANDLE probe, std::atomic<bool>& stop);

// Runs one probe and waits at most `boundMs` for it; true when a tracker
// answered. The probe is over when it returns (unless it outran
// PROBE_STOP_WAIT_MS after the stop). For callers without a window (the
// terminal program, tests).
bool ProbeTracker(HANDLE port, DWORD boundMs);
