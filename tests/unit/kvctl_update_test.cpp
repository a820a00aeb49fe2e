// kvctl's update before and around the transfer, in-process against the
// simulated tracker: images that cannot be sent are refused before the
// tracker hears anything, the name the header carries, and a port that dies
// while the tracker is probed.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "clock_speed.h"
#include "commands.h"
#include "exit_codes.h"
#include "firmware/firmware_image.h"
#include "firmware_rig.h"
#include "image_version.h"
#include "platform/clock.h"
#include "platform/serial_io.h"
#include "serial/open_serial_port.h"
#include "sim_tracker.h"
#include "temp_folder.h"
#include "tracker_session.h"
#include "update_verify.h"

namespace {

// A path of at least `length` characters to a 1-byte file, through folders
// of 200-character names.
std::string DeepImage(const test_support::TempFolder& dir, std::size_t length) {
  std::string path = dir.path();
  while (path.size() + 8 < length) {
    path += "/" + std::string(200, 'd');
    EXPECT_EQ(::mkdir(path.c_str(), 0700), 0) << path.size();
  }
  path += "/fw.bin";
  test_support::WriteTestFile(path, "x");
  return path;
}

TEST(KvctlUpdate, ImagesThatCannotBeSentAreRefusedBeforeTheTrackerHearsAnything) {
  ClockSpeedScope fast(20.0);
  test_support::TempFolder dir;
  const std::string empty = dir.File("empty.bin");
  test_support::WriteTestFile(empty, "");
  const std::string fifo = dir.File("fifo.bin");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    const char* why;
  };
  const Case cases[] = {
      {DeepImage(dir, 1030), "a path the header block cannot hold"},
      {empty, "an empty image"},
      {dir.File("missing.bin"), "no such file"},
      {dir.path(), "a folder"},
      {fifo, "a FIFO (opening it must not wait for a writer)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    sim::SimTracker tracker;
    ASSERT_TRUE(tracker.Start());
    EXPECT_EQ(CmdUpdate({tracker.PortPath()}, c.path), kExitRefused);
    EXPECT_EQ(tracker.CommandCount("1"), 0) << "the tracker was switched into its boot loader";
    EXPECT_EQ(tracker.ReceivedLog(), "") << "the tracker heard something";
    tracker.Stop();
  }
}

TEST(KvctlUpdate, TheLongestPathThatFitsIsSent) {
  ClockSpeedScope fast(20.0);
  test_support::TempFolder dir;
  // 1020 characters without the leading slash, the NUL and the digit "1"
  // make 1022 bytes: it fits, and one character more does not.
  std::string folder = dir.path();
  while (folder.size() + 201 < 1000) {
    folder += "/" + std::string(200, 'd');
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  }
  const std::size_t nameLength = 1021 - folder.size() - 1;
  const std::string path = folder + "/" + std::string(nameLength - 4, 'f') + ".bin";
  ASSERT_EQ(path.size(), 1021u);
  test_support::WriteTestFile(path, "x");
  FirmwareImage image;
  FirmwareTransferReport report;
  EXPECT_TRUE(OpenFirmwareImage(path.c_str(), image, &report));
  EXPECT_EQ(image.headerName, path.substr(1));

  const std::string longer = folder + "/" + std::string(nameLength - 3, 'f') + ".bin";
  test_support::WriteTestFile(longer, "x");
  EXPECT_FALSE(OpenFirmwareImage(longer.c_str(), image, &report));
  EXPECT_EQ(report.step, FirmwareStep::NameTooLong);
  EXPECT_EQ(report.code, TRANSFER_HEADER_TOO_LONG);
}

TEST(FirmwareHeaderName, TheFullPathWithoutItsLeadingSlashes) {
  EXPECT_EQ(FirmwareHeaderName("/home/me/fw/kv770.bin"), "home/me/fw/kv770.bin");
  EXPECT_EQ(FirmwareHeaderName("//srv//fw/KV770.BIN"), "srv//fw/KV770.BIN");
  // A name relative to the working folder becomes the full path, without
  // "." or "..", which receivers refuse as well.
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  const std::string here = std::string(cwd).substr(1);
  EXPECT_EQ(FirmwareHeaderName("fw/./kv770.bin"), here + "/fw/kv770.bin");
  const std::string parent = here.substr(0, here.rfind('/'));
  EXPECT_EQ(FirmwareHeaderName("../kv770.bin"), parent + "/kv770.bin");
}

TEST(FirmwareImageProblem, SaysWhyTheFileWasRefused) {
  test_support::TempFolder dir;
  FirmwareImage image;
  FirmwareTransferReport report;
  EXPECT_FALSE(OpenFirmwareImage(dir.File("none.bin").c_str(), image, &report));
  EXPECT_EQ(FirmwareFileProblem(report), "no such file");
  EXPECT_FALSE(OpenFirmwareImage(dir.path().c_str(), image, &report));
  EXPECT_EQ(FirmwareFileProblem(report), "is a directory");
  EXPECT_FALSE(OpenFirmwareImage("/dev/null", image, &report));
  EXPECT_EQ(FirmwareFileProblem(report), "not a regular file");
  if (::geteuid() != 0) {
    const std::string locked = dir.File("locked.bin");
    test_support::WriteTestFile(locked, "fw");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    EXPECT_FALSE(OpenFirmwareImage(locked.c_str(), image, &report));
    EXPECT_EQ(FirmwareFileProblem(report), "permission denied");
  }
}

TEST(KvctlProbe, APortThatHangsUpDuringTheProbeIsLostNotSilent) {
  ClockSpeedScope fast(20.0);
  sim::SimOptions options;
  options.menu.probeAnswer = sim::ProbeAnswer::Silent;
  sim::SimTracker tracker(options);
  ASSERT_TRUE(tracker.Start());
  HANDLE port = OpenSerialPort(tracker.PortPath().c_str(), 115200);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  std::thread puller([&] {
    platform::SleepMs(1000);
    tracker.PullCable();
  });
  EXPECT_EQ(WatchProbe(port, 30000), ProbeOutcome::Lost);
  puller.join();
  CloseHandle(port);
}

TEST(KvctlProbe, ASilentTrackerIsSilentAndAnAnsweringOneFound) {
  ClockSpeedScope fast(20.0);
  sim::SimOptions options;
  options.menu.probeAnswer = sim::ProbeAnswer::Silent;
  sim::SimTracker silent(options);
  ASSERT_TRUE(silent.Start());
  HANDLE port = OpenSerialPort(silent.PortPath().c_str(), 115200);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WatchProbe(port, 30000), ProbeOutcome::Silent);
  CloseHandle(port);

