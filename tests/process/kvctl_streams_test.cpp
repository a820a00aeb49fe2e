// kvctl's standard streams as pipelines and terminals treat them, against
// kvsim processes: a reader that goes away in the middle of a write or an
// update (| head), a terminal that hangs up under tee, a full disk and
// streams closed at start, a terminal that cannot redraw a line (TERM=dumb),
// the permissions of the files that can hold the GPRS password, the
// tracker's code page 1252 text in JSON, and the test clock refused on a
// port that is not a simulated tracker. kvctl and kvsim run at the test
// speed (process_clock.h).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
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
using test_support::BackgroundAtTestSpeed;
using test_support::ReadTestFile;
using test_support::RunAtTestSpeed;
using test_support::TempFolder;
using test_support::WriteTestFile;

const std::string kKvctl = std::string(KV_BINARY_DIR) + "/kvctl";
const std::string kKvsim = std::string(KV_BINARY_DIR) + "/kvsim";
constexpr auto kBound = std::chrono::seconds(120);

const char kSettings[] =
    "[KV DEVICE SETTING]\r\nDEVICE=Box\r\n[MESSAGE 1]\r\nCheck return number=1\r\nPark time=30\r\n"
    "User name=Van\r\nSet time zone=+8.00\r\nReport mode=8\r\n[MESSAGE 2]\r\nSOS number1=5550000\r\n"
    "[MESSAGE 3]\r\nGPRS apn=fleet.apn\r\nGPRS user password=s3cret\r\n[MESSAGE 4]\r\n"
    "GPRS server address=192.0.2.10\r\n";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Quoted(const std::string& word) {
  std::string out = "'";
  for (const char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// kvctl at the test speed as a shell word list.
std::string KvctlLine(const std::vector<std::string>& args) {
  std::string line = Quoted(kKvctl);
  for (const auto& a : AtTestSpeed(args)) line += " " + Quoted(a);
  return line;
}

// Runs `script` with bash; what it prints on standard output and error.
ProgramRun Bash(const std::string& script) { return RunProgram("/bin/bash", {"-c", script}, kBound); }

// The four message lines and the image lines of kvsim's report.
std::vector<std::string> Report(KvsimChild& sim) {
  ::kill(sim.Pid(), SIGUSR1);
  std::vector<std::string> lines;
  bool images = false;
  for (std::string line = sim.ReadLine(); !line.empty(); line = sim.ReadLine()) {
    if (line.rfind("Received images", 0) == 0) {
      images = true;
      if (Has(line, "(none)")) break;
      continue;
    }
    if (line.rfind("  ", 0) == 0) lines.push_back(line);
    if (images) break;
  }
  return lines;
}

// A fresh pseudo-terminal: its master end (closed with the object, which
// hangs the terminal up) and the path of its terminal end.
struct PseudoTerminal {
  PseudoTerminal() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) terminal = ::ptsname(master);
  }
  ~PseudoTerminal() { HangUp(); }
  void HangUp() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  // Appends what the terminal shows within `ms`; false when nothing came.
  bool Read(std::string& into, int ms) {
    pollfd p{master, POLLIN, 0};
    char buffer[512];
    ssize_t n = 0;
    if (::poll(&p, 1, ms) <= 0 || (n = ::read(master, buffer, sizeof buffer)) <= 0) return false;
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  int master = -1;
  std::string terminal;  // empty when it could not be made
};

// Everything a program prints on a pseudo-terminal (its standard output and
// error), run with TERM set to `term`; its exit status, or -1.
int RunOnTerminal(const std::vector<std::string>& args, const char* term, std::string& said) {
  PseudoTerminal pty;
  if (pty.terminal.empty()) return -1;
  const std::string slave = pty.terminal;
  const pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    const int tty = ::open(slave.c_str(), O_RDWR);
    if (tty < 0) ::_exit(120);
    ::dup2(tty, 1);
    ::dup2(tty, 2);
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::setenv("TERM", term, 1);
    std::vector<std::string> all = AtTestSpeed(args);
    all.insert(all.begin(), kKvctl);
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(kKvctl.c_str(), argv.data());
    ::_exit(121);
  }
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool ended = false;
  while (std::chrono::steady_clock::now() < deadline) {
    if (pty.Read(said, 50)) continue;
    if (ended) break;  // drained after the exit
    ended = ::waitpid(child, &status, WNOHANG) == child;
  }
  if (!ended) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
  }
  return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class KvctlStreamsTest : public ::testing::Test {
 protected:
  std::string StartSim(KvsimChild& sim, const std::string& imei = "356938035643809") {
    EXPECT_TRUE(sim.Start(kKvsim, AtTestSpeed({"--quiet", "--imei", imei})));
    return sim.ReadLine();
  }
  std::vector<std::string> Provision() {
    return {"--backup-dir", temp_.File("backups"), "--log", temp_.File("audit.jsonl")};
  }
  // The store a plain, successful set of kSettings leaves on a fresh tracker.
  std::vector<std::string> StoreAfterPlainSet() {
    KvsimChild reference;
    const std::string port = StartSim(reference, "490154203237518");
    const ProgramRun set = RunAtTestSpeed(
        kKvctl, {"set", "--no-backup", "--log", temp_.File("reference.jsonl"), port, temp_.File("box.ini")}, kBound);
    EXPECT_EQ(set.exitCode, 0) << set.err;
    return reference.Store();
  }
  // The audit log's lines, each parsed.
  std::vector<std::map<std::string, std::string>> AuditLines() {
    std::vector<std::map<std::string, std::string>> lines;
    const std::string text = ReadTestFile(temp_.File("audit.jsonl"));
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
      end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      const auto fields = ParseFlatJsonObject(std::string_view(text).substr(at, end - at));
      EXPECT_TRUE(fields.has_value()) << "not a JSON line: " << text.substr(at, end - at);
      if (fields) lines.push_back(*fields);
    }
    return lines;
  }
  void SetUp() override { WriteTestFile(temp_.File("box.ini"), kSettings); }

  ScopedRuntimeFolder runtime_;
  TempFolder temp_;
};

