#include "console.h"

#include <unistd.h>

#include <mutex>

namespace console {
namespace {
// Never destroyed: see console.h.
std::mutex& g_lock = *new std::mutex;
}

void Out(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_lock);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Err(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_lock);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void Raw(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_lock);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace console
