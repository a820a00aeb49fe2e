// Opening a tracker port from the terminal the way the main window's Start
// does: open at 115200, probe, and say why when it fails.
#pragma once

#include "job_runner.h"
#include "platform/sync.h"

constexpr DWORD KVCTL_PROBE_WAIT_MS = 30000;  // the main window's bound
constexpr DWORD KVCTL_IMEI_WAIT_MS = 10000;

// Opens and probes `context.Port()`. On failure returns INVALID_HANDLE_VALUE
// with `failure` filled ("Open COM port fail!!" / "Device does not found!!").
HANDLE OpenAndProbeTracker(JobContext& context, JobResult& failure);

// Opens only (the update hands the port to the firmware channel itself).
HANDLE OpenTrackerPort(JobContext& context, JobResult& failure);
