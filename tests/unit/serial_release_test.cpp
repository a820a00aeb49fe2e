// Letting go of serial ports: terminal settings come back on close, and a
// process that must quit at once releases every open port without closing it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/port_write_gate.h"
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

// What a process quitting at once does to its ports, in a child process:
// the write gate stays closed for the rest of the process. Each fault is a
// line on the child's standard error and a nonzero exit.
int QuitAtOnceWithTwoPorts(PtyPair& typing, PtyPair& idle) {
  int faults = 0;
  auto fault = [&faults](const char* what) {
    std::fprintf(stderr, "%s\n", what);
    ++faults;
  };
  termios before{};
  if (::tcgetattr(typing.Hold(), &before) != 0) fault("no settings before");
  HANDLE a = OpenPort(typing.Slave());
  HANDLE b = OpenPort(idle.Slave());
  if (a == INVALID_HANDLE_VALUE || b == INVALID_HANDLE_VALUE) return 90;
  DCB dcb{};
  if (!GetCommState(a, &dcb) || !SetCommState(a, &dcb)) fault("no line settings");
  platform::SetPortExitBytes(a, "\x1b");
  platform::SetPortExitBytes(b, "\x1b");
  platform::SetPortExitBytes(b, {});  // the text ended: nothing to abandon

  platform::ReleasePortsForExit();
  // A store command another thread sends after the ESC would leave the
  // tracker taking in text nobody ends: it must not go out.
  DWORD written = 1;
  if (WriteFile(a, "AT+CMGW\r", 8, &written, nullptr) || written != 0) fault("a write after the exit bytes went out");
  if (typing.Drain(200) != "\x1b") fault("the exit bytes were not exactly ESC");
  if (!idle.Drain(50).empty()) fault("bytes on a port without exit bytes");
  if (ExclusiveFlag(typing.Hold()) || ExclusiveFlag(idle.Hold())) fault("a port still exclusive");
  termios after{};
  if (::tcgetattr(typing.Hold(), &after) != 0 || after.c_lflag != before.c_lflag) fault("settings not put back");
  CloseHandle(a);
  CloseHandle(b);
  return faults;
}

TEST(SerialRelease, QuittingAtOnceWritesTheExitBytesLastAndReleasesOpenPorts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  PtyPair typing, idle;
  ASSERT_GE(typing.Hold(), 0);
  ASSERT_GE(idle.Hold(), 0);
  EXPECT_EXIT(std::_Exit(QuitAtOnceWithTwoPorts(typing, idle)), ::testing::ExitedWithCode(0), "^$");
}

// A job that ends while the quit is under way (its text cut short by the
// closed gate) clears its exit bytes: the tracker still gets the ESC.
TEST(SerialRelease, AJobEndingDuringTheQuitCannotTakeBackTheEsc) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  PtyPair typing;
  ASSERT_GE(typing.Hold(), 0);
  auto run = [&typing] {
    HANDLE port = OpenPort(typing.Slave());
    if (port == INVALID_HANDLE_VALUE) std::_Exit(10);
    platform::SetPortExitBytes(port, "\x1b");
    platform::write_gate::CloseAndDrain(platform::write_gate::EXIT_WRITE_DRAIN_MS);  // the handler's first step
    platform::SetPortExitBytes(port, {});                                            // the job's end, on another thread
    platform::ReleasePortsForExit();
    std::_Exit(typing.Drain(200) == "\x1b" ? 0 : 11);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

// A write under way when the process quits at once ends before the exit
// bytes go out; one that would start later never does.
TEST(SerialRelease, TheExitWaitsForAWriteUnderWayAndStopsLaterOnes) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto run = [] {
    if (!platform::write_gate::Enter()) std::_Exit(10);
    std::atomic<bool> closed{false};
    std::thread closer([&closed] {
      platform::write_gate::CloseAndDrain(60000);
      closed = true;
    });
    while (!platform::write_gate::Closed()) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (closed) std::_Exit(11);  // it did not wait for the write under way
    platform::write_gate::Leave();
    closer.join();
    if (platform::write_gate::Enter()) std::_Exit(12);  // a later write started
    std::_Exit(0);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
  // On the writing thread itself (a handler that interrupted its write) the
  // wait is only its bound, and says the write may not have ended.
  auto onTheWriter = [] {
    if (!platform::write_gate::Enter()) std::_Exit(10);
    std::_Exit(platform::write_gate::CloseAndDrain(30) ? 11 : 0);
  };
  EXPECT_EXIT(onTheWriter(), ::testing::ExitedWithCode(0), "");
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
