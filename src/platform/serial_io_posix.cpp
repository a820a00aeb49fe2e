#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <string_view>

#include "platform/clock.h"
#include "platform/handle_object.h"
#include "platform/port_write_gate.h"
#include "platform/serial_io.h"

namespace {

// Never destroyed (serial_io.h, SetPortTrace): a worker that outlived its
// caller's bound may still read or write at exit.
std::mutex& TraceLock() {
  static auto* lock = new std::mutex;
  return *lock;
}
std::shared_ptr<platform::PortTraceSink>& TraceSink() {
  static auto* sink = new std::shared_ptr<platform::PortTraceSink>;
  return *sink;
}

std::shared_ptr<platform::PortTraceSink> CurrentTrace() {
  std::lock_guard<std::mutex> lock(TraceLock());
  return TraceSink();
}

// Every open port, for a process that must let go of its ports at once
// (ReleasePortsForExit, called from a signal handler): its descriptor, the
// terminal settings it had before the tool opened it, and the bytes that
// leave the device idle. Lock-free so that a signal handler may read it.
struct OpenPortSlot {
  // -1 free, -2 being filled, -3 in use by ReleasePortsForExit, else the
  // open port. The close waits while the slot is in use, so the handler never
  // writes to a descriptor that was closed (and perhaps reused) under it.
  std::atomic<int> fd{-1};
  termios saved{};
  bool hasSaved = false;
  std::array<std::atomic<char>, 8> exitBytes{};
  std::atomic<int> exitCount{0};
};
constexpr int kSlotInUse = -3;
constexpr std::size_t kOpenPortSlots = 64;
OpenPortSlot g_openPorts[kOpenPortSlots];

// Takes a slot for `fd`; -1 when all are in use (the port then works, but a
// process that quits at once cannot release it).
int TakeSlot(int fd, const termios* saved) {
  for (std::size_t i = 0; i < kOpenPortSlots; ++i) {
    int expected = -1;
    if (!g_openPorts[i].fd.compare_exchange_strong(expected, -2)) continue;
    OpenPortSlot& slot = g_openPorts[i];
    slot.hasSaved = saved != nullptr;
    if (saved) slot.saved = *saved;
    slot.exitCount = 0;
    slot.fd.store(fd, std::memory_order_release);
    return static_cast<int>(i);
  }
  return -1;
}

// Frees the slot of `fd` before the port is closed, waiting while a signal
// handler on another thread works on it (a matter of microseconds).
void FreeSlot(OpenPortSlot& slot, int fd) {
  int expected = fd;
  while (!slot.fd.compare_exchange_weak(expected, -1, std::memory_order_acq_rel)) {
    if (expected != kSlotInUse && expected != fd) return;
    expected = fd;
    ::sched_yield();
  }
}

// Puts the terminal settings back and clears the exclusive-use flag; only
// async-signal-safe calls.
void ReleaseForOthers(int fd, const termios* saved) {
  if (saved) ::tcsetattr(fd, TCSANOW, saved);
  // The exclusive flag outlives the close on a pseudo-terminal: clear it so
  // the tool (or a normal user) can open the port again right away.
  ::ioctl(fd, TIOCNXCL);
}

struct SerialPortObject final : HandleObject {
  SerialPortObject(int f, std::string p, const termios* before)
      : HandleObject(Kind::SerialPort), fd(f), path(std::move(p)), slot(TakeSlot(f, before)) {
    if (before) {
      saved = *before;
      hasSaved = true;
    }
  }
  ~SerialPortObject() override {
    if (slot >= 0) FreeSlot(g_openPorts[slot], fd);
    // Pending output goes out before the settings change back (bounded: a
    // stalled line is not waited for).
    for (int i = 0; i < 100; ++i) {
      int outQueue = 0;
      if (::ioctl(fd, TIOCOUTQ, &outQueue) != 0 || outQueue <= 0) break;
      ::usleep(1000);
    }
    ReleaseForOthers(fd, hasSaved ? &saved : nullptr);
    ::flock(fd, LOCK_UN);
    ::close(fd);
  }
  int fd;
  const std::string path;
  std::mutex timeoutsLock;
  COMMTIMEOUTS timeouts{};
  DCB state{};
  termios saved{};  // the terminal settings before the open, restored on close
  bool hasSaved = false;
  const int slot;
};

// True when the open tty `fd` is this process's controlling terminal (or the
// terminal its standard input, output or error is on): writing tracker
// commands there would go to the user's own terminal.
bool IsOwnTerminal(int fd) {
  const pid_t session = ::getsid(0);
  if (session > 0 && ::tcgetsid(fd) == session) return true;
  struct stat port {};
  if (::fstat(fd, &port) != 0) return false;
  for (const int own : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    struct stat st {};
    if (::isatty(own) && ::fstat(own, &st) == 0 && st.st_rdev == port.st_rdev) return true;
  }
  return false;
}

SerialPortObject* AsPort(HANDLE h) {
  if (!platform::detail::IsValid(h) || h->kind != HandleObject::Kind::SerialPort) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<SerialPortObject*>(h);
}

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR: return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EBUSY:
    case EPERM:
    case EWOULDBLOCK: return ERROR_ACCESS_DENIED;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
  }
}

