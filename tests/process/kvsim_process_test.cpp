// Runs the built kvsim program and talks to it through the platform layer,
// as the tool does.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "kvsim_child.h"
#include "platform/port_enum.h"
#include "platform/serial_io.h"
#include "scoped_runtime_folder.h"

namespace {

const std::string KVSIM = std::string(KV_BINARY_DIR) + "/kvsim";

class KvsimProcess : public ::testing::Test {
 protected:
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
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
    const auto deadline = std::chrono::steady_clock::now() + KvsimChild::HANG_BOUND;
    while (answer.find(expected) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      char buffer[256];
      if (!ReadFile(port_, buffer, sizeof buffer, &done, nullptr)) break;
      answer.append(buffer, done);
    }
    return answer;
  }

  // Everything the tracker sends within `ms`.
  std::string Collect(int ms) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
      char buffer[256];
      DWORD done = 0;
      if (!ReadFile(port_, buffer, sizeof buffer, &done, nullptr)) break;
      got.append(buffer, done);
    }
    return got;
  }

  static bool Listed(const std::string& pty) {
    for (const auto& p : platform::EnumeratePorts(false))
      if (p.portName == pty && p.friendlyName == platform::TrackerFriendlyName(pty)) return true;
    return false;
  }

  ScopedRuntimeFolder folder_;  // outlives the child, which inherits it
  KvsimChild kvsim_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(KvsimProcess, ServesTheTrackerIsListedReportsAndWithdrawsOnSigterm) {
  ASSERT_TRUE(folder_.Ok());
  const std::string link = folder_.Base() + "/tracker";
  ASSERT_TRUE(kvsim_.Start(KVSIM, {"--quiet", "--imei", "490154203237518", "--link", link}));
  const std::string pty = kvsim_.ReadLine();
  ASSERT_EQ(pty.rfind("/dev/", 0), 0u) << "first line: " << pty;
  EXPECT_TRUE(Listed(pty));
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), pty);

  OpenPort(pty);
  EXPECT_NE(Ask("ati\r", "Main Menu").find("Main Menu"), std::string::npos);
  EXPECT_NE(Ask("at+gsn\r", "490154203237518\r").find("\r\n490154203237518\r"), std::string::npos);

  ::kill(kvsim_.Pid(), SIGUSR1);
  EXPECT_EQ(kvsim_.ReadLine(), "Message store:");
  for (const char* slot : {"  1: (empty)", "  2: (empty)", "  3: (empty)", "  4: (empty)"})
    EXPECT_EQ(kvsim_.ReadLine(), slot);
  EXPECT_EQ(kvsim_.ReadLine(), "Received images: (none)");
  EXPECT_TRUE(Listed(pty)) << "SIGUSR1 does not end the simulator";

  EXPECT_EQ(kvsim_.StopWith(SIGTERM), 0);
  EXPECT_EQ(kvsim_.ReadLine(), "Message store:") << "the report is printed on the way out";
  EXPECT_EQ(folder_.AdvertFileCount(), 0);
  EXPECT_FALSE(Listed(pty));
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

// SIGUSR2 is the tracker's power switch with the cable left in: switched
// off, the port stays listed and open but nothing answers; switched on, the
// tracker greets with its menu and answers again.
TEST_F(KvsimProcess, SigusrTwoSwitchesTheTrackerOffAndOnWithThePortLeftInPlace) {
  ASSERT_TRUE(folder_.Ok());
  ASSERT_TRUE(kvsim_.Start(KVSIM, {"--quiet"}));
  const std::string pty = kvsim_.ReadLine();
  OpenPort(pty);
  ASSERT_NE(Ask("ati\r", "Main Menu").find("Main Menu"), std::string::npos);

  ::kill(kvsim_.Pid(), SIGUSR2);
  // The signal is taken within the simulator's next look; then "ati" goes unanswered.
  bool silent = false;
  for (int i = 0; i < 20 && !silent; ++i) {
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(port_, "ati\r", 4, &done, nullptr));
    silent = Collect(300).empty();
  }
  ASSERT_TRUE(silent) << "the tracker still answers after SIGUSR2";
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(port_, "at+gsn\r", 7, &done, nullptr));
  EXPECT_EQ(Collect(500), "") << "a switched-off tracker answers nothing";
  EXPECT_TRUE(Listed(pty));

  ::kill(kvsim_.Pid(), SIGUSR2);
  const auto deadline = std::chrono::steady_clock::now() + KvsimChild::HANG_BOUND;
  std::string greeting;
  while (greeting.find("Main Menu") == std::string::npos && std::chrono::steady_clock::now() < deadline)
    greeting += Collect(100);
  EXPECT_NE(greeting.find("Main Menu"), std::string::npos) << "switched on, it starts from its menu";
  EXPECT_NE(Ask("at+gsn\r", "\r\n").find("\r\n"), std::string::npos);
  EXPECT_EQ(kvsim_.StopWith(SIGTERM), 0);
}

TEST_F(KvsimProcess, BadOptionEndsAtOnceWithoutAdvertising) {
  ASSERT_TRUE(folder_.Ok());
  ASSERT_TRUE(kvsim_.Start(KVSIM, {"--probe", "maybe"}));
  EXPECT_EQ(kvsim_.ReadLine(), "");
  EXPECT_EQ(kvsim_.StopWith(0), 2);
  EXPECT_EQ(folder_.AdvertFileCount(), 0);
}

}  // namespace
