// Opening a tracker port from the terminal the way the main window's Start
// does: open at 115200, probe, and say why when it fails. While the probe
// runs, "Connecting to the tracker on PORT…" says what kvctl waits for
// (wait_notice.h), and a port that hangs up or fails ends the wait at once.
//
// Thread contract: called on the job's own thread.
#pragma once

#include <string>

#include "common/tool_timings.h"
#include "job_runner.h"
#include "platform/sync.h"

// The probe's bound is the main window's; the IMEI query asks again every
// IMEI_POLL_MS within its own.
constexpr DWORD KVCTL_PROBE_WAIT_MS = PROBE_WAIT_MS;
constexpr DWORD KVCTL_IMEI_WAIT_MS = 10000;
static_assert(IMEI_POLL_MS < KVCTL_IMEI_WAIT_MS, "the IMEI query never asks a second time");

enum class ProbeOutcome { Found, Silent, Lost };

// Runs one probe on `port` and waits at most `boundMs` for it, looking at the
// port every 100 ms: Found when a tracker answered, Lost as soon as the port
// hung up or failed, Silent when the probe ended without an answer. The
// probe is stopped and waited for (PROBE_STOP_WAIT_MS) before it returns.
ProbeOutcome WatchProbe(HANDLE port, DWORD boundMs);

// Opens and probes `context.Port()`. On failure returns INVALID_HANDLE_VALUE
// with `failure` filled ("Open COM port fail!!", "Device does not found!!",
// "port lost" when the port failed during the probe, or an interrupt). An
// interrupt ends the probe's wait at once.
HANDLE OpenAndProbeTracker(JobContext& context, JobResult& failure);

// Opens only (the update hands the port to the firmware channel itself).
// The terminal kvctl runs in is refused before it is touched.
HANDLE OpenTrackerPort(JobContext& context, JobResult& failure);

// Why `port` could not be opened, in words: missing, not a serial device,
// kvctl's own terminal, permission denied, held by another program.
std::string DescribePortProblem(const std::string& port, DWORD code);

// When an interrupt came: fills `result` (exit 130, "interrupted", `state`:
// what the tracker is left with), says so and returns true.
bool SayIfInterrupted(JobContext& context, JobResult& result, const std::string& state);
