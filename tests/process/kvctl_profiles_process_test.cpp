// kvctl set --profiles against kvsim processes: the table's cells checked
// and converted before any tracker is touched (control bytes, IMEIs, code
// page 1252), rows that matched no tracker listed at the end, and --strict
// and the "sent empty" notice counting what the tracker's row gives. kvctl
// and kvsim run at the test speed (process_clock.h).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "background_program.h"
#include "kvsim_child.h"
#include "process_clock.h"
#include "run_program.h"
#include "scoped_runtime_folder.h"
#include "temp_folder.h"

namespace {

using test_support::AtTestSpeed;
using test_support::BackgroundAtTestSpeed;
using test_support::RunAtTestSpeed;
using test_support::TempFolder;
using test_support::WriteTestFile;

const std::string kKvctl = std::string(KV_BINARY_DIR) + "/kvctl";
const std::string kKvsim = std::string(KV_BINARY_DIR) + "/kvsim";
constexpr auto kJobBound = std::chrono::seconds(120);

const char kImeiA[] = "356938035643809";
const char kImeiC[] = "351756051523999";

// Every setting of the extended layout, as get prints it.
const std::string kWhole =
    "[KV DEVICE SETTING]\r\nDEVICE=\r\n[MESSAGE 1]\r\nCheck return number=0\r\nMaximum GPS fixing time=\r\n"
    "Park time=\r\nPark interval time=\r\nPark return times=0\r\nSleep time=\r\nSleep interval time=\r\n"
    "Sleep retrun times=\r\nUser name=Base\r\nSet time zone=+0.00\r\nReport mode=\r\nReport interval time=\r\n"
    "SMS report format=0\r\nSMS report times=\r\nSensitivity=\r\nReport Method=0\r\nEcho_EN=0\r\nMode_status=0\r\n"
    "disconnect_interval=\r\nEnable Cell ID=0\r\nGSM_Off_in_Static=0\r\n[MESSAGE 2]\r\nSOS number1=\r\n"
    "SOS number2=\r\nSOS number3=\r\nDefault return number=\r\nSMS return number=\r\nPark return number=\r\n"
    "Sleep return number=\r\n[MESSAGE 3]\r\nGPRS port=\r\nGPRS apn=\r\nGPRS username=\r\n"
    "GPRS user password=\r\nGPRS dns1=\r\nGPRS dns2=\r\n[MESSAGE 4]\r\nGPRS server address=\r\n";

class KvctlProfilesProcessTest : public ::testing::Test {
 protected:
  std::string StartSim() {
    EXPECT_TRUE(sim_.Start(kKvsim, AtTestSpeed({"--quiet", "--imei", kImeiA})));
    return sim_.ReadLine();
  }
  ProgramRun Set(const std::string& port, const std::string& table, const std::string& file,
                 std::vector<std::string> options = {}) {
    WriteTestFile(temp_.File("units.csv"), table);
    WriteTestFile(temp_.File("fleet.ini"), file);
    std::vector<std::string> args = {"set",          port,
                                     "--profiles",   temp_.File("units.csv"),
                                     "--backup-dir", temp_.File("backups"),
                                     "--log",        temp_.File("audit.jsonl")};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(temp_.File("fleet.ini"));
    return RunAtTestSpeed(kKvctl, args, kJobBound);
  }

  ScopedRuntimeFolder runtime_;
  TempFolder temp_;
  KvsimChild sim_;
};

TEST_F(KvctlProfilesProcessTest, CellsThatCannotBeSentAreRefusedWithTheirPlaceBeforeAnyTrackerIsTouched) {
  const std::string port = StartSim();
  const std::string header = "IMEI,User name\r\n";
  const std::pair<std::string, std::string> tables[] = {
      {header + kImeiA + ",Van" + std::string(1, '\0') + "7\r\n",
       "row 2, column 2: a control byte (0x00) at character 4"},
      {header + std::string(kImeiA).substr(1) + ",Van 7\r\n",
       "row 2, column 1 (\"IMEI\"): \"" + std::string(kImeiA).substr(1) + "\" is not an IMEI (15 digits, not 14"},
      {header + kImeiA + ",\xE5\xAD\x97\r\n",
       "row 2, column 2: \"\xE5\xAD\x97\" (U+5B57) at character 1 is not in "
       "code page 1252"},
  };
  for (const auto& [table, reason] : tables) {
    const ProgramRun run = Set(port, table, kWhole);
    EXPECT_EQ(run.exitCode, 4) << reason << "\n" << run.out << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("no tracker was touched"), std::string::npos) << run.err;
  }
  const std::vector<std::string> empty = {"  1: (empty)", "  2: (empty)", "  3: (empty)", "  4: (empty)"};
  EXPECT_EQ(sim_.Store(), empty);
  EXPECT_FALSE(std::filesystem::exists(temp_.File("backups")));
}

