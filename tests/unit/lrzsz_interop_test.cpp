// The sender against an independent receiver: lrzsz's rb on a pseudo-terminal
// joined to the tool's port. Every image must arrive byte for byte, also when
// it was chosen by its absolute path (rb refuses a name that starts with "/"). rb always
// asks for CRC in a batch; for the NAK case the line turns rb's first "C"
// into NAK, so the sender starts with checksum frames and rb's "C" in answer
// to the first of them switches it to CRC.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "commands.h"
#include "firmware/firmware_transfer.h"
#include "firmware/serial_channel.h"
#include "firmware/ymodem_sender.h"
#include "firmware_rig.h"
#include "port_program.h"
#include "sim_pty_bridge.h"
#include "platform/clock.h"
#include "temp_folder.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<unsigned char>;

// One image of `size` bytes sent to rb on a bridge of its own, into a folder
// of its own; `start` 0x15 makes the line turn rb's first "C" into NAK.
// gtest's checks may run on any thread, so several of these run at once.
void SendThroughRb(const std::string& rbPath, std::size_t size, char start) {
  SCOPED_TRACE(std::to_string(size) + " bytes, " + (start == 'C' ? "C" : "NAK") + " start");
  test_support::TempFolder folder;
  const std::string& dir = folder.path();
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
  ASSERT_TRUE(rb.Start({rbPath, "-q"}, bridge.PathB(), bridge.BOutputFd(), dir, dir + "/rb.log"));

  const Bytes data = kvtest::PatternImage(size, static_cast<std::uint32_t>(size) + 3);
  kvtest::MemorySource source(data);
  YmodemSender sender(&channel);
  EXPECT_EQ(sender.SendBatch("c:/work/new.bin", static_cast<DWORD>(size), source, 30000), TRANSFER_OK);
  EXPECT_EQ(rb.Wait(10000), 0) << "rb said: " << test_support::ReadTestFile(dir + "/rb.log");
  std::ifstream in(dir + "/c:/work/new.bin", std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), data);
  if (start == 0x15) {
    EXPECT_TRUE(turned.load());
  }
}

// rb takes about 3 s for any image, nearly all of it waiting: it wants a
// second of silence on the line before its first "C", after the EOT and
// before asking for the next header, and a NAK start costs it two more for
// the frame it refuses. So the images go to rb at once, each on its own
// line, and each size is one the sender treats differently: one 128-byte
// frame with padding (127), one whole 1K frame (1024), a 1K frame followed
// by a padded 128-byte one (1025), and 256 1K frames whose block number
// wraps to 0 (256 KiB); the NAK start, whose switch to CRC happens on the
// header, once with the 1025 bytes. The exact frames of an empty image and of
// other sizes are checked against the simulated boot loader (YmodemWire).
TEST(LrzszInterop, EverySizeArrivesByteForByte) {
  const std::string rb = kvtest::FindProgram("rb");
  if (rb.empty()) GTEST_SKIP() << "lrzsz's rb is not installed";
  const std::pair<std::size_t, char> cases[] = {
      {127, 'C'}, {1024, 'C'}, {1025, 'C'}, {256 * 1024, 'C'}, {1025, '\x15'}};
  std::vector<std::thread> runs;
  for (const auto& [size, start] : cases) runs.emplace_back(SendThroughRb, rb, size, start);
  for (auto& run : runs) run.join();
}

// An image chosen by its absolute path, as the window's file dialog gives it
// and as a script names it, reaches rb from both programs' update paths. Each
// path has its own line and its own rb in a folder of its own, and the two
// run at once: rb spends its 3 s waiting for quiet lines.
class LrzszAbsolutePath : public ::testing::Test {
 protected:
  // One rb and the folder it receives into.
  struct Receiver {
    std::string dir, log;
    kvtest::PortProgram process;
  };

