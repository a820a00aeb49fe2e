#include "transfer_progress.h"

#include <cstdio>

#include "platform/clock.h"

TransferRate::TransferRate(std::uint64_t total, Clock now) : total_(total), now_(std::move(now)) {
  if (!now_) now_ = [] { return platform::ClockMsPrecise() / 1000.0; };
}

void TransferRate::DataStarted() {
  start_ = now_();
  last_ = *start_;
  bytes_ = 0;
}

void TransferRate::Delivered(std::uint64_t bytes) {
  // The data phase ends with its last byte acknowledged; the EOT exchange
  // that follows is not data.
  if (start_ && bytes_ == total_ && total_ != 0) return;
  if (!start_) start_ = now_();
  last_ = now_();
  bytes_ = bytes < total_ ? bytes : total_;
}

double TransferRate::Seconds() const { return start_ ? last_ - *start_ : 0.0; }

double TransferRate::BytesPerSecond() const {
  const double seconds = Seconds();
  return seconds > 0 ? static_cast<double>(bytes_) / seconds : 0.0;
}

std::optional<double> TransferRate::SecondsLeft() const {
  const double rate = BytesPerSecond();
  if (rate <= 0) return std::nullopt;
  return static_cast<double>(total_ - bytes_) / rate;
}

std::string FormatTransferSummary(std::uint64_t bytes, double seconds) {
  const double rate = seconds > 0 ? static_cast<double>(bytes) / seconds / 1024.0 : 0.0;
  char text[96];
  std::snprintf(text, sizeof text, "Sent %llu bytes in %.1f s (%.1f KiB/s)", static_cast<unsigned long long>(bytes),
                seconds, rate);
  return text;
}