  sim::SimTracker answering;
  ASSERT_TRUE(answering.Start());
  port = OpenSerialPort(answering.PortPath().c_str(), 115200);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WatchProbe(port, 30000), ProbeOutcome::Found);
  CloseHandle(port);
}

TEST(ImageVersion, AnImageNamesItsVersionOnlyWhenItHoldsExactlyOne) {
  using namespace std::string_literals;
  EXPECT_EQ(FindImageVersion("\x01\x02"
                             "F-0KV770E-V1.5(20100301)\0\xff"s),
            "F-0KV770E-V1.5(20100301)");
  EXPECT_EQ(FindImageVersion("F-0KV7(1) and again F-0KV7(1)"), "F-0KV7(1)") << "copies count once";
  EXPECT_EQ(FindImageVersion("F-0KV7(1) F-0KV7(2)"), std::nullopt) << "two versions name none";
  EXPECT_EQ(FindImageVersion(""), std::nullopt);
  EXPECT_EQ(FindImageVersion("F-0KV770E-V1.5(2010"), std::nullopt) << "cut short at the end";
  EXPECT_EQ(FindImageVersion("F-0KV770E\r\n(1)"), std::nullopt) << "a line end inside";
  EXPECT_EQ(FindImageVersion("F-0KV" + std::string(60, 'x') + ")"), std::nullopt) << "over 64 characters";
  EXPECT_EQ(FindImageVersion("F-0KV" + std::string(58, 'x') + ")"), "F-0KV" + std::string(58, 'x') + ")");
  // A broken candidate neither hides a good one nor counts as a second.
  EXPECT_EQ(FindImageVersion("F-0KV\x01"
                             "F-0KV7(9)"s),
            "F-0KV7(9)");
}

