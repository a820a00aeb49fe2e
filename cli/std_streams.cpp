#include "std_streams.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {
bool g_stdoutClosed = false;
bool g_stderrClosed = false;
}  // namespace

void PrepareStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 1) g_stdoutClosed = true;
    if (fd == 2) g_stderrClosed = true;
    // The lowest free descriptor is this one: the ones below it are open.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
  ::signal(SIGPIPE, SIG_IGN);
}

bool StdoutClosedAtStart() { return g_stdoutClosed; }
bool StderrClosedAtStart() { return g_stderrClosed; }
