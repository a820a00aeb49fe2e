// The simulated tracker's boot loader: a YMODEM batch receiver with its own
// framing and CRC code (nothing shared with the tool's sender), so that a
// fault on one side cannot hide behind the same fault on the other.
//
// It asks with its start character ("C", NAK or "G") once a second until a
// sender answers or 'a' aborts, takes 1024- and 128-byte blocks with CRC-16
// or checksum, acknowledges duplicates, ends a file at EOT and the batch at an
// empty block 0. Each received image is kept, cut to the size in its header,
// with its SHA-256. Options inject faults.
//
// Thread contract: Run is called on the tracker's thread; Stop, Images and
// LastOutcome from any thread. The frame observer runs on the Run thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

class SimLine;

// One frame as the boot loader took it off the line: a block from its SOH or
// STX through its trailer, or the single EOT byte.
struct BootFrame {
  std::vector<unsigned char> bytes;
  bool intact = false;  // complete, number and complement agree, CRC or checksum right
};

struct BootOptions {
  char startChar = 'C';                  // 'C' (CRC-16), 0x15 NAK (checksum) or 'G' (CRC-16, streamed)
  std::uint32_t startIntervalMs = 1000;  // the start character is repeated this often...
  std::uint32_t startTries = 300;        // ...this many times before the loader gives up

  // Faults. Blocks are counted from 0 (the header) through the data blocks,
  // without wrapping; -1 turns an option off.
  std::uint32_t nakEveryNth = 0;  // every Nth block frame that arrives gets NAK (1: all of them)
  bool nakFirstEot = false;       // the first EOT gets NAK
  int crcRequestAtBlock = -1;     // answers this block, sent with a checksum, with "C"
  int silentAfterBlock = -1;      // answers nothing after this block
  int cancelAtBlock = -1;         // answers this block, and all that follow, with CAN CAN

  // Observers (not settable from the command line).
  std::function<void(const BootFrame&)> frameObserver;
  std::FILE* console = nullptr;  // a line per received image: name, size, SHA-256
};

struct ReceivedImage {
  std::string name;
  std::int64_t declaredSize = -1;   // the size in block 0; -1 when it carried none
  std::vector<unsigned char> data;  // cut to the declared size
  std::string sha256;               // lower-case hex digest of data
  bool complete = false;            // ended with EOT and holds exactly declaredSize bytes
};

enum class BootOutcome {
  None,       // no batch has run yet
  Received,   // the batch ended with its empty block 0
  Aborted,    // 'a' while waiting for a sender
  GaveUp,     // no sender within the start tries, or too many errors in a row
  Cancelled,  // the loader cancelled (CAN CAN), by option or lost block order
  SenderCancelled,
  Silent,      // went silent by option
  LineClosed,  // the cable was pulled
  Stopped,     // Stop() was called
};

class BootLoader {
 public:
  explicit BootLoader(const BootOptions& options) : options_(options) {}
  // Receives one batch on the line; returns when it ended or failed.
  void Run(SimLine& line);
  // Makes a running Run return within a fraction of a second, and every later
  // Run at once (the tracker is shutting down).
  void Stop() { stop_ = true; }
  std::vector<ReceivedImage> Images() const;
  BootOutcome LastOutcome() const { return outcome_.load(); }

 private:
  friend class BootSession;
  void Keep(ReceivedImage image);

  BootOptions options_;
  std::atomic<bool> stop_{false};
  std::atomic<BootOutcome> outcome_{BootOutcome::None};
  mutable std::mutex lock_;
  std::vector<ReceivedImage> images_;
};

// "received c:/work/new.bin: 2500 bytes, SHA-256 9f86..." (or "incomplete ...").
std::string DescribeImage(const ReceivedImage& image);

}  // namespace sim
