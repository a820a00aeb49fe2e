// kvctl provisioning a box of trackers, run as processes against several
// kvsim processes with their own IMEIs: set with a profile table, the
// backup taken before every write and restore, the audit log, and watch set
// provisioning trackers as they appear. kvctl and kvsim run at the test
// speed (process_clock.h).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "background_program.h"
#include "json_line.h"
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
// A write with its backup takes about 13 s at the tracker's real pace, well
// under a second at the test speed; the bound only catches a hang.
constexpr auto kJobBound = std::chrono::seconds(120);

const char kImeiA[] = "356938035643809";
const char kImeiB[] = "490154203237518";
const char kImeiC[] = "351756051523999";

// One simulated tracker process and its message store.
class Sim {
 public:
  std::string Start(const std::string& imei, std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"--quiet", "--imei", imei});
    EXPECT_TRUE(child_.Start(kKvsim, AtTestSpeed(extra)));
    port_ = child_.ReadLine();
    return port_;
  }
  const std::string& Port() const { return port_; }
  // The four message slots as kvsim prints them on SIGUSR1.
  std::vector<std::string> Store() { return child_.Store(); }
  void Kill() { child_.StopWith(SIGKILL); }
  pid_t Pid() const { return child_.Pid(); }

 private:
  KvsimChild child_;
  std::string port_;
};

// The store after a write of these message texts (extended layout).
std::vector<std::string> StoreOf(const std::string& m1, const std::string& m2, const std::string& m3,
                                 const std::string& m4) {
  return {"  1: \"" + m1 + "\\r\"", "  2: \"" + m2 + "\\r\"", "  3: \"" + m3 + "\\r\"", "  4: \"" + m4 + "\\r\""};
}
const std::vector<std::string> kEmptyStore = {"  1: (empty)", "  2: (empty)", "  3: (empty)", "  4: (empty)"};

// Message 1 of the extended layout: 20 fields, each ending in a comma.
std::string Message1(const std::string& checkReturn, const std::string& parkTime, const std::string& userName,
                     const std::string& timeZone, const std::string& mode) {
  return checkReturn + ",," + parkTime + ",,,,,," + userName + "," + timeZone + "," + mode + "," + std::string(9, ',');
}

const char kBase[] =
    "[KV DEVICE SETTING]\r\nDEVICE=Box\r\n[MESSAGE 1]\r\nCheck return number=1\r\nPark time=30\r\n"
    "User name=Base\r\nSet time zone=+8.00\r\nReport mode=8\r\n[MESSAGE 2]\r\nSOS number1=5550000\r\n"
    "[MESSAGE 4]\r\nGPRS server address=192.0.2.10\r\n";

// A whole settings file of the extended layout, as get prints it.
const char kBefore[] =
    "[KV DEVICE SETTING]\r\nDEVICE=\r\n[MESSAGE 1]\r\nCheck return number=0\r\nMaximum GPS fixing time=\r\n"
    "Park time=\r\nPark interval time=\r\nPark return times=0\r\nSleep time=\r\nSleep interval time=\r\n"
    "Sleep retrun times=\r\nUser name=Before\r\nSet time zone=+0.00\r\nReport mode=\r\nReport interval time=\r\n"
    "SMS report format=0\r\nSMS report times=\r\nSensitivity=\r\nReport Method=0\r\nEcho_EN=0\r\nMode_status=0\r\n"
    "disconnect_interval=\r\nEnable Cell ID=0\r\nGSM_Off_in_Static=0\r\n[MESSAGE 2]\r\nSOS number1=\r\n"
    "SOS number2=\r\nSOS number3=\r\nDefault return number=\r\nSMS return number=\r\nPark return number=\r\n"
    "Sleep return number=\r\n[MESSAGE 3]\r\nGPRS port=\r\nGPRS apn=old.apn\r\nGPRS username=\r\n"
    "GPRS user password=\r\nGPRS dns1=\r\nGPRS dns2=\r\n[MESSAGE 4]\r\nGPRS server address=\r\n";

// Lines of the audit log, each parsed; fails the test on a line that is
// not a flat JSON object.
std::vector<std::map<std::string, std::string>> AuditLines(const std::string& path) {
  std::vector<std::map<std::string, std::string>> lines;
  const std::string text = ReadTestFile(path);
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    EXPECT_NE(end, std::string::npos) << "the last line has no line end";
    if (end == std::string::npos) break;
    const auto fields = ParseFlatJsonObject(std::string_view(text).substr(at, end - at));
    EXPECT_TRUE(fields.has_value()) << text.substr(at, end - at);
    if (fields) lines.push_back(*fields);
    at = end + 1;
  }
  return lines;
}

