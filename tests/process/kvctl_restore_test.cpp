// kvctl restore run as an unlucky user runs it, against kvsim processes:
// interrupted writes and restores followed by what kvctl advises, a restore
// that must bring the tracker's four messages back byte for byte, and
// backups that were truncated, edited or taken from a half-deleted tracker.
// kvctl and kvsim run at the test speed (process_clock.h).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
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
const char kImei[] = "356938035643809";

// Lists left empty on purpose: the tracker holds empty fields then, which a
// settings file cannot carry.
const char kGood[] =
    "[KV DEVICE SETTING]\r\nDEVICE=Van 7\r\n[MESSAGE 1]\r\nCheck return number=1\r\nPark time=30\r\n"
    "User name=Unit7\r\nSet time zone=+8.00\r\nReport mode=8\r\n[MESSAGE 2]\r\nSOS number1=5550101\r\n"
    "[MESSAGE 4]\r\nGPRS server address=192.0.2.10\r\n";
const char kOther[] =
    "[KV DEVICE SETTING]\r\nDEVICE=Other\r\n[MESSAGE 1]\r\nCheck return number=0\r\nPark time=45\r\n"
    "User name=Other\r\nSet time zone=+1.00\r\nReport mode=2\r\nSMS report format=1\r\n[MESSAGE 2]\r\n"
    "SOS number1=5550999\r\n[MESSAGE 3]\r\nGPRS apn=other.apn\r\n[MESSAGE 4]\r\nGPRS server address=198.51.100.1\r\n";
// kGood's message 1 as kvsim prints it: the empty list fields stay empty.
const std::string kGoodMessage1 = "  1: \"1,,30,,,,,,Unit7,+8.00,8," + std::string(9, ',') + "\\r\"";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The words of the command kvctl names after "to finish the job, run: ",
// without "kvctl" and split at blanks (the test's paths hold none).
std::vector<std::string> AdvisedCommand(const std::string& err) {
  const std::string marker = "to finish the job, run: kvctl ";
  const std::size_t at = err.find(marker);
  if (at == std::string::npos) return {};
  std::string line = err.substr(at + marker.size());
  line = line.substr(0, std::min(line.find('\n'), line.find(')')));
  std::vector<std::string> words;
  for (std::size_t start = 0; start < line.size();) {
    const std::size_t blank = std::min(line.find(' ', start), line.size());
    if (blank > start) words.push_back(line.substr(start, blank - start));
    start = blank + 1;
  }
  return words;
}

class KvctlRestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start(kKvsim, AtTestSpeed({"--quiet", "--imei", kImei})));
    port_ = sim_.ReadLine();
    WriteTestFile(folder_.File("good.ini"), kGood);
    WriteTestFile(folder_.File("other.ini"), kOther);
  }
  std::vector<std::string> With(std::vector<std::string> args) {
    for (const auto& o : {"--backup-dir", "B", "--log", "L"})
      args.push_back(std::string(o) == "B"   ? folder_.File("backups")
                     : std::string(o) == "L" ? folder_.File("audit.jsonl")
                                             : o);
    return args;
  }
  ProgramRun Run(const std::vector<std::string>& args) { return RunAtTestSpeed(kKvctl, With(args)); }
  // A run that must succeed for the test to go on.
  void Ok(const std::vector<std::string>& args) {
    const ProgramRun run = Run(args);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  }
  // A write stopped by `signals` once "delete message 2" was printed.
  int Interrupted(const std::vector<std::string>& args, const std::vector<int>& signals, std::string& err) {
    BackgroundAtTestSpeed run(kKvctl, With(args), kSignalledClockSpeed);
    EXPECT_TRUE(run.WaitForLineStarting("delete message 2")) << run.out;
    for (const int s : signals) run.Signal(s);
    const int code = run.Wait();
    err = run.err;
    return code;
  }
  // The backups oldest first, as kvctl orders them: by the time in the name,
  // then by the number two backups of one second get ("...-HHMMSS-2.ini"
  // comes after "...-HHMMSS.ini", although it sorts before it as text).
  std::vector<std::string> Backups() {
    std::vector<std::pair<std::pair<std::string, int>, std::string>> named;
    for (const auto& e : std::filesystem::directory_iterator(folder_.File("backups"))) {
      if (e.path().extension() != ".ini") continue;
      const std::string stem = e.path().stem().string();  // <IMEI>-YYYYMMDD-HHMMSS[-N]
      const std::size_t timeEnd = std::string(kImei).size() + 16;
      const bool numbered = stem.size() > timeEnd + 1 && stem[timeEnd] == '-' &&
                            stem.find_first_not_of("0123456789", timeEnd + 1) == std::string::npos;
      const int number = numbered ? std::stoi(stem.substr(timeEnd + 1)) : 1;
      named.push_back({{numbered ? stem.substr(0, timeEnd) : stem, number}, e.path().string()});
    }
    std::sort(named.begin(), named.end());
    std::vector<std::string> names;
    for (const auto& [key, path] : named) names.push_back(path);
    return names;
  }

  ScopedRuntimeFolder runtime_;
  TempFolder folder_;
  KvsimChild sim_;
  std::string port_;
};

