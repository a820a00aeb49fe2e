#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "platform/port_enum.h"
#include "platform/sim_registry.h"
#include "scoped_runtime_folder.h"
#include "sim_line.h"

namespace {

using platform::EnumeratePorts;
using platform::PortInfo;
using platform::PortNameFromFriendlyName;

TEST(PortNameFromFriendlyName, FindsThePortInWindowsAndPosixNames) {
  EXPECT_EQ(PortNameFromFriendlyName("Prolific USB-to-Serial Comm Port (COM4)"), "COM4");
  EXPECT_EQ(PortNameFromFriendlyName("Prolific USB-to-Serial Comm Port (ttyUSB0)"), "ttyUSB0");
  EXPECT_EQ(PortNameFromFriendlyName("Prolific USB-to-Serial Comm Port (/dev/pts/5)"), "/dev/pts/5");
  // Other parentheses in the name are not the port part.
  EXPECT_EQ(PortNameFromFriendlyName("Prolific (PL2303) USB-to-Serial (ttyUSB3)"), "ttyUSB3");
  EXPECT_EQ(PortNameFromFriendlyName("Prolific (PL2303) USB-to-Serial (COM12)"), "COM12");
  // Windows takes the first ")" after "(COM".
  EXPECT_EQ(PortNameFromFriendlyName("Port (COM7) (rev 2)"), "COM7");
  for (const char* port : {"COM4", "ttyUSB0", "/dev/pts/17"})
    EXPECT_EQ(PortNameFromFriendlyName(platform::TrackerFriendlyName(port)), port);
}

TEST(PortNameFromFriendlyName, NamesWithoutAPortGiveNothing) {
  for (const char* name : {"Prolific USB-to-Serial Comm Port", "Prolific USB-to-Serial Comm Port (COM4",
                           "Serial Port (ttyS0", "Port ()", "Modem (LPT1)", ""})
    EXPECT_EQ(PortNameFromFriendlyName(name), "") << name;
}

bool Lists(const std::vector<PortInfo>& ports, const std::string& portName) {
  return std::any_of(ports.begin(), ports.end(), [&](const PortInfo& p) { return p.portName == portName; });
}

class SimulatedPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.Ok());
    ASSERT_TRUE(line_.Open({}));
  }
  ScopedRuntimeFolder folder_;
  sim::SimLine line_;
};

TEST_F(SimulatedPorts, AdvertisedPortIsListedLikeATrackerUntilWithdrawn) {
  auto token = platform::AdvertiseSimulatedPort(line_.PortPath());
  ASSERT_TRUE(token);
  for (const bool allSerial : {false, true}) {
    const auto ports = EnumeratePorts(allSerial);
    const auto it =
        std::find_if(ports.begin(), ports.end(), [&](const PortInfo& p) { return p.portName == line_.PortPath(); });
    ASSERT_NE(it, ports.end()) << "allSerial " << allSerial;
    EXPECT_EQ(it->friendlyName, "Prolific USB-to-Serial Comm Port (" + line_.PortPath() + ")");
    EXPECT_EQ(PortNameFromFriendlyName(it->friendlyName), line_.PortPath());
    EXPECT_TRUE(it->simulated);
  }
  EXPECT_TRUE(platform::WithdrawSimulatedPort(token));
  EXPECT_FALSE(token);
  EXPECT_FALSE(Lists(EnumeratePorts(false), line_.PortPath()));
  EXPECT_FALSE(platform::WithdrawSimulatedPort(token));
  EXPECT_EQ(folder_.AdvertFileCount(), 0);
}

TEST_F(SimulatedPorts, SeveralSimulatorsAreListedOldestFirst) {
  sim::SimLine second;
  ASSERT_TRUE(second.Open({}));
  auto a = platform::AdvertiseSimulatedPort(line_.PortPath());
  auto b = platform::AdvertiseSimulatedPort(second.PortPath());
  const auto ports = platform::ListSimulatedPorts();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].portPath, line_.PortPath());
  EXPECT_EQ(ports[1].portPath, second.PortPath());
  EXPECT_EQ(ports[0].pid, static_cast<long>(::getpid()));
  platform::WithdrawSimulatedPort(a);
  platform::WithdrawSimulatedPort(b);
}

TEST_F(SimulatedPorts, HandWrittenAdvertsAreCheckedBeforeUse) {
  ASSERT_TRUE(platform::EnsureRuntimeFolder());
  const std::string dir = platform::RuntimeFolder();
  const std::string pid = std::to_string(::getpid());
  std::ofstream(dir + "/garbage.port") << "\x01\x02 no keys at all\n=\n";
  std::ofstream(dir + "/badpid.port") << "port=" << line_.PortPath() << "\npid=12ab\n";
  std::ofstream(dir + "/huge.port") << "port=" << line_.PortPath() << "\npid=" << pid << "\n"
                                    << std::string(10000, '#') << "\n";
  // A name that points elsewhere would make the tool open another port.
  std::ofstream(dir + "/misnamed.port") << "port=" << line_.PortPath()
                                        << "\nname=Prolific USB-to-Serial Comm Port (ttyUSB0)\npid=" << pid << "\n";
  // Live process, but no terminal behind the path.
  std::ofstream(dir + "/gone.port") << "port=/dev/pts/999999\npid=" << pid << "\n";
  std::ofstream(dir + "/file.port") << "port=" << dir << "/file.port\npid=" << pid << "\n";
  const auto ports = platform::ListSimulatedPorts();
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].portPath, line_.PortPath());
  EXPECT_EQ(PortNameFromFriendlyName(ports[0].friendlyName), line_.PortPath());
  EXPECT_EQ(folder_.AdvertFileCount(), 6) << "files of a live process stay for it to withdraw";
  EXPECT_FALSE(platform::AdvertiseSimulatedPort("relative/path"));
  EXPECT_FALSE(platform::AdvertiseSimulatedPort("/dev/pts/1\nport=/dev/tty"));
}

TEST_F(SimulatedPorts, FolderOpenToOthersIsNotTrusted) {
  ASSERT_TRUE(platform::EnsureRuntimeFolder());
  auto token = platform::AdvertiseSimulatedPort(line_.PortPath());
  ASSERT_TRUE(token);
  ASSERT_EQ(::chmod(platform::RuntimeFolder().c_str(), 0777), 0);
  EXPECT_FALSE(Lists(EnumeratePorts(false), line_.PortPath()));
  EXPECT_FALSE(platform::AdvertiseSimulatedPort(line_.PortPath()));
  EXPECT_FALSE(platform::EnsureRuntimeFolder());
}

TEST(HardwarePorts, ListsOnlySerialDevicesWithNamesThatLeadBack) {
  const auto trackers = EnumeratePorts(false);
  const auto all = EnumeratePorts(true);
  for (const auto& p : trackers) {
    EXPECT_NE(p.friendlyName.find(platform::TRACKER_NAME_MARK), std::string::npos) << p.friendlyName;
    EXPECT_TRUE(Lists(all, p.portName)) << p.portName;
  }
  for (const auto& p : all) {
    EXPECT_EQ(PortNameFromFriendlyName(p.friendlyName), p.portName) << p.friendlyName;
    // Virtual consoles and the pty multiplexer are no serial ports.
    EXPECT_FALSE(p.portName == "console" || p.portName == "ptmx" || p.portName == "tty") << p.portName;
    EXPECT_FALSE(
        p.portName.size() > 3 && p.portName.rfind("tty", 0) == 0 &&
        std::all_of(p.portName.begin() + 3, p.portName.end(), [](unsigned char c) { return c >= '0' && c <= '9'; }))
        << p.portName;
  }
}

}  // namespace
