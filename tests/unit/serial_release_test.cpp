// Letting go of serial ports: terminal settings come back on close, and a
// process that must quit at once releases every open port without closing it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "platform/serial_io.h"

namespace {

// A pseudo-terminal pair: the test keeps the master; the slave is the port.
class PtyPair {
 public:
  PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    slave_ = ::ptsname(master_);
    // Held open so that the slave's settings stay between the tool's opens.
    hold_ = ::open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~PtyPair() {
    if (hold_ >= 0) ::close(hold_);
    if (master_ >= 0) ::close(master_);
  }
  const std::string& Slave() const { return slave_; }
  int Hold() const { return hold_; }
  // What arrived on the master within `ms`.
  std::string Drain(int ms) {
    std::string got;
    pollfd p{master_, POLLIN, 0};
    char buffer[256];
    while (::poll(&p, 1, ms) > 0) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int master_ = -1;
  int hold_ = -1;
  std::string slave_;
};

bool ExclusiveFlag(int fd) {
  int on = 0;
  return ::ioctl(fd, TIOCGEXCL, &on) == 0 && on != 0;
}

HANDLE OpenPort(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(SerialRelease, ClosingPutsBackTheSettingsThePortHadBefore) {
  PtyPair pty;
  ASSERT_GE(pty.Hold(), 0);
  termios before{};
  ASSERT_EQ(::tcgetattr(pty.Hold(), &before), 0);
  ASSERT_TRUE(before.c_lflag & ECHO) << "a fresh pseudo-terminal is cooked";
  HANDLE port = OpenPort(pty.Slave());
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port, &dcb));
  dcb.BaudRate = 115200;
  ASSERT_TRUE(SetCommState(port, &dcb));
  termios during{};
  ASSERT_EQ(::tcgetattr(pty.Hold(), &during), 0);
  EXPECT_FALSE(during.c_lflag & ECHO) << "the tool's line is raw";
  EXPECT_TRUE(ExclusiveFlag(pty.Hold()));
  CloseHandle(port);
  termios after{};
  ASSERT_EQ(::tcgetattr(pty.Hold(), &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
  EXPECT_FALSE(ExclusiveFlag(pty.Hold()));
}

TEST(SerialRelease, QuittingAtOnceWritesTheExitBytesAndReleasesOpenPorts) {
  PtyPair typing, idle;
  ASSERT_GE(typing.Hold(), 0);
  ASSERT_GE(idle.Hold(), 0);
  termios before{};
  ASSERT_EQ(::tcgetattr(typing.Hold(), &before), 0);
  HANDLE a = OpenPort(typing.Slave());
  HANDLE b = OpenPort(idle.Slave());
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  ASSERT_NE(b, INVALID_HANDLE_VALUE);
  DCB dcb{};
  ASSERT_TRUE(GetCommState(a, &dcb));
  ASSERT_TRUE(SetCommState(a, &dcb));
  platform::SetPortExitBytes(a, "\x1b");
  platform::SetPortExitBytes(b, "\x1b");
  platform::SetPortExitBytes(b, {});  // the text ended: nothing to abandon

  platform::ReleasePortsForExit();
  EXPECT_EQ(typing.Drain(200), "\x1b");
  EXPECT_EQ(idle.Drain(50), "");
  EXPECT_FALSE(ExclusiveFlag(typing.Hold()));
  EXPECT_FALSE(ExclusiveFlag(idle.Hold()));
  termios after{};
  ASSERT_EQ(::tcgetattr(typing.Hold(), &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  CloseHandle(a);
  CloseHandle(b);
}

TEST(SerialRelease, TheControllingTerminalIsRefused) {
  PtyPair pty;
  ASSERT_GE(pty.Hold(), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // In a session of its own with the slave as its controlling terminal.
    ::setsid();
    const int tty = ::open(pty.Slave().c_str(), O_RDWR);
    if (tty < 0) ::_exit(10);
    HANDLE byPath = OpenPort(pty.Slave());
    HANDLE byTty = OpenPort("/dev/tty");
    const bool refused =
        byPath == INVALID_HANDLE_VALUE && byTty == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED;
    ::_exit(refused ? 0 : 11);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
