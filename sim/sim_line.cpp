#include "sim_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace sim {

SimLine::~SimLine() { Close(); }

bool SimLine::Open(const LineOptions& options) {
  options_ = options;
  rng_ = options.seed ? options.seed : 1;
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
  slaveHoldFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveHoldFd_ >= 0) {
    termios t{};
    if (::tcgetattr(slaveHoldFd_, &t) == 0) {
      ::cfmakeraw(&t);
      ::tcsetattr(slaveHoldFd_, TCSANOW, &t);
    }
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  masterFd_ = fd;
  return true;
}

void SimLine::Close() {
  const int fd = masterFd_.exchange(-1);
  if (fd >= 0) ::close(fd);
  if (slaveHoldFd_ >= 0) {
    ::close(slaveHoldFd_);
    slaveHoldFd_ = -1;
  }
}

namespace {
double NowMs() {
  return static_cast<double>(platform::ClockMs());
}
void SleepUntil(double clockMs) {
  const double now = NowMs();
  if (clockMs > now) platform::SleepMs(static_cast<std::uint32_t>(clockMs - now + 0.5));
}
}  // namespace

void SimLine::Send(std::string_view bytes) {
  std::lock_guard<std::mutex> lock(writeLock_);
  if (options_.baudRate || options_.latencyMs) {
    const double byteMs = options_.baudRate ? 10000.0 / options_.baudRate : 0.0;
    const double start = std::max(NowMs(), txLineFreeAt_);
    txLineFreeAt_ = start + byteMs * static_cast<double>(bytes.size());
    // The last byte reaches the tool one latency after it left the line.
    SleepUntil(txLineFreeAt_ + options_.latencyMs);
  }
  std::size_t done = 0;
  int idle = 0;
  while (done < bytes.size()) {
    const int fd = masterFd_.load();
    if (fd < 0) return;
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      sent_ += static_cast<std::uint64_t>(n);
      idle = 0;
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return;
    // The tool is not reading: give up after a second rather than hang.
    if (++idle > 1000) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

int SimLine::RawReadByte(std::uint32_t timeoutMs) {
  if (readPos_ < readLen_) return readBuf_[readPos_++];
  const auto deadline = std::chrono::steady_clock::now() + platform::RealDuration(timeoutMs);
  for (;;) {
    const int fd = masterFd_.load();
    if (fd < 0) return -2;
    const ssize_t n = ::read(fd, readBuf_, sizeof readBuf_);
    if (n > 0) {
      readLen_ = static_cast<std::size_t>(n);
      readPos_ = 1;
      return readBuf_[0];
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      // EIO: no tool has the slave open right now; wait and look again.
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return -1;
    pollfd p{fd, POLLIN, 0};
    const int slice = static_cast<int>(std::min<long long>(left.count(), 20));
    if (::poll(&p, 1, slice) > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN))
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(slice, 5)));
  }
}

int SimLine::ReadByte(std::uint32_t timeoutMs) {
  for (;;) {
    const int b = RawReadByte(timeoutMs);
    if (b < 0) return b;
    const std::uint64_t count = ++received_;
    if (options_.baudRate || options_.latencyMs) {
      const double byteMs = options_.baudRate ? 10000.0 / options_.baudRate : 0.0;
      // The byte was written by the tool no later than now; it arrives after
      // the latency, and no sooner than the previous byte plus one byte time.
      const double arrival = std::max(NowMs() + options_.latencyMs, rxLineFreeAt_ + byteMs);
      rxLineFreeAt_ = arrival;
      SleepUntil(arrival);
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

void SimLine::DrainInput() {
  readPos_ = readLen_ = 0;
  while (RawReadByte(0) >= 0) {
  }
}

}  // namespace sim