TEST_F(KvctlRestoreTest, FollowingTheAdviceAfterInterruptedSetAndRestoreBringsBackWhatTheTrackerHeld) {
  ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("good.ini")}));
  const std::vector<std::string> good = sim_.Store();
  ASSERT_EQ(good[0], kGoodMessage1);
  const std::string goodGet = RunAtTestSpeed(kKvctl, {"get", port_}).out;

  // set other.ini stopped during the deletes: it names its own command.
  std::string err;
  EXPECT_EQ(Interrupted({"set", port_, folder_.File("other.ini")}, {SIGINT}, err), 130);
  EXPECT_TRUE(Has(err, "to finish the job, run: kvctl set " + port_ + " --backup-dir ")) << err;
  EXPECT_TRUE(Has(err, folder_.File("other.ini"))) << err;
  EXPECT_EQ(sim_.Store()[0], "  1: (empty)");

  // restore stopped during the deletes: it names the backup it was writing.
  EXPECT_EQ(Interrupted({"restore", port_}, {SIGINT}, err), 130);
  const std::vector<std::string> advice = AdvisedCommand(err);
  ASSERT_GE(advice.size(), 4u) << err;
  EXPECT_EQ(advice[0], "restore");
  EXPECT_EQ(advice[2], "--from");

  // Doing what it says: the tracker holds good.ini's messages again.
  const ProgramRun restore = Run({"restore", port_});
  EXPECT_EQ(restore.exitCode, 0) << restore.out << restore.err;
  EXPECT_TRUE(Has(restore.out, "resuming the interrupted restore of " + advice[3])) << restore.out;
  EXPECT_EQ(sim_.Store(), good);
  EXPECT_EQ(RunAtTestSpeed(kKvctl, {"get", port_}).out, goodGet);

  // Two sets stopped in their deletes: the second one's backup is of a
  // half-deleted tracker, which a plain restore passes over.
  EXPECT_EQ(Interrupted({"set", port_, folder_.File("other.ini")}, {SIGINT}, err), 130);
  EXPECT_EQ(Interrupted({"set", port_, folder_.File("other.ini")}, {SIGINT}, err), 130);
  const ProgramRun again = Run({"restore", port_});
  EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
  EXPECT_TRUE(Has(again.out, "passed over " + folder_.File("backups/"))) << again.out;
  EXPECT_TRUE(Has(again.out, "messages 1, 2 missing on the tracker")) << again.out;
  EXPECT_EQ(sim_.Store(), good);

  // The advice of the interrupted restore, followed literally, works too.
  EXPECT_EQ(Interrupted({"set", port_, folder_.File("other.ini")}, {SIGINT}, err), 130);
  const ProgramRun advised = RunProgram(kKvctl, AdvisedCommand(err));
  EXPECT_EQ(advised.exitCode, 0) << advised.out << advised.err;
  EXPECT_NE(sim_.Store(), good) << "the advised set finishes the set";
  EXPECT_EQ(sim_.Store()[0], "  1: \"0,,45,,,,,,Other,+1.00,2,,1," + std::string(7, ',') + "\\r\"");
}

