// The tracker probe: sends "ati\r" and watches for the GSM module's
// identification ("SIEMENS" and "OK" in one read) or the tracker's "Main Menu".
//
// Thread contract: the probe runs on its own thread and holds its own
// reference to the port, so the caller may give up waiting (its bound ran
// out) and close its handle without pulling the port from under the probe.
// The result flag is shared, never a pointer into the caller's frame.
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
  HANDLE port;                                // the probe's own reference
  std::shared_ptr<std::atomic<BYTE>> found;   // set to 1 when a tracker answered
};

// Thread routine: `param` is a ProbeJob allocated with new; the thread
// deletes it (and releases its port reference) when it ends. Returns 1.
DWORD ProbeThreadProc(void* param);

// Starts a probe on `port` that reports into `found` (g_bDeviceFound when
// null). Returns the thread handle for the caller's bounded wait, or null.
HANDLE StartProbeThread(HANDLE port, std::shared_ptr<std::atomic<BYTE>> found = nullptr);

// Runs one probe and waits at most `boundMs` for it; true when a tracker
// answered. For callers without a window (the terminal program, tests).
bool ProbeTracker(HANDLE port, DWORD boundMs);
