#include "app/close_signals.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include "ui/window_ref.h"

#ifdef _WIN32

CloseOnSignals::CloseOnSignals(CMainDlg&) {}
CloseOnSignals::~CloseOnSignals() = default;

#else

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
// What the watcher reads: a signal, or its owner ending.
constexpr char kSignalByte = 1;
constexpr char kEndByte = 0;

// Made once and kept open for the process: a handler may still run while
// the next owner installs its own.
int g_wakePipe[2] = {-1, -1};

// Only async-signal-safe calls here.
void OnSignal(int) {
  const int saved = errno;
  [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &kSignalByte, 1);
  errno = saved;
}

void Say(const char* line) { [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, line, std::strlen(line)); }

}  // namespace

CloseOnSignals::CloseOnSignals(CMainDlg& window) {
  if (g_wakePipe[0] < 0 && ::pipe2(g_wakePipe, O_CLOEXEC) != 0) {
    g_wakePipe[0] = g_wakePipe[1] = -1;
    return;  // no handlers: signals act as before
  }
  const ui::DialogRef<CMainDlg> ref(window.Ref());
  watcher_ = std::thread([ref] {
    for (;;) {
      char wake = kEndByte;
      const ssize_t n = ::read(g_wakePipe[0], &wake, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n != 1 || wake != kSignalByte) break;
      Say("kvtool: asked to close: the window closes once the work with the tracker has ended\n");
      ref.Post([](CMainDlg& w) { w.OnCloseSignal(); });
    }
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
  // Standard error may be a pipe whose reader went with the terminal (a
  // hang-up through "| tee"): writing there fails, it does not end kvtool.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &previousPipe_);
}

CloseOnSignals::~CloseOnSignals() {
  if (!watcher_.joinable()) return;
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
  ::sigaction(SIGPIPE, &previousPipe_, nullptr);
  [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &kEndByte, 1);
  watcher_.join();
}

#endif
