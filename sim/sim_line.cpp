#include "sim_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>

#include "platform/clock.h"

namespace sim {
namespace {

// Longest single wait on the master, so that a close from another thread
// never waits for a whole read time-out.
constexpr double kSliceMs = 20.0;
// Bytes ahead of the reader are let through up to this early (ms) when more
// bytes are already buffered behind them; the last buffered byte is exact.
constexpr double kEarlyToleranceMs = 1.0;

// Waits up to `clockMs` for `events` on fd. Returns poll's revents or 0.
short WaitFor(int fd, short events, double clockMs) {
  if (clockMs < 0) clockMs = 0;
  const auto real = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double, std::milli>(clockMs / platform::ClockSpeed()));
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(real.count() / 1000000000);
  ts.tv_nsec = static_cast<long>(real.count() % 1000000000);
  pollfd p{fd, events, 0};
  return ::ppoll(&p, 1, &ts, nullptr) > 0 ? p.revents : 0;
}

}  // namespace

SimLine::~SimLine() { Close(); }

bool SimLine::Open(const LineOptions& options) {
  options_ = options;
  rng_ = options.seed ? options.seed : 1;
  toTool_ = LinePacer(options.baudRate, options.latencyMs);
  fromTool_ = LinePacer(options.baudRate, options.latencyMs);
  const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0) {
    ::close(fd);
    return false;
  }
  char name[128] = {};
  if (::ptsname_r(fd, name, sizeof name) != 0) {
    ::close(fd);
    return false;
  }
  slavePath_ = name;
  // Hold the slave open so the master keeps working while no tool is
  // connected, and make it raw so nothing the tracker sends is echoed back.
  const int hold = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (hold >= 0) {
    termios t{};
    if (::tcgetattr(hold, &t) == 0) {
      ::cfmakeraw(&t);
      ::tcsetattr(hold, TCSANOW, &t);
    }
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  std::unique_lock<std::shared_mutex> lock(fdLock_);
  masterFd_ = fd;
  slaveHoldFd_ = hold;
  open_ = true;
  return true;
}

void SimLine::Close() {
  std::unique_lock<std::shared_mutex> lock(fdLock_);
  open_ = false;
  if (masterFd_ >= 0) ::close(masterFd_);
  masterFd_ = -1;
  if (slaveHoldFd_ >= 0) ::close(slaveHoldFd_);
  slaveHoldFd_ = -1;
}

void SimLine::Send(std::string_view bytes) {
  std::lock_guard<std::mutex> lock(writeLock_);
  if (toTool_.Paced()) {
    const double arrival = toTool_.Arrival(platform::ClockMsPrecise(), bytes.size());
    platform::SleepUntilClockMs(arrival);
  }
  std::size_t done = 0;
  const double giveUpAt = platform::ClockMsPrecise() + 1000;
  while (done < bytes.size()) {
    std::shared_lock<std::shared_mutex> fdLock(fdLock_);
    if (masterFd_ < 0) return;
    const ssize_t n = ::write(masterFd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      sent_ += static_cast<std::uint64_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return;
    // The tool is not reading: give up after a second rather than hang.
    const double left = giveUpAt - platform::ClockMsPrecise();
    if (left <= 0) return;
    WaitFor(masterFd_, POLLOUT, std::min(left, kSliceMs));
  }
}

int SimLine::RawReadByte(std::uint32_t timeoutMs) {
  if (readPos_ < readLen_) return readBuf_[readPos_++];
  const double deadline = platform::ClockMsPrecise() + timeoutMs;
  for (;;) {
    std::shared_lock<std::shared_mutex> fdLock(fdLock_);
    if (masterFd_ < 0) return -2;
    const ssize_t n = ::read(masterFd_, readBuf_, sizeof readBuf_);
    if (n > 0) {
      batchReadAt_ = platform::ClockMsPrecise();
      readLen_ = static_cast<std::size_t>(n);
      readPos_ = 1;
      return readBuf_[0];
    }
    // EIO means no tool has the slave open right now: wait and look again.
    const double left = deadline - platform::ClockMsPrecise();
    if (left <= 0) return -1;
    const short ev = WaitFor(masterFd_, POLLIN, std::min(left, kSliceMs));
    if ((ev & POLLHUP) && !(ev & POLLIN)) {
      fdLock.unlock();
      platform::SleepUntilClockMs(platform::ClockMsPrecise() + std::min(left, 5.0));
    }
  }
}

int SimLine::ReadByte(std::uint32_t timeoutMs) {
  for (;;) {
    const int b = RawReadByte(timeoutMs);
    if (b < 0) return b;
    const std::uint64_t count = ++received_;
    if (fromTool_.Paced()) {
      const double arrival = fromTool_.Arrival(batchReadAt_, 1);
      const double early = arrival - platform::ClockMsPrecise();
      if (early > 0 && (readPos_ == readLen_ || early > kEarlyToleranceMs)) platform::SleepUntilClockMs(arrival);
    }
    if (options_.pullCableAfterBytes && count >= options_.pullCableAfterBytes) {
      Close();
      return -2;
    }
    if (options_.dropRate > 0 || options_.bitErrorRate > 0) {
      rng_ = rng_ * 1103515245u + 12345u;
      const double roll = static_cast<double>((rng_ >> 8) & 0xFFFFFF) / 16777216.0;
      if (roll < options_.dropRate) {
        ++faults_;
        continue;
      }
      if (roll < options_.dropRate + options_.bitErrorRate) {
        ++faults_;
        return b ^ (1 << ((rng_ >> 4) & 7));
      }
    }
    return b;
  }
}

}  // namespace sim
