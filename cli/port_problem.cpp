#include "port_problem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "input_file.h"
#include "platform/serial_io.h"
#include "tracker_session.h"

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

bool IsOwnTerminalPath(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && (path == "/dev/tty" || OwnTerminalDevice(st.st_rdev));
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