// A cable pulled while set writes leaves the tracker without some of its
// messages, as an interrupt does: kvctl names what it left and the command
// that finishes the job, and that command, run once the tracker is back
// (here: on a tracker plugged in again), writes it whole.
TEST_F(KvctlRestoreTest, ALineLostDuringTheWriteSaysWhatItLeftAndTheAdviceFinishesTheJob) {
  KvsimChild pulled;
  ASSERT_TRUE(pulled.Start(kKvsim, AtTestSpeed({"--quiet", "--imei", kImei, "--line-pull-cable-after=200"})));
  const std::string lost = pulled.ReadLine();
  const ProgramRun set = Run({"set", lost, folder_.File("good.ini")});
  EXPECT_EQ(set.exitCode, 1) << set.out << set.err;
  ASSERT_TRUE(Has(set.out, "setting message")) << "the cable went during the write\n" << set.out;
  EXPECT_TRUE(Has(set.err, "The tracker was disconnected")) << set.err;
  EXPECT_TRUE(Has(set.err, "deleted and not yet rewritten") || Has(set.err, "rewritten but not checked")) << set.err;
  const std::vector<std::string> advice = AdvisedCommand(set.err);
  ASSERT_GE(advice.size(), 3u) << set.err;
  EXPECT_EQ(advice[0], "set");
  EXPECT_EQ(advice[1], lost);
  EXPECT_EQ(advice.back(), folder_.File("good.ini"));

  std::vector<std::string> again = advice;
  again[1] = port_;
  const ProgramRun finished = RunAtTestSpeed(kKvctl, again);
  EXPECT_EQ(finished.exitCode, 0) << finished.out << finished.err;
  EXPECT_EQ(sim_.Store()[0], kGoodMessage1);
}

// A tracker whose firmware now selects the other settings layout is never
// given a backup's message texts: refused with exit 4 before anything is
// deleted, plain or --from. The command the refusal names (set with the
// backup as the settings file) then gives it the backup's settings.
TEST_F(KvctlRestoreTest, ABackupOfTheOtherLayoutIsRefusedBeforeAnyDeleteAndItsAdviceWorks) {
  ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("good.ini")}));
  ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("good.ini")}));
  const std::string whole = Backups().back();  // of the extended tracker, with good.ini's texts
  KvsimChild basic;
  ASSERT_TRUE(basic.Start(kKvsim, AtTestSpeed({"--quiet", "--imei", kImei, "--firmware=basic"})));
  const std::string basicPort = basic.ReadLine();
  ASSERT_NO_FATAL_FAILURE(Ok({"set", basicPort, "--no-backup", folder_.File("other.ini")}));
  const std::vector<std::string> before = basic.Store();
  const std::size_t backups = Backups().size();

  for (const auto& args : {std::vector<std::string>{"restore", basicPort, "--from", whole},
                           std::vector<std::string>{"restore", basicPort}}) {
    const ProgramRun restore = Run(args);
    EXPECT_EQ(restore.exitCode, 4) << restore.out << restore.err;
    EXPECT_TRUE(Has(restore.err, "extended layout")) << restore.err;
    EXPECT_TRUE(Has(restore.err, "kvctl set PORT FILE")) << restore.err;
    EXPECT_EQ(basic.Store(), before);
  }
  EXPECT_EQ(Backups().size(), backups) << "nothing was read for a backup either";

  const ProgramRun set = Run({"set", basicPort, whole});
  EXPECT_EQ(set.exitCode, 0) << set.out << set.err;
  const std::vector<std::string> after = basic.Store();
  ASSERT_EQ(after.size(), 4u);
  EXPECT_TRUE(Has(after[0], "Unit7")) << after[0];
}

// Ctrl-C while set or restore reads the tracker for its backup leaves the
// tracker untouched, and still names the command that finishes the job;
// for a restore, that command (its backup) is what the next plain restore
// resumes too.
TEST_F(KvctlRestoreTest, CtrlCDuringTheBackupReadNamesTheCommandThatFinishesTheJob) {
  ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("good.ini")}));
  ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("good.ini")}));
  const std::vector<std::string> good = sim_.Store();
  ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("other.ini")}));

  BackgroundAtTestSpeed run(kKvctl, With({"restore", port_}), kSignalledClockSpeed);
  ASSERT_TRUE(run.WaitForLineStarting("restoring ")) << run.out << run.err;
  // The read of four messages lasts well over a second at this clock speed.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  run.Signal(SIGINT);
  EXPECT_EQ(run.Wait(), 130) << run.out << run.err;
  EXPECT_EQ(run.out.find("delete message"), std::string::npos) << run.out;
  EXPECT_TRUE(Has(run.err, "nothing was deleted or written on the tracker")) << run.err;
  const std::vector<std::string> advice = AdvisedCommand(run.err);
  ASSERT_GE(advice.size(), 4u) << run.err;
  EXPECT_EQ(advice[0], "restore");
  EXPECT_EQ(advice[2], "--from");

  // As advised, at the test speed rather than the slow one of the stopped run.
  std::vector<std::string> again = advice;
  for (std::size_t i = 0; i + 1 < again.size(); ++i)
    if (again[i] == "--clock-speed") again[i + 1] = test_support::kProcessClockSpeed;
  const ProgramRun finished = RunProgram(kKvctl, again);
  EXPECT_EQ(finished.exitCode, 0) << finished.out << finished.err;
  EXPECT_EQ(sim_.Store(), good);
}

