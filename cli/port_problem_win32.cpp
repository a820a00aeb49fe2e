// Windows: a COM port is never the console kvctl runs in; why an open failed
// is in the error code Windows gave.
#include <string>

#include "platform/serial_io.h"
#include "port_problem.h"
#include "tracker_session.h"

bool IsOwnTerminalPath(const std::string&) { return false; }

std::string DescribePortProblem(const std::string& port, DWORD code) {
  const std::string path = platform::PortDevicePath(port);
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "no such port (" + path + " does not exist or is not a serial device)";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return "the port is held by another program";
    default: return "the port could not be opened (error " + std::to_string(code) + ")";
  }
}
