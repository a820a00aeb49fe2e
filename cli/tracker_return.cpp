#include "tracker_return.h"

#include <algorithm>

#include "common/tool_timings.h"
#include "image_version.h"
#include "interrupt.h"
#include "platform/clock.h"
#include "platform/serial_io.h"
#include "serial/imei_query.h"
#include "serial/open_serial_port.h"
#include "serial/tracker_commands.h"
#include "tracker_session.h"
#include "wait_notice.h"

namespace {

constexpr char kVersionQuery[] = "kv+fwv\r";
// The version query is asked again this often while no answer came.
constexpr DWORD VERSION_ASK_MS = 1000;
// Longest answer kept while looking for the version text.
constexpr std::size_t ANSWER_LONGEST = 4096;

std::string Seconds(DWORD ms) { return std::to_string(ms / 1000) + " s"; }

}  // namespace

std::optional<std::string> QueryFullVersion(HANDLE port, DWORD boundMs) {
  if (!WriteTrackerCommand(port, kVersionQuery)) return std::nullopt;
  const auto start = platform::ClockMs();
  auto lastAsked = start;
  std::string answer;
  while (platform::ClockMs() - start < boundMs) {
    if (interrupt::Requested()) return std::nullopt;                                // the caller says so
    if (platform::WaitCommReadable(port, PARSER_LOOK_MS) < 0) return std::nullopt;  // the line went away
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(port, &errors, &status) && status.cbInQue != 0) {
      char buffer[512];
      DWORD got = 0;
      ReadFile(port, buffer, std::min<DWORD>(status.cbInQue, sizeof buffer), &got, nullptr);
      answer.append(buffer, got);
      if (auto version = FirstVersionText(answer)) return version;
      if (answer.size() > ANSWER_LONGEST) answer.erase(0, answer.size() - VERSION_TEXT_LONGEST);
    }
    if (platform::ClockMs() - lastAsked >= VERSION_ASK_MS) {
      WriteTrackerCommand(port, kVersionQuery);
      lastAsked = platform::ClockMs();
    }
  }
  return std::nullopt;
}

ReturnOutcome AwaitTrackerReturn(JobContext& context, DWORD boundMs, TrackerIdentity& identity, bool& lostPort) {
  lostPort = false;
  const auto giveUpAt = platform::ClockMs() + boundMs;
  WaitNotice notice(context);
  notice.Show("Waiting up to " + Seconds(boundMs) + " for the tracker to restart with its new firmware\xE2\x80\xA6");
  for (;;) {
    if (interrupt::Requested()) return ReturnOutcome::Interrupted;
    const auto now = platform::ClockMs();
    if (now >= giveUpAt) return ReturnOutcome::NotBack;
    const DWORD left = static_cast<DWORD>(giveUpAt - now);
    HANDLE port = OpenSerialPort(context.Port().c_str(), MAIN_BAUD_RATE);
    if (port == INVALID_HANDLE_VALUE) {
      // Gone: a pulled cable, or a bridge that restarts with the tracker.
      // The wait ends here: whatever tracker shows up under this name later
      // need not be the one that was updated.
      lostPort = true;
      return ReturnOutcome::NotBack;
    }
    const ProbeOutcome probe = WatchProbe(port, std::min(left, KVCTL_PROBE_WAIT_MS));
    if (interrupt::Requested()) {
      CloseHandle(port);
      return ReturnOutcome::Interrupted;
    }
    if (probe != ProbeOutcome::Found) {
      CloseHandle(port);
      if (probe == ProbeOutcome::Lost) {
        lostPort = true;
        return ReturnOutcome::NotBack;
      }
      continue;
    }
    notice.Clear();
    // The questions fit in what is left of the bound: "up to 90 s" holds for
    // the whole wait, answers included.
    const auto leftNow = [giveUpAt] {
      const auto now = platform::ClockMs();
      return static_cast<DWORD>(now >= giveUpAt ? 0 : giveUpAt - now);
    };
    if (auto imei = QueryImei(port, std::min(KVCTL_IMEI_WAIT_MS, leftNow()), [] { return interrupt::Requested(); }))
      identity.imei = *imei;
    // The version gets whatever is left of the bound: a tracker slow to
    // answer the IMEI still answers the questions asked again meanwhile
    // first, and the version's answer comes after them.
    if (!interrupt::Requested() && leftNow() > 0)
      if (auto version = QueryFullVersion(port, leftNow())) identity.version = *version;
    CloseHandle(port);
    // An interrupt during the questions, not the tracker, cut them short.
    if (interrupt::Requested()) return ReturnOutcome::Interrupted;
    return ReturnOutcome::Back;
  }
}