// A closed pipe never stops a write: the tracker is written and verified,
// the audit line is appended, and the lost report makes the status 1 (not
// death by SIGPIPE, 141).
TEST_F(KvctlStreamsTest, SetWhoseReaderGoesAwayFinishesTheTrackerAndExitsOne) {
  const std::vector<std::string> wanted = StoreAfterPlainSet();
  KvsimChild sim;
  const std::string port = StartSim(sim);
  std::vector<std::string> args = {"set", port};
  for (const auto& o : Provision()) args.push_back(o);
  args.push_back(temp_.File("box.ini"));
  const ProgramRun run = Bash(KvctlLine(args) + " | head -1 >/dev/null; echo \"status ${PIPESTATUS[0]}\"");
  EXPECT_EQ(run.out, "status 1\n") << run.err;
  EXPECT_TRUE(Has(run.err, "kvctl: output lost: the report could not be written to standard output")) << run.err;
  EXPECT_EQ(sim.Store(), wanted);
  const auto lines = AuditLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("verdict"), "Setting Message OK ");
}

// An update whose reader goes away sends the whole image: the tracker is
// never left in its receiver by a dying kvctl.
TEST_F(KvctlStreamsTest, UpdateWhoseReaderGoesAwaySendsTheWholeImage) {
  KvsimChild sim;
  const std::string port = StartSim(sim);
  const std::string image = temp_.File("fw.bin");
  WriteTestFile(image, std::string(40 * 1024, 'f'));
  const ProgramRun run = Bash(KvctlLine({"update", port, "--log", temp_.File("audit.jsonl"), image}) +
                              " | head -1 >/dev/null; echo \"status ${PIPESTATUS[0]}\"");
  EXPECT_EQ(run.out, "status 1\n") << run.err;
  const auto report = Report(sim);
  ASSERT_EQ(report.size(), 5u);
  EXPECT_TRUE(Has(report[4], "40960 bytes, complete")) << report[4];
  const auto lines = AuditLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("verdict"), "updated");
}

// watch set | head: the tracker plugged in after the reader went away is
// written whole, then watch ends by itself with status 1.
TEST_F(KvctlStreamsTest, WatchWhoseReaderGoesAwayFinishesTheTrackerInHandAndStops) {
  const std::vector<std::string> wanted = StoreAfterPlainSet();
  std::vector<std::string> args = {"watch", "set"};
  for (const auto& o : Provision()) args.push_back(o);
  args.push_back(temp_.File("box.ini"));
  const std::string first = temp_.File("first-line");
  BackgroundProgram shell(
      "/bin/bash", {"-c", KvctlLine(args) + " | head -1 >" + Quoted(first) + "; echo \"status ${PIPESTATUS[0]}\""},
      BackgroundProgram::ErrorStream::Inherited);
  ASSERT_TRUE(shell.Started());
  // head has its line and is gone before the tracker comes.
  for (int i = 0; i < 200 && ReadTestFile(first).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ReadTestFile(first), "waiting for trackers to be plugged in; Ctrl-C ends\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  KvsimChild sim;
  StartSim(sim);
  shell.Wait();
  const std::string said = shell.out;
  EXPECT_EQ(said, "status 1\n") << "watch ends by itself after the tracker in hand";
  EXPECT_EQ(sim.Store(), wanted);
  const auto lines = AuditLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("verdict"), "Setting Message OK ");
}

