#include "progress_bar.h"

#include <cstdio>

#include "console.h"

std::string FormatProgress(std::uint64_t bytes, std::uint64_t total, double elapsedSeconds) {
  constexpr int kWidth = 20;
  if (bytes > total) bytes = total;
  const double fraction = total ? static_cast<double>(bytes) / static_cast<double>(total) : 1.0;
  const int filled = static_cast<int>(fraction * kWidth + 1e-9);
  std::string bar = "[" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "]";
  const double rate = elapsedSeconds > 0 ? static_cast<double>(bytes) / elapsedSeconds : 0.0;
  char text[160];
  if (rate > 0 && bytes < total) {
    const double left = static_cast<double>(total - bytes) / rate;
    std::snprintf(text, sizeof text, " %5.1f%%  %llu/%llu bytes  %.1f KiB/s  %.0f s left", fraction * 100,
                  static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(total),
                  rate / 1024, left);
  } else {
    std::snprintf(text, sizeof text, " %5.1f%%  %llu/%llu bytes  %.1f KiB/s", fraction * 100,
                  static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(total),
                  rate / 1024);
  }
  return bar + text;
}

ProgressDisplay::ProgressDisplay(std::uint64_t total, bool inPlace,
                                 std::function<void(const std::string&)> sayLine)
    : total_(total), inPlace_(inPlace), sayLine_(std::move(sayLine)) {}

void ProgressDisplay::Update(std::uint64_t bytes) {
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::string text = FormatProgress(bytes, total_, elapsed);
  if (inPlace_) {
    console::Raw("\r" + text + "\033[K");
    drew_ = true;
    return;
  }
  const int tenth = total_ ? static_cast<int>(std::min<std::uint64_t>(bytes, total_) * 10 / total_) : 10;
  if (tenth != lastTenth_) {
    lastTenth_ = tenth;
    sayLine_(text);
  }
}

void ProgressDisplay::Finish() {
  if (inPlace_ && drew_) console::Raw("\n");
}
