#include "sim_boot_loader.h"

#include <algorithm>

#include "common/sha256.h"
#include "platform/clock.h"
#include "sim_line.h"

namespace sim {
namespace {

constexpr unsigned char kSoh = 0x01, kStx = 0x02, kEot = 0x04, kAck = 0x06, kNak = 0x15, kCan = 0x18;
// The payload of an SOH block and of an STX block.
constexpr std::size_t kBlockSize = 128, k1KBlockSize = 1024;
constexpr std::uint32_t kByteTimeoutMs = 1000;    // between the bytes of one frame
constexpr std::uint32_t kBlockTimeoutMs = 10000;  // for the next block or EOT
constexpr std::uint32_t kQuietMs = 200;           // silence before a NAK after garbage
constexpr std::uint32_t kSliceMs = 100;           // longest read before looking at Stop
constexpr int kMaxErrors = 10;

// CRC-16 with polynomial 0x1021 and initial value 0, bit by bit.
std::uint16_t BlockCrc(const unsigned char* data, std::size_t length) {
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= static_cast<std::uint32_t>(data[i]) << 8;
    for (int bit = 0; bit < 8; ++bit) {
      crc <<= 1;
      if (crc & 0x10000) crc ^= 0x1021;
    }
  }
  return static_cast<std::uint16_t>(crc & 0xFFFF);
}

enum class Got { Block, Eot, Cancel, Noise, Timeout, LineGone, Stopped };

}  // namespace

// One batch on one line: the receiver's state and its steps.
class BootSession {
 public:
  BootSession(BootLoader& loader, SimLine& line)
      : loader_(loader),
        line_(line),
        opt_(loader.options_),
        start_(static_cast<unsigned char>(opt_.startChar)),
        crc_(start_ != kNak),
        streaming_(start_ == 'G') {}

  BootOutcome Receive() {
    BootOutcome r = ReceiveHeader(opt_.startTries, opt_.startIntervalMs, true);
    for (;;) {
      if (r != BootOutcome::None) return r;
      if (batchEnded_) return BootOutcome::Received;
      r = ReceiveFile();
      if (r != BootOutcome::None) return r;
      r = ReceiveHeader(kMaxErrors, kBlockTimeoutMs, false);
    }
  }

  // Keeps what arrived of a file that did not end with EOT.
  void KeepUnfinished() {
    if (fileOpen_) FinishImage(false);
  }

 private:
  // Reads a byte, looking at Stop at least every kSliceMs. -1 time-out,
  // -2 line closed, -3 stopped.
  int Read(std::uint32_t timeoutMs) {
    const double deadline = platform::ClockMsPrecise() + timeoutMs;
    for (;;) {
      if (loader_.stop_) return -3;
      const double left = deadline - platform::ClockMsPrecise();
      const auto slice = static_cast<std::uint32_t>(std::clamp(left, 0.0, double{kSliceMs}));
      const int b = line_.ReadByte(slice);
      if (b != -1 || left <= kSliceMs) return b;
    }
  }

  void Reply(std::initializer_list<unsigned char> bytes) {
    if (silent_) return;
    line_.Send(std::string(bytes.begin(), bytes.end()));
  }
  void Ack() {
    if (!streaming_) Reply({kAck});
  }

  // Reads and drops bytes until the line has been quiet for kQuietMs (at most
  // a few seconds, so a chattering line cannot hold the loader).
  void WaitForQuiet(std::uint32_t quietMs = kQuietMs) {
    const double giveUpAt = platform::ClockMsPrecise() + 5000;
    while (Read(quietMs) >= 0 && platform::ClockMsPrecise() < giveUpAt) {
    }
  }

  void Observe(const std::vector<unsigned char>& bytes, bool intact) {
    if (opt_.frameObserver) opt_.frameObserver(BootFrame{bytes, intact});
  }

  Got ReadFrame(std::uint32_t timeoutMs) {
    frame_.clear();
    const int first = Read(timeoutMs);
    if (first == -1) return Got::Timeout;
    if (first == -2) return Got::LineGone;
    if (first == -3) return Got::Stopped;
    frame_.push_back(static_cast<unsigned char>(first));
    if (first == kEot) {
      Observe(frame_, true);
      return Got::Eot;
    }
    if (first == kCan) return Read(kByteTimeoutMs) == kCan ? Got::Cancel : Got::Noise;
    if (first != kSoh && first != kStx) return Got::Noise;
    const std::size_t payload = first == kStx ? k1KBlockSize : kBlockSize;
    const std::size_t total = 3 + payload + (crc_ ? 2 : 1);
    while (frame_.size() < total) {
      const int b = Read(kByteTimeoutMs);
      if (b < 0) {
        Observe(frame_, false);
        return b == -1 ? Got::Block : (b == -2 ? Got::LineGone : Got::Stopped);
      }
      frame_.push_back(static_cast<unsigned char>(b));
    }
    Observe(frame_, FrameIntact());
    return Got::Block;
  }

