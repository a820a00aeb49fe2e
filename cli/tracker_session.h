// Opening a tracker port from the terminal the way the main window's Start
// does: open at 115200, probe, and say why when it fails.
#pragma once

#include <string>

#include "job_runner.h"
#include "platform/sync.h"

constexpr DWORD KVCTL_PROBE_WAIT_MS = 30000;  // the main window's bound
constexpr DWORD KVCTL_IMEI_WAIT_MS = 10000;

// Opens and probes `context.Port()`. On failure returns INVALID_HANDLE_VALUE
// with `failure` filled ("Open COM port fail!!" / "Device does not found!!",
// or an interrupt). An interrupt ends the probe's wait at once.
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
