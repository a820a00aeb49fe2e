// kvctl's fleet commands at their edges, run as processes against kvsim
// (process_clock.h): an export and a trace that land on the same file once
// -o's %p is expanded, and an audit log whose last line was cut short.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

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
using test_support::kSignalledClockSpeed;
using test_support::ReadTestFile;
using test_support::RunAtTestSpeed;
using test_support::TempFolder;
using test_support::WriteTestFile;

const std::string kKvctl = std::string(KV_BINARY_DIR) + "/kvctl";
const std::string kKvsim = std::string(KV_BINARY_DIR) + "/kvsim";

const char kFile[] =
    "[KV DEVICE SETTING]\r\nDEVICE=Van 7\r\n[MESSAGE 1]\r\nUser name=Unit7\r\n[MESSAGE 4]\r\n"
    "GPRS server address=192.0.2.10\r\n";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t nl = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

class KvctlFleetEdgesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start(kKvsim, AtTestSpeed({"--quiet"})));
    port_ = sim_.ReadLine();
    WriteTestFile(folder_.File("f.ini"), kFile);
  }
  // kvctl run in the test's folder, so that relative names mean its files.
  ProgramRun RunHere(std::vector<std::string> args) {
    return test_support::RunAtTestSpeedIn(folder_.path(), kKvctl, std::move(args));
  }
  // The name -o's %p becomes for the simulated tracker's port.
  std::string PortName() const {
    std::string name = port_;
    for (auto& c : name)
      if (c == '/') c = '-';
    if (!name.empty() && name[0] == '-') name.erase(0, 1);
    return name;
  }

  ScopedRuntimeFolder runtime_;
  TempFolder folder_;
  KvsimChild sim_;
  std::string port_;
};

// The trace named as the file -o's %p expands to would replace the export
// when kvctl ends: refused like the trace named as -o itself.
TEST_F(KvctlFleetEdgesTest, TraceOntoTheExpandedExportIsRefusedBeforeAnythingIsSent) {
  const std::string trace = "van-" + PortName() + ".ini";
  const ProgramRun run = RunHere({"--trace", trace, "get", port_, "-o", "van-%p.ini"});
  EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
  EXPECT_TRUE(Has(run.err, "is also the output file")) << run.err;
  EXPECT_FALSE(std::filesystem::exists(folder_.File(trace)));

  // Another spelling of the expanded name, and an export that is there.
  WriteTestFile(folder_.File(trace), "old export\n");
  const ProgramRun again = RunHere({"--trace", "./" + trace, "get", port_, "-o", "van-%p.ini"});
  EXPECT_EQ(again.exitCode, 2) << again.out << again.err;
  EXPECT_EQ(ReadTestFile(folder_.File(trace)), "old export\n");
}

// A line cut short in the audit log (a full disk, a killed writer) must not
// swallow the next one: every later line stays whole, one JSON object a line.
TEST_F(KvctlFleetEdgesTest, AnAuditLineAfterALineCutShortStartsOnItsOwnLine) {
  const std::string cut = "{\"time\":\"2026-12-07T10:00:00.000Z\",\"command\":\"set\",\"po";
  WriteTestFile(folder_.File("audit.jsonl"), cut);
  const ProgramRun run = RunHere({"--log", "audit.jsonl", "set", port_, "--backup-dir", "backups", "f.ini"});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const std::vector<std::string> lines = Lines(ReadTestFile(folder_.File("audit.jsonl")));
  ASSERT_EQ(lines.size(), 2u) << ReadTestFile(folder_.File("audit.jsonl"));
  EXPECT_EQ(lines[0], cut) << "the line cut short is kept as it was";
  EXPECT_EQ(lines[1].rfind("{\"time\":", 0), 0u) << lines[1];
  EXPECT_TRUE(Has(lines[1], "\"verdict\":\"Setting Message OK \"")) << lines[1];
  EXPECT_EQ(lines[1].back(), '}') << lines[1];
}

