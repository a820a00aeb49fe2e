#include "progress_bar.h"

#include <algorithm>
#include <cstdio>

#include "console.h"

std::string FormatProgress(std::uint64_t bytes, std::uint64_t total, double bytesPerSecond,
                           std::optional<double> secondsLeft) {
  constexpr int kWidth = 20;
  if (bytes > total) bytes = total;
  const double fraction = total ? static_cast<double>(bytes) / static_cast<double>(total) : 1.0;
  const int filled = static_cast<int>(fraction * kWidth + 1e-9);
  std::string bar = "[" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "]";
  char text[160];
  const int n = std::snprintf(text, sizeof text, " %5.1f%%  %llu/%llu bytes  %.1f KiB/s", fraction * 100,
                              static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(total),
                              bytesPerSecond / 1024);
  if (secondsLeft && bytes < total && n > 0 && static_cast<std::size_t>(n) < sizeof text)
    std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "  %.0f s left", *secondsLeft);
  return bar + text;
}

ProgressDisplay::ProgressDisplay(std::uint64_t total, bool inPlace, Write sayLine, TransferRate::Clock now, Write raw)
    : rate_(total, std::move(now)), inPlace_(inPlace), sayLine_(std::move(sayLine)), raw_(std::move(raw)) {
  if (!raw_) raw_ = [](const std::string& text) { console::Raw(text); };
}

ProgressDisplay::~ProgressDisplay() { Finish(); }

void ProgressDisplay::Update(std::uint64_t bytes) {
  if (finished_) return;
  rate_.Delivered(bytes);
  const std::uint64_t total = rate_.Total();
  const std::string text = FormatProgress(rate_.Bytes(), total, rate_.BytesPerSecond(), rate_.SecondsLeft());
  if (inPlace_) {
    raw_("\r" + text + "\033[K");
    drew_ = true;
    return;
  }
  const int tenth = total ? static_cast<int>(rate_.Bytes() * 10 / total) : 10;
  if (tenth != lastTenth_) {
    lastTenth_ = tenth;
    sayLine_(text);
  }
}

void ProgressDisplay::Finish() {
  if (finished_) return;
  finished_ = true;
  if (inPlace_ && drew_) raw_("\n");
}

FirmwareObserver ObserverFor(ProgressDisplay& display, std::function<void()> receiverReady) {
  FirmwareObserver observer;
  observer.phase = [&display, receiverReady = std::move(receiverReady)](TransferPhase phase) {
    if (phase == TransferPhase::ReceiverReady && receiverReady) receiverReady();
    if (phase == TransferPhase::DataStarted) display.DataStarted();
  };
  observer.progress = [&display](WPARAM chunks, LPARAM) {
    display.Update(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(chunks) * YmodemSender::CHUNK_SIZE, display.Rate().Total()));
  };
  return observer;
}
