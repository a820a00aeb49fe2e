#include "tracker_session.h"

#include <cstring>

#include "serial/open_serial_port.h"
#include "serial/probe.h"

namespace {
std::string ErrorDetail(const std::string& step, DWORD code) {
  std::string text = step + " failed, error " + std::to_string(code);
  if (code == ERROR_FILE_NOT_FOUND) text += ": no such port";
  if (code == ERROR_ACCESS_DENIED) text += ": the port is held by another program";
  return text;
}
}  // namespace

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
  if (!ProbeTracker(port, KVCTL_PROBE_WAIT_MS)) {
    CloseHandle(port);
    failure.code = kExitFailed;
    failure.verdict = "Device does not found!!";
    failure.detail = "probe: no answer to \"ati\" within the probe's 501 polls";
    context.Fail(failure.verdict, failure.detail);
    return INVALID_HANDLE_VALUE;
  }
  return port;
}