std::string Sha256Sum(const std::string& path) {
  const ProgramRun run = RunProgram("/usr/bin/sha256sum", {path});
  return run.out.substr(0, 64);
}

class KvctlProvisionTest : public ::testing::Test {
 protected:
  std::vector<std::string> Options() {
    return {"--backup-dir", temp_.File("backups"), "--log", temp_.File("audit.jsonl")};
  }
  std::string BackupOf(const std::string& imei) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(temp_.File("backups"), ec))
      if (entry.path().filename().string().rfind(std::string(imei) + "-", 0) == 0) names.push_back(entry.path());
    EXPECT_EQ(names.size(), 1u) << imei;
    return names.empty() ? std::string() : names.front();
  }

  ScopedRuntimeFolder runtime_;  // also the XDG data and state folders
  TempFolder temp_;
};

TEST_F(KvctlProvisionTest, ProfilesGiveEachTrackerItsRowBackupsEqualGetAndRestoreUndoes) {
  Sim a, b, c;
  a.Start(kImeiA);
  b.Start(kImeiB);
  c.Start(kImeiC);

  // Each tracker starts with settings of its own, which its backup must keep.
  // Every list holds a value, as after any write from the window: a list
  // field left empty reads back as its first item, so only such a store
  // comes back byte for byte.
  WriteTestFile(temp_.File("before.ini"), kBefore);
  const ProgramRun seed = RunAtTestSpeed(
      kKvctl,
      {"set", "--no-backup", "--log", temp_.File("seed.jsonl"), a.Port(), b.Port(), c.Port(), temp_.File("before.ini")},
      kJobBound);
  ASSERT_EQ(seed.exitCode, 0) << seed.err;
  const std::vector<std::string> seeded = a.Store();
  std::map<std::string, std::string> got;
  for (Sim* sim : {&a, &b, &c}) {
    const ProgramRun get = RunAtTestSpeed(kKvctl, {"get", sim->Port()}, kJobBound);
    ASSERT_EQ(get.exitCode, 0) << get.err;
    got[sim->Port()] = get.out;
  }
  EXPECT_EQ(got[a.Port()], kBefore);

  // A byte-order mark, CRLF, quoted fields with a comma-free value, key names
  // in another letter case, an empty cell (the base value stays).
  WriteTestFile(temp_.File("units.csv"), "\xEF\xBB\xBFIMEI,DEVICE,user name,SOS number1,Park time\r\n" +
                                             std::string(kImeiA) + ",Van 1,\"Van 1\",5550101,\r\n\"" + kImeiB +
                                             "\",\"Van, 2\",Van 2,,45\r\n");
  WriteTestFile(temp_.File("base.ini"), kBase);
  std::vector<std::string> args = {"set", "--profiles", temp_.File("units.csv"), a.Port(), b.Port(), c.Port()};
  for (const auto& o : Options()) args.push_back(o);
  args.push_back(temp_.File("base.ini"));
  const ProgramRun set = RunAtTestSpeed(kKvctl, args, kJobBound);
  ASSERT_EQ(set.exitCode, 0) << set.out << set.err;

  const std::string m3 = ",,,,,,", m4 = "192.0.2.10,";
  EXPECT_EQ(a.Store(), StoreOf(Message1("1", "30", "Van 1", "+8.00", "8"), "5550101,,,,,,,", m3, m4));
  EXPECT_EQ(b.Store(), StoreOf(Message1("1", "45", "Van 2", "+8.00", "8"), "5550000,,,,,,,", m3, m4));
  EXPECT_EQ(c.Store(), StoreOf(Message1("1", "30", "Base", "+8.00", "8"), "5550000,,,,,,,", m3, m4))
      << "a tracker without a row gets the base file";

  // The backup is what get printed before the write, byte for byte, and the
  // message texts after it.
  std::map<std::string, std::string> backups;
  for (const auto& [sim, imei] : std::vector<std::pair<Sim*, std::string>>{{&a, kImeiA}, {&b, kImeiB}, {&c, kImeiC}}) {
    backups[imei] = BackupOf(imei);
    const std::string backup = ReadTestFile(backups[imei]);
    EXPECT_EQ(backup.substr(0, got[sim->Port()].size()), got[sim->Port()]) << imei;
    EXPECT_EQ(backup.find("[KVCTL BACKUP]\r\nIMEI=" + imei + "\r\n"), got[sim->Port()].size()) << backup;
  }

  // One audit line per tracker, with the digests of the files used.
  const auto lines = AuditLines(temp_.File("audit.jsonl"));
  ASSERT_EQ(lines.size(), 3u);
  const std::map<std::string, std::string> rows = {{kImeiA, "2"}, {kImeiB, "3"}, {kImeiC, "null"}};
  for (const auto& line : lines) {
    const std::string imei = line.at("imei");
    EXPECT_EQ(line.at("command"), "set");
    EXPECT_EQ(line.at("settingsFile"), temp_.File("base.ini"));
    EXPECT_EQ(line.at("settingsFileSha256"), Sha256Sum(temp_.File("base.ini")));
    EXPECT_EQ(line.at("profiles"), temp_.File("units.csv"));
    EXPECT_EQ(line.at("profilesSha256"), Sha256Sum(temp_.File("units.csv")));
    EXPECT_EQ(line.at("profileRow"), rows.at(imei)) << imei;
    EXPECT_EQ(line.at("backup"), backups.at(imei));
    EXPECT_EQ(line.at("verdict"), "Setting Message OK ");
    EXPECT_EQ(line.at("exitStatus"), "0");
    EXPECT_NE(line.at("firmwareVersion"), "null");
    EXPECT_EQ(line.at("time").size(), 24u) << line.at("time");
  }

  // restore writes A's newest backup back: the store from before the set.
  args = {"restore", a.Port()};
  for (const auto& o : Options()) args.push_back(o);
  const ProgramRun restore = RunAtTestSpeed(kKvctl, args, kJobBound);
  ASSERT_EQ(restore.exitCode, 0) << restore.out << restore.err;
  EXPECT_NE(restore.out.find("restoring " + backups[kImeiA]), std::string::npos) << restore.out;
  EXPECT_EQ(a.Store(), seeded);
  const ProgramRun after = RunAtTestSpeed(kKvctl, {"get", a.Port()}, kJobBound);
  EXPECT_EQ(after.out, got[a.Port()]);
  const auto restoreLines = AuditLines(temp_.File("audit.jsonl"));
  ASSERT_EQ(restoreLines.size(), 4u);
  EXPECT_EQ(restoreLines[3].at("command"), "restore");
  EXPECT_EQ(restoreLines[3].at("settingsFile"), backups[kImeiA]);
  EXPECT_EQ(restoreLines[3].at("settingsFileSha256"), Sha256Sum(backups[kImeiA]));
  EXPECT_NE(restoreLines[3].at("backup"), backups[kImeiA]) << "restore backs up what it replaces";
}