// Runs `kvctl args | tee` as the job of an interactive shell on a
// pseudo-terminal and hangs the terminal up once kvctl said `hangUpAfter`:
// the shell hangs up the job, tee dies, and kvctl's writes fail on both
// streams. Returns kvctl's exit status as its wrapper recorded it.
std::string ExitStatusAfterAHangUpUnderTee(const std::vector<std::string>& args, const std::string& hangUpAfter,
                                           TempFolder& temp) {
  const std::string status = temp.File("status");
  // The wrapper outlives the hang-up only to record kvctl's exit status.
  const std::string job = "sh -c " + Quoted("trap '' HUP; " + KvctlLine(args) + "; echo $? >" + Quoted(status)) +
                          " | tee " + Quoted(temp.File("tee.log"));
  PseudoTerminal pty;
  EXPECT_FALSE(pty.terminal.empty());
  const std::string slave = pty.terminal;
  const pid_t shell = ::fork();
  if (shell < 0) return "fork failed";
  if (shell == 0) {
    // An interactive shell with the terminal as its controlling terminal:
    // on the hang-up it passes SIGHUP on to its jobs.
    ::setsid();
    const int tty = ::open(slave.c_str(), O_RDWR);
    if (tty < 0) ::_exit(120);
    for (int fd = 0; fd <= 2; ++fd) ::dup2(tty, fd);
    ::execl("/bin/bash", "bash", "--norc", "--noprofile", "-i", "-c", job.c_str(), static_cast<char*>(nullptr));
    ::_exit(121);
  }
  std::string said;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!Has(said, hangUpAfter) && std::chrono::steady_clock::now() < deadline) pty.Read(said, 20);
  EXPECT_TRUE(Has(said, hangUpAfter)) << said;
  pty.HangUp();
  ::waitpid(shell, nullptr, 0);
  for (int i = 0; i < 600 && ReadTestFile(status).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return ReadTestFile(status);
}

// The terminal closes under `kvctl set … | tee log` in the middle of the
// write (once the backup is taken): the tracker is still written whole and
// the audit line appended; the status says the report was lost.
TEST_F(KvctlStreamsTest, ATerminalThatHangsUpUnderTeeLeavesTheTrackerWritten) {
  const std::vector<std::string> wanted = StoreAfterPlainSet();
  KvsimChild sim;
  const std::string port = StartSim(sim);
  std::vector<std::string> args = {"set", port};
  for (const auto& o : Provision()) args.push_back(o);
  args.push_back(temp_.File("box.ini"));
  EXPECT_EQ(ExitStatusAfterAHangUpUnderTee(args, "backup: ", temp_), "1\n") << "kvctl's exit status";
  EXPECT_EQ(sim.Store(), wanted);
  const auto lines = AuditLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("verdict"), "Setting Message OK ");
}

// The same hang-up during a firmware transfer: the whole image is sent, the
// tracker's restart is checked and logged, never a boot loader left waiting.
TEST_F(KvctlStreamsTest, ATerminalThatHangsUpUnderTeeDuringAnUpdateLeavesTheImageSent) {
  KvsimChild sim;
  const std::string port = StartSim(sim);
  const std::string image = temp_.File("fw.bin");
  // Long enough at the test speed (about 2 s) for the hang-up to come during it.
  WriteTestFile(image, std::string(400 * 1024, 'f'));
  EXPECT_EQ(
      ExitStatusAfterAHangUpUnderTee({"update", port, "--log", temp_.File("audit.jsonl"), image}, "Sending ", temp_),
      "1\n")
      << "kvctl's exit status";
  const auto report = Report(sim);
  ASSERT_EQ(report.size(), 5u);
  EXPECT_TRUE(Has(report[4], "409600 bytes, complete")) << report[4];
  const auto lines = AuditLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("verdict"), "updated");
}

