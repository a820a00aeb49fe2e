// After a firmware transfer: waiting for the tracker to restart into its new
// firmware, then asking who it is and what it runs. The tracker is silent
// while it boots, so the port is probed until a tracker answers or the bound
// runs out; then the IMEI ("2", "at+gsn") and the firmware version ("kv+fwv")
// are read, as Start and Setting do. A port that goes away ends the wait: a
// tracker that shows up under its name later need not be the one updated
// (watch update recognises a returning one by its port and IMEI).
//
// Thread contract: runs on the job's own thread.
#pragma once

#include <optional>
#include <string>

#include "job_runner.h"
#include "platform/sync.h"

// The wait for a tracker to come back after its update (clock milliseconds).
constexpr DWORD RETURN_WAIT_MS = 90000;

struct TrackerIdentity {
  std::string imei;     // empty when the IMEI did not answer
  std::string version;  // the whole version text; empty when it did not answer
};

enum class ReturnOutcome {
  Back,         // a tracker answered the probe; `identity` holds what it said
  NotBack,      // nothing answered within the bound
  Interrupted,  // the first Ctrl-C (of a command that stops on it) ended the wait
};

// Waits at most `boundMs` for a tracker to answer on `context.Port()`, saying
// what it waits for. NotBack with `lostPort` when the port went away.
ReturnOutcome AwaitTrackerReturn(JobContext& context, DWORD boundMs, TrackerIdentity& identity, bool& lostPort);

// Writes "kv+fwv\r" and reads the answer for at most `boundMs`, asking again
// every second: the whole version text, from "F-0KV" through its ")".
std::optional<std::string> QueryFullVersion(HANDLE port, DWORD boundMs);
