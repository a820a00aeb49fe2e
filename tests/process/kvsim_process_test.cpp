// Runs the built kvsim program and talks to it through the platform layer,
// as the tool does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/port_enum.h"
#include "platform/serial_io.h"
#include "scoped_runtime_folder.h"

extern char** environ;

namespace {

// Only there to catch a hang; kvsim answers within milliseconds.
constexpr auto HANG_BOUND = std::chrono::seconds(5);

class KvsimProcess : public ::testing::Test {
 protected:
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }

  // Starts kvsim with `args`, its standard output on a pipe, no input.
  void Start(std::vector<std::string> args) {
    const std::string program = std::string(KV_BINARY_DIR) + "/kvsim";
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out_ = fds[0];
    ASSERT_EQ(rc, 0) << program;
  }

  // The next output line without its LF; what came so far when the output
  // ends or the bound runs out.
  std::string ReadLine() {
    const auto deadline = std::chrono::steady_clock::now() + HANG_BOUND;
    std::string::size_type nl;
    while ((nl = output_.find('\n')) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      char buffer[512];
      ssize_t n = 0;
      if (::poll(&p, 1, 100) > 0 && (n = ::read(out_, buffer, sizeof buffer)) <= 0) break;
      output_.append(buffer, static_cast<std::size_t>(n));
    }
    std::string line = output_.substr(0, nl);
    output_.erase(0, nl == std::string::npos ? nl : nl + 1);
    return line;
  }

  // Sends `signal` and waits for the exit: the exit code, or -1.
  int StopWith(int signal) {
    ::kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + HANG_BOUND;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      ::poll(nullptr, 0, 10);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Opens the port raw at 115200 8N1, as the tool does.
  void OpenPort(const std::string& portName) {
    port_ = CreateFileA(platform::PortDevicePath(portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << portName << " error " << GetLastError();
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port_, &dcb));
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    ASSERT_TRUE(SetCommState(port_, &dcb));
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 100, 0, 1000};
    ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
  }

  // Writes `command` and collects the answer until it holds `expected`.
  std::string Ask(const std::string& command, const std::string& expected) {
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(port_, command.data(), static_cast<DWORD>(command.size()), &done, nullptr));
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + HANG_BOUND;
    while (answer.find(expected) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      char buffer[256];
      if (!ReadFile(port_, buffer, sizeof buffer, &done, nullptr)) break;
      answer.append(buffer, done);
    }
    return answer;
  }

  bool Listed(const std::string& pty) {
    for (const auto& p : platform::EnumeratePorts(false))
      if (p.portName == pty && p.friendlyName == platform::TrackerFriendlyName(pty)) return true;
    return false;
  }

  ScopedRuntimeFolder folder_;
  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(KvsimProcess, ServesTheTrackerIsListedReportsAndWithdrawsOnSigterm) {
  ASSERT_TRUE(folder_.Ok());
  const std::string link = folder_.Base() + "/tracker";
  Start({"--quiet", "--imei", "490154203237518", "--link", link});
  const std::string pty = ReadLine();
  ASSERT_EQ(pty.rfind("/dev/", 0), 0u) << "first line: " << pty;
  EXPECT_TRUE(Listed(pty));
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), pty);

  OpenPort(pty);
  EXPECT_NE(Ask("ati\r", "Main Menu").find("Main Menu"), std::string::npos);
  EXPECT_NE(Ask("at+gsn\r", "490154203237518\r").find("\r\n490154203237518\r"), std::string::npos);

  ::kill(pid_, SIGUSR1);
  EXPECT_EQ(ReadLine(), "Message store:");
  for (const char* slot : {"  1: (empty)", "  2: (empty)", "  3: (empty)", "  4: (empty)"})
    EXPECT_EQ(ReadLine(), slot);
  EXPECT_EQ(ReadLine(), "Received images: (none)");
  EXPECT_TRUE(Listed(pty)) << "SIGUSR1 does not end the simulator";

  EXPECT_EQ(StopWith(SIGTERM), 0);
  EXPECT_EQ(ReadLine(), "Message store:") << "the report is printed on the way out";
  EXPECT_EQ(folder_.AdvertFileCount(), 0);
  EXPECT_FALSE(Listed(pty));
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST_F(KvsimProcess, BadOptionEndsAtOnceWithoutAdvertising) {
  ASSERT_TRUE(folder_.Ok());
  Start({"--probe", "maybe"});
  EXPECT_EQ(ReadLine(), "");
  EXPECT_EQ(StopWith(0), 2);
  EXPECT_EQ(folder_.AdvertFileCount(), 0);
}

}  // namespace