// restore --from a backup kept elsewhere, on an account whose backup folder
// does not exist yet (a new machine, another --backup-dir): the folder is
// made, as set makes it, and the restore runs.
TEST_F(KvctlFleetEdgesTest, RestoreFromABackupKeptElsewhereMakesTheBackupFolder) {
  for (int i = 0; i < 2; ++i) {
    const ProgramRun set = RunHere({"--no-log", "set", port_, "--backup-dir", "kept", "f.ini"});
    ASSERT_EQ(set.exitCode, 0) << set.out << set.err;
  }
  // The second set's backup is the whole one (kvsim starts empty).
  std::string whole;
  for (const auto& e : std::filesystem::directory_iterator(folder_.File("kept")))
    if (e.path().extension() == ".ini" && Has(ReadTestFile(e.path()), "Missing messages=\r\n")) whole = e.path();
  ASSERT_FALSE(whole.empty());
  const std::vector<std::string> before = sim_.Store();

  const ProgramRun restore = RunHere({"--no-log", "restore", port_, "--from", whole, "--backup-dir", "new/backups"});
  EXPECT_EQ(restore.exitCode, 0) << restore.out << restore.err;
  EXPECT_TRUE(Has(restore.out, "Setting Message OK ")) << restore.out;
  EXPECT_EQ(sim_.Store(), before);
  EXPECT_TRUE(std::filesystem::is_directory(folder_.File("new/backups")));
}

// restore --from given what is no backup file (a FIFO nobody writes, the
// zero device, a folder, the null device, one byte over the size a backup may
// have) is refused at once with exit 4, and the tracker keeps its messages.
TEST_F(KvctlFleetEdgesTest, RestoreFromWhatIsNoBackupFileIsRefusedAtOnceAndTheTrackerKeepsItsMessages) {
  ASSERT_EQ(RunHere({"--no-log", "set", port_, "--no-backup", "f.ini"}).exitCode, 0);
  const std::vector<std::string> before = sim_.Store();
  ASSERT_EQ(::mkfifo(folder_.File("fifo.ini").c_str(), 0600), 0);
  std::filesystem::create_directory(folder_.File("folder.ini"));
  WriteTestFile(folder_.File("over.ini"), std::string(1024 * 1024 + 1, 'a'));
  const std::pair<std::string, std::string> refused[] = {{"fifo.ini", "not a regular file"},
                                                         {"/dev/zero", "not a regular file"},
                                                         {"folder.ini", "is a directory"},
                                                         {"/dev/null", "not a regular file"},
                                                         {"over.ini", "too large (more than 1048576 bytes)"}};
  for (const auto& [from, why] : refused) {
    const ProgramRun run = RunHere({"--no-log", "restore", port_, "--from", from, "--backup-dir", "bk"});
    EXPECT_EQ(run.exitCode, 4) << from << "\n" << run.out << run.err;
    EXPECT_TRUE(Has(run.err, "cannot read the backup " + from + ": " + why + " (nothing was sent to any tracker)"))
        << run.err;
  }
  EXPECT_EQ(sim_.Store(), before);
}

// An interrupted restore --from whose tracker has no backup in the folder
// yet (stopped before its own backup was saved): restore --list shows the
// restore that a plain restore resumes, and the plain restore resumes it.
TEST_F(KvctlFleetEdgesTest, RestoreListShowsARestoreInProgressOfATrackerWithoutBackups) {
  for (int i = 0; i < 2; ++i) {
    const ProgramRun set = RunHere({"--no-log", "set", port_, "--backup-dir", "kept", "f.ini"});
    ASSERT_EQ(set.exitCode, 0) << set.out << set.err;
  }
  std::string whole;
  for (const auto& e : std::filesystem::directory_iterator(folder_.File("kept")))
    if (e.path().extension() == ".ini" && Has(ReadTestFile(e.path()), "Missing messages=\r\n")) whole = e.path();
  ASSERT_FALSE(whole.empty());
  // The note as an interrupted restore --from leaves it.
  std::filesystem::create_directories(folder_.File("fresh"));
  WriteTestFile(folder_.File("fresh/356938035643809.restore-in-progress"), whole + "\n");

  const ProgramRun list = RunHere({"restore", "--list", "--backup-dir", "fresh"});
  EXPECT_EQ(list.exitCode, 0) << list.out << list.err;
  EXPECT_TRUE(Has(list.out, "356938035643809:")) << list.out;
  EXPECT_TRUE(Has(list.out, "an interrupted restore is resumed from " + whole)) << list.out;
  EXPECT_FALSE(Has(list.out, "no backups")) << list.out;

  const ProgramRun restore = RunHere({"--no-log", "restore", port_, "--backup-dir", "fresh"});
  EXPECT_EQ(restore.exitCode, 0) << restore.out << restore.err;
  EXPECT_TRUE(Has(restore.out, "resuming the interrupted restore of " + whole)) << restore.out;
}

