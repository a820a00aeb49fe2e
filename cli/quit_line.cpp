#include "quit_line.h"

#include <atomic>
#include <cstring>

namespace {

char g_texts[2][2048] = {"\nkvctl: quit at once; a settings write or update may be incomplete: run it again\n"};
std::size_t g_lengths[2] = {std::strlen(g_texts[0]), 0};
std::atomic<int> g_current{0};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

}  // namespace

const char* QuitLine(std::size_t& length) {
  const int current = g_current.load();
  length = g_lengths[current];
  return g_texts[current];
}

void SetQuitAdvice(const std::string& command) {
  SetQuitLine(
      "\nkvctl: quit at once; a settings write or update may be incomplete: to finish the job, run: " + command + "\n");
}

void SetQuitLine(const std::string& text) {
  const int next = 1 - g_current.load();
  if (text.size() >= sizeof g_texts[next]) return;
  std::memcpy(g_texts[next], text.c_str(), text.size() + 1);
  g_lengths[next] = text.size();
  g_current.store(next);
}
