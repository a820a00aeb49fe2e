// kvctl's update and probe as a script sees them, against kvsim processes:
// what it says while it waits, a tracker that goes away during the probe,
// and an image refused before the tracker is touched. The data rate and the
// tracker pulled 1.5 s into its probe are real time: those two run at real
// speed, as does the image rewritten during its paced transfer; the refused
// images and the paced line at the test speed (process_clock.h).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "json_line.h"
#include "kvsim_child.h"
#include "process_clock.h"
#include "run_program.h"
#include "scoped_runtime_folder.h"

namespace {

const std::string kKvctl = std::string(KV_BINARY_DIR) + "/kvctl";
const std::string kKvsim = std::string(KV_BINARY_DIR) + "/kvsim";

class KvctlUpdateProcessTest : public ::testing::Test {
 protected:
  // kvsim at real speed, or at the test speed when `fast`.
  std::string StartSim(std::vector<std::string> args = {}, bool fast = false) {
    args.push_back("--quiet");
    EXPECT_TRUE(sim_.Start(kKvsim, fast ? test_support::AtTestSpeed(args) : args));
    return sim_.ReadLine();
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    std::string path = std::string(::testing::TempDir()) + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  ScopedRuntimeFolder runtime_;
  KvsimChild sim_;
};

TEST_F(KvctlUpdateProcessTest, UpdateSaysWhatItWaitsForAndEndsWithTheDataRate) {
  const std::string port = StartSim();
  const std::string path = WriteFile("rate.bin", std::string(10 * 1024 + 7, 'k'));
  const ProgramRun run = RunProgram(kKvctl, {"update", port, path});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // Not a terminal: the notices are plain lines on standard error, in order.
  const auto connecting = run.err.find("Connecting to the tracker on " + port + "\xE2\x80\xA6\n");
  const auto switching = run.err.find("Switching to the boot loader\xE2\x80\xA6\n");
  const auto receiver = run.err.find("Waiting for the receiver\xE2\x80\xA6\n");
  ASSERT_NE(connecting, std::string::npos) << run.err;
  ASSERT_NE(switching, std::string::npos) << run.err;
  ASSERT_NE(receiver, std::string::npos) << run.err;
  EXPECT_LT(connecting, switching);
  EXPECT_LT(switching, receiver);
  EXPECT_EQ(run.out.find("\xE2\x80\xA6"), std::string::npos) << "results alone on standard output";
  const auto sent = run.out.find("Sent 10247 bytes in ");
  ASSERT_NE(sent, std::string::npos) << run.out;
  EXPECT_LT(sent, run.out.find("Update rate.bin Succeed"));
}

// kvsim and kvctl with --clock-speed share one sped-up time: a paced line
// keeps its baud rate on that clock. The rate kvctl reports (clock time)
// can never beat the line's 11.25 KiB/s; a simulator pacing in real time
// would make it 20 times slower, a kvctl on real time 20 times faster.
TEST_F(KvctlUpdateProcessTest, APacedLineKeepsItsBaudRateOnTheSpedUpClock) {
  const std::string port = StartSim({"--line-baud", "115200"}, true);
  const std::string path = WriteFile("paced.bin", std::string(64 * 1024, 'p'));
  const ProgramRun run = test_support::RunAtTestSpeed(kKvctl, {"update", port, path});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto sent = run.out.find("Sent 65536 bytes in ");
  ASSERT_NE(sent, std::string::npos) << run.out;
  const auto open = run.out.find('(', sent);
  ASSERT_NE(open, std::string::npos) << run.out;
  const double kibPerSecond = std::atof(run.out.c_str() + open + 1);
  EXPECT_LE(kibPerSecond, 11.25) << run.out;
  EXPECT_GT(kibPerSecond, 11.25 / 10) << run.out;
}

TEST_F(KvctlUpdateProcessTest, AnEmptyImageIsRefusedAndTheTrackerStaysInItsMenu) {
  const std::string port = StartSim({}, true);
  const std::string path = WriteFile("empty.bin", "");
  const ProgramRun run = test_support::RunAtTestSpeed(kKvctl, {"update", port, path});
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_NE(run.err.find("Refused before anything was sent to the tracker"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("empty"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("USB cable"), std::string::npos) << "a file fault is not blamed on the cable";
  // Still in its menu: the tracker answers a probe and gives its IMEI.
  const ProgramRun imei = test_support::RunAtTestSpeed(kKvctl, {"imei", port});
  EXPECT_EQ(imei.exitCode, 0) << imei.err;
}

TEST_F(KvctlUpdateProcessTest, ATrackerThatGoesAwayDuringTheProbeIsReportedLost) {
  const std::string port = StartSim({"--probe", "silent"});
  std::thread pull([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::kill(sim_.Pid(), SIGKILL);
  });
  const ProgramRun run = RunProgram(kKvctl, {"probe", port});
  pull.join();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("The port was lost"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Device does not found!!"), std::string::npos) << run.err;
}

// The image is read once before the tracker is switched: a file rewritten
// again and again all through the run changes nothing of what is sent, and
// the audit line's digest is that of the bytes the tracker received (kvsim
// prints the digest of each image it took in).
TEST_F(KvctlUpdateProcessTest, AnImageRewrittenDuringTheTransferIsSentAsItWasRead) {
  // Real speed: the paced transfer lasts about 3 s, however loaded the machine.
  const std::string port = StartSim({"--line-baud", "115200"});
  constexpr std::size_t kSize = 32 * 1024;
  const std::string path = WriteFile("changing.bin", std::string(kSize, 'A'));
  const std::string log = std::string(::testing::TempDir()) + "changing.jsonl";
  std::remove(log.c_str());
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (char fill = 'B'; !done; fill = fill == 'Z' ? 'B' : static_cast<char>(fill + 1)) {
      const std::string text(kSize, fill);
      const int fd = ::open(path.c_str(), O_WRONLY);
      if (fd >= 0) {
        EXPECT_EQ(::pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
        ::close(fd);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  const ProgramRun run = RunProgram(kKvctl, {"--log", log, "update", port, path});
  done = true;
  writer.join();
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string received;
  for (std::string line = sim_.ReadLine(); !line.empty(); line = sim_.ReadLine()) {
    if (line.rfind("received ", 0) == 0 || line.rfind("incomplete ", 0) == 0) received = line;
    if (!received.empty()) break;
  }
  ASSERT_EQ(received.rfind("received ", 0), 0u) << received;
  EXPECT_NE(received.find(": " + std::to_string(kSize) + " bytes, SHA-256 "), std::string::npos) << received;
  std::ifstream in(log);
  std::string auditLine;
  std::getline(in, auditLine);
  const auto audit = ParseFlatJsonObject(auditLine);
  ASSERT_TRUE(audit.has_value()) << auditLine;
  const std::string digest = audit->at("imageSha256");
  ASSERT_EQ(digest.size(), 64u) << auditLine;
  EXPECT_EQ(received.substr(received.size() - 64), digest) << "the audit line names another image than was sent";
}

// The size is looked at before anything else: an image too large for the
// header block is refused at once, never read or hashed, and the tracker
// stays in its menu.
TEST_F(KvctlUpdateProcessTest, AThreeGibImageIsRefusedAtOnceWithoutBeingRead) {
  const std::string port = StartSim({}, true);
  const std::string path = WriteFile("huge.bin", "");
  ASSERT_EQ(::truncate(path.c_str(), 3LL * 1024 * 1024 * 1024), 0);  // sparse: no disk space taken
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun run = test_support::RunAtTestSpeed(kKvctl, {"update", port, path});
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::remove(path.c_str());
  EXPECT_EQ(run.exitCode, 4) << run.err;
  EXPECT_NE(run.err.find("too large"), std::string::npos) << run.err;
  // Reading 3 GiB takes tens of seconds; a refusal from the size alone is
  // far below this bound even on a loaded machine.
  EXPECT_LT(seconds, 8.0) << "the image was read before its size was judged";
  const ProgramRun imei = test_support::RunAtTestSpeed(kKvctl, {"imei", port});
  EXPECT_EQ(imei.exitCode, 0) << imei.err;
}

}  // namespace
