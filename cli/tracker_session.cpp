#include "tracker_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>

#include "common/tool_texts.h"
#include "input_file.h"
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

// The device number of the terminal the user works in, if any.
bool OwnTerminalDevice(dev_t device) {
  const int tty = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (tty >= 0) {
    struct stat st {};
    const bool same = ::fstat(tty, &st) == 0 && st.st_rdev == device;
    ::close(tty);
    if (same) return true;
  }
  for (const int own : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    struct stat st {};
    if (::isatty(own) && ::fstat(own, &st) == 0 && st.st_rdev == device) return true;
  }
  return false;
}

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

std::string DescribePortProblem(const std::string& port, DWORD code) {
  const std::string path = platform::PortDevicePath(port);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "no such port (" + path + " does not exist)";
    return path + ": " + FileErrorText(errno);
  }
  if (S_ISDIR(st.st_mode)) return path + " is a directory, not a serial device";
  if (!S_ISCHR(st.st_mode)) return path + " is not a serial device";
  if (path == "/dev/tty" || OwnTerminalDevice(st.st_rdev))
    return path + " is the terminal kvctl runs in, not a tracker port";
  if (::access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
    return "permission denied on " + path + " (a normal user needs to be in the dialout group)";
  if (code == ERROR_FILE_NOT_FOUND) return path + " is not a serial device";
  if (code == ERROR_ACCESS_DENIED) return "the port is held by another program";
  return "the port could not be opened (error " + std::to_string(code) + ")";
}

HANDLE OpenTrackerPort(JobContext& context, JobResult& failure) {
  // The user's own terminal is refused before it is opened: opening and
  // configuring it would take its echo and Ctrl-C away.
  const std::string path = platform::PortDevicePath(context.Port());
  struct stat st {};
  const bool ownTerminal =
      ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && (path == "/dev/tty" || OwnTerminalDevice(st.st_rdev));
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
