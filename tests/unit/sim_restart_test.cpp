// The simulated tracker after a firmware transfer: a whole batch makes it
// restart (silent for its boot time, then its menu and the version the image
// names); a cancelled batch leaves it in its boot loader; without a restart
// it stays silent. And the rule by which an image names its version.
#include <gtest/gtest.h>

#include <string>

#include "clock_speed.h"
#include "firmware/serial_channel.h"
#include "firmware/ymodem_sender.h"
#include "firmware_rig.h"
#include "platform/clock.h"
#include "sim_firmware_version.h"
#include "sim_tracker.h"

namespace {

std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// An image of `size` pattern bytes with `inside` written at byte 3000.
std::vector<unsigned char> ImageWith(const std::string& inside, std::size_t size = 9000) {
  auto image = kvtest::PatternImage(size);
  for (auto& b : image)
    if (b == 'F') b = 'f';  // no stray version start in the pattern
  std::copy(inside.begin(), inside.end(), image.begin() + 3000);
  return image;
}

// The tool's side of one tracker: a channel on its port.
class TrackerLine {
 public:
  explicit TrackerLine(const sim::SimTracker& tracker) {
    EXPECT_EQ(channel_.Open(tracker.PortPath().c_str()), 0);
    channel_.Configure(115200);
  }
  void Send(const std::string& text) {
    ASSERT_EQ(channel_.Write(text.data(), static_cast<int>(text.size()), 1000), static_cast<int>(text.size()));
  }
  // Everything that arrives within `ms` clock milliseconds.
  std::string Collect(std::uint32_t ms) {
    std::string got;
    const auto until = platform::ClockMs() + ms;
    while (platform::ClockMs() < until) {
      char buffer[256];
      const int n = channel_.Read(buffer, sizeof buffer, 50);
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  // "1", its prompt, then the batch; the sender's result.
  int SendImage(const std::vector<unsigned char>& image) {
    Send("1");
    EXPECT_NE(Collect(300).find("Waiting for the file to be sent"), std::string::npos);
    YmodemSender sender(&channel_);
    kvtest::MemorySource source(image);
    return sender.SendBatch("fw.bin", static_cast<int>(image.size()), source, 30000);
  }
  SerialChannel& Channel() { return channel_; }

 private:
  SerialChannel channel_;
};

TEST(SimFirmwareVersion, AnImageNamesAVersionWhenItHoldsExactlyOneVersionText) {
  EXPECT_EQ(sim::FindVersionInImage(ImageWith("F-0KV770E-V1.5(20100301)")), "F-0KV770E-V1.5(20100301)");
  // The same text twice is still one version.
  EXPECT_EQ(sim::FindVersionInImage(Bytes("xF-0KV770Q-V2(1)yyF-0KV770Q-V2(1)")), "F-0KV770Q-V2(1)");
  EXPECT_EQ(sim::FindVersionInImage(Bytes("F-0KV770E-V1.4(1) F-0KV770E-V1.5(2)")), std::nullopt) << "two versions";
  EXPECT_EQ(sim::FindVersionInImage(ImageWith("no version here")), std::nullopt);
  EXPECT_EQ(sim::FindVersionInImage(Bytes("F-0KV770E-V1.5(2010")), std::nullopt) << "no closing parenthesis";
  EXPECT_EQ(sim::FindVersionInImage(Bytes("F-0KV770E\n-V1.5(2010)")), std::nullopt) << "a line break inside";
  EXPECT_EQ(sim::FindVersionInImage(Bytes("F-0KV" + std::string(70, 'x') + ")")), std::nullopt) << "too long";
  // A broken candidate does not hide a good one after it.
  EXPECT_EQ(sim::FindVersionInImage(Bytes("F-0KV\x01 F-0KV7(9)")), "F-0KV7(9)");
}

TEST(SimRestart, AfterAWholeTransferTheTrackerBootsAndReportsTheImagesVersion) {
  ClockSpeedScope fast(20.0);
  sim::SimOptions options;
  options.restart.bootMs = 3000;
  sim::SimTracker tracker(options);
  ASSERT_TRUE(tracker.Start());
  TrackerLine line(tracker);
  ASSERT_EQ(line.SendImage(ImageWith("F-0KV770E-V1.5(20100301)")), 0);
  const auto transferEnded = platform::ClockMs();
  // Booting: a probe gets no answer.
  line.Send("ati\r");
  const std::string duringBoot = line.Collect(1500);
  EXPECT_TRUE(tracker.Booting());
  EXPECT_EQ(duringBoot.find("Main Menu"), std::string::npos) << duringBoot;
  // Back: the menu comes by itself, on time, and the new version answers.
  const std::string afterBoot = line.Collect(2500);
  EXPECT_NE(afterBoot.find("Main Menu"), std::string::npos) << afterBoot;
  EXPECT_GE(platform::ClockMs() - transferEnded, 3000u);
  EXPECT_FALSE(tracker.Booting());
  EXPECT_EQ(tracker.Restarts(), 1);
  line.Send("kv+fwv\r");
  EXPECT_NE(line.Collect(300).find("F-0KV770E-V1.5(20100301)"), std::string::npos);
  line.Send("ati\r");
  EXPECT_NE(line.Collect(300).find("Main Menu"), std::string::npos);
}

TEST(SimRestart, TheVersionAfterOptionWinsAndAnImageWithoutVersionKeepsTheOldOne) {
  ClockSpeedScope fast(50.0);
  {
    sim::SimOptions options;
    options.restart.bootMs = 500;
    options.restart.versionAfter = "F-0KV770E-V9.9(1)";
    sim::SimTracker tracker(options);
    ASSERT_TRUE(tracker.Start());
    TrackerLine line(tracker);
    ASSERT_EQ(line.SendImage(ImageWith("F-0KV770E-V1.5(20100301)")), 0);
    line.Collect(1000);
    EXPECT_EQ(tracker.VersionText(), "F-0KV770E-V9.9(1)");
  }
  sim::SimOptions options;
  options.restart.bootMs = 500;
  sim::SimTracker tracker(options);
  ASSERT_TRUE(tracker.Start());
  TrackerLine line(tracker);
  ASSERT_EQ(line.SendImage(ImageWith("nothing")), 0);
  line.Collect(1000);
  EXPECT_EQ(tracker.Restarts(), 1);
  EXPECT_EQ(tracker.VersionText(), std::string(sim::EXTENDED_VERSION_TEXT));
}

TEST(SimRestart, WithoutARestartTheTrackerStaysSilent) {
  ClockSpeedScope fast(50.0);
  sim::SimOptions options;
  options.restart.restarts = false;
  options.restart.bootMs = 100;
  sim::SimTracker tracker(options);
  ASSERT_TRUE(tracker.Start());
  TrackerLine line(tracker);
  ASSERT_EQ(line.SendImage(ImageWith("F-0KV770E-V1.5(20100301)")), 0);
  line.Send("ati\r");
  EXPECT_EQ(line.Collect(5000).find("Main Menu"), std::string::npos);
  EXPECT_TRUE(tracker.Booting());
  EXPECT_EQ(tracker.Restarts(), 0);
  tracker.Stop();  // ends at once although the tracker never comes back
}

TEST(SimRestart, ACancelledTransferLeavesTheTrackerInItsBootLoader) {
  ClockSpeedScope fast(20.0);
  sim::SimOptions options;
  options.boot.cancelAtBlock = 3;
  options.restart.bootMs = 100;
  sim::SimTracker tracker(options);
  ASSERT_TRUE(tracker.Start());
  TrackerLine line(tracker);
  EXPECT_NE(line.SendImage(ImageWith("F-0KV770E-V1.5(20100301)")), 0);
  line.Collect(3000);
  EXPECT_EQ(tracker.Restarts(), 0);
  EXPECT_FALSE(tracker.Booting());
  EXPECT_EQ(tracker.VersionText(), std::string(sim::EXTENDED_VERSION_TEXT));
}

}  // namespace