// The audit line names the backup by its full path, as it names the
// settings file: a relative name means nothing once the folder changed.
TEST_F(KvctlFleetEdgesTest, TheAuditLineNamesTheBackupByItsFullPath) {
  const ProgramRun run = RunHere({"--log", "audit.jsonl", "set", port_, "--backup-dir", "backups", "f.ini"});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const std::string line = ReadTestFile(folder_.File("audit.jsonl"));
  EXPECT_TRUE(Has(line, "\"backup\":\"" + folder_.File("backups/356938035643809-"))) << line;
}

// The trace of a command that writes no settings (get, imei, ...) stays out
// of the backup folder and off the audit log too: it would replace a backup
// or the record of every write when kvctl ends.
TEST_F(KvctlFleetEdgesTest, ATraceOfGetNeverReplacesABackupOrTheAuditLog) {
  const ProgramRun set = RunHere({"set", port_, "f.ini"});  // the default folder and log
  ASSERT_EQ(set.exitCode, 0) << set.out << set.err;
  const std::string backups = std::string(std::getenv("XDG_DATA_HOME")) + "/kv770/backups";
  const std::string log = std::string(std::getenv("XDG_STATE_HOME")) + "/kv770/audit.jsonl";
  std::string backup;
  for (const auto& e : std::filesystem::directory_iterator(backups)) backup = e.path();
  ASSERT_FALSE(backup.empty());
  const std::string backupText = ReadTestFile(backup), logText = ReadTestFile(log);

  const ProgramRun intoBackup = RunHere({"--trace", backup, "get", port_});
  EXPECT_EQ(intoBackup.exitCode, 2) << intoBackup.out << intoBackup.err;
  EXPECT_TRUE(Has(intoBackup.err, "would be written among the backups")) << intoBackup.err;
  const ProgramRun ontoLog = RunHere({"--trace", log, "imei", port_});
  EXPECT_EQ(ontoLog.exitCode, 2) << ontoLog.out << ontoLog.err;
  EXPECT_TRUE(Has(ontoLog.err, "is the audit log")) << ontoLog.err;
  EXPECT_EQ(ReadTestFile(backup), backupText);
  EXPECT_EQ(ReadTestFile(log), logText);
}

// get -o as the trace is held: an export never takes the place of a backup
// that restore would write back, nor of the audit log. A file of its own
// beside them is refused as well, before the tracker is asked anything.
TEST_F(KvctlFleetEdgesTest, AnExportOfGetNeverReplacesABackupOrTheAuditLog) {
  for (int i = 0; i < 2; ++i) {  // the default folder and log; the second backup is whole
    const ProgramRun set = RunHere({"set", port_, "f.ini"});
    ASSERT_EQ(set.exitCode, 0) << set.out << set.err;
  }
  const std::string backups = std::string(std::getenv("XDG_DATA_HOME")) + "/kv770/backups";
  const std::string log = std::string(std::getenv("XDG_STATE_HOME")) + "/kv770/audit.jsonl";
  std::string backup;
  for (const auto& e : std::filesystem::directory_iterator(backups))
    if (Has(ReadTestFile(e.path()), "Missing messages=\r\n")) backup = e.path();
  ASSERT_FALSE(backup.empty());
  const std::string backupText = ReadTestFile(backup), logText = ReadTestFile(log);

  for (const std::string& output : {backup, backups + "/%p.ini", log}) {
    const ProgramRun get = RunHere({"get", port_, "-o", output});
    EXPECT_EQ(get.exitCode, 2) << output << "\n" << get.out << get.err;
    EXPECT_TRUE(Has(get.err, "nothing was sent")) << get.err;
  }
  EXPECT_EQ(ReadTestFile(backup), backupText);
  EXPECT_EQ(ReadTestFile(log), logText);
  EXPECT_FALSE(std::filesystem::exists(backups + "/" + PortName() + ".ini"));
  const ProgramRun list = RunHere({"restore", "--list"});
  EXPECT_TRUE(Has(list.out, backup + "  whole (extended layout)  <- restore writes this")) << list.out;
}

