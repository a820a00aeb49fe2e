// kvctl's command line, its summary table and its trace lines.
#include <gtest/gtest.h>

#include "cli_args.h"
#include "job_runner.h"
#include "progress_bar.h"
#include "trace_file.h"

namespace {

bool Parse(std::vector<std::string> words, CliArgs& args, std::string& error) {
  std::vector<char*> argv{const_cast<char*>("kvctl")};
  for (auto& w : words) argv.push_back(w.data());
  return ParseCliArgs(static_cast<int>(argv.size()), argv.data(), args, error);
}

TEST(KvctlArgs, FirstWordAfterTheCommandIsThePortUnlessPortsAreNamed) {
  CliArgs a;
  std::string e;
  ASSERT_TRUE(Parse({"set", "/dev/pts/3", "box.ini"}, a, e));
  EXPECT_EQ(a.command, "set");
  EXPECT_EQ(a.ports, std::vector<std::string>{"/dev/pts/3"});
  EXPECT_EQ(a.positional, std::vector<std::string>{"box.ini"});

  CliArgs b;
  ASSERT_TRUE(Parse({"set", "--port", "A", "--port", "B", "box.ini"}, b, e));
  EXPECT_EQ(b.ports, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(b.positional, std::vector<std::string>{"box.ini"});

  CliArgs c;
  ASSERT_TRUE(Parse({"--trace", "t.log", "get", "--all", "--json"}, c, e));
  EXPECT_TRUE(c.allPorts);
  EXPECT_TRUE(c.json);
  EXPECT_TRUE(c.ports.empty());
  EXPECT_EQ(c.traceFile, "t.log");
}

TEST(KvctlArgs, WrongLinesAreRefusedWithAReason) {
  CliArgs a;
  std::string e;
  EXPECT_FALSE(Parse({}, a, e));
  EXPECT_FALSE(Parse({"get", "--bogus"}, a, e));
  EXPECT_NE(e.find("--bogus"), std::string::npos);
  EXPECT_FALSE(Parse({"get", "PORT", "-o"}, a, e));
  CliArgs h;
  EXPECT_TRUE(Parse({"--help"}, h, e));
  EXPECT_TRUE(h.help);
}

TEST(KvctlArgs, ClockSpeedTakesOnlyAPositiveFiniteFactor) {
  CliArgs a;
  std::string e;
  ASSERT_TRUE(Parse({"imei", "P"}, a, e));
  EXPECT_EQ(a.clockSpeed, 1.0) << "real time unless asked";
  CliArgs b;
  ASSERT_TRUE(Parse({"--clock-speed", "20", "imei", "P"}, b, e)) << e;
  EXPECT_EQ(b.clockSpeed, 20.0);
  EXPECT_EQ(b.ports, std::vector<std::string>{"P"}) << "the value is not taken for a port";
  for (const char* bad : {"0", "-5", "abc", "20x", "", "nan", "inf", "1e9", " 3"}) {
    CliArgs c;
    e.clear();
    EXPECT_FALSE(Parse({"imei", "P", "--clock-speed", bad}, c, e)) << bad;
    EXPECT_NE(e.find("--clock-speed"), std::string::npos) << bad << ": " << e;
  }
  CliArgs d;
  EXPECT_FALSE(Parse({"imei", "P", "--clock-speed"}, d, e));
}

TEST(KvctlSummary, OneRowPerTrackerInPortOrder) {
  std::vector<JobResult> results(2);
  results[0].verdict = "Setting Message OK ";
  results[1].code = kExitFailed;
  results[1].verdict = "Device does not found!!";
  results[1].detail = "probe: no answer";
  const std::string table = FormatSummary({"/dev/pts/1", "/dev/pts/12"}, results, {69.0, 25.25});
  EXPECT_EQ(table,
            "PORT         RESULT                   TIME     DETAIL\n"
            "/dev/pts/1   Setting Message OK         69.0s  \n"
            "/dev/pts/12  Device does not found!!    25.2s  probe: no answer\n");
}

TEST(KvctlTrace, LineHoldsTimeDirectionHexAndPrintableText) {
  const unsigned char bytes[] = {'a', 't', 0x0d, 0x1a};
  EXPECT_EQ(FormatTraceLine(1.5, "/dev/pts/2", true, bytes, 4), "1.500000 /dev/pts/2 > 61 74 0d 1a |at..|");
  EXPECT_EQ(FormatTraceLine(0, "ttyUSB0", false, bytes, 1), "0.000000 ttyUSB0 < 61 |a|");
}

}  // namespace

namespace {

TEST(KvctlProgress, BarPercentBytesRateAndTimeLeft) {
  EXPECT_EQ(FormatProgress(131072, 262144, 13107.2, 10.0),
            "[##########          ]  50.0%  131072/262144 bytes  12.8 KiB/s  10 s left");
  EXPECT_EQ(FormatProgress(0, 262144, 0.0, std::nullopt), "[                    ]   0.0%  0/262144 bytes  0.0 KiB/s");
  // The sender counts whole 1024-byte chunks: the last one may pass the size.
  EXPECT_EQ(FormatProgress(2048, 100, 100.0, 0.0), "[####################] 100.0%  100/100 bytes  0.1 KiB/s");
  EXPECT_EQ(FormatProgress(0, 0, 0.0, std::nullopt), "[####################] 100.0%  0/0 bytes  0.0 KiB/s");
}

}  // namespace