  bool FrameIntact() const {
    if (frame_.size() < 4) return false;
    const std::size_t payload = frame_[0] == kStx ? k1KBlockSize : kBlockSize;
    if (frame_.size() != 3 + payload + (crc_ ? 2u : 1u)) return false;
    if ((frame_[1] ^ frame_[2]) != 0xFF) return false;
    const unsigned char* data = frame_.data() + 3;
    if (crc_) {
      const std::uint16_t crc = BlockCrc(data, payload);
      return frame_[3 + payload] == (crc >> 8) && frame_[4 + payload] == (crc & 0xFF);
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < payload; ++i) sum += data[i];
    return frame_[3 + payload] == (sum & 0xFF);
  }

  enum class Verdict { Accept, Rejected, Stop };

  // The injected faults for an intact block that is next in order.
  Verdict ApplyFaults(int blockIndex, BootOutcome* stopWith) {
    ++framesSeen_;
    if (opt_.silentAfterBlock >= 0 && blockIndex > opt_.silentAfterBlock) {
      silent_ = true;
      *stopWith = BootOutcome::Silent;
      return Verdict::Stop;
    }
    if (opt_.cancelAtBlock == blockIndex) {
      CancelAndKeepCancelling();
      *stopWith = BootOutcome::Cancelled;
      return Verdict::Stop;
    }
    if (!crc_ && opt_.crcRequestAtBlock == blockIndex && !crcRequested_) {
      crcRequested_ = true;
      crc_ = true;   // from now on the blocks carry the CRC,
      start_ = 'C';  // and the loader asks with "C"
      Reply({'C'});
      return Verdict::Rejected;
    }
    if (opt_.nakEveryNth != 0 && framesSeen_ % opt_.nakEveryNth == 0) {
      Reply({kNak});
      return Verdict::Rejected;
    }
    return Verdict::Accept;
  }

  // CAN CAN now, and to every frame that still comes until the line is quiet.
  void CancelAndKeepCancelling() {
    Reply({kCan, kCan});
    const double giveUpAt = platform::ClockMsPrecise() + 30000;
    while (platform::ClockMsPrecise() < giveUpAt) {
      const Got got = ReadFrame(4000);
      if (got == Got::Timeout || got == Got::LineGone || got == Got::Stopped) return;
      WaitForQuiet();
      Reply({kCan, kCan});
    }
  }

  // Waits for block 0: the next file's header or the empty block that ends the batch.
  BootOutcome ReceiveHeader(std::uint32_t tries, std::uint32_t waitMs, bool firstOfBatch) {
    bool askAgain = true;
    for (std::uint32_t attempt = 0; attempt < tries;) {
      if (askAgain) Reply({start_});
      askAgain = true;
      const Got got = ReadFrame(waitMs);
      switch (got) {
        case Got::Timeout: ++attempt; continue;
        case Got::LineGone: return BootOutcome::LineClosed;
        case Got::Stopped: return BootOutcome::Stopped;
        case Got::Cancel: return BootOutcome::SenderCancelled;
        case Got::Noise:
          if (firstOfBatch && frame_[0] == 'a') return BootOutcome::Aborted;
          WaitForQuiet();
          ++attempt;
          continue;
        case Got::Eot:  // our ACK to the EOT was lost: acknowledge it again
          Reply({kAck});
          continue;
        case Got::Block: break;
      }
      if (!FrameIntact() || frame_[1] != 0) {
        WaitForQuiet();
        Reply({kNak});
        askAgain = false;
        ++attempt;
        continue;
      }
      BootOutcome stopWith = BootOutcome::None;
      const Verdict v = ApplyFaults(0 + blockIndexBase_, &stopWith);
      if (v == Verdict::Stop) return stopWith;
      if (v == Verdict::Rejected) {
        askAgain = false;
        continue;
      }
      return AcceptHeader();
    }
    return BootOutcome::GaveUp;
  }

  BootOutcome AcceptHeader() {
    const unsigned char* payload = frame_.data() + 3;
    const std::size_t size = frame_[0] == kStx ? k1KBlockSize : kBlockSize;
    const auto* nameEnd = std::find(payload, payload + size, 0);
    if (nameEnd == payload) {  // the empty block 0 ends the batch
      Reply({kAck});
      batchEnded_ = true;
      return BootOutcome::None;
    }
    image_ = ReceivedImage{};
    image_.name.assign(payload, nameEnd);
    const unsigned char* p = nameEnd + (nameEnd < payload + size ? 1 : 0);
    if (p < payload + size && *p >= '0' && *p <= '9') {
      std::int64_t declared = 0;
      while (p < payload + size && *p >= '0' && *p <= '9' && declared < (std::int64_t{1} << 40))
        declared = declared * 10 + (*p++ - '0');
      image_.declaredSize = declared;
    }
    fileOpen_ = true;
    expected_ = 1;
    blockIndex_ = 1;
    eotRefused_ = false;
    Ack();
    return BootOutcome::None;  // ReceiveFile starts; the start character follows from it
  }

