#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/device_change_posix.h"
#include "platform/port_enum.h"
#include "platform/sim_registry.h"
#include "scoped_runtime_folder.h"
#include "sim_line.h"

namespace {

// Bound for a change that is already queued or comes within moments; only
// there to stop a broken monitor from hanging the test.
constexpr std::uint32_t CHANGE_BOUND_MS = 5000;

class DeviceChange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.Ok());
    ASSERT_TRUE(line_.Open({}));
  }
  ScopedRuntimeFolder folder_;
  sim::SimLine line_;
};

TEST_F(DeviceChange, SimulatorComingAndGoingRaisesOneChangeEach) {
  platform::DeviceChangeMonitor monitor;
  ASSERT_TRUE(monitor.WatchesRuntimeFolder());
  ASSERT_GE(monitor.Descriptor(), 0);
  EXPECT_FALSE(monitor.Drain());

  auto token = platform::AdvertiseSimulatedPort(line_.PortPath());
  ASSERT_TRUE(token);
  EXPECT_TRUE(monitor.WaitForChange(CHANGE_BOUND_MS));
  EXPECT_FALSE(monitor.Drain()) << "the change was consumed";

  // Files being written (dot files) are no change of their own.
  std::ofstream(platform::RuntimeFolder() + "/.partial.tmp") << "port=";
  EXPECT_FALSE(monitor.Drain());

  platform::WithdrawSimulatedPort(token);
  EXPECT_TRUE(monitor.WaitForChange(CHANGE_BOUND_MS));
  EXPECT_FALSE(monitor.Drain());
}

TEST_F(DeviceChange, KilledSimulatorRaisesAChangeAndLeavesTheList) {
  platform::DeviceChangeMonitor monitor;
  ASSERT_TRUE(monitor.WatchesRuntimeFolder());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::alarm(30);  // never outlive a test that failed to kill it
    if (!platform::AdvertiseSimulatedPort(line_.PortPath())) ::_exit(1);
    for (;;) ::pause();
  }
  const bool advertised = monitor.WaitForChange(CHANGE_BOUND_MS);
  ::kill(child, SIGKILL);  // no chance to withdraw
  const bool noticedDeath = advertised && monitor.WaitForChange(CHANGE_BOUND_MS);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(advertised);
  EXPECT_TRUE(noticedDeath);
  EXPECT_TRUE(platform::ListSimulatedPorts().empty());
  EXPECT_EQ(folder_.AdvertFileCount(), 0);
}

TEST_F(DeviceChange, RemovedRuntimeFolderIsMadeAgainAndStillWatched) {
  platform::DeviceChangeMonitor monitor;
  ASSERT_TRUE(monitor.WatchesRuntimeFolder());
  std::filesystem::remove_all(platform::RuntimeFolder());
  EXPECT_TRUE(monitor.WaitForChange(CHANGE_BOUND_MS));
  EXPECT_TRUE(monitor.WatchesRuntimeFolder());
  auto token = platform::AdvertiseSimulatedPort(line_.PortPath());
  ASSERT_TRUE(token);
  EXPECT_TRUE(monitor.WaitForChange(CHANGE_BOUND_MS));
  platform::WithdrawSimulatedPort(token);
}

}  // namespace
