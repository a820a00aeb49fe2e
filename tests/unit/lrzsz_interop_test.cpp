// The sender against an independent receiver: lrzsz's rb on a pseudo-terminal
// joined to the tool's port. Every image must arrive byte for byte. rb always
// asks for CRC in a batch; for the NAK case the line turns rb's first "C"
// into NAK, so the sender starts with checksum frames and rb's "C" in answer
// to the first of them switches it to CRC.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <tuple>

#include "firmware/serial_channel.h"
#include "firmware/ymodem_sender.h"
#include "firmware_rig.h"
#include "port_program.h"
#include "sim_pty_bridge.h"
#include "temp_folder.h"

namespace {

using Bytes = std::vector<unsigned char>;

class LrzszInterop : public ::testing::TestWithParam<std::tuple<std::size_t, char>> {
 protected:
  void SetUp() override {
    rb_ = kvtest::FindProgram("rb");
    if (rb_.empty()) GTEST_SKIP() << "lrzsz's rb is not installed";
    dir_ = folder_.path();
  }
  Bytes ReadBack(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  test_support::TempFolder folder_;
  std::string rb_;
  std::string dir_;
};

TEST_P(LrzszInterop, ArrivesByteForByte) {
  const auto [size, start] = GetParam();
  sim::PtyBridge bridge;
  // rb empties its input right after it asks for a block, and its terminal's
  // queues as it exits: the line gives it 10 ms of latency each way (enough
  // for rb to get to its flush even on a loaded machine or under a
  // sanitizer) and takes its output through a pipe.
  sim::PtyBridge::Options options;
  options.latencyMs = 10;
  options.bOutputThroughPipe = true;
  std::atomic<bool> turned{false};
  if (start == 0x15) {
    options.filterBToA = [&turned](unsigned char b) -> int {
      if (b == 'C' && !turned.exchange(true)) return 0x15;
      return b;
    };
  }
  ASSERT_TRUE(bridge.Open(options));
  SerialChannel channel;
  ASSERT_EQ(channel.Open(bridge.PathA().c_str()), TRANSFER_OK);
  ASSERT_EQ(channel.Configure(115200), TRANSFER_OK);
  kvtest::PortProgram rb;
  ASSERT_TRUE(rb.Start({rb_, "-q"}, bridge.PathB(), bridge.BOutputFd(), dir_, dir_ + "/rb.log"));

  const Bytes data = kvtest::PatternImage(size, static_cast<std::uint32_t>(size) + 3);
  kvtest::MemorySource source(data);
  YmodemSender sender(&channel);
  EXPECT_EQ(sender.SendBatch("c:/work/new.bin", static_cast<DWORD>(size), source, 30000),
            TRANSFER_OK);
  EXPECT_EQ(rb.Wait(10000), 0) << "rb said: " << test_support::ReadTestFile(dir_ + "/rb.log");
  EXPECT_EQ(ReadBack(dir_ + "/c:/work/new.bin"), data);
  if (start == 0x15) {
    EXPECT_TRUE(turned.load());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LrzszInterop,
    ::testing::Combine(::testing::Values<std::size_t>(0, 1, 127, 128, 1023, 1024, 1025, 256 * 1024),
                       ::testing::Values('C', '\x15')),
    [](const auto& info) {
      return std::to_string(std::get<0>(info.param)) +
             (std::get<1>(info.param) == 'C' ? "_C" : "_NAK");
    });

}  // namespace