TEST_F(KvctlProvisionTest, BadTablesAreRefusedBeforeAnyTrackerIsTouched) {
  Sim a;
  a.Start(kImeiA);
  WriteTestFile(temp_.File("base.ini"), kBase);
  const std::pair<std::string, std::string> tables[] = {
      {"IMEI,User name,Colour\r\n" + std::string(kImeiA) + ",Van 1,red\r\n",
       "row 1, column 3 (\"Colour\"): not a key of the settings file"},
      {"IMEI,User name\r\n" + std::string(kImeiA) + ",Van 1\r\n" + kImeiB + ",Van 2\r\n" + kImeiA + ",Van 3\r\n",
       "row 4, column 1 (\"IMEI\"): IMEI " + std::string(kImeiA) + " is in row 2 already"},
      {"IMEI,User name\r\n" + std::string(kImeiB) + ",Van 2\r\n" + kImeiA + ",\"Van,1\"\r\n",
       "row 3, column 2 (\"User name\"): \"User Name\" (userName): comma at character 4"},
      {"IMEI,User name\r\n" + std::string(kImeiA) + ",\"Van 1\r\n", "a quoted field is not closed"},
  };
  for (const auto& [table, reason] : tables) {
    WriteTestFile(temp_.File("units.csv"), table);
    std::vector<std::string> args = {"set", "--profiles", temp_.File("units.csv"), a.Port()};
    for (const auto& o : Options()) args.push_back(o);
    args.push_back(temp_.File("base.ini"));
    const ProgramRun run = RunAtTestSpeed(kKvctl, args, kJobBound);
    EXPECT_EQ(run.exitCode, 4) << reason;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("no tracker was touched"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(a.Store(), kEmptyStore);
  EXPECT_FALSE(std::filesystem::exists(temp_.File("backups")));
  EXPECT_FALSE(std::filesystem::exists(temp_.File("audit.jsonl")));
}

TEST_F(KvctlProvisionTest, AFailedBackupReadWritesNothingUnlessNoBackup) {
  Sim a;
  a.Start(kImeiA, {"--gsm-error=read:3/1"});  // the first read of message 3 fails once
  WriteTestFile(temp_.File("base.ini"), kBase);
  std::vector<std::string> args = {"set", a.Port()};
  for (const auto& o : Options()) args.push_back(o);
  args.push_back(temp_.File("base.ini"));
  const ProgramRun refused = RunAtTestSpeed(kKvctl, args, kJobBound);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("nothing was written (--no-backup writes without a backup)"), std::string::npos)
      << refused.err;
  EXPECT_EQ(refused.out.find("delete message"), std::string::npos) << refused.out;
  EXPECT_EQ(a.Store(), kEmptyStore);
  auto lines = AuditLines(temp_.File("audit.jsonl"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("exitStatus"), "1");
  EXPECT_EQ(lines[0].count("backup"), 0u) << "no backup was taken";

  args.insert(args.begin() + 1, "--no-backup");
  const ProgramRun written = RunAtTestSpeed(kKvctl, args, kJobBound);
  EXPECT_EQ(written.exitCode, 0) << written.err;
  EXPECT_NE(a.Store(), kEmptyStore);
  EXPECT_TRUE(std::filesystem::is_empty(temp_.File("backups"))) << "no backup, neither failed nor with --no-backup";
}

// kvctl watch set running in the background: its standard output read line
// by line while it runs, its exit status when it ends.
struct WatchProcess : test_support::BackgroundAtTestSpeed {
  explicit WatchProcess(std::vector<std::string> args)
      : BackgroundAtTestSpeed(kKvctl, std::move(args), test_support::kProcessClockSpeed, ErrorStream::Inherited) {}
  // The next output line holding `text`; empty when the output ended or
  // `bound` ran out first.
  std::string WaitForLine(const std::string& text, std::chrono::seconds bound = kJobBound) {
    return WaitForLineWith(text, bound);
  }
  int Wait() { return BackgroundProgram::Wait(kJobBound); }
};

std::size_t CountLines(const std::vector<std::string>& lines, const std::string& text) {
  std::size_t n = 0;
  for (const auto& line : lines)
    if (line.find(text) != std::string::npos) ++n;
  return n;
}

TEST_F(KvctlProvisionTest, WatchWritesEachPluggedTrackerOnceAndCtrlCFinishesTheWriteInProgress) {
  Sim present;
  present.Start("111111111111111");  // plugged in before watch starts: left alone
  WriteTestFile(temp_.File("base.ini"), kBase);
  WriteTestFile(temp_.File("units.csv"), "IMEI,User name\n" + std::string(kImeiB) + ",Van 2\n");
  std::vector<std::string> args = {"watch", "set", "--profiles", temp_.File("units.csv")};
  for (const auto& o : Options()) args.push_back(o);
  args.push_back(temp_.File("base.ini"));
  WatchProcess watch(args);
  ASSERT_NE(watch.WaitForLine("waiting for trackers"), "");
  EXPECT_EQ(CountLines(watch.Lines(), present.Port() + "  already plugged in: left alone"), 1u);

  // Trackers started one after another, one of them staying plugged in.
  Sim first;
  first.Start(kImeiA);
  const std::string firstLine = watch.WaitForLine("  " + std::string(kImeiA) + "  ");
  EXPECT_EQ(firstLine.rfind(first.Port() + "  " + kImeiA + "  Setting Message OK  ", 0), 0u) << firstLine;
  EXPECT_EQ(firstLine.find("again"), std::string::npos);

  Sim staying;
  staying.Start(kImeiB);
  const std::string stayingLine = watch.WaitForLine("  " + std::string(kImeiB) + "  ");
  EXPECT_EQ(stayingLine.rfind(staying.Port() + "  " + kImeiB + "  Setting Message OK  ", 0), 0u) << stayingLine;
  EXPECT_EQ(staying.Store()[0], "  1: \"" + Message1("1", "30", "Van 2", "+8.00", "8") + "\\r\"");

  // The first tracker pulled out and plugged in again: written again, and said so.
  first.Kill();
  Sim again;
  again.Start(kImeiA);
  const std::string againLine = watch.WaitForLine("  " + std::string(kImeiA) + "  ");
  EXPECT_EQ(againLine.rfind(again.Port() + "  " + kImeiA + "  Setting Message OK  ", 0), 0u) << againLine;
  EXPECT_NE(againLine.find("(plugged in again: written a 2nd time)"), std::string::npos) << againLine;

  // Ctrl-C while a tracker is being written: its write ends, then the summary.
  Sim last;
  last.Start(kImeiC);
  ASSERT_NE(watch.WaitForLine("[" + last.Port() + "] backup: "), "");
  watch.Signal(SIGINT);
  const std::string lastLine = watch.WaitForLine("  " + std::string(kImeiC) + "  ");
  EXPECT_EQ(lastLine.rfind(last.Port() + "  " + kImeiC + "  Setting Message OK  ", 0), 0u) << lastLine;
  EXPECT_NE(watch.WaitForLine("written 4, failed 0, skipped 0"), "");
  EXPECT_EQ(watch.Wait(), 0);
  EXPECT_EQ(last.Store(),
            StoreOf(Message1("1", "30", "Base", "+8.00", "8"), "5550000,,,,,,,", ",,,,,,", "192.0.2.10,"));

  // Written exactly once each (twice for the tracker plugged in twice), and
  // never the one that was there before.
  std::map<std::string, int> writes;
  for (const auto& line : AuditLines(temp_.File("audit.jsonl"))) ++writes[line.at("imei")];
  EXPECT_EQ(writes, (std::map<std::string, int>{{kImeiA, 2}, {kImeiB, 1}, {kImeiC, 1}}));
  EXPECT_EQ(CountLines(watch.Lines(), "  Setting Message OK  "), 4u);
  EXPECT_EQ(present.Store(), kEmptyStore);
}

// A port that appears without any device notice (a bridge whose driver does
// not announce it): the tracker is advertised in another runtime folder and
// hard-linked into the watched one, which the folder watch does not report.
// The slow re-listing still finds and writes it.
TEST_F(KvctlProvisionTest, WatchWritesATrackerThatAppearedWithoutANotice) {
  WriteTestFile(temp_.File("base.ini"), kBase);
  std::vector<std::string> args = {"watch", "set"};
  for (const auto& o : Options()) args.push_back(o);
  args.push_back(temp_.File("base.ini"));
  WatchProcess watch(args);
  ASSERT_NE(watch.WaitForLine("waiting for trackers"), "");

  const std::string elsewhere = temp_.File("elsewhere");
  std::filesystem::create_directory(elsewhere);
  ::setenv("XDG_RUNTIME_DIR", elsewhere.c_str(), 1);
  Sim quiet;
  quiet.Start(kImeiA);
  ::setenv("XDG_RUNTIME_DIR", runtime_.Base().c_str(), 1);
  const std::string advert = [&] {
    for (const auto& entry : std::filesystem::directory_iterator(elsewhere + "/kv770-sim"))
      if (entry.path().filename().string().rfind(std::to_string(quiet.Pid()) + "-", 0) == 0)
        return entry.path().string();
    return std::string();
  }();
  ASSERT_NE(advert, "");
  const std::string watched = runtime_.Base() + "/kv770-sim/" + std::filesystem::path(advert).filename().string();
  ASSERT_EQ(::link(advert.c_str(), watched.c_str()), 0) << watched;

  const std::string line = watch.WaitForLine("  " + std::string(kImeiA) + "  ", std::chrono::seconds(30));
  EXPECT_EQ(line.rfind(quiet.Port() + "  " + kImeiA + "  Setting Message OK  ", 0), 0u) << line;
  watch.Signal(SIGINT);
  EXPECT_NE(watch.WaitForLine("written 1, failed 0, skipped 0"), "");
  EXPECT_EQ(watch.Wait(), 0);
  EXPECT_EQ(quiet.Store()[0], "  1: \"" + Message1("1", "30", "Base", "+8.00", "8") + "\\r\"");
}

}  // namespace