TEST_F(KvctlRestoreTest, ARestoreThatQuitAtOnceIsResumedWithItsOwnBackup) {
  ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("good.ini")}));
  const std::vector<std::string> good = sim_.Store();
  std::vector<std::string> other;
  std::string err;
  // The signals must reach the restore while it writes. A test process held
  // up after reading "delete message 2" (a loaded machine) finds the restore
  // done instead; then the same start is made again.
  for (int attempt = 1;; ++attempt) {
    // other.ini written whole: the newest backup is good.ini's settings.
    ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("other.ini")}));
    other = sim_.Store();
    // Quit at once in the middle of the restore: its own backup (of
    // other.ini, whole) is now the newest one; the restore in progress is
    // resumed anyway.
    EXPECT_EQ(Interrupted({"restore", port_}, {SIGINT, SIGTERM}, err), 130);
    if (sim_.Store() != good) break;
    ASSERT_LT(attempt, 3) << "every restore ended before its interrupt arrived";
  }
  EXPECT_TRUE(Has(err, "quit at once")) << err;
  EXPECT_TRUE(Has(err, "to finish the job, run: kvctl --clock-speed " +
                           std::string(test_support::kSignalledClockSpeed) + " restore " + port_))
      << err;
  const ProgramRun restore = Run({"restore", port_});
  EXPECT_EQ(restore.exitCode, 0) << restore.out << restore.err;
  EXPECT_TRUE(Has(restore.out, "resuming the interrupted restore")) << restore.out;
  EXPECT_EQ(sim_.Store(), good);

  // Once a restore ended well, a plain restore undoes it again.
  const ProgramRun undo = Run({"restore", port_});
  EXPECT_EQ(undo.exitCode, 0) << undo.out << undo.err;
  EXPECT_FALSE(Has(undo.out, "resuming")) << undo.out;
  EXPECT_EQ(sim_.Store(), other);
}

TEST_F(KvctlRestoreTest, ARestoreStoppedAfterItsBackupIsResumedNotReplacedByThatBackup) {
  ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("good.ini")}));
  const std::vector<std::string> good = sim_.Store();
  ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("other.ini")}));
  // Stopped once its own backup (of other.ini, whole) is saved.
  BackgroundAtTestSpeed stopped(kKvctl, With({"restore", port_}), kSignalledClockSpeed);
  ASSERT_TRUE(stopped.WaitForLineStarting("backup: ")) << stopped.out;
  stopped.Signal(SIGINT);
  EXPECT_EQ(stopped.Wait(), 130);
  EXPECT_TRUE(Has(stopped.err, "to finish the job, run: kvctl restore " + port_ + " --from ")) << stopped.err;
  const ProgramRun restore = Run({"restore", port_});
  EXPECT_EQ(restore.exitCode, 0) << restore.out << restore.err;
  EXPECT_EQ(sim_.Store(), good);
}

TEST_F(KvctlRestoreTest, RestoreWritesTheRecordedTextsByteForByte) {
  // good.ini leaves lists empty: message 1 holds empty list fields.
  ASSERT_NO_FATAL_FAILURE(Ok({"set", "--no-backup", port_, folder_.File("good.ini")}));
  const std::vector<std::string> before = sim_.Store();
  const std::string got = RunAtTestSpeed(kKvctl, {"get", port_}).out;
  ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("other.ini")}));
  const std::string backup = Backups().back();
  // The backup starts with the settings file get printed, so it imports as before.
  const std::string text = ReadTestFile(backup);
  EXPECT_EQ(text.rfind(got, 0), 0u) << text;
  EXPECT_TRUE(Has(text, "[KVCTL BACKUP]\r\nIMEI=" + std::string(kImei) + "\r\nLayout=extended\r\n")) << text;
  EXPECT_TRUE(Has(text, "Message 1=\"1,,30,,,,,,Unit7,+8.00,8," + std::string(9, ',') + "\"\r\n")) << text;

  const ProgramRun restore = Run({"restore", port_});
  EXPECT_EQ(restore.exitCode, 0) << restore.out << restore.err;
  EXPECT_EQ(sim_.Store(), before);
  EXPECT_EQ(sim_.Store()[0], kGoodMessage1);
}

