// kvctl set with settings files as other editors save them, and with paths
// that are no settings file at all, against a kvsim process; both at the
// test speed (process_clock.h).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>

#include "kvsim_child.h"
#include "process_clock.h"
#include "run_program.h"
#include "scoped_runtime_folder.h"
#include "temp_folder.h"

namespace {

using test_support::AtTestSpeed;
using test_support::RunAtTestSpeed;
using test_support::TempFolder;

const std::string kKvctl = std::string(KV_BINARY_DIR) + "/kvctl";
const std::string kKvsim = std::string(KV_BINARY_DIR) + "/kvsim";

const char kFile[] =
    "[KV DEVICE SETTING]\r\nDEVICE=Van 7\r\n[MESSAGE 1]\r\nCheck return number=1\r\nPark time=30\r\n"
    "User name=Unit7\r\nSet time zone=+8.00\r\nReport mode=8\r\n[MESSAGE 2]\r\nSOS number1=5550101\r\n"
    "[MESSAGE 4]\r\nGPRS server address=192.0.2.10\r\n";

// What the plain file leaves in the store (the extended layout).
const std::vector<std::string> kStored = {
    "  1: \"1,,30,,,,,,Unit7,+8.00,8," + std::string(9, ',') + "\\r\"",
    "  2: \"5550101,,,,,,,\\r\"",
    "  3: \",,,,,,\\r\"",
    "  4: \"192.0.2.10,\\r\"",
};
const std::vector<std::string> kEmpty = {"  1: (empty)", "  2: (empty)", "  3: (empty)", "  4: (empty)"};

class KvctlSettingsFileTest : public ::testing::Test {
 protected:
  std::string StartSim() {
    EXPECT_TRUE(sim_.Start(kKvsim, AtTestSpeed({"--quiet"})));
    return sim_.ReadLine();
  }
  // The simulated store as kvsim prints it on SIGUSR1.
  std::vector<std::string> Store() { return sim_.Store(); }

  ScopedRuntimeFolder runtime_;
  TempFolder folder_;
  KvsimChild sim_;
};

std::string WithSpacedSections(std::string text) {
  for (const char* name : {"KV DEVICE SETTING", "MESSAGE 1", "MESSAGE 2", "MESSAGE 4"}) {
    const std::string plain = std::string("[") + name + "]";
    text.replace(text.find(plain), plain.size(), std::string("[ ") + name + " ]");
  }
  return text;
}

std::string AsUtf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

TEST_F(KvctlSettingsFileTest, SpacedSectionNamesAndUtf16LeaveTheStoreOfThePlainFile) {
  const std::string port = StartSim();
  const std::pair<const char*, std::string> files[] = {
      {"spaced.ini", WithSpacedSections(kFile)},
      {"unicode.ini", AsUtf16Le(kFile)},
  };
  for (const auto& [name, text] : files) {
    test_support::WriteTestFile(folder_.File(name), text);
    const ProgramRun set = RunAtTestSpeed(kKvctl, {"set", port, folder_.File(name)});
    EXPECT_EQ(set.exitCode, 0) << name << "\n" << set.out << set.err;
    EXPECT_EQ(Store(), kStored) << name;
  }
}

TEST_F(KvctlSettingsFileTest, WhatIsNoSettingsFileEndsTheRunAtOnceAndNothingIsWritten) {
  const std::string port = StartSim();
  ASSERT_EQ(mkfifo(folder_.File("fifo.ini").c_str(), 0600), 0);
  const std::pair<std::string, std::string> paths[] = {
      {folder_.File("fifo.ini"), "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {folder_.path(), "is a directory"},
  };
  for (const auto& [path, reason] : paths) {
    // A run that reads the file without bound would block (FIFO) or fill
    // the memory (/dev/zero); the bound only catches that (exit -1).
    const ProgramRun set = RunAtTestSpeed(kKvctl, {"set", port, path}, std::chrono::seconds(30));
    EXPECT_EQ(set.exitCode, 4) << path << "\n" << set.err;
    EXPECT_NE(set.err.find(path + ": " + reason), std::string::npos) << set.err;
    EXPECT_EQ(set.out.find("delete message"), std::string::npos) << "nothing may be deleted";
  }
  EXPECT_EQ(Store(), kEmpty);
}

}  // namespace
