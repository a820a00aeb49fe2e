#include "sim_pty_bridge.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"

namespace sim {
namespace {

// Bytes are handed over in pieces when the last byte of the piece has crossed
// the line; at 115200 baud 16 bytes last 1.4 ms, the most any byte is late.
constexpr std::size_t kPieceBytes = 16;
constexpr int kPollSliceMs = 20;

}  // namespace

PtyBridge::~PtyBridge() { Close(); }

bool PtyBridge::OpenEnd(End& end) {
  const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  char name[128] = {};
  if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
    ::close(fd);
    return false;
  }
  end.master = fd;
  end.slavePath = name;
  end.slaveHold = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (end.slaveHold >= 0) {
    termios t{};
    if (::tcgetattr(end.slaveHold, &t) == 0) {
      ::cfmakeraw(&t);
      ::tcsetattr(end.slaveHold, TCSANOW, &t);
    }
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  return true;
}

bool PtyBridge::Open(const Options& options) {
  Close();
  options_ = options;
  if (!OpenEnd(a_) || !OpenEnd(b_)) {
    Close();
    return false;
  }
  if (options.bOutputThroughPipe) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      Close();
      return false;
    }
    bPipeRead_ = fds[0];
    bPipeWrite_ = fds[1];
    ::fcntl(bPipeRead_, F_SETFL, ::fcntl(bPipeRead_, F_GETFL) | O_NONBLOCK);
  }
  aToB_.pacer = LinePacer(options.baudRate, options.latencyMs);
  bToA_.pacer = LinePacer(options.baudRate, options.latencyMs);
  running_ = true;
  const int bOutput = bPipeRead_ >= 0 ? bPipeRead_ : b_.master;
  aToB_.reader = std::thread([this] { Read(a_.master, aToB_, nullptr); });
  aToB_.writer = std::thread([this] { Deliver(aToB_, b_); });
  bToA_.reader = std::thread([this, bOutput] { Read(bOutput, bToA_, &options_.filterBToA); });
  bToA_.writer = std::thread([this] { Deliver(bToA_, a_); });
  return true;
}

void PtyBridge::Close() {
  running_ = false;
  for (Direction* d : {&aToB_, &bToA_}) {
    {
      std::lock_guard<std::mutex> lock(d->lock);
      d->wake.notify_all();
    }
    if (d->reader.joinable()) d->reader.join();
    if (d->writer.joinable()) d->writer.join();
  }
  for (End* e : {&a_, &b_}) {
    if (e->master >= 0) ::close(e->master);
    if (e->slaveHold >= 0) ::close(e->slaveHold);
    e->master = e->slaveHold = -1;
  }
  for (int* fd : {&bPipeRead_, &bPipeWrite_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  for (Direction* d : {&aToB_, &bToA_}) {
    d->queue.clear();
    d->traffic = Traffic{};
  }
}

void PtyBridge::Read(int fromFd, Direction& d, const std::function<int(unsigned char)>* filter) {
  unsigned char buf[4096];
  while (running_) {
    pollfd p{fromFd, POLLIN, 0};
    if (::poll(&p, 1, kPollSliceMs) <= 0) continue;
    const ssize_t n = ::read(fromFd, buf, sizeof buf);
    if (n <= 0) {
      // EIO while no program has the slave open besides our hold: look again later.
      if (n < 0 && errno != EAGAIN && errno != EINTR) platform::SleepMs(5);
      continue;
    }
    const double takenAt = platform::ClockMsPrecise();
    std::vector<unsigned char> bytes;
    bytes.reserve(static_cast<std::size_t>(n));
    for (ssize_t i = 0; i < n; ++i) {
      const int b = (filter && *filter) ? (*filter)(buf[i]) : buf[i];
      if (b >= 0) bytes.push_back(static_cast<unsigned char>(b));
    }
    std::lock_guard<std::mutex> lock(d.lock);
    if (d.traffic.bytes == 0 && !bytes.empty()) d.traffic.firstTakenAt = takenAt;
    if (!bytes.empty()) d.traffic.takenAt.push_back(takenAt);
    for (std::size_t at = 0; at < bytes.size(); at += kPieceBytes) {
      const std::size_t count = std::min(kPieceBytes, bytes.size() - at);
      Piece piece{{bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + count)},
                  d.pacer.Arrival(takenAt, count)};
      d.queue.push_back(std::move(piece));
    }
    d.traffic.bytes += bytes.size();
    d.wake.notify_all();
  }
}

void PtyBridge::Deliver(Direction& d, End& to) {
  for (;;) {
    Piece piece;
    {
      std::unique_lock<std::mutex> lock(d.lock);
      d.wake.wait_for(lock, platform::RealDuration(100), [&] { return !running_ || !d.queue.empty(); });
      if (!running_) return;
      if (d.queue.empty()) continue;
      piece = std::move(d.queue.front());
      d.queue.pop_front();
    }
    platform::SleepUntilClockMs(piece.arrival);
    std::size_t done = 0;
    while (done < piece.bytes.size() && running_) {
      const ssize_t n = ::write(to.master, piece.bytes.data() + done, piece.bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) break;
      pollfd p{to.master, POLLOUT, 0};
      ::poll(&p, 1, kPollSliceMs);  // the program is not reading yet
    }
    std::lock_guard<std::mutex> lock(d.lock);
    d.traffic.lastDeliveredAt = platform::ClockMsPrecise();
    d.traffic.deliveredAt.push_back(d.traffic.lastDeliveredAt);
  }
}

PtyBridge::Traffic PtyBridge::AToB() const {
  std::lock_guard<std::mutex> lock(aToB_.lock);
  return aToB_.traffic;
}

PtyBridge::Traffic PtyBridge::BToA() const {
  std::lock_guard<std::mutex> lock(bToA_.lock);
  return bToA_.traffic;
}

}  // namespace sim
