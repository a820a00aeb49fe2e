// SerialChannel on a pseudo-terminal: opening with its codes, configuring,
// and reads that wait on the port and return as soon as a byte is there.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "firmware/serial_channel.h"
#include "clock_speed.h"
#include "firmware_rig.h"
#include "sim_line.h"

namespace {

struct OpenLine {
  sim::SimLine line;
  OpenLine() { EXPECT_TRUE(line.Open({})); }
  const char* Path() const { return line.PortPath().c_str(); }
};

TEST(SerialChannel, OpenReportsMissingAndBusyPortsAndCloseIsSafeTwice) {
  OpenLine l;
  SerialChannel missing;
  EXPECT_EQ(missing.Open("/dev/kv770-no-such-port"), CHANNEL_NO_SUCH_PORT);
  EXPECT_FALSE(missing.IsOpen());
  missing.Close();  // after a failed open: nothing to do

  SerialChannel first, second;
  ASSERT_EQ(first.Open(l.Path()), TRANSFER_OK);
  EXPECT_EQ(second.Open(l.Path()), CHANNEL_PORT_BUSY);
  first.Close();
  first.Close();
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(second.Open(l.Path()), TRANSFER_OK) << "a closed port can be opened again at once";

  EXPECT_EQ(SerialChannel().Open(nullptr), CHANNEL_FAILED);
  EXPECT_EQ(SerialChannel().Open(std::string(300, 'x').c_str()), CHANNEL_FAILED);
}

TEST(SerialChannel, ARefusedBaudRateLeavesThePortOpenAndUsable) {
  OpenLine l;
  SerialChannel ch;
  ASSERT_EQ(ch.Open(l.Path()), TRANSFER_OK);
  EXPECT_EQ(ch.Configure(123457), CHANNEL_BAD_SETTINGS);
  EXPECT_TRUE(ch.IsOpen());
  EXPECT_EQ(ch.Configure(115200), TRANSFER_OK);
  l.line.Send("ok");
  char buf[4] = {};
  EXPECT_EQ(ch.Read(buf, 4, 1000), 2);
  EXPECT_EQ(std::string(buf, 2), "ok");
}

TEST(SerialChannel, ConfigureDiscardsWhatArrivedBefore) {
  OpenLine l;
  SerialChannel ch;
  ASSERT_EQ(ch.Open(l.Path()), TRANSFER_OK);
  l.line.Send("stale");
  ASSERT_EQ(ch.Configure(115200), TRANSFER_OK);
  char b = 0;
  EXPECT_EQ(ch.Read(&b, 1, 0), 0);
}

TEST(SerialChannel, ReadTakesWhatIsThereAndLeavesTheRest) {
  OpenLine l;
  SerialChannel ch;
  ASSERT_EQ(ch.Open(l.Path()), TRANSFER_OK);
  ASSERT_EQ(ch.Configure(115200), TRANSFER_OK);
  char b = 0;
  EXPECT_EQ(ch.Read(&b, 1, 0), 0) << "time-out 0 and nothing there";
  l.line.Send("abc");
  EXPECT_EQ(ch.Read(&b, 1, 0), 1);
  EXPECT_EQ(b, 'a');
  char rest[8] = {};
  EXPECT_EQ(ch.Read(rest, 8, 0), 2);
  EXPECT_EQ(std::string(rest, 2), "bc");
  EXPECT_EQ(ch.Write("xyz", 3, 1000), 3);
  EXPECT_EQ(l.line.ReadByte(1000), 'x');
}

TEST(SerialChannel, AReadWaitsOnThePortAndReturnsWhenTheByteComes) {
  ClockSpeedScope fast(20.0);
  OpenLine l;
  SerialChannel ch;
  ASSERT_EQ(ch.Open(l.Path()), TRANSFER_OK);
  ASSERT_EQ(ch.Configure(115200), TRANSFER_OK);

  std::uint64_t start = platform::ClockMs();
  char b = 0;
  EXPECT_EQ(ch.Read(&b, 1, 400), 0);
  EXPECT_GE(platform::ClockMs() - start, 400u) << "the whole time-out was waited";

  std::thread writer([&] {
    platform::SleepMs(300);
    l.line.Send("C");
  });
  start = platform::ClockMs();
  EXPECT_EQ(ch.Read(&b, 1, 20000), 1);
  const std::uint64_t waited = platform::ClockMs() - start;
  writer.join();
  EXPECT_EQ(b, 'C');
  EXPECT_LT(waited, 10000u) << "returned on the byte, not at the time-out";
}

TEST(SerialChannel, APulledCableFailsReadsAndWrites) {
  OpenLine l;
  SerialChannel ch;
  ASSERT_EQ(ch.Open(l.Path()), TRANSFER_OK);
  ASSERT_EQ(ch.Configure(115200), TRANSFER_OK);
  l.line.Close();
  char b = 0;
  EXPECT_EQ(ch.Read(&b, 1, 100), CHANNEL_READ_FAILED);
  EXPECT_EQ(ch.Write("x", 1, 100), CHANNEL_WRITE_FAILED);
}

TEST(SerialChannel, AChannelWithoutAPortFailsEveryCall) {
  SerialChannel ch;
  char b = 0;
  EXPECT_EQ(ch.Configure(115200), CHANNEL_FAILED);
  EXPECT_EQ(ch.Read(&b, 1, 0), CHANNEL_READ_FAILED);
  EXPECT_EQ(ch.Write("x", 1, 0), CHANNEL_WRITE_FAILED);
}

}  // namespace
