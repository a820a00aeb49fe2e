// kvctl probe, imei and scan: the connection steps of the main window.
#include "commands.h"
#include "serial/imei_query.h"
#include "terminal_text.h"
#include "tracker_session.h"

int CmdProbe(const std::vector<std::string>& ports) {
  return RunOnPorts(ports, [](JobContext& context) {
    JobResult result;
    HANDLE port = OpenAndProbeTracker(context, result);
    if (port == INVALID_HANDLE_VALUE) return result;
    CloseHandle(port);
    context.Say("tracker found");
    result.verdict = "found";
    return result;
  });
}

int CmdImei(const std::vector<std::string>& ports) {
  return RunOnPorts(ports, [](JobContext& context) {
    JobResult result;
    HANDLE port = OpenAndProbeTracker(context, result);
    if (port == INVALID_HANDLE_VALUE) return result;
    const auto imei = QueryImei(port, KVCTL_IMEI_WAIT_MS);
    CloseHandle(port);
    if (!imei) {
      result.code = kExitFailed;
      result.verdict = "no IMEI";
      result.detail = "imei: no answer to \"at+gsn\" within 10000 ms";
      context.Fail("No IMEI answer", result.detail);
      return result;
    }
    context.Say(TextForStdout(*imei));
    result.verdict = TextForStdout(*imei);
    return result;
  });
}

int CmdScan(const std::vector<std::string>& ports) {
  // Every port is probed at once, each on its own thread; one line each.
  return RunOnPorts(ports, [](JobContext& context) {
    JobResult result;
    HANDLE port = OpenAndProbeTracker(context, result);
    if (port == INVALID_HANDLE_VALUE) {
      context.Say(result.code == kExitOpenFailed ? "Open failed" : "Check failed");
      return result;
    }
    CloseHandle(port);
    context.Say("Open Success");
    result.verdict = "Open Success";
    return result;
  });
}
