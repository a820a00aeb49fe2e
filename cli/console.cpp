#include "console.h"

#include "exit_codes.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "console_text.h"
#include "std_streams.h"

namespace console {
namespace {
// Never destroyed: see console.h.
std::mutex& g_lock = *new std::mutex;
std::atomic<bool> g_stdoutLost{false};
std::atomic<bool> g_stderrLost{false};
std::atomic<int> g_stdoutError{0};

// Writes and flushes under the lock (console_text.h: wide text to a Windows
// console); a failure marks the stream as lost.
void Write(std::FILE* stream, const std::string& text, bool lineEnd) {
  std::atomic<bool>& lost = stream == stdout ? g_stdoutLost : g_stderrLost;
  if (stream == stdout && StdoutClosedAtStart()) lost = true;
  if (lost) return;
  errno = 0;
  if (WriteText(stream, lineEnd ? text + '\n' : text)) return;
  if (stream == stdout) g_stdoutError = errno != 0 ? errno : EIO;
  lost = true;
}

}  // namespace

void Out(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_lock);
  Write(stdout, line, true);
}

void Err(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_lock);
  Write(stderr, line, true);
}

void Raw(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_lock);
  Write(stdout, text, false);
}

void RawErr(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_lock);
  Write(stderr, text, false);
}

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

bool CanRedrawLine(int fd) {
  if (::isatty(fd) != 1) return false;
  const char* term = std::getenv("TERM");
#ifdef _WIN32
  if (term == nullptr) return true;  // a console window, which has no TERM
#endif
  return term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
}

bool StdoutLost() { return g_stdoutLost.load(); }

int FinishOutput(int code) {
  {
    std::lock_guard<std::mutex> lock(g_lock);
    // Whatever stdio still holds (nothing, as every write flushes).
    if (!g_stdoutLost && std::fflush(stdout) != 0) {
      g_stdoutError = errno != 0 ? errno : EIO;
      g_stdoutLost = true;
    }
    if (StdoutClosedAtStart()) g_stdoutLost = true;
  }
  if (g_stdoutLost) {
    const int error = g_stdoutError.load();
    Err(std::string("kvctl: output lost: the report could not be written to standard output (") +
        (error != 0 ? std::strerror(error) : "it was closed at start") + ")");
  }
  if (StderrClosedAtStart()) g_stderrLost = true;
  // A lost report is a failure, and a failure outranks "sent, not verified".
  if (g_stdoutLost || g_stderrLost) return WorseExit(code, kExitFailed);
  return code;
}

}  // namespace console
