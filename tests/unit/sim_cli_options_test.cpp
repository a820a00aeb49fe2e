#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_cli_options.h"

namespace {

struct Parsed {
  bool ok = false;
  sim::SimOptions options;
  sim::ProgramOptions program;
  std::string error;
};

Parsed Parse(std::vector<const char*> args, bool withProgram = true) {
  args.insert(args.begin(), "kvsim");
  Parsed p;
  p.ok = sim::ParseSimOptions(static_cast<int>(args.size()), args.data(), p.options, p.error,
                              withProgram ? &p.program : nullptr);
  return p;
}

TEST(SimCliOptions, EveryMenuBehaviourAndProgramOptionIsSet) {
  const auto p = Parse({"--probe=garbage", "--split-probe", "--imei", "490154203237518", "--imei-missing",
                        "--imei-delay", "2500", "--no-file-prompt", "--link", "/tmp/kv", "--quiet"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.menu.probeAnswer, sim::ProbeAnswer::Garbage);
  EXPECT_TRUE(p.options.menu.splitProbeAnswer);
  EXPECT_EQ(p.options.menu.imei, "490154203237518");
  EXPECT_TRUE(p.options.menu.imeiMissing);
  EXPECT_EQ(p.options.menu.imeiDelayMs, 2500u);
  EXPECT_TRUE(p.options.menu.filePromptMissing);
  EXPECT_EQ(p.program.linkPath, "/tmp/kv");
  EXPECT_TRUE(p.program.quiet);
  EXPECT_FALSE(p.program.showHelp);

  EXPECT_EQ(Parse({"--probe", "siemens"}).options.menu.probeAnswer, sim::ProbeAnswer::Siemens);
  EXPECT_EQ(Parse({"--probe", "silent"}).options.menu.probeAnswer, sim::ProbeAnswer::Silent);
  EXPECT_EQ(Parse({"--probe", "menu"}).options.menu.probeAnswer, sim::ProbeAnswer::MainMenu);
  EXPECT_TRUE(Parse({"--quiet", "--help", "--no-such-option"}).program.showHelp);
}

TEST(SimCliOptions, BadInputIsRefusedWithTheOptionNamed) {
  const std::vector<std::vector<const char*>> bad = {{"--probe", "maybe"},
                                                     {"--imei", "35693x035643809"},
                                                     {"--imei", "123456789012345678901"},
                                                     {"--imei-delay", "-1"},
                                                     {"--imei-delay", "99999999999"},
                                                     {"--imei"},
                                                     {"--imei-delay", "--quiet"},
                                                     {"--split-probe=yes"},
                                                     {"--no-such-option"},
                                                     {"stray"},
                                                     {"--", "stray"},
                                                     {"--link="}};
  for (const auto& args : bad) {
    const auto p = Parse(args);
    EXPECT_FALSE(p.ok) << args[0];
    EXPECT_FALSE(p.error.empty()) << args[0];
  }
  EXPECT_NE(Parse({"--probe", "maybe"}).error.find("--probe"), std::string::npos);
  EXPECT_TRUE(Parse({"--quiet", "--"}).ok) << "-- ends the options, as in kvctl and kvtool";
  // Without a place for them, the program's own options are unknown.
  EXPECT_FALSE(Parse({"--link", "/tmp/kv"}, false).ok);
  EXPECT_TRUE(Parse({"--imei", "1"}, false).ok);
}

TEST(SimCliOptions, ClockSpeedTakesOnlyAPositiveFiniteFactor) {
  EXPECT_EQ(Parse({}).program.clockSpeed, 1.0) << "real time unless asked";
  EXPECT_EQ(Parse({"--clock-speed", "20"}).program.clockSpeed, 20.0);
  EXPECT_EQ(Parse({"--clock-speed=2.5"}).program.clockSpeed, 2.5);
  for (const char* bad : {"0", "-5", "abc", "20x", "", "nan", "inf", "1e9", "0x", " 3"}) {
    const auto p = Parse({"--clock-speed", bad});
    EXPECT_FALSE(p.ok) << bad;
    EXPECT_NE(p.error.find("--clock-speed"), std::string::npos) << bad << ": " << p.error;
  }
  // A tracker simulated inside a test shares the test's clock: no such option.
  EXPECT_FALSE(Parse({"--clock-speed", "20"}, false).ok);
}

}  // namespace
