// kvtool --probe-only against a kvsim process: the terminal path that needs
// no display.
#include <gtest/gtest.h>

#include <string>

#include "kvsim_child.h"
#include "scoped_runtime_folder.h"

namespace {

const std::string KVSIM = std::string(KV_BINARY_DIR) + "/kvsim";
const std::string KVTOOL = std::string(KV_BINARY_DIR) + "/kvtool";

TEST(KvtoolProbeOnly, PrintsTheImeiOfARunningSimulatedTracker) {
  ScopedRuntimeFolder folder;
  KvsimChild kvsim;
  ASSERT_TRUE(kvsim.Start(KVSIM, {"--quiet"}));
  const std::string pty = kvsim.ReadLine();
  ASSERT_FALSE(pty.empty());

  KvsimChild tool;
  ASSERT_TRUE(tool.Start(KVTOOL, {"--probe-only", "--port", pty}));
  EXPECT_EQ(tool.ReadLine(), "Port: " + pty);
  EXPECT_EQ(tool.ReadLine(), "IMEI: 356938035643809");
  EXPECT_EQ(tool.StopWith(0), 0);

  // Without --port it takes the last tracker port found: the simulator.
  KvsimChild found;
  ASSERT_TRUE(found.Start(KVTOOL, {"--probe-only"}));
  EXPECT_EQ(found.ReadLine(), "Port: " + pty);
  EXPECT_EQ(found.ReadLine(), "IMEI: 356938035643809");
  EXPECT_EQ(found.StopWith(0), 0);
}

TEST(KvtoolProbeOnly, PortThatCannotBeOpenedFails) {
  KvsimChild tool;
  ASSERT_TRUE(tool.Start(KVTOOL, {"--probe-only", "--port", "/dev/kv-none"}));
  EXPECT_EQ(tool.ReadLine(), "") << "nothing on standard output";
  EXPECT_EQ(tool.StopWith(0), 1);
}

}  // namespace