// A hang-up is not the user asking to stop: however often it comes, the
// write goes on to its end, and with its report delivered kvctl exits 0.
TEST_F(KvctlStreamsTest, RepeatedHangUpsNeverStopAWrite) {
  const std::vector<std::string> wanted = StoreAfterPlainSet();
  KvsimChild sim;
  const std::string port = StartSim(sim);
  std::vector<std::string> args = {"set", port};
  for (const auto& o : Provision()) args.push_back(o);
  args.push_back(temp_.File("box.ini"));
  BackgroundAtTestSpeed kvctl(kKvctl, args);
  ASSERT_TRUE(kvctl.Started());
  bool hungUp = false;
  if (kvctl.WaitForText("backup: ")) {
    hungUp = true;
    for (int i = 0; i < 3; ++i) {
      kvctl.Signal(SIGHUP);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  const int status = kvctl.Wait();
  const std::string said = kvctl.out;
  EXPECT_TRUE(hungUp) << said;
  ASSERT_NE(status, -1) << "killed by a signal";
  EXPECT_EQ(status, 0) << said;
  EXPECT_TRUE(Has(said, "Setting Message OK")) << said;
  EXPECT_EQ(sim.Store(), wanted);
}

// A report that cannot be written is not a success: a full disk, standard
// output closed at start.
TEST_F(KvctlStreamsTest, AReportThatDoesNotReachStandardOutputEndsWithStatusOne) {
  KvsimChild sim;
  const std::string port = StartSim(sim);
  // A backup for restore --list to report.
  ASSERT_EQ(
      RunAtTestSpeed(kKvctl, {"set", port, "--no-log", "--backup-dir", temp_.File("backups"), temp_.File("box.ini")})
          .exitCode,
      0);
  for (const std::string& redirect : {std::string(">/dev/full"), std::string(">&-")}) {
    for (const auto& command :
         {KvctlLine({"get", port}), KvctlLine({"imei", port}), KvctlLine({"ports"}), KvctlLine({"version", port}),
          KvctlLine({"diff", port, temp_.File("box.ini")}),
          KvctlLine({"restore", "--list", "--backup-dir", temp_.File("backups")}), KvctlLine({"update", "--help"})}) {
      const ProgramRun run = Bash(command + " " + redirect + "; echo \"status $?\" >&2");
      EXPECT_TRUE(Has(run.err, "status 1\n")) << command << redirect << "\n" << run.err;
      EXPECT_TRUE(Has(run.err, "kvctl: output lost: the report could not be written to standard output")) << run.err;
    }
  }
  // The same commands that can write their report still succeed.
  EXPECT_EQ(RunAtTestSpeed(kKvctl, {"imei", port}).exitCode, 0);
}

// With all three standard streams closed at start, no file kvctl opens takes
// their place: the audit log holds its one JSON line and nothing else.
TEST_F(KvctlStreamsTest, StreamsClosedAtStartGetNoFileKvctlOpens) {
  const std::vector<std::string> wanted = StoreAfterPlainSet();
  KvsimChild sim;
  const std::string port = StartSim(sim);
  std::vector<std::string> args = {"set", port};
  for (const auto& o : Provision()) args.push_back(o);
  args.push_back(temp_.File("box.ini"));
  const ProgramRun run = Bash(KvctlLine(args) + " <&- >&- 2>&-; echo \"status $?\"");
  EXPECT_EQ(run.out, "status 1\n") << "the report went nowhere";
  EXPECT_EQ(sim.Store(), wanted);
  const auto lines = AuditLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("verdict"), "Setting Message OK ");
}

// Notices are redrawn in place only on a terminal that can do it.
TEST_F(KvctlStreamsTest, ADumbTerminalGetsNoEraseSequence) {
  KvsimChild sim;
  const std::string port = StartSim(sim);
  std::string dumb, xterm;
  EXPECT_EQ(RunOnTerminal({"imei", port}, "dumb", dumb), 0) << dumb;
  EXPECT_TRUE(Has(dumb, "356938035643809")) << dumb;
  EXPECT_FALSE(Has(dumb, "\033[")) << dumb;
  EXPECT_TRUE(Has(dumb, "Connecting to the tracker on " + port)) << "a plain line instead";
  EXPECT_EQ(RunOnTerminal({"imei", port}, "xterm", xterm), 0) << xterm;
  EXPECT_TRUE(Has(xterm, "\033[K")) << "a terminal that can redraw does";
}

// Every file kvctl creates that can hold the GPRS password is the owner's
// alone under umask 022; a file being replaced keeps its own permissions.
TEST_F(KvctlStreamsTest, FilesThatCanHoldThePasswordAreCreatedOwnerOnly) {
  KvsimChild sim;
  const std::string port = StartSim(sim);
  std::vector<std::string> set = {"--trace", temp_.File("set.trace"), "set", port};
  for (const auto& o : Provision()) set.push_back(o);
  set.push_back(temp_.File("box.ini"));
  const std::string kept = temp_.File("kept.ini");
  WriteTestFile(kept, "old\n");
  ASSERT_EQ(::chmod(kept.c_str(), 0640), 0);
  const ProgramRun run =
      Bash("umask 022; " + KvctlLine(set) + " >/dev/null && " + KvctlLine({"get", port, "-o", temp_.File("van.ini")}) +
           " && " + KvctlLine({"get", port, "--json", "-o", temp_.File("van.json")}) + " && " +
           KvctlLine({"get", port, "-o", kept}) + " && echo done");
  ASSERT_EQ(run.out, "done\n") << run.err;
  const auto mode = [](const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 0777;
  };
  EXPECT_TRUE(Has(ReadTestFile(temp_.File("set.trace")), "s3cret"));
  EXPECT_TRUE(Has(ReadTestFile(temp_.File("van.ini")), "s3cret"));
  for (const char* name : {"set.trace", "van.ini", "van.json", "audit.jsonl"})
    EXPECT_EQ(mode(temp_.File(name)), 0600u) << name;
  for (const auto& entry : std::filesystem::directory_iterator(temp_.File("backups")))
    EXPECT_EQ(mode(entry.path()), 0600u) << entry.path();
  EXPECT_EQ(mode(kept), 0640u);
  EXPECT_TRUE(Has(ReadTestFile(kept), "s3cret"));
}

// -o's %p is the port's name with one tracker too.
TEST_F(KvctlStreamsTest, OutputNameTakesThePortWithOneTracker) {
  KvsimChild sim;
  const std::string port = StartSim(sim);
  const std::string pattern = temp_.File("van-%p.ini");
  const ProgramRun run = RunAtTestSpeed(kKvctl, {"get", port, "-o", pattern});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string name = port.substr(1);
  for (auto& c : name)
    if (c == '/') c = '-';
  EXPECT_FALSE(std::filesystem::exists(pattern));
  EXPECT_TRUE(std::filesystem::exists(temp_.File("van-" + name + ".ini"))) << temp_.Listing();
}

// The tracker's code page 1252 text reads right in JSON: "Café €".
TEST_F(KvctlStreamsTest, JsonGivesTheTrackersTextAsUnicode) {
  KvsimChild sim;
  const std::string port = StartSim(sim);
  std::string file = kSettings;
  file.replace(file.find("User name=Van"), 13, "User name=Caf\xE9 \x80");
  WriteTestFile(temp_.File("cafe.ini"), file);
  const ProgramRun set = RunAtTestSpeed(
      kKvctl, {"set", port, "--no-backup", "--log", temp_.File("audit.jsonl"), temp_.File("cafe.ini")}, kBound);
  ASSERT_EQ(set.exitCode, 0) << set.err;
  const ProgramRun get = RunAtTestSpeed(kKvctl, {"get", port, "--json"}, kBound);
  ASSERT_EQ(get.exitCode, 0) << get.err;
  EXPECT_TRUE(Has(get.out, "\"userName\": \"Caf\xC3\xA9 \xE2\x82\xAC\"")) << get.out;
}

// The test clock would make a real tracker's answers look late: it is for
// simulated trackers only, and nothing is sent to another port.
TEST_F(KvctlStreamsTest, TheTestClockIsRefusedOnAPortThatIsNotASimulatedTracker) {
  PseudoTerminal pty;
  const std::string other = pty.terminal;
  ASSERT_FALSE(other.empty());
  KvsimChild sim;
  const std::string port = StartSim(sim);
  for (const auto& args : {std::vector<std::string>{"probe", other}, {"imei", port, other}, {"get", other}}) {
    const ProgramRun run = RunAtTestSpeed(kKvctl, args, kBound);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_TRUE(Has(run.err, "--clock-speed is for simulated trackers only, and " + other + " is not one")) << run.err;
  }
  std::string sent;
  EXPECT_FALSE(pty.Read(sent, 100)) << "nothing was sent to the other port: " << sent;
  EXPECT_EQ(RunAtTestSpeed(kKvctl, {"probe", port}, kBound).exitCode, 0);
}

}  // namespace
