// kvctl probe, imei and scan: the connection steps of the main window.
#include "commands.h"
#include "common/tool_texts.h"
#include "platform/serial_io.h"
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
    const bool lost = !imei && platform::CommLineLost(port);
    CloseHandle(port);
    if (lost) {
      result.code = kExitFailed;
      result.verdict = "port lost";
      result.detail = "imei: the port hung up or failed while the IMEI was asked for";
      context.Fail("The port was lost", result.detail);
      return result;
    }
    if (!imei) {
      result.code = kExitFailed;
      result.verdict = "no IMEI";
      result.detail = "imei: no answer to \"at+gsn\" within " + std::to_string(KVCTL_IMEI_WAIT_MS) + " ms";
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
      context.Say(std::string(ScanVerdict(result.code == kExitOpenFailed ? kScanOpenFailed : kScanCheckFailed)));
      return result;
    }
    CloseHandle(port);
    result.verdict = ScanVerdict(kScanOpenSuccess);
    context.Say(result.verdict);
    return result;
  });
}
