// kvctl run as a process against kvsim processes, as a script would: the
// settings round trip, a refused record and a silent tracker. Both programs
// run at the test speed (process_clock.h) except where named: trackers
// answering at real speed on several ports (the real-speed update and the
// data rate are in kvctl_update_process_test.cpp).
#include <gtest/gtest.h>
#include <signal.h>

#include <cctype>

#include "kvsim_child.h"
#include "process_clock.h"
#include "run_program.h"
#include "scoped_runtime_folder.h"
#include "temp_folder.h"

namespace {

const std::string kKvctl = std::string(KV_BINARY_DIR) + "/kvctl";
const std::string kKvsim = std::string(KV_BINARY_DIR) + "/kvsim";

using test_support::AtTestSpeed;
using test_support::RunAtTestSpeed;

class KvctlProcessTest : public ::testing::Test {
 protected:
  // kvsim at the test speed, or at real speed when `realSpeed`.
  std::string StartSim(std::vector<std::string> args = {}, bool realSpeed = false) {
    args.push_back("--quiet");
    EXPECT_TRUE(sim_.Start(kKvsim, realSpeed ? args : AtTestSpeed(args)));
    return sim_.ReadLine();
  }
  // The simulated store as kvsim prints it on SIGUSR1: four lines.
  std::vector<std::string> Store() { return sim_.Store(); }
  // Files live in this test's own folder: fixed names in the shared
  // temporary folder would collide with other users' runs and stale copies.
  std::string WriteFile(const std::string& name, const std::string& text) {
    std::string path = files_.File(name);
    test_support::WriteTestFile(path, text);
    return path;
  }