speed_t SpeedFor(DWORD baud, bool* ok) {
  *ok = true;
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: *ok = false; return B0;
  }
}

// Waits for `events` on fd for at most `ms` clock milliseconds (INFINITE: no bound).
// Returns poll's revents, 0 on time-out, -1 on error.
int PollFor(int fd, short events, DWORD ms) {
  using Clock = std::chrono::steady_clock;
  const bool bounded = ms != INFINITE;
  const auto deadline = Clock::now() + platform::RealDuration(bounded ? ms : 0);
  for (;;) {
    // To the nanosecond: on a sped-up clock a 10 ms wait is well under a
    // millisecond of real time, which poll's millisecond would stretch.
    timespec wait{};
    if (bounded) {
      const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
      if (left > 0) wait = timespec{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
    }
    pollfd p{fd, events, 0};
    const int r = ::ppoll(&p, 1, bounded ? &wait : nullptr, nullptr);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) {
      if (!bounded || Clock::now() < deadline) continue;
      return 0;
    }
    return p.revents;
  }
}

}  // namespace

HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void*, DWORD creation, DWORD, HANDLE) {
  if (path == nullptr || creation != OPEN_EXISTING || shareMode != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const int mode = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  const int fd = ::open(path, mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  if (!::isatty(fd)) {
    ::close(fd);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (IsOwnTerminal(fd)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // Exclusive access: flock catches a second open by anybody (root included),
  // TIOCEXCL keeps other programs that do not lock from opening the tty.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  ::ioctl(fd, TIOCEXCL);
  termios before{};
  const bool known = ::tcgetattr(fd, &before) == 0;
  SetLastError(ERROR_SUCCESS);
  return new SerialPortObject(fd, path, known ? &before : nullptr);
}

BOOL GetCommState(HANDLE h, DCB* dcb) {
  auto* port = AsPort(h);
  if (!port || !dcb) return FALSE;
  termios t{};
  if (::tcgetattr(port->fd, &t) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  DCB d = port->state;  // fields termios cannot express keep what was set last
  static const struct {
    speed_t s;
    DWORD b;
  } kSpeeds[] = {{B1200, 1200},     {B2400, 2400},     {B4800, 4800},    {B9600, 9600},
                 {B19200, 19200},   {B38400, 38400},   {B57600, 57600},  {B115200, 115200},
                 {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
  const speed_t sp = cfgetospeed(&t);
  for (const auto& e : kSpeeds)
    if (e.s == sp) d.BaudRate = e.b;
  switch (t.c_cflag & CSIZE) {
    case CS5: d.ByteSize = 5; break;
    case CS6: d.ByteSize = 6; break;
    case CS7: d.ByteSize = 7; break;
    default: d.ByteSize = 8; break;
  }
  d.Parity = (t.c_cflag & PARENB) ? ((t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY) : NOPARITY;
  d.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
  d.fOutxCtsFlow = (t.c_cflag & CRTSCTS) ? 1 : 0;
  d.fOutX = (t.c_iflag & IXON) ? 1 : 0;
  d.fInX = (t.c_iflag & IXOFF) ? 1 : 0;
  d.fParity = (t.c_iflag & INPCK) ? 1 : 0;
  d.XonChar = static_cast<char>(t.c_cc[VSTART]);
  d.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
  *dcb = d;
  return TRUE;
}

BOOL SetCommState(HANDLE h, const DCB* dcb) {
  auto* port = AsPort(h);
  if (!port || !dcb) return FALSE;
  bool known = false;
  const speed_t speed = SpeedFor(dcb->BaudRate, &known);
  if (!known || dcb->ByteSize < 5 || dcb->ByteSize > 8 || dcb->Parity > EVENPARITY ||
      (dcb->StopBits != ONESTOPBIT && dcb->StopBits != TWOSTOPBITS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  termios t{};
  if (::tcgetattr(port->fd, &t) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  ::cfmakeraw(&t);  // binary line: no echo, no translation, no signals
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[dcb->ByteSize - 5];
  if (dcb->Parity != NOPARITY) t.c_cflag |= PARENB | (dcb->Parity == ODDPARITY ? PARODD : 0);
  if (dcb->StopBits == TWOSTOPBITS) t.c_cflag |= CSTOPB;
  if (dcb->fOutxCtsFlow || dcb->fRtsControl == RTS_CONTROL_HANDSHAKE) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  if (dcb->fOutX) t.c_iflag |= IXON;
  if (dcb->fInX) t.c_iflag |= IXOFF;
  if (dcb->fParity) t.c_iflag |= INPCK;
  t.c_cc[VSTART] = static_cast<cc_t>(dcb->XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(dcb->XoffChar);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  ::cfsetispeed(&t, speed);
  ::cfsetospeed(&t, speed);
  if (::tcsetattr(port->fd, TCSANOW, &t) != 0) {
    SetLastError(errno == EINVAL ? ERROR_INVALID_PARAMETER : ErrorFromErrno(errno));
    return FALSE;
  }
  // Modem lines: a pseudo-terminal refuses these calls, which is not a failure.
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  ::ioctl(port->fd, dcb->fDtrControl == DTR_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &dtr);
  if (dcb->fRtsControl != RTS_CONTROL_HANDSHAKE)
    ::ioctl(port->fd, dcb->fRtsControl == RTS_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &rts);
  port->state = *dcb;
  return TRUE;
}

BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS* timeouts) {
  auto* port = AsPort(h);
  if (!port || !timeouts) return FALSE;
  std::lock_guard<std::mutex> lock(port->timeoutsLock);
  *timeouts = port->timeouts;
  return TRUE;
}

BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* timeouts) {
  auto* port = AsPort(h);
  if (!port || !timeouts) return FALSE;
  std::lock_guard<std::mutex> lock(port->timeoutsLock);
  port->timeouts = *timeouts;
  return TRUE;
}

BOOL PurgeComm(HANDLE h, DWORD flags) {
  auto* port = AsPort(h);
  if (!port) return FALSE;
  const bool rx = flags & (PURGE_RXCLEAR | PURGE_RXABORT);
  const bool tx = flags & (PURGE_TXCLEAR | PURGE_TXABORT);
  if (rx && tx) ::tcflush(port->fd, TCIOFLUSH);
  else if (rx) ::tcflush(port->fd, TCIFLUSH);
  else if (tx) ::tcflush(port->fd, TCOFLUSH);
  return TRUE;
}

BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* status) {
  auto* port = AsPort(h);
  if (!port) return FALSE;
  if (errors) *errors = 0;
  int inQueue = 0, outQueue = 0;
  if (::ioctl(port->fd, FIONREAD, &inQueue) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  ::ioctl(port->fd, TIOCOUTQ, &outQueue);
  if (status) {
    status->cbInQue = inQueue > 0 ? static_cast<DWORD>(inQueue) : 0;
    status->cbOutQue = outQueue > 0 ? static_cast<DWORD>(outQueue) : 0;
  }
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE h) {
  auto* port = AsPort(h);
  if (!port) return FALSE;
  const auto start = platform::ClockMs();
  for (;;) {
    int outQueue = 0;
    if (::ioctl(port->fd, TIOCOUTQ, &outQueue) != 0 || outQueue <= 0) return TRUE;
    if (platform::ClockMs() - start >= 1000) return TRUE;
    platform::SleepMs(1);
  }
}

BOOL ReadFile(HANDLE h, void* buffer, DWORD toRead, DWORD* readCount, void*) {
  auto* port = AsPort(h);
  if (readCount) *readCount = 0;
  if (!port || (!buffer && toRead)) return FALSE;
  if (toRead == 0) return TRUE;
  COMMTIMEOUTS to;
  {
    std::lock_guard<std::mutex> lock(port->timeoutsLock);
    to = port->timeouts;
  }
  auto* out = static_cast<unsigned char*>(buffer);
  DWORD got = 0;
  const bool returnAtOnce = to.ReadIntervalTimeout == MAXDWORD;
  DWORD firstByteWait = 0;
  if (returnAtOnce && to.ReadTotalTimeoutMultiplier == MAXDWORD) firstByteWait = to.ReadTotalTimeoutConstant;
  DWORD totalWait = INFINITE;
  if (!returnAtOnce) {
    const std::uint64_t total =
        static_cast<std::uint64_t>(to.ReadTotalTimeoutMultiplier) * toRead + to.ReadTotalTimeoutConstant;
    if (total != 0) totalWait = total >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(total);
  }
  const auto start = platform::ClockMs();
  for (;;) {
    const ssize_t n = ::read(port->fd, out + got, toRead - got);
    if (n > 0) {
      got += static_cast<DWORD>(n);
      if (returnAtOnce || got == toRead) break;
      continue;
    }
    // A raw tty without VMIN returns 0 when nothing is there; EIO means the
    // other side of the line is gone.
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      if (readCount) *readCount = got;
      SetLastError(ERROR_GEN_FAILURE);
      return got > 0 ? TRUE : FALSE;
    }
    DWORD wait;
    if (returnAtOnce) {
      if (got > 0 || firstByteWait == 0) break;
      const auto spent = platform::ClockMs() - start;
      if (spent >= firstByteWait) break;
      wait = firstByteWait - static_cast<DWORD>(spent);
    } else if (totalWait == INFINITE) {
      wait = INFINITE;
    } else {
      const auto spent = platform::ClockMs() - start;
      if (spent >= totalWait) break;
      wait = totalWait - static_cast<DWORD>(spent);
    }
    const int ev = PollFor(port->fd, POLLIN, wait);
    if (ev < 0) {
      SetLastError(ERROR_GEN_FAILURE);
      return FALSE;
    }
    if (ev == 0) break;
    if ((ev & (POLLHUP | POLLERR)) && !(ev & POLLIN)) {
      SetLastError(ERROR_GEN_FAILURE);
      if (readCount) *readCount = got;
      return got > 0 ? TRUE : FALSE;
    }
  }
  if (readCount) *readCount = got;
  if (got > 0)
    if (auto trace = CurrentTrace()) (*trace)(port->path, false, out, got);
  return TRUE;
}

BOOL WriteFile(HANDLE h, const void* buffer, DWORD toWrite, DWORD* written, void*) {
  auto* port = AsPort(h);
  if (written) *written = 0;
  if (!port || (!buffer && toWrite)) return FALSE;
  const auto* in = static_cast<const unsigned char*>(buffer);
  DWORD done = 0;
  {
    // A process quitting at once has sent its last bytes: nothing may follow.
    const platform::write_gate::Pass pass;
    if (!pass) {
      SetLastError(ERROR_OPERATION_ABORTED);
      return FALSE;
    }
    while (done < toWrite) {
      const ssize_t n = ::write(port->fd, in + done, toWrite - done);
      if (n > 0) {
        done += static_cast<DWORD>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) {
        if (written) *written = done;
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
      }
      const int ev = PollFor(port->fd, POLLOUT, 10000);
      if (ev <= 0) break;  // stalled line: report what went out
      if ((ev & (POLLHUP | POLLERR)) && !(ev & POLLOUT)) {
        if (written) *written = done;
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
      }
    }
  }
  if (written) *written = done;
  if (done > 0)
    if (auto trace = CurrentTrace()) (*trace)(port->path, true, in, done);
  return TRUE;
}

namespace platform {

void SetPortExitBytes(HANDLE h, std::string_view bytes) {
  auto* port = AsPort(h);
  if (!port || port->slot < 0) return;
  // Once a quit at once has begun, the line is as the last write left it:
  // its exit bytes no longer change (a job ending meanwhile must not clear
  // the ESC the tracker still needs).
  const write_gate::Pass pass;
  if (!pass) return;
  OpenPortSlot& slot = g_openPorts[port->slot];
  slot.exitCount = 0;
  const std::size_t count = std::min(bytes.size(), slot.exitBytes.size());
  for (std::size_t i = 0; i < count; ++i) slot.exitBytes[i] = bytes[i];
  slot.exitCount.store(static_cast<int>(count), std::memory_order_release);
}

void ReleasePortsForExit() {
  // The exit bytes are the last the tracker hears: no other thread's write
  // may start after them or still be under way.
  write_gate::CloseAndDrain(write_gate::EXIT_WRITE_DRAIN_MS);
  for (OpenPortSlot& slot : g_openPorts) {
    int fd = slot.fd.load(std::memory_order_acquire);
    if (fd < 0 || !slot.fd.compare_exchange_strong(fd, kSlotInUse, std::memory_order_acq_rel)) continue;
    const int count = slot.exitCount.load(std::memory_order_acquire);
    char bytes[sizeof slot.exitBytes];
    for (int i = 0; i < count; ++i) bytes[i] = slot.exitBytes[static_cast<std::size_t>(i)];
    if (count > 0) {
      [[maybe_unused]] const ssize_t n = ::write(fd, bytes, static_cast<std::size_t>(count));
    }
    ReleaseForOthers(fd, slot.hasSaved ? &slot.saved : nullptr);
    slot.fd.store(fd, std::memory_order_release);
  }
}

void SetPortTrace(PortTraceSink sink) {
  std::lock_guard<std::mutex> lock(TraceLock());
  TraceSink() = sink ? std::make_shared<PortTraceSink>(std::move(sink)) : nullptr;
}

std::string PortDevicePath(const std::string& portName) {
  if (!portName.empty() && portName[0] == '/') return portName;
  return "/dev/" + portName;
}

int WaitCommReadable(HANDLE h, DWORD timeoutMs) {
  auto* port = AsPort(h);
  if (!port) return -1;
  const int ev = PollFor(port->fd, POLLIN, timeoutMs);
  if (ev < 0) return -1;
  if (ev == 0) return 0;
  // A terminal whose other side hung up also reports POLLIN with nothing to
  // read: that is the loss, not a reason for the caller to look again at once.
  if ((ev & POLLIN) && (ev & (POLLHUP | POLLERR)) && CommLineLost(h)) return -1;
  if (ev & POLLIN) return 1;
  return -1;  // hang-up or error without data
}

bool CommLineLost(HANDLE h) {
  auto* port = AsPort(h);
  if (!port) return true;
  pollfd p{port->fd, POLLIN, 0};
  if (::poll(&p, 1, 0) < 0) return true;
  if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) return false;
  if ((p.revents & POLLIN) == 0) return true;
  // A terminal whose other side went away also reports POLLIN (its reads
  // return end-of-file): it is lost once no byte is left to read.
  int pending = 0;
  return ::ioctl(port->fd, FIONREAD, &pending) != 0 || pending <= 0;
}

}  // namespace platform