  BootOutcome ReceiveFile() {
    Reply({start_});  // ready for the data
    int errors = 0;
    for (;;) {
      const Got got = ReadFrame(kBlockTimeoutMs);
      switch (got) {
        case Got::Timeout:
          if (++errors > kMaxErrors) return BootOutcome::GaveUp;
          Reply({kNak});
          continue;
        case Got::LineGone: return BootOutcome::LineClosed;
        case Got::Stopped: return BootOutcome::Stopped;
        case Got::Cancel: return BootOutcome::SenderCancelled;
        case Got::Noise:
          if (++errors > kMaxErrors) return BootOutcome::GaveUp;
          WaitForQuiet();
          Reply({kNak});
          continue;
        case Got::Eot:
          if (opt_.nakFirstEot && !eotRefused_) {
            eotRefused_ = true;
            Reply({kNak});
            continue;
          }
          Reply({kAck});
          FinishImage(true);
          blockIndexBase_ = blockIndex_;
          return BootOutcome::None;
        case Got::Block: break;
      }
      if (!FrameIntact()) {
        if (streaming_) {  // a streamed transfer cannot repeat a block
          Reply({kCan, kCan});
          return BootOutcome::Cancelled;
        }
        if (++errors > kMaxErrors) return BootOutcome::GaveUp;
        WaitForQuiet();
        Reply({kNak});
        continue;
      }
      const unsigned char number = frame_[1];
      if (number == static_cast<unsigned char>(expected_ - 1)) {  // our ACK was lost
        Ack();
        continue;
      }
      if (number != static_cast<unsigned char>(expected_)) {
        Reply({kCan, kCan});
        return BootOutcome::Cancelled;
      }
      BootOutcome stopWith = BootOutcome::None;
      const Verdict v = ApplyFaults(blockIndex_, &stopWith);
      if (v == Verdict::Stop) return stopWith;
      if (v == Verdict::Rejected) continue;
      const std::size_t size = frame_[0] == kStx ? k1KBlockSize : kBlockSize;
      image_.data.insert(image_.data.end(), frame_.begin() + 3, frame_.begin() + 3 + size);
      ++expected_;
      ++blockIndex_;
      errors = 0;
      Ack();
    }
  }

  void FinishImage(bool sawEot) {
    if (image_.declaredSize >= 0 && image_.data.size() > static_cast<std::uint64_t>(image_.declaredSize))
      image_.data.resize(static_cast<std::size_t>(image_.declaredSize));
    image_.complete =
        sawEot && (image_.declaredSize < 0 || image_.data.size() == static_cast<std::uint64_t>(image_.declaredSize));
    image_.sha256 = Sha256Hex(image_.data.data(), image_.data.size());
    fileOpen_ = false;
    loader_.Keep(std::move(image_));
    image_ = ReceivedImage{};
  }

  BootLoader& loader_;
  SimLine& line_;
  const BootOptions& opt_;
  unsigned char start_;
  bool crc_;
  const bool streaming_;
  bool silent_ = false;
  bool crcRequested_ = false;
  bool eotRefused_ = false;
  bool fileOpen_ = false;    // a header was accepted and its EOT has not come yet
  bool batchEnded_ = false;  // the empty block 0 came
  std::uint32_t framesSeen_ = 0;
  unsigned expected_ = 0;   // block number (before wrapping) of the next data block
  int blockIndex_ = 0;      // blocks counted from the header, for the fault options
  int blockIndexBase_ = 0;  // the index the next block 0 gets
  std::vector<unsigned char> frame_;
  ReceivedImage image_;
};

void BootLoader::Run(SimLine& line) {
  if (stop_) {
    outcome_ = BootOutcome::Stopped;
    return;
  }
  BootSession session(*this, line);
  const BootOutcome outcome = session.Receive();
  session.KeepUnfinished();
  outcome_ = outcome;
  // After a failed batch the sender may still be sending: let the line settle
  // so that none of its bytes reach the menu as commands.
  if (outcome != BootOutcome::Received && outcome != BootOutcome::Stopped && outcome != BootOutcome::LineClosed) {
    const double giveUpAt = platform::ClockMsPrecise() + 30000;
    double quietSince = platform::ClockMsPrecise();
    while (!stop_ && platform::ClockMsPrecise() < giveUpAt) {
      const int b = line.ReadByte(kSliceMs);
      if (b == -2) break;
      if (b >= 0) quietSince = platform::ClockMsPrecise();
      else if (platform::ClockMsPrecise() - quietSince >= 1000) break;
    }
  }
}

void BootLoader::Keep(ReceivedImage image) {
  if (options_.console != nullptr) {
    std::fprintf(options_.console, "%s\n", DescribeImage(image).c_str());
    std::fflush(options_.console);
  }
  std::lock_guard<std::mutex> lock(lock_);
  images_.push_back(std::move(image));
}

std::vector<ReceivedImage> BootLoader::Images() const {
  std::lock_guard<std::mutex> lock(lock_);
  return images_;
}

std::string DescribeImage(const ReceivedImage& image) {
  return std::string(image.complete ? "received " : "incomplete ") + image.name + ": " +
         std::to_string(image.data.size()) + " bytes, SHA-256 " + image.sha256;
}

}  // namespace sim