  void SetUp() override {
    rb_ = kvtest::FindProgram("rb");
    if (rb_.empty()) GTEST_SKIP() << "lrzsz's rb is not installed";
    // A paced line (115200 baud) with rb's latency and output pipe, as above.
    options_.baudRate = 115200;
    options_.latencyMs = 10;
    options_.bOutputThroughPipe = true;
    image_ = folder_.File("Fw/KV770.bin");
    ASSERT_EQ(::mkdir(folder_.File("Fw").c_str(), 0700), 0);
    data_ = kvtest::PatternImage(5000, 11);
    test_support::WriteTestFile(image_, std::string(data_.begin(), data_.end()));
    for (const auto& [receiver, name] : {std::pair{&window_, "window"}, std::pair{&kvctl_, "kvctl"}}) {
      receiver->dir = folder_.File(std::string("rb-") + name);
      receiver->log = receiver->dir + ".log";
      ASSERT_EQ(::mkdir(receiver->dir.c_str(), 0700), 0);
    }
  }
  // Where rb put the file: the absolute path lowered, under its folder.
  Bytes Received(const Receiver& receiver) {
    std::string name = image_;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    std::ifstream in(receiver.dir + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  bool StartRb(sim::PtyBridge& bridge, Receiver& receiver) {
    return receiver.process.Start({rb_, "-q"}, bridge.PathB(), bridge.BOutputFd(), receiver.dir, receiver.log);
  }
  void ExpectDelivered(Receiver& receiver) {
    EXPECT_EQ(receiver.process.Wait(10000), 0) << "rb said: " << test_support::ReadTestFile(receiver.log);
    EXPECT_EQ(Received(receiver), data_);
  }

  // The window's update thread's call, with the path the file dialog returned.
  void WindowUpdatePath() {
    SCOPED_TRACE("the window's update path");
    sim::PtyBridge bridge;
    ASSERT_TRUE(bridge.Open(options_));
    ASSERT_TRUE(StartRb(bridge, window_));
    EXPECT_EQ(RunFirmwareTransfer(bridge.PathA().c_str(), image_.c_str(), nullptr, nullptr, nullptr), 0);
    ExpectDelivered(window_);
  }

  // kvctl update: the tracker's menu on side B answers the probe and the
  // download choice, lets go of the line and hands it to rb, as the boot
  // loader would.
  void KvctlUpdatePath() {
    SCOPED_TRACE("kvctl update");
    sim::PtyBridge bridge;
    ASSERT_TRUE(bridge.Open(options_));
    std::atomic<bool> handedOver{false};
    std::thread menu([&] {
      SerialChannel line;
      if (line.Open(bridge.PathB().c_str()) != TRANSFER_OK || line.Configure(115200) != TRANSFER_OK) return;
      std::string heard;
      auto hear = [&](const std::string& what) {
        char buf[256];
        for (int i = 0; i < 300 && heard.find(what) == std::string::npos; ++i) {
          const int n = line.Read(buf, sizeof buf, 100);
          if (n < 0) return false;
          if (n > 0) heard.append(buf, static_cast<std::size_t>(n));
        }
        return heard.find(what) != std::string::npos;
      };
      if (!hear("ati\r")) return;
      // Side B's output goes through the bridge's pipe (rb's will too).
      const std::string banner = "\r\n==== KV-770 Main Menu ====\r\n";
      if (::write(bridge.BOutputFd(), banner.data(), banner.size()) < 0) return;
      heard.clear();
      if (!hear("1")) return;
      const std::string prompt = "\r\nWaiting for the file to be sent ... (press 'a' to abort)\r\n";
      if (::write(bridge.BOutputFd(), prompt.data(), prompt.size()) < 0) return;
      platform::SleepMs(300);  // the prompt crosses the line before the port goes
      line.Close();
      handedOver = StartRb(bridge, kvctl_);
    });
    const int code = CmdUpdate({bridge.PathA()}, image_);
    menu.join();
    ASSERT_TRUE(handedOver.load());
    EXPECT_EQ(code, 0);
    ExpectDelivered(kvctl_);
  }

  test_support::TempFolder folder_;
  std::string rb_, image_;
  Bytes data_;
  sim::PtyBridge::Options options_;
  Receiver window_, kvctl_;
};

TEST_F(LrzszAbsolutePath, TheWindowsAndKvctlsUpdatePathsDeliverIt) {
  ASSERT_EQ(image_.front(), '/');
  std::thread window([this] { WindowUpdatePath(); });
  KvctlUpdatePath();
  window.join();
}

}  // namespace