TEST_F(KvctlRestoreTest, TruncatedEditedHalfDeletedAndOldBackupsAreRefusedBeforeAnyDelete) {
  ASSERT_NO_FATAL_FAILURE(Ok({"set", "--no-backup", port_, folder_.File("good.ini")}));
  ASSERT_NO_FATAL_FAILURE(Ok({"set", port_, folder_.File("other.ini")}));
  const std::vector<std::string> other = sim_.Store();
  const std::string backup = Backups().back();
  const std::string text = ReadTestFile(backup);

  auto refusedFrom = [&](const std::string& name, const std::string& bytes, const std::string& reason) {
    WriteTestFile(folder_.File(name), bytes);
    const ProgramRun run = Run({"restore", port_, "--from", folder_.File(name)});
    EXPECT_EQ(run.exitCode, 4) << name << "\n" << run.out << run.err;
    EXPECT_TRUE(Has(run.err, reason)) << name << "\n" << run.err;
    EXPECT_FALSE(Has(run.out, "delete message")) << name;
    EXPECT_EQ(sim_.Store(), other) << name;
  };
  refusedFrom("cut.ini", text.substr(0, 300), "lacks");
  std::string edited = text;
  edited.replace(edited.find("User name=Unit7"), 15, "User name=Unit8");
  refusedFrom("edited.ini", edited, "settings and message texts disagree: \"User Name\"");
  std::string texts = text;
  texts.replace(texts.find("Unit7,+8.00"), 5, "Unit9");
  refusedFrom("texts.ini", texts, "\"Unit7\" in the settings but \"Unit9\" in the text of message 1");
  std::string halfDeleted = text;
  halfDeleted.replace(halfDeleted.find("Missing messages="), 17, "Missing messages=2");
  halfDeleted.erase(halfDeleted.find("Message 2="), halfDeleted.find("Message 3=") - halfDeleted.find("Message 2="));
  refusedFrom("half.ini", halfDeleted, "message 2 missing on the tracker");
  std::string control = text;
  control.replace(control.find("Unit7,+8.00"), 5, "Unit\\x1A");
  refusedFrom("control.ini", control, "control byte (0x1A)");

  // A backup of another tracker is not written to this one.
  std::string foreign = text;
  foreign.replace(foreign.find(std::string("IMEI=") + kImei), 20, "IMEI=490154203237518");
  refusedFrom("foreign.ini", foreign, "is a backup of IMEI 490154203237518");

  // A backup of an earlier kvctl (no message texts) as the newest one: a
  // plain restore stops and names the command; that command writes it.
  const std::string old = text.substr(0, text.find("[KVCTL BACKUP]"));
  const std::string oldPath = folder_.File("backups") + "/" + kImei + "-29991231-235959.ini";
  WriteTestFile(oldPath, old);
  const ProgramRun stopped = Run({"restore", port_});
  EXPECT_EQ(stopped.exitCode, 4) << stopped.out << stopped.err;
  EXPECT_TRUE(Has(stopped.err, "run kvctl restore " + port_ + " --from " + oldPath)) << stopped.err;
  EXPECT_EQ(sim_.Store(), other);
  const ProgramRun list = Run({"restore", "--list"});
  EXPECT_EQ(list.exitCode, 0) << list.err;
  EXPECT_TRUE(
      Has(list.out, oldPath + "  no message texts (a backup of an earlier kvctl, or cut short)  <- restore stops here"))
      << list.out;
  EXPECT_TRUE(Has(list.out, backup + "  whole (extended layout)\n")) << list.out;
  // Cut short, it is refused as such.
  WriteTestFile(oldPath, text.substr(0, 300));
  const ProgramRun cutNewest = Run({"restore", port_});
  EXPECT_EQ(cutNewest.exitCode, 4) << cutNewest.out << cutNewest.err;
  EXPECT_TRUE(Has(cutNewest.err, "holds no message texts and lacks 22 settings (cut short or edited)"))
      << cutNewest.err;
  WriteTestFile(oldPath, old);
  const ProgramRun fromOld = Run({"restore", port_, "--from", oldPath});
  EXPECT_EQ(fromOld.exitCode, 0) << fromOld.out << fromOld.err;
  EXPECT_TRUE(Has(fromOld.err, "holds no message texts")) << fromOld.err;
  EXPECT_EQ(sim_.Store()[0], "  1: \"1,,30,,0,,,,Unit7,+8.00,8,,0,,,0,0,0,,0,\\r\"") << "from its settings";
}

}  // namespace
