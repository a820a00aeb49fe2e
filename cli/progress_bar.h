// Transfer progress for the terminal: a bar redrawn in place on a terminal
// that can redraw a line (not TERM=dumb), plain lines (every 10%) otherwise
// (a file, a pipe) or with several trackers at once. Rate and time left count from the first data
// block (transfer_progress.h). The in-place bar's line is ended with a line
// end on every path: by Finish, or by the destructor when a transfer failed
// or was interrupted and the stack unwinds.
//
// Thread contract: one thread (the one that sends) calls everything.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "firmware/firmware_transfer.h"
#include "transfer_progress.h"

// One progress text: bar, percent, bytes, rate and time left, e.g.
// "[##########          ]  50.0%  131072/262144 bytes  11.2 KiB/s  11 s left".
std::string FormatProgress(std::uint64_t bytes, std::uint64_t total, double bytesPerSecond,
                           std::optional<double> secondsLeft);

class ProgressDisplay {
 public:
  using Write = std::function<void(const std::string&)>;

  // `inPlace`: redraw one line with CR (a terminal, one tracker) through
  // `raw` (standard output by default); otherwise whole lines to `sayLine`.
  // `now`: the rate's clock (TransferRate's default when empty).
  ProgressDisplay(std::uint64_t total, bool inPlace, Write sayLine, TransferRate::Clock now = {}, Write raw = {});
  ~ProgressDisplay();
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // The first data block is about to go out.
  void DataStarted() { rate_.DataStarted(); }
  // Bytes acknowledged by the tracker so far.
  void Update(std::uint64_t bytes);
  // Ends an in-place bar with a line end; later calls do nothing.
  void Finish();

  const TransferRate& Rate() const { return rate_; }
  // "Sent N bytes in S s (R KiB/s)" for the data phase.
  std::string Summary() const { return FormatTransferSummary(rate_.Bytes(), rate_.Seconds()); }

 private:
  TransferRate rate_;
  bool inPlace_;
  Write sayLine_;
  Write raw_;
  int lastTenth_ = -1;
  bool drew_ = false;
  bool finished_ = false;
};

// The transfer's observer for a display: the data phase starts with the
// sender's first data block, each acknowledged chunk moves the bar, and
// `receiverReady` (may be empty) runs when the receiver's start character came.
FirmwareObserver ObserverFor(ProgressDisplay& display, std::function<void()> receiverReady = {});