TEST_F(KvctlProfilesProcessTest, AUtf8TableReachesTheTrackerInCodePage1252AndUnmatchedRowsAreListed) {
  const std::string port = StartSim();
  // No byte-order mark: the table is UTF-8 because its bytes are.
  const ProgramRun run =
      Set(port, "IMEI,User name\r\n" + std::string(kImeiA) + ",M\xC3\xBCller\r\n" + kImeiC + ",Other\r\n", kWhole);
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const auto store = sim_.Store();
  ASSERT_EQ(store.size(), 4u);
  EXPECT_EQ(store[0].find("M\\xc3\\xbc"), std::string::npos) << store[0];
  EXPECT_NE(store[0].find(",M\\xfcller,"), std::string::npos) << store[0];
  EXPECT_NE(run.out.find("1 row of " + temp_.File("units.csv") + " matched no tracker:\n  row 3: IMEI " + kImeiC),
            std::string::npos)
      << run.out;
}

// watch set ends with the same list: the rows of the table that no tracker
// plugged in during the watch matched.
TEST_F(KvctlProfilesProcessTest, WatchSetListsTheRowsNoPluggedTrackerMatched) {
  WriteTestFile(temp_.File("units.csv"),
                "IMEI,User name\r\n" + std::string(kImeiA) + ",Van 1\r\n" + kImeiC + ",Van 3\r\n");
  WriteTestFile(temp_.File("fleet.ini"), kWhole);
  BackgroundAtTestSpeed watch(
      kKvctl, {"watch", "set", "--profiles", temp_.File("units.csv"), "--backup-dir", temp_.File("backups"), "--log",
               temp_.File("audit.jsonl"), temp_.File("fleet.ini")});
  ASSERT_TRUE(watch.WaitForText("waiting for trackers")) << watch.out << watch.err;
  StartSim();
  ASSERT_TRUE(watch.WaitForText(std::string(kImeiA) + "  Setting Message OK")) << watch.out << watch.err;
  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Wait(), 0) << watch.out << watch.err;
  EXPECT_NE(watch.out.find("written 1, failed 0, skipped 0\n1 row of " + temp_.File("units.csv") +
                           " matched no tracker:\n  row 3: IMEI " + kImeiC),
            std::string::npos)
      << watch.out;
  EXPECT_NE(sim_.Store()[0].find(",Van 1,"), std::string::npos);
}

TEST_F(KvctlProfilesProcessTest, WhatTheTrackersRowGivesIsNotMissingFromTheFile) {
  const std::string port = StartSim();
  std::string lacking = kWhole;
  lacking.erase(lacking.find("User name=Base\r\n"), 16);
  const std::string table = "IMEI,User name\r\n" + std::string(kImeiA) + ",Van 1\r\n";
  const ProgramRun plain = Set(port, table, lacking);
  ASSERT_EQ(plain.exitCode, 0) << plain.out << plain.err;
  EXPECT_EQ(plain.err.find("lacks"), std::string::npos) << "the row gives the user name:\n" << plain.err;

  const ProgramRun strict = Set(port, table, lacking, {"--strict", "--only-listed"});
  EXPECT_EQ(strict.exitCode, 0) << strict.out << strict.err;
  EXPECT_NE(sim_.Store()[0].find(",Van 1,"), std::string::npos);

  // Without --only-listed a tracker without a row would get the file alone.
  const ProgramRun unlisted = Set(port, table, lacking, {"--strict"});
  EXPECT_EQ(unlisted.exitCode, 4) << unlisted.out << unlisted.err;
  EXPECT_NE(unlisted.err.find("trackers without a row"), std::string::npos) << unlisted.err;
}

// A row's value for a setting that trackers of the basic layout do not hold
// (the extended layout's own six) cannot reach such a tracker: the write
// goes on with the rest, and kvctl says which of the row's cells were not
// sent, instead of a plain OK for a value the table asked for.
TEST_F(KvctlProfilesProcessTest, ARowsValueABasicTrackerCannotHoldIsNamedAsNotSent) {
  ASSERT_TRUE(sim_.Start(kKvsim, AtTestSpeed({"--quiet", "--imei", kImeiA, "--firmware=basic"})));
  const std::string port = sim_.ReadLine();
  const ProgramRun run = Set(port, "IMEI,Echo_EN,User name\r\n" + std::string(kImeiA) + ",1,Van 2\r\n", kWhole);
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(sim_.Store()[0].find(",Van 2,"), std::string::npos);
  EXPECT_NE(run.err.find("row 2 of " + temp_.File("units.csv") + " gives Echo_EN"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("not sent"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("User name"), std::string::npos) << "the user name was sent\n" << run.err;
}

}  // namespace
