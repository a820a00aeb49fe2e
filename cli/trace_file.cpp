#include "trace_file.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/serial_io.h"

namespace {
// Never destroyed: a detached worker may still print or trace at exit.
std::mutex& g_lock = *new std::mutex;
std::FILE* g_file = nullptr;
const auto g_start = std::chrono::steady_clock::now();
}  // namespace

std::string FormatTraceLine(double seconds, const std::string& device, bool sent,
                            const unsigned char* bytes, std::size_t count) {
  char head[64];
  std::snprintf(head, sizeof head, "%.6f ", seconds);
  std::string line = head + device + (sent ? " > " : " < ");
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    if (i) line += ' ';
    line += hex;
    text += (bytes[i] >= 0x20 && bytes[i] < 0x7f) ? static_cast<char>(bytes[i]) : '.';
  }
  return line + " |" + text + "|";
}

bool StartTrace(const std::string& path, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    error = std::strerror(errno);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(g_lock);
    g_file = f;
  }
  platform::SetPortTrace([](const std::string& device, bool sent, const unsigned char* bytes,
                            std::size_t count) {
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - g_start).count();
    const std::string line = FormatTraceLine(t, device, sent, bytes, count);
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_file) {
      std::fputs(line.c_str(), g_file);
      std::fputc('\n', g_file);
    }
  });
  return true;
}

void StopTrace() {
  platform::SetPortTrace(nullptr);
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_file) std::fclose(g_file);
  g_file = nullptr;
}
