// The simulator's side of the firmware update: its command-line fault
// options, the line's pacing model and the boot loader's abort key.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "clock_speed.h"
#include "firmware_rig.h"
#include "sim_fault_options.h"

namespace {

TEST(SimFaultOptions, ParseEveryOptionAndRefuseBadValues) {
  sim::BootOptions boot;
  EXPECT_TRUE(sim::ParseBootOption("boot-start", "NAK", boot));
  EXPECT_EQ(boot.startChar, 0x15);
  EXPECT_TRUE(sim::ParseBootOption("boot-start", "G", boot));
  EXPECT_EQ(boot.startChar, 'G');
  EXPECT_TRUE(sim::ParseBootOption("boot-nak-every", "3", boot));
  EXPECT_EQ(boot.nakEveryNth, 3u);
  EXPECT_TRUE(sim::ParseBootOption("boot-nak-first-eot", "", boot));
  EXPECT_TRUE(boot.nakFirstEot);
  EXPECT_TRUE(sim::ParseBootOption("boot-crc-request-at", "2", boot));
  EXPECT_EQ(boot.crcRequestAtBlock, 2);
  EXPECT_TRUE(sim::ParseBootOption("boot-silent-after", "0", boot));
  EXPECT_EQ(boot.silentAfterBlock, 0);
  EXPECT_TRUE(sim::ParseBootOption("boot-cancel-at", "7", boot));
  EXPECT_EQ(boot.cancelAtBlock, 7);

  std::string error;
  EXPECT_FALSE(sim::ParseBootOption("boot-start", "X", boot, &error));
  EXPECT_EQ(error, "bad value for --boot-start: X");
  EXPECT_FALSE(sim::ParseBootOption("boot-nak-every", "-1", boot, &error));
  EXPECT_FALSE(sim::ParseBootOption("boot-cancel-at", "9999999999", boot, &error));
  EXPECT_FALSE(sim::ParseBootOption("boot-bogus", "1", boot, &error));
  EXPECT_EQ(error, "unknown option --boot-bogus");

  sim::LineOptions line;
  EXPECT_TRUE(sim::ParseLineOption("line-baud", "115200", line));
  EXPECT_EQ(line.baudRate, 115200u);
  EXPECT_TRUE(sim::ParseLineOption("line-latency", "1", line));
  EXPECT_EQ(line.latencyMs, 1u);
  EXPECT_TRUE(sim::ParseLineOption("line-bit-errors", "0.001", line));
  EXPECT_DOUBLE_EQ(line.bitErrorRate, 0.001);
  EXPECT_TRUE(sim::ParseLineOption("line-drops", "1e-4", line));
  EXPECT_DOUBLE_EQ(line.dropRate, 0.0001);
  EXPECT_TRUE(sim::ParseLineOption("line-pull-cable-after", "5000", line));
  EXPECT_EQ(line.pullCableAfterBytes, 5000u);
  EXPECT_FALSE(sim::ParseLineOption("line-bit-errors", "1.5", line, &error));
  EXPECT_FALSE(sim::ParseLineOption("line-baud", "fast", line, &error));
  EXPECT_FALSE(sim::ParseLineOption("boot-start", "C", line, &error));

  // Every option the parsers take is in the usage text.
  const std::string usage = std::string(sim::BootOptionsUsage()) + std::string(sim::LineOptionsUsage());
  for (const char* name :
       {"boot-start", "boot-nak-every", "boot-nak-first-eot", "boot-crc-request-at", "boot-silent-after",
        "boot-cancel-at", "boot-start-interval", "boot-start-tries", "line-baud", "line-latency", "line-bit-errors",
        "line-drops", "line-pull-cable-after", "line-seed"})
    EXPECT_NE(usage.find(std::string("--") + name), std::string::npos) << name;
}

TEST(SimLinePacer, BytesQueueAtTheBaudRateAndArriveOneLatencyLater) {
  sim::LinePacer pacer(115200, 1);
  const double byteMs = 10000.0 / 115200;
  // A frame handed in at once: its last byte arrives after 1029 byte times plus the latency.
  EXPECT_NEAR(pacer.Arrival(100.0, 1029), 100.0 + 1029 * byteMs + 1.0, 1e-9);
  // A byte handed in while the line is still busy waits for it.
  EXPECT_NEAR(pacer.Arrival(101.0, 1), 100.0 + 1030 * byteMs + 1.0, 1e-9);
  // An idle line starts from the moment of handing in.
  EXPECT_NEAR(pacer.Arrival(500.0, 1), 500.0 + byteMs + 1.0, 1e-9);
  EXPECT_FALSE(sim::LinePacer(0, 0).Paced());
}

TEST(SimBootLoader, TheAbortKeyEndsTheWaitForASender) {
  ClockSpeedScope fast(20.0);
  kvtest::BootLoaderRig rig;
  ASSERT_TRUE(rig.Start());
  char c = 0;
  ASSERT_EQ(rig.Channel().Read(&c, 1, 3000), 1);
  EXPECT_EQ(c, 'C');
  ASSERT_EQ(rig.Channel().Write("a", 1, 1000), 1);
  rig.FinishLoader();
  EXPECT_EQ(rig.Loader().LastOutcome(), sim::BootOutcome::Aborted);
  EXPECT_TRUE(rig.Images().empty());
}

TEST(SimBootLoader, AnImageCutShortIsKeptAsIncomplete) {
  ClockSpeedScope fast(20.0);
  sim::LineOptions line;
  line.pullCableAfterBytes = 3000;
  sim::BootOptions boot;
  std::FILE* console = std::tmpfile();
  boot.console = console;
  kvtest::BootLoaderRig rig(boot, line);
  ASSERT_TRUE(rig.Start());
  YmodemSender sender(&rig.Channel());
  kvtest::MemorySource source(kvtest::PatternImage(5000));
  EXPECT_LT(sender.SendBatch("cut.bin", 5000, source, 30000), 0);
  rig.FinishLoader();
  EXPECT_EQ(rig.Loader().LastOutcome(), sim::BootOutcome::LineClosed);
  const auto images = rig.Images();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_FALSE(images[0].complete);
  EXPECT_EQ(images[0].declaredSize, 5000);
  EXPECT_EQ(images[0].data.size(), 1024u) << "only the blocks that arrived whole";
  std::rewind(console);
  char text[256] = {};
  ASSERT_NE(std::fgets(text, sizeof text, console), nullptr);
  EXPECT_EQ(std::string(text), sim::DescribeImage(images[0]) + "\n");
  EXPECT_EQ(std::string(text).rfind("incomplete cut.bin: 1024 bytes, SHA-256 ", 0), 0u);
  std::fclose(console);
}

}  // namespace
