#include "tracker_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "input_file.h"
#include "interrupt.h"
#include "platform/serial_io.h"
#include "serial/open_serial_port.h"
#include "serial/probe.h"

namespace {

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
  HANDLE port = ownTerminal ? INVALID_HANDLE_VALUE : OpenSerialPort(context.Port().c_str(), 115200);
  if (port == INVALID_HANDLE_VALUE) {
    failure.code = kExitOpenFailed;
    failure.verdict = "Open COM port fail!!";
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
  // The probe runs on its own thread with its own reference to the port; an
  // interrupt ends the wait for it at once.
  auto found = std::make_shared<std::atomic<BYTE>>(0);
  HANDLE probe = StartProbeThread(port, found);
  if (probe != nullptr) {
    interrupt::WaitOrStop(probe, KVCTL_PROBE_WAIT_MS);
    CloseHandle(probe);
  }
  if (found->load() != 1) {
    CloseHandle(port);
    if (SayIfInterrupted(context, failure, "only the probe (\"ati\") was sent to the tracker"))
      return INVALID_HANDLE_VALUE;
    failure.code = kExitFailed;
    failure.verdict = "Device does not found!!";
    failure.detail = "probe: no answer to \"ati\" within the probe's 501 polls";
    context.Fail(failure.verdict, failure.detail);
    return INVALID_HANDLE_VALUE;
  }
  return port;
}
