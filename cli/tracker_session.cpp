#include "tracker_session.h"

#include <atomic>
#include <cstring>
#include <memory>

#include "platform/clock.h"
#include "platform/serial_io.h"
#include "serial/open_serial_port.h"
#include "serial/probe.h"
#include "wait_notice.h"

namespace {

// How often the terminal looks at the port while the probe runs.
constexpr DWORD PROBE_WATCH_SLICE_MS = 100;

std::string ErrorDetail(const std::string& step, DWORD code) {
  std::string text = step + " failed, error " + std::to_string(code);
  if (code == ERROR_FILE_NOT_FOUND) text += ": no such port";
  if (code == ERROR_ACCESS_DENIED) text += ": the port is held by another program";
  return text;
}

}  // namespace

ProbeOutcome WatchProbe(HANDLE port, DWORD boundMs) {
  auto found = std::make_shared<std::atomic<BYTE>>(0);
  HANDLE thread = StartProbeThread(port, found);
  if (thread == nullptr) return ProbeOutcome::Silent;
  const std::uint64_t giveUpAt = platform::ClockMs() + boundMs;
  ProbeOutcome outcome = ProbeOutcome::Silent;
  for (;;) {
    const bool ended = WaitForSingleObject(thread, PROBE_WATCH_SLICE_MS) == WAIT_OBJECT_0;
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
  // The probe holds its own reference to the port; it ends by itself.
  CloseHandle(thread);
  return outcome;
}

HANDLE OpenTrackerPort(JobContext& context, JobResult& failure) {
  HANDLE port = OpenSerialPort(context.Port().c_str(), 115200);
  if (port == INVALID_HANDLE_VALUE) {
    failure.code = kExitOpenFailed;
    failure.verdict = "Open COM port fail!!";
    failure.detail = ErrorDetail("open", GetLastError());
    context.Fail(failure.verdict, failure.detail);
  }
  return port;
}

HANDLE OpenAndProbeTracker(JobContext& context, JobResult& failure) {
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
  failure.code = kExitFailed;
  if (outcome == ProbeOutcome::Lost) {
    failure.verdict = "port lost";
    failure.detail = "probe: the port hung up or failed while the tracker was probed";
    context.Fail("The port was lost", failure.detail);
  } else {
    failure.verdict = "Device does not found!!";
    failure.detail = "probe: no answer to \"ati\" within the probe's 501 polls";
    context.Fail(failure.verdict, failure.detail);
  }
  return INVALID_HANDLE_VALUE;
}