TEST(ImageVersion, TheTrackersAnswerGivesItsWholeVersion) {
  // Whole, unlike the settings exchange, which keeps 21 characters for the layout.
  EXPECT_EQ(FirstVersionText("kv+fwv\r\r\nF-0KV770E-V1.5(20100301)\r\n"), "F-0KV770E-V1.5(20100301)");
  EXPECT_EQ(FirstVersionText("kv+fwv\r\r\nF-0KV770E-V1.5(2010"), std::nullopt) << "not all there yet";
  EXPECT_EQ(FirstVersionText("\r\n==== KV-770 Main Menu ====\r\n"), std::nullopt);
}

TEST(ImageVersion, TheVersionExpectedCountsOnlyAsAWhole) {
  const std::string reported = "F-0KV770E-V1.51(20100301)";
  EXPECT_FALSE(ReportsVersion(reported, "V1.5")) << "V1.5 is not V1.51";
  EXPECT_TRUE(ReportsVersion(reported, "V1.51"));
  EXPECT_FALSE(ReportsVersion("F-0KV770E-V11.5(1)", "1.5(")) << "1.5 is not 11.5";
  EXPECT_FALSE(ReportsVersion("F-0KV770E-V1.5.1(20100301)", "V1.5")) << "V1.5 is not V1.5.1";
  EXPECT_FALSE(ReportsVersion("F-0KV770E-V1.5(20100301)", "V1")) << "V1 is not V1.5";
  EXPECT_FALSE(ReportsVersion("F-0KV770E-V1.5(20100301)", "5(")) << "5 is not 1.5";
  EXPECT_TRUE(ReportsVersion("F-0KV770E-V1.5.(1)", "V1.5")) << "a dot without a digit ends the number";
  EXPECT_TRUE(ReportsVersion("F-0KV770E-V1.5(20100301)", "V1.5"));
  EXPECT_TRUE(ReportsVersion("F-0KV770E-V1.5(20100301)", "770E-V1.5(")) << "a letter before a number is an end";
  EXPECT_TRUE(ReportsVersion("F-0KV770E-V1.5(20100301)", "F-0KV770E-V1.5(20100301)"));
  // A later, whole occurrence counts even when an earlier one is cut.
  EXPECT_TRUE(ReportsVersion("V1.51 then V1.5)", "V1.5"));
  EXPECT_TRUE(ReportsVersion("anything", "")) << "nothing expected: any version";
  EXPECT_FALSE(ReportsVersion("", "V1.5"));
}

TEST(ImageVersion, AnImageWithSeveralVersionsSaysWhichAndComparesNone) {
  EXPECT_EQ(ImageVersionTexts("F-0KV7(1) F-0KV7(2) F-0KV7(1)"), (std::vector<std::string>{"F-0KV7(1)", "F-0KV7(2)"}));
  UpdatePlan plan;
  plan.imageVersionTexts = {"F-0KV7(1)", "F-0KV7(2)"};
  const std::string line = ImageVersionLine(plan, true);
  EXPECT_NE(line.find("2 different version texts (F-0KV7(1), F-0KV7(2))"), std::string::npos) << line;
  EXPECT_NE(line.find("not compared"), std::string::npos) << line;
  plan.imageVersionTexts = {"F-0KV7(1)"};
  plan.imageVersion = plan.expected = "F-0KV7(1)";
  EXPECT_EQ(ImageVersionLine(plan, true), "image F-0KV7(1)");
}

TEST(ExitStatus, AFailureOfOneTrackerIsNotHiddenByAnotherThatWasOnlyNotVerified) {
  EXPECT_EQ(WorseExit(kExitNotVerified, kExitFailed), kExitFailed);
  EXPECT_EQ(WorseExit(kExitFailed, kExitNotVerified), kExitFailed);
  EXPECT_EQ(WorseExit(kExitNotVerified, kExitOpenFailed), kExitOpenFailed);
  EXPECT_EQ(WorseExit(kExitRefused, kExitNotVerified), kExitRefused);
  EXPECT_EQ(WorseExit(kExitOk, kExitNotVerified), kExitNotVerified);
  EXPECT_EQ(WorseExit(kExitNotVerified, kExitInterrupted), kExitInterrupted);
  EXPECT_EQ(WorseExit(kExitFailed, kExitRefused), kExitRefused) << "among failures the higher stays";
}

}  // namespace