// Two ports whose names differ only where %p turns a slash into a dash
// (links made by a udev rule, say) give one file name: the second export
// would replace the first, and both would be reported read.
TEST_F(KvctlFleetEdgesTest, PortsWhoseNamesGiveOneExportFileAreRefusedBeforeAnythingIsSent) {
  KvsimChild second;
  ASSERT_TRUE(second.Start(kKvsim, AtTestSpeed({"--quiet", "--imei", "490154203237518"})));
  const std::string other = second.ReadLine();
  std::filesystem::create_directories(folder_.File("by-name/van"));
  const std::string dashed = folder_.File("by-name/van-7"), slashed = folder_.File("by-name/van/7");
  ASSERT_EQ(::symlink(port_.c_str(), dashed.c_str()), 0);
  ASSERT_EQ(::symlink(other.c_str(), slashed.c_str()), 0);
  std::filesystem::create_directories(folder_.File("out"));

  // The links are no simulated trackers' names: kvctl runs at its own speed.
  const ProgramRun get = RunProgram(kKvctl, {"get", dashed, slashed, "-o", folder_.File("out/%p.ini")});
  EXPECT_EQ(get.exitCode, 2) << get.out << get.err;
  EXPECT_TRUE(Has(get.err, "both give the output file")) << get.err;
  EXPECT_TRUE(std::filesystem::is_empty(folder_.File("out")));
}

// A watch quit at once (the third Ctrl-C) names the command that finishes
// the job on a tracker it was working on: the one-tracker command with PORT
// where the tracker's port goes, for watch update as for watch set.
TEST_F(KvctlFleetEdgesTest, AWatchQuitAtOnceAdvisesTheOneTrackerCommandWithItsPort) {
  WriteTestFile(folder_.File("fw.bin"), std::string(50000, '\x5a'));
  const std::vector<std::vector<std::string>> watches = {
      {"--no-log", "watch", "update", folder_.File("fw.bin")},
      {"--no-log", "watch", "set", "--no-backup", folder_.File("f.ini")}};
  for (const auto& args : watches) {
    BackgroundAtTestSpeed watch(kKvctl, args, kSignalledClockSpeed);
    ASSERT_TRUE(watch.WaitForLineStarting("waiting for trackers")) << watch.out << watch.err;
    KvsimChild plugged;  // a slow line: the tracker is still in hand when kvctl quits
    ASSERT_TRUE(plugged.Start(kKvsim, AtTestSpeed({"--quiet", "--line-baud=9600"})));
    ASSERT_TRUE(watch.WaitForText("Connecting to the tracker", true)) << watch.err;
    watch.Signal(SIGINT);
    ASSERT_TRUE(watch.WaitForText("stopping after the 1 tracker", true)) << watch.err;
    // Two different signals: neither can be merged into the other.
    watch.Signal(SIGTERM);
    watch.Signal(SIGINT);
    EXPECT_EQ(watch.Wait(), 130) << watch.err;
    const std::string marker = "--no-log " + args[2] + " PORT ";
    EXPECT_TRUE(Has(watch.err, marker)) << watch.err;
    EXPECT_TRUE(Has(watch.err, args.back() + " (PORT: ")) << watch.err;
  }
}

// Without a usable XDG_DATA_HOME or XDG_STATE_HOME (unset, or relative, which
// the folders' rules ignore) the backups and the audit log go under the home
// folder, where --help says; a relative value never makes a folder where
// kvctl runs.
TEST_F(KvctlFleetEdgesTest, WithoutUsableXdgFoldersBackupsAndTheLogGoUnderHome) {
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  const std::string data = std::getenv("XDG_DATA_HOME"), state = std::getenv("XDG_STATE_HOME");
  const std::string home = folder_.File("home");
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_DATA_HOME", "relative/data", 1);
  ::unsetenv("XDG_STATE_HOME");
  const ProgramRun set = RunHere({"set", port_, "f.ini"});
  const ProgramRun list = RunHere({"restore", "--list"});
  if (oldHome) ::setenv("HOME", savedHome.c_str(), 1);
  else ::unsetenv("HOME");
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  ::setenv("XDG_STATE_HOME", state.c_str(), 1);

  ASSERT_EQ(set.exitCode, 0) << set.out << set.err;
  EXPECT_TRUE(Has(set.out, "backup: " + home + "/.local/share/kv770/backups/356938035643809-")) << set.out;
  EXPECT_TRUE(Has(ReadTestFile(home + "/.local/state/kv770/audit.jsonl"), "\"verdict\":\"Setting Message OK \""));
  EXPECT_TRUE(Has(list.out, home + "/.local/share/kv770/backups/356938035643809-")) << list.out;
  EXPECT_FALSE(std::filesystem::exists(folder_.File("relative")));
}

}  // namespace