  test_support::TempFolder files_;
  ScopedRuntimeFolder runtime_;
  KvsimChild sim_;
};

const char kBoxFile[] =
    "[KV DEVICE SETTING]\r\nDEVICE=Van 7\r\n[MESSAGE 1]\r\nCheck return number=1\r\nPark time=30\r\n"
    "User name=Unit7\r\nSet time zone=+8.00\r\nReport mode=8\r\n[MESSAGE 2]\r\nSOS number1=5550101\r\n"
    "[MESSAGE 4]\r\nGPRS server address=192.0.2.10\r\n";

TEST_F(KvctlProcessTest, SetWritesTheFourMessagesAndGetDiffAgreeWithTheTracker) {
  const std::string port = StartSim();
  const std::string box = WriteFile("box.ini", kBoxFile);

  const ProgramRun set = RunAtTestSpeed(kKvctl, {"set", port, box});
  EXPECT_EQ(set.exitCode, 0) << set.err;
  EXPECT_NE(set.out.find("delete message 1\n"), std::string::npos);
  EXPECT_NE(set.out.find("read message 4\nSetting Message OK \n"), std::string::npos) << set.out;

  // The extended layout's message 1 has 20 fields, message 2 seven, 3 six, 4 one.
  const std::vector<std::string> expected = {
      "  1: \"1,,30,,,,,,Unit7,+8.00,8," + std::string(9, ',') + "\\r\"",
      "  2: \"5550101,,,,,,,\\r\"",
      "  3: \",,,,,,\\r\"",
      "  4: \"192.0.2.10,\\r\"",
  };
  EXPECT_EQ(Store(), expected);

  const ProgramRun diff = RunAtTestSpeed(kKvctl, {"diff", port, box});
  EXPECT_EQ(diff.exitCode, 0) << diff.out << diff.err;
  EXPECT_NE(diff.out.find("no differences"), std::string::npos);

  const std::string readBack = files_.File("read-back.ini");
  const ProgramRun get = RunAtTestSpeed(kKvctl, {"get", port, "-o", readBack});
  ASSERT_EQ(get.exitCode, 0) << get.err;
  const std::string file = test_support::ReadTestFile(readBack);
  EXPECT_NE(file.find("\r\nGPRS server address=192.0.2.10\r\n"), std::string::npos);
  EXPECT_NE(file.find("\r\nUser name=Unit7\r\n"), std::string::npos);

  // A changed value is found by caption.
  std::string changed = kBoxFile;
  changed.replace(changed.find("Park time=30"), 12, "Park time=45");
  const ProgramRun diff2 = RunAtTestSpeed(kKvctl, {"diff", port, WriteFile("changed.ini", changed)});
  EXPECT_EQ(diff2.exitCode, 1);
  EXPECT_NE(diff2.out.find("Motion Static Report Interval: tracker \"30\", file \"45\""), std::string::npos)
      << diff2.out;
}

TEST_F(KvctlProcessTest, RefusedRecordExitsWithFourAndLeavesTheStoreUntouched) {
  const std::string port = StartSim();
  const std::string bad = WriteFile("bad.ini", "[MESSAGE 1]\r\nUser name=Unit,7\r\n");
  const ProgramRun set = RunAtTestSpeed(kKvctl, {"set", port, bad});
  EXPECT_EQ(set.exitCode, 4);
  EXPECT_NE(set.err.find("\"User Name\" (userName): comma at character 5"), std::string::npos) << set.err;
  EXPECT_EQ(set.out.find("delete message"), std::string::npos) << "nothing may be deleted";
  const std::vector<std::string> empty = {"  1: (empty)", "  2: (empty)", "  3: (empty)", "  4: (empty)"};
  EXPECT_EQ(Store(), empty);
}

TEST_F(KvctlProcessTest, SilentTrackerGivesTheWindowsFailureText) {
  const std::string port = StartSim({"--probe", "silent"});
  const ProgramRun run = RunAtTestSpeed(kKvctl, {"imei", port});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Device does not found!!"), std::string::npos) << run.err;
}

TEST_F(KvctlProcessTest, MissingPortAndBadCommandLines) {
  // At real speed: the test clock is for simulated trackers only.
  const ProgramRun open = RunProgram(kKvctl, {"probe", "/dev/kv770-no-such-port"});
  EXPECT_EQ(open.exitCode, 3);
  EXPECT_NE(open.err.find("Open COM port fail!!"), std::string::npos);
  EXPECT_EQ(RunAtTestSpeed(kKvctl, {"set", "/dev/kv770-no-such-port"}).exitCode, 2);
  EXPECT_EQ(RunAtTestSpeed(kKvctl, {"frobnicate"}).exitCode, 2);
  const ProgramRun help = RunAtTestSpeed(kKvctl, {"set", "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: kvctl set"), std::string::npos);
}

TEST_F(KvctlProcessTest, SeveralTrackersRunTogetherAndOneFailureDoesNotStopTheOthers) {
  // Real speed: the tracker's own pace against kvctl's real time-outs.
  KvsimChild second;
  const std::string a = StartSim({}, true);
  ASSERT_TRUE(second.Start(kKvsim, {"--quiet", "--imei", "490154203237518"}));
  const std::string b = second.ReadLine();
  const ProgramRun run = RunProgram(kKvctl, {"imei", "--port", a, "--port", "/dev/kv770-no-such-port", "--port", b});
  EXPECT_EQ(run.exitCode, 3) << "the highest status of any tracker";
  EXPECT_NE(run.out.find("[" + a + "] 356938035643809"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("[" + b + "] 490154203237518"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("PORT"), std::string::npos) << "summary table";
  EXPECT_NE(run.out.find("Open COM port fail!!"), std::string::npos);
}

TEST_F(KvctlProcessTest, UpdateDeliversARandomImageByteForByte) {
  const std::string port = StartSim();
  std::string image(70 * 1024 + 333, '\0');
  unsigned seed = 12345;
  for (auto& c : image) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
  const std::string path = WriteFile("image.bin", image);
  const ProgramRun run = RunAtTestSpeed(kKvctl, {"update", port, path});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Update image.bin Succeed"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("100.0%  72013/72013 bytes"), std::string::npos) << "plain progress lines";
  // kvsim prints each received image with its digest; compare with our own.
  std::string line;
  for (int i = 0; i < 5 && line.find("received ") != 0; ++i) line = sim_.ReadLine();
  // The header carries the full path without its leading slash, in lower
  // case, folder included.
  std::string sentName = path.substr(1);
  for (auto& c : sentName) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_EQ(line.find("received " + sentName + ": 72013 bytes, SHA-256 "), 0u) << line;
  const ProgramRun digest = RunProgram("/usr/bin/sha256sum", {path});
  EXPECT_EQ(line.substr(line.size() - 64), digest.out.substr(0, 64));
}

TEST_F(KvctlProcessTest, UpdateWithoutTheBootLoadersPromptAsksForAReset) {
  const std::string port = StartSim({"--no-file-prompt"});
  const std::string path = WriteFile("small.bin", "firmware");
  const ProgramRun run = RunAtTestSpeed(kKvctl, {"update", port, path});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Reset the Device and try again"), std::string::npos) << run.err;
}

}  // namespace
