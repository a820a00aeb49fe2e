// Runs the built kvsim program and talks to it through the platform layer,
// as the tool does.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/port_enum.h"
#include "platform/serial_io.h"
#include "scoped_runtime_folder.h"

extern char** environ;

namespace {

// Bounds that only catch a hang; kvsim answers within milliseconds.
constexpr int START_BOUND_MS = 5000;
constexpr int ANSWER_BOUND_MS = 3000;
constexpr int EXIT_BOUND_MS = 5000;

const std::string KVSIM = std::string(KV_BINARY_DIR) + "/kvsim";

class KvsimProcess : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.Ok()); }

  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }

  // Starts kvsim with `args`, its standard output on a pipe.
  void Start(std::vector<std::string> args) {
    if (out_ >= 0) ::close(out_);
    out_ = -1;
    pending_.clear();
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    args.insert(args.begin(), KVSIM);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, KVSIM.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out_ = fds[0];
    ASSERT_EQ(rc, 0) << KVSIM;
  }

  // The next line of kvsim's output (without its LF), or what came before
  // the bound ran out or the output ended.
  std::string ReadLine(int boundMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    for (;;) {
      if (const auto nl = pending_.find('\n'); nl != std::string::npos) {
        std::string line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{out_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[512];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) break;
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
    return std::exchange(pending_, {});
  }

  // Everything kvsim writes until it closes its output.
  std::string ReadRest(int boundMs) {
    std::string all = std::exchange(pending_, {});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{out_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[512];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) break;
      all.append(buffer, static_cast<std::size_t>(n));
    }
    return all;
  }

  // Sends `signal` and waits for the exit; the exit status, or -1 on a hang.
  int StopWith(int signal) {
    ::kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(EXIT_BOUND_MS);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      pollfd none{-1, 0, 0};
      ::poll(&none, 0, 10);
    }
    return -1;
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

  // Writes `command` and collects the answer until it holds every one of
  // `expected` (or the bound runs out).
  std::string Ask(const std::string& command, std::vector<std::string> expected) {
    DWORD written = 0;
    if (!WriteFile(port_, command.data(), static_cast<DWORD>(command.size()), &written, nullptr)) return {};
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ANSWER_BOUND_MS);
    auto complete = [&] {
      return std::all_of(expected.begin(), expected.end(),
                         [&](const std::string& e) { return answer.find(e) != std::string::npos; });
    };
    while (!complete() && std::chrono::steady_clock::now() < deadline) {
      char buffer[256];
      DWORD got = 0;
      if (!ReadFile(port_, buffer, sizeof buffer, &got, nullptr)) break;
      answer.append(buffer, got);
    }
    return answer;
  }

  bool Listed(const std::string& pty) {
    const auto ports = platform::EnumeratePorts(false);
    return std::any_of(ports.begin(), ports.end(), [&](const platform::PortInfo& p) {
      return p.portName == pty && p.friendlyName == platform::TrackerFriendlyName(pty);
    });
  }

  ScopedRuntimeFolder folder_;
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(KvsimProcess, AnswersProbeAndImeiIsListedAndWithdrawsOnSigterm) {
  Start({"--quiet", "--imei", "490154203237518"});
  const std::string pty = ReadLine(START_BOUND_MS);
  ASSERT_EQ(pty.rfind("/dev/", 0), 0u) << "first line: " << pty;
  EXPECT_TRUE(Listed(pty));
  EXPECT_EQ(folder_.AdvertFileCount(), 1);

  OpenPort(pty);
  EXPECT_NE(Ask("ati\r", {"Main Menu"}).find("Main Menu"), std::string::npos);
  EXPECT_NE(Ask("at+gsn\r", {"490154203237518\r"}).find("\r\n490154203237518\r"), std::string::npos);
  CloseHandle(port_);
  port_ = INVALID_HANDLE_VALUE;

  EXPECT_EQ(StopWith(SIGTERM), 0);
  EXPECT_EQ(ReadLine(ANSWER_BOUND_MS), "Message store:");
  EXPECT_EQ(folder_.AdvertFileCount(), 0);
  EXPECT_FALSE(Listed(pty));
}

TEST_F(KvsimProcess, OptionsShapeTheAnswersAndSigusr1Reports) {
  const std::string link = folder_.Base() + "/tracker";
  Start({"--quiet", "--probe", "siemens", "--imei-missing", "--link", link});
  const std::string pty = ReadLine(START_BOUND_MS);
  ASSERT_EQ(pty.rfind("/dev/", 0), 0u) << "first line: " << pty;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), pty);

  OpenPort(link);  // through the link, as a user would
  const std::string probe = Ask("ati\r", {"SIEMENS", "OK"});
  EXPECT_NE(probe.find("SIEMENS"), std::string::npos) << probe;
  EXPECT_EQ(probe.find("Main Menu"), std::string::npos) << probe;
  const std::string imei = Ask("at+gsn\r", {"ERROR"});
  EXPECT_NE(imei.find("ERROR"), std::string::npos) << imei;
  EXPECT_EQ(imei.find("356938035643809"), std::string::npos) << imei;

  ::kill(pid_, SIGUSR1);
  EXPECT_EQ(ReadLine(ANSWER_BOUND_MS), "Message store:");
  for (const char* slot : {"  1: (empty)", "  2: (empty)", "  3: (empty)", "  4: (empty)"})
    EXPECT_EQ(ReadLine(ANSWER_BOUND_MS), slot);
  EXPECT_EQ(ReadLine(ANSWER_BOUND_MS), "Received images: (none)");
  EXPECT_EQ(folder_.AdvertFileCount(), 1) << "SIGUSR1 does not end the simulator";

  EXPECT_EQ(StopWith(SIGINT), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(folder_.AdvertFileCount(), 0);
}

TEST_F(KvsimProcess, HelpAndBadOptionsEndAtOnceWithoutAdvertising) {
  Start({"--help"});
  const std::string help = ReadRest(START_BOUND_MS);
  EXPECT_NE(help.find("--imei-delay MS"), std::string::npos) << help;
  EXPECT_EQ(StopWith(0), 0);

  Start({"--probe", "maybe"});
  EXPECT_EQ(ReadLine(START_BOUND_MS), "");
  EXPECT_EQ(StopWith(0), 2);
  EXPECT_EQ(folder_.AdvertFileCount(), 0);
}

}  // namespace
