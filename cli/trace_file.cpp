#include "trace_file.h"

#include <chrono>
#include <cstdio>
#include <mutex>

#include "output_file.h"
#include "platform/serial_io.h"

namespace {
// Never destroyed: see trace_file.h.
std::mutex& g_lock = *new std::mutex;
std::string& g_text = *new std::string;
std::string& g_path = *new std::string;
bool g_cut = false;
const auto g_start = std::chrono::steady_clock::now();
}  // namespace

std::string FormatTraceLine(double seconds, const std::string& device, bool sent, const unsigned char* bytes,
                            std::size_t count) {
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
  if (!CheckOutputPath(path, error)) return false;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    g_path = path;
    g_text.clear();
    g_cut = false;
  }
  platform::SetPortTrace([](const std::string& device, bool sent, const unsigned char* bytes, std::size_t count) {
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - g_start).count();
    const std::string line = FormatTraceLine(t, device, sent, bytes, count);
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_text.size() + line.size() + 1 > TRACE_MAX_BYTES) {
      g_cut = true;
      return;
    }
    g_text += line;
    g_text += '\n';
  });
  return true;
}

bool FinishTrace(std::string& error) {
  platform::SetPortTrace(nullptr);
  std::string path, text;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_path.empty()) return true;
    path.swap(g_path);
    text.swap(g_text);
    if (g_cut) text += "(trace cut here: it reached its limit of " + std::to_string(TRACE_MAX_BYTES) + " bytes)\n";
  }
  return WriteOutputFile(path, text, error);
}
