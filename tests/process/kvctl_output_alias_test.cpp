// kvctl never writes an output (the audit log, the trace) onto one of its
// inputs (the settings file, the profile table, the firmware image, the
// backup being restored), however the path is spelled, and --no-log writes
// no audit line. Run as processes against kvsim (process_clock.h).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kvsim_child.h"
#include "process_clock.h"
#include "run_program.h"
#include "scoped_runtime_folder.h"
#include "temp_folder.h"

namespace {

using test_support::AtTestSpeed;
using test_support::ReadTestFile;
using test_support::RunAtTestSpeed;
using test_support::TempFolder;
using test_support::WriteTestFile;

const std::string kKvctl = std::string(KV_BINARY_DIR) + "/kvctl";
const std::string kKvsim = std::string(KV_BINARY_DIR) + "/kvsim";

const char kFile[] =
    "[KV DEVICE SETTING]\r\nDEVICE=Van 7\r\n[MESSAGE 1]\r\nUser name=Unit7\r\n[MESSAGE 4]\r\n"
    "GPRS server address=192.0.2.10\r\n";
const std::vector<std::string> kEmptyStore = {"  1: (empty)", "  2: (empty)", "  3: (empty)", "  4: (empty)"};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class KvctlOutputAliasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start(kKvsim, AtTestSpeed({"--quiet"})));
    port_ = sim_.ReadLine();
    WriteTestFile(folder_.File("f.ini"), kFile);
    WriteTestFile(folder_.File("fw.bin"), std::string(4096, '\x5a'));
    WriteTestFile(folder_.File("units.csv"), "IMEI,User name\r\n356938035643809,Van 1\r\n");
    // Other spellings of each input: a symbolic link, a hard link.
    for (const char* name : {"f.ini", "fw.bin", "units.csv"}) {
      ASSERT_EQ(::symlink(folder_.File(name).c_str(), folder_.File(std::string("sym-") + name).c_str()), 0);
      ASSERT_EQ(::link(folder_.File(name).c_str(), folder_.File(std::string("hard-") + name).c_str()), 0);
    }
  }
  // kvctl run in the test's folder, so that "./name" means its files.
  ProgramRun RunHere(std::vector<std::string> args) {
    return test_support::RunAtTestSpeedIn(folder_.path(), kKvctl, std::move(args));
  }
  void ExpectRefused(const std::vector<std::string>& args, const std::string& reason) {
    const std::string before[] = {ReadTestFile(folder_.File("f.ini")), ReadTestFile(folder_.File("fw.bin")),
                                  ReadTestFile(folder_.File("units.csv"))};
    const ProgramRun run = RunHere(args);
    std::string line;
    for (const auto& a : args) line += a + " ";
    EXPECT_EQ(run.exitCode, 2) << line << "\n" << run.out << run.err;
    EXPECT_TRUE(Has(run.err, reason)) << line << "\n" << run.err;
    EXPECT_TRUE(Has(run.err, "nothing was sent to any tracker")) << line << "\n" << run.err;
    EXPECT_EQ(ReadTestFile(folder_.File("f.ini")), before[0]) << line;
    EXPECT_EQ(ReadTestFile(folder_.File("fw.bin")), before[1]) << line;
    EXPECT_EQ(ReadTestFile(folder_.File("units.csv")), before[2]) << line;
  }

  ScopedRuntimeFolder runtime_;
  TempFolder folder_;
  KvsimChild sim_;
  std::string port_;
};

TEST_F(KvctlOutputAliasTest, TheLogAndTheTraceAreNeverAnInputHoweverThePathIsSpelled) {
  for (const std::string log : {"f.ini", "./f.ini", "sym-f.ini", "hard-f.ini"})
    ExpectRefused({"--log", log, "set", port_, "--backup-dir", "backups", "f.ini"},
                  "the audit log " + log + " is the settings file f.ini");
  for (const std::string log : {"fw.bin", "sym-fw.bin", "hard-fw.bin"})
    ExpectRefused({"--log", log, "update", port_, "fw.bin"}, "the audit log " + log + " is the firmware image");
  // watch update's input is a firmware image too, and is named so.
  ExpectRefused({"--log", "./fw.bin", "watch", "update", "fw.bin"}, "the audit log ./fw.bin is the firmware image");
  for (const std::string trace : {"units.csv", "./units.csv", "sym-units.csv", "hard-units.csv"})
    ExpectRefused({"--trace", trace, "set", port_, "--profiles", "units.csv", "--backup-dir", "backups", "--log",
                   "audit.jsonl", "f.ini"},
                  "the trace file " + trace + " is the profile table units.csv");
  // The trace is written when kvctl ends: onto the image it would replace
  // what the next update flashes.
  for (const std::string trace : {"fw.bin", "./fw.bin", "sym-fw.bin", "hard-fw.bin"})
    ExpectRefused({"--trace", trace, "update", port_, "--no-log", "fw.bin"},
                  "the trace file " + trace + " is the firmware image fw.bin");
  // Two outputs that do not exist yet, spelled differently.
  ExpectRefused({"--trace", "new.trace", "--log", "./new.trace", "set", port_, "--backup-dir", "backups", "f.ini"},
                "is the audit log");
  // The log among the backups, where a restore would take it for one.
  ExpectRefused(
      {"--log", "backups/356938035643809-20261207-120000.ini", "set", port_, "--backup-dir", "backups", "f.ini"},
      "would be written among the backups");
  EXPECT_EQ(sim_.Store(), kEmptyStore);
  EXPECT_FALSE(std::filesystem::exists(folder_.File("backups/356938035643809-20261207-120000.ini")));
}

TEST_F(KvctlOutputAliasTest, NoLogWritesNoAuditLineAndExcludesLog) {
  const ProgramRun both = RunHere({"--no-log", "--log", "audit.jsonl", "set", port_, "f.ini"});
  EXPECT_EQ(both.exitCode, 2) << both.err;
  EXPECT_TRUE(Has(both.err, "--log FILE and --no-log exclude each other")) << both.err;

  const ProgramRun set = RunHere({"--no-log", "set", port_, "--backup-dir", "backups", "f.ini"});
  EXPECT_EQ(set.exitCode, 0) << set.out << set.err;
  EXPECT_NE(sim_.Store(), kEmptyStore);
  const char* state = std::getenv("XDG_STATE_HOME");
  ASSERT_NE(state, nullptr);
  EXPECT_FALSE(std::filesystem::exists(std::string(state) + "/kv770/audit.jsonl")) << "no default log either";

  // --log onto the backup restore --from reads.
  std::string backup;
  for (const auto& e : std::filesystem::directory_iterator(folder_.File("backups"))) backup = e.path();
  ASSERT_FALSE(backup.empty());
  const std::string text = ReadTestFile(backup);
  const ProgramRun restore = RunHere({"--log", backup, "restore", port_, "--from", backup, "--backup-dir", "backups"});
  EXPECT_EQ(restore.exitCode, 2) << restore.err;
  EXPECT_TRUE(Has(restore.err, "is the backup")) << restore.err;
  EXPECT_EQ(ReadTestFile(backup), text);
}

}  // namespace
