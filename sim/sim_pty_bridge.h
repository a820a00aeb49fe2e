// Two pseudo-terminals joined by one line: what a program writes on side A
// arrives on side B and the other way round, paced and delayed like SimLine
// (baud rate, one-way latency). It lets the tool's sender meet an external
// program, such as a reference YMODEM receiver, on a line with the timing of
// a real one.
//
// Each direction has a reader that takes bytes off its pseudo-terminal the
// moment they are written (a program that flushes and exits loses nothing)
// and a writer that delivers them when they have crossed the line. Both
// sides' slaves stay held open, so a program closing its end does not hang
// up the line.
//
// Thread contract: Open and Close from one owner thread; the traffic
// observers from any thread; the filter runs on the B-to-A reader thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim_line.h"

namespace sim {

class PtyBridge {
 public:
  struct Options {
    std::uint32_t baudRate = 0;   // 0: unpaced
    std::uint32_t latencyMs = 0;  // one way
    // Sees each byte from B to A; returns the byte to pass on or -1 to drop it.
    std::function<int(unsigned char)> filterBToA;
    // Side B's program writes into a pipe (BOutputFd) instead of its
    // pseudo-terminal: a program that flushes its terminal's queues as it
    // exits then cannot throw away its own last reply.
    bool bOutputThroughPipe = false;
  };

  // Bytes that crossed in one direction and when (clock ms).
  struct Traffic {
    std::uint64_t bytes = 0;
    double firstTakenAt = 0;          // the first byte was taken off the sending side
    double lastDeliveredAt = 0;       // the last byte was handed to the receiving side
    std::vector<double> takenAt;      // each time bytes were taken off the sending side
    std::vector<double> deliveredAt;  // each time a piece was handed to the receiving side
  };

  PtyBridge() = default;
  ~PtyBridge();
  PtyBridge(const PtyBridge&) = delete;
  PtyBridge& operator=(const PtyBridge&) = delete;

  bool Open(const Options& options);
  void Close();
  const std::string& PathA() const { return a_.slavePath; }
  const std::string& PathB() const { return b_.slavePath; }
  // The pipe's writing end for side B's standard output (-1 without the pipe).
  int BOutputFd() const { return bPipeWrite_; }
  Traffic AToB() const;
  Traffic BToA() const;

 private:
  struct End {
    int master = -1;
    int slaveHold = -1;
    std::string slavePath;
  };
  struct Piece {
    std::vector<unsigned char> bytes;
    double arrival;
  };
  struct Direction {
    LinePacer pacer;
    mutable std::mutex lock;
    std::condition_variable wake;
    std::deque<Piece> queue;
    Traffic traffic;
    std::thread reader, writer;
  };

  static bool OpenEnd(End& end);
  void Read(int fromFd, Direction& d, const std::function<int(unsigned char)>* filter);
  void Deliver(Direction& d, End& to);

  Options options_;
  End a_, b_;
  int bPipeRead_ = -1, bPipeWrite_ = -1;
  Direction aToB_, bToA_;
  std::atomic<bool> running_{false};
};

}  // namespace sim
