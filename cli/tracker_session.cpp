#include "tracker_session.h"

#include <atomic>
#include <cerrno>
#include <memory>

#include "common/tool_texts.h"
#include "input_file.h"
#include "port_problem.h"
#include "interrupt.h"
#include "platform/clock.h"
#include "platform/serial_io.h"
#include "serial/open_serial_port.h"
#include "serial/probe.h"
#include "wait_notice.h"

namespace {

// How often the terminal looks at the port while the probe runs.
constexpr DWORD PROBE_WATCH_SLICE_MS = 100;
static_assert(PROBE_WATCH_SLICE_MS < PROBE_POLLING_MS, "a lost port is seen only after the probe");
static_assert(PROBE_POLLING_MS < KVCTL_PROBE_WAIT_MS, "kvctl gives up before the probe has polled its last");

}  // namespace

ProbeOutcome WatchProbe(HANDLE port, DWORD boundMs) {
  auto found = std::make_shared<std::atomic<BYTE>>(0);
  auto stop = std::make_shared<std::atomic<bool>>(false);
  HANDLE thread = StartProbeThread(port, found, stop);
  if (thread == nullptr) return ProbeOutcome::Silent;
  const std::uint64_t giveUpAt = platform::ClockMs() + boundMs;
  ProbeOutcome outcome = ProbeOutcome::Silent;
  for (;;) {
    const DWORD waited = interrupt::WaitOrStop(thread, PROBE_WATCH_SLICE_MS);
    // Ctrl-C: the caller says what was sent.
    if (waited == WAIT_OBJECT_0 + 1) break;
    const bool ended = waited == WAIT_OBJECT_0;
    if (found->load() == 1) {
      outcome = ProbeOutcome::Found;
      break;
    }
    // A hang-up or an I/O error on the port: the tracker cannot answer any
    // more, so there is nothing left to wait for.
    if (platform::CommLineLost(port)) {
      outcome = ProbeOutcome::Lost;
      break;
    }
    if (ended || platform::ClockMs() >= giveUpAt) break;
  }
  // Whatever ended the wait, the probe ends with it: nothing of it is left
  // running when kvctl goes on or exits.
  StopProbeThread(thread, *stop);
  return outcome;
}

HANDLE OpenTrackerPort(JobContext& context, JobResult& failure) {
  // The user's own terminal is refused before it is opened: opening and
  // configuring it would take its echo and Ctrl-C away.
  const std::string path = platform::PortDevicePath(context.Port());
  const bool ownTerminal = IsOwnTerminalPath(path);
  HANDLE port = ownTerminal ? INVALID_HANDLE_VALUE : OpenSerialPort(context.Port().c_str(), MAIN_BAUD_RATE);
  if (port == INVALID_HANDLE_VALUE) {
    failure.code = kExitOpenFailed;
    failure.verdict = OPEN_PORT_FAILED_TEXT;
    failure.detail = "open: " + DescribePortProblem(context.Port(), ownTerminal ? ERROR_ACCESS_DENIED : GetLastError());
    context.Fail(failure.verdict, failure.detail);
  }
  return port;
}

bool SayIfInterrupted(JobContext& context, JobResult& result, const std::string& state) {
  if (!interrupt::Requested()) return false;
  result.code = kExitInterrupted;
  result.verdict = "interrupted";
  result.detail = state;
  context.Fail("Interrupted", state);
  return true;
}

HANDLE OpenAndProbeTracker(JobContext& context, JobResult& failure) {
  if (SayIfInterrupted(context, failure, "nothing was sent to the tracker")) return INVALID_HANDLE_VALUE;
  HANDLE port = OpenTrackerPort(context, failure);
  if (port == INVALID_HANDLE_VALUE) return port;
  ProbeOutcome outcome;
  {
    WaitNotice notice(context);
    notice.Show(ConnectingNotice(context.Port()));
    outcome = WatchProbe(port, KVCTL_PROBE_WAIT_MS);
  }
  if (outcome == ProbeOutcome::Found) return port;
  CloseHandle(port);
  if (SayIfInterrupted(context, failure, "only the probe (\"ati\") was sent to the tracker"))
    return INVALID_HANDLE_VALUE;
  failure.code = kExitFailed;
  if (outcome == ProbeOutcome::Lost) {
    failure.verdict = "port lost";
    failure.detail = "probe: the port hung up or failed while the tracker was probed";
    context.Fail("The port was lost", failure.detail);
  } else {
    failure.verdict = NO_DEVICE_TEXT;
    failure.detail = "probe: no answer to \"ati\" within the probe's " + std::to_string(PROBE_LAST_POLL + 1) + " polls";
    context.Fail(failure.verdict, failure.detail);
  }
  return INVALID_HANDLE_VALUE;
}
