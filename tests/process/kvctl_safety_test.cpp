// kvctl run as a hostile or unlucky user would run it, against kvsim
// processes: files that are not settings files, a trace or an output that
// would clobber a file, extra ports, several trackers into one file, Ctrl-C
// in the middle of a write or an update, the user's own terminal as a port,
// symbolic links planted in a shared folder. kvctl and kvsim run at the test
// speed (process_clock.h).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
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
constexpr uid_t kNobody = 65534;

class KvctlSafetyTest : public ::testing::Test {
 protected:
  std::string StartSim(std::vector<std::string> args = {}) {
    args.push_back("--quiet");
    EXPECT_TRUE(sim_.Start(kKvsim, AtTestSpeed(args)));
    return sim_.ReadLine();
  }
  // kvsim's report on SIGUSR1: the four message lines and the image lines.
  std::vector<std::string> Report() {
    ::kill(sim_.Pid(), SIGUSR1);
    std::vector<std::string> lines;
    bool images = false;
    for (std::string line = sim_.ReadLine(); !line.empty(); line = sim_.ReadLine()) {
      if (line.rfind("Received images", 0) == 0) {
        images = true;
        if (line.find("(none)") != std::string::npos) break;
        continue;
      }
      if (line.rfind("  ", 0) == 0) lines.push_back(line);
      if (images) break;  // one image is all these tests send
    }
    return lines;
  }
  // kvctl probe PORT as a normal user: one the exclusive-use flag keeps out
  // (root passes it). As root the port is opened to that user first.
  ProgramRun ProbeAsNormalUser(const std::string& port) {
    if (::geteuid() != 0) return RunAtTestSpeed(kKvctl, {"probe", port});
    EXPECT_EQ(::chmod(port.c_str(), 0666), 0);
    // At real speed: that user does not see this test's simulated trackers,
    // and the test clock is for those only.
    return RunProgram("/usr/bin/setpriv", {"--reuid=" + std::to_string(kNobody), "--regid=" + std::to_string(kNobody),
                                           "--clear-groups", kKvctl, "probe", port});
  }

  ScopedRuntimeFolder runtime_;
  KvsimChild sim_;
  TempFolder folder_;
};

const char kFullFile[] =
    "[KV DEVICE SETTING]\r\nDEVICE=Van 7\r\n[MESSAGE 1]\r\nCheck return number=1\r\nPark time=30\r\n"
    "User name=Unit7\r\nSet time zone=+8.00\r\nReport mode=8\r\n[MESSAGE 2]\r\nSOS number1=5550101\r\n"
    "[MESSAGE 4]\r\nGPRS server address=192.0.2.10\r\n";

// The messages kFullFile gives in the extended layout (as kvsim prints them).
const std::string kMessage1 = "  1: \"1,,30,,,,,,Unit7,+8.00,8," + std::string(9, ',') + "\\r\"";
const std::string kMessage2 = "  2: \"5550101,,,,,,,\\r\"";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(KvctlSafetyTest, FilesWithoutSettingsAreRefusedBeforeTheTrackerIsTouched) {
  const std::string port = StartSim();
  const std::string empty = folder_.File("empty.ini");
  const std::string binary = folder_.File("random.bin");
  WriteTestFile(empty, "");
  WriteTestFile(binary, std::string("\x7f"
                                    "ELF\x02\x01\x01\0\0\0\xff\xfe[x]\r\n\x01=\x02",
                                    20));
  for (const std::string& file : {empty, binary, std::string("/dev/null")}) {
    for (const char* command : {"set", "diff"}) {
      const ProgramRun run = RunAtTestSpeed(kKvctl, {command, port, file});
      EXPECT_EQ(run.exitCode, 4) << command << " " << file << "\n" << run.out << run.err;
      EXPECT_FALSE(Has(run.out, "delete message")) << run.out;
      EXPECT_TRUE(Has(run.err, file)) << run.err;
      if (file != "/dev/null") {
        EXPECT_TRUE(Has(run.err, "no settings found")) << run.err;
      }
    }
  }
  // Files that cannot be read say why.
  const ProgramRun dev = RunAtTestSpeed(kKvctl, {"set", port, "/dev/null"});
  EXPECT_TRUE(Has(dev.err, "not a regular file")) << dev.err;
  const ProgramRun missing = RunAtTestSpeed(kKvctl, {"set", port, folder_.File("no-such.ini")});
  EXPECT_EQ(missing.exitCode, 4);
  EXPECT_TRUE(Has(missing.err, "no such file")) << missing.err;
  const ProgramRun folder = RunAtTestSpeed(kKvctl, {"diff", port, folder_.path()});
  EXPECT_EQ(folder.exitCode, 4);
  EXPECT_TRUE(Has(folder.err, "is a directory")) << folder.err;
  const std::string big = folder_.File("big.ini");
  WriteTestFile(big, "[MESSAGE 1]\r\nPark time=30\r\n" + std::string(1024 * 1024, ';'));
  const ProgramRun large = RunAtTestSpeed(kKvctl, {"set", port, big});
  EXPECT_EQ(large.exitCode, 4);
  EXPECT_TRUE(Has(large.err, "too large")) << large.err;

  // Only a file that holds settings gets as far as the tracker; --strict
  // refuses one that lacks some, naming them, before anything is deleted.
  const std::string partial = folder_.File("partial.ini");
  WriteTestFile(partial, "[MESSAGE 1]\r\nPark time=45\r\n");
  const ProgramRun strict = RunAtTestSpeed(kKvctl, {"set", "--strict", port, partial});
  EXPECT_EQ(strict.exitCode, 4) << strict.out << strict.err;
  EXPECT_TRUE(Has(strict.err, "\"SOS number1\" (SOS number1 in [MESSAGE 2])") ||
              Has(strict.err, "(SOS number1 in [MESSAGE 2])"))
      << strict.err;
  EXPECT_FALSE(Has(strict.out, "delete message")) << strict.out;
  const std::vector<std::string> untouched = {"  1: (empty)", "  2: (empty)", "  3: (empty)", "  4: (empty)"};
  EXPECT_EQ(Report(), untouched);
}

TEST_F(KvctlSafetyTest, TraceNeverClobbersAnInputAndIsWrittenWholeAtTheEnd) {
  const std::string port = StartSim();
  const std::string settings = folder_.File("same.ini");
  WriteTestFile(settings, kFullFile);
  const ProgramRun same = RunAtTestSpeed(kKvctl, {"--trace", settings, "set", port, settings});
  EXPECT_EQ(same.exitCode, 2) << same.err;
  EXPECT_EQ(ReadTestFile(settings), kFullFile) << "the settings file must be kept";
  EXPECT_FALSE(Has(same.out, "delete message"));
  // Another name for the same file is the same file.
  const std::string link = folder_.File("link.ini");
  ASSERT_EQ(::symlink(settings.c_str(), link.c_str()), 0);
  EXPECT_EQ(RunAtTestSpeed(kKvctl, {"--trace", link, "diff", port, settings}).exitCode, 2);
  EXPECT_EQ(ReadTestFile(settings), kFullFile);
  const ProgramRun badFolder = RunAtTestSpeed(kKvctl, {"--trace", folder_.File("none/t.log"), "probe", port});
  EXPECT_EQ(badFolder.exitCode, 2);
  EXPECT_TRUE(Has(badFolder.err, "no such file")) << badFolder.err;

  // A partial file: the settings it lacks are named and sent empty; a trace
  // whose folder went away while kvctl ran is reported, not lost silently.
  const std::string partial = folder_.File("partial.ini");
  WriteTestFile(partial, "[MESSAGE 1]\r\nPark time=45\r\n[MESSAGE 4]\r\nGPRS server address=192.0.2.10\r\n");
  const std::string traceFolder = folder_.File("traces");
  ASSERT_EQ(::mkdir(traceFolder.c_str(), 0755), 0);
  BackgroundAtTestSpeed set(kKvctl, {"--trace", traceFolder + "/t.log", "set", port, partial});
  ASSERT_TRUE(set.WaitForLineStarting("delete message 1")) << set.out;
  ASSERT_EQ(::rmdir(traceFolder.c_str()), 0);
  EXPECT_EQ(set.Wait(), 1) << set.out << set.err;
  EXPECT_TRUE(Has(set.out, "Setting Message OK ")) << set.out;
  EXPECT_TRUE(Has(set.err, "lacks ")) << set.err;
  EXPECT_TRUE(Has(set.err, "(SOS number1 in [MESSAGE 2])")) << set.err;
  EXPECT_TRUE(Has(set.err, "the trace was not written to " + traceFolder + "/t.log")) << set.err;
}

TEST_F(KvctlSafetyTest, EveryPortNamedIsUsedAndSeveralTrackersNeverShareAFile) {
  KvsimChild second;
  const std::string a = StartSim();
  ASSERT_TRUE(second.Start(kKvsim, AtTestSpeed({"--quiet", "--imei", "490154203237518"})));
  const std::string b = second.ReadLine();

  const ProgramRun both = RunAtTestSpeed(kKvctl, {"imei", a, b});
  EXPECT_EQ(both.exitCode, 0) << both.err;
  EXPECT_TRUE(Has(both.out, "[" + b + "] 490154203237518")) << both.out;
  // At real speed: the test clock is for simulated trackers only.
  const ProgramRun extra = RunProgram(kKvctl, {"imei", a, "/dev/kv770-no-such-port"});
  EXPECT_EQ(extra.exitCode, 3) << extra.out << extra.err;
  EXPECT_TRUE(Has(extra.out, "/dev/kv770-no-such-port")) << "a row in the summary\n" << extra.out;
  EXPECT_TRUE(Has(extra.err, "no such port")) << extra.err;
  EXPECT_EQ(RunAtTestSpeed(kKvctl, {"scan", a}).exitCode, 2);

  // One file for several trackers is refused before anything is sent.
  const std::string fleet = folder_.File("fleet.ini");
  const ProgramRun oneFile = RunAtTestSpeed(kKvctl, {"get", "--port", a, "--port", b, "-o", fleet});
  EXPECT_EQ(oneFile.exitCode, 2);
  EXPECT_TRUE(Has(oneFile.err, "%p")) << oneFile.err;
  EXPECT_EQ(::access(fleet.c_str(), F_OK), -1);

  // JSON of several trackers on standard output: one array, one object each.
  const ProgramRun json = RunAtTestSpeed(kKvctl, {"get", a, b, "--json"});
  EXPECT_EQ(json.exitCode, 0) << json.err;
  ASSERT_FALSE(json.out.empty());
  EXPECT_EQ(json.out.front(), '[');
  EXPECT_EQ(json.out.substr(json.out.size() - 2), "]\n");
  EXPECT_TRUE(Has(json.out, "\"port\": \"" + a + "\"")) << json.out;
  EXPECT_TRUE(Has(json.out, "\"imei\": \"490154203237518\"")) << json.out;
  EXPECT_FALSE(Has(json.out, "PORT")) << "the summary goes to standard error\n" << json.out;
  EXPECT_FALSE(Has(json.out, "---")) << json.out;
  const std::string python = "/usr/bin/python3";
  if (::access(python.c_str(), X_OK) == 0) {
    const std::string saved = folder_.File("fleet.json");
    WriteTestFile(saved, json.out);
    const ProgramRun parse =
        RunProgram(python, {"-c", "import json,sys; d=json.load(open(sys.argv[1])); assert len(d)==2, d", saved});
    EXPECT_EQ(parse.exitCode, 0) << parse.err;
  }
}

TEST_F(KvctlSafetyTest, OutputFilesAreReplacedWholeAndReadOnlyFilesKept) {
  const std::string port = StartSim();
  const std::string readOnly = folder_.File("kept.json");
  WriteTestFile(readOnly, "{\"precious\": true}\n");
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  const ProgramRun refused = RunAtTestSpeed(kKvctl, {"get", port, "--json", "-o", readOnly});
  EXPECT_EQ(refused.exitCode, 4) << refused.err;
  EXPECT_TRUE(Has(refused.err, "read-only")) << refused.err;
  EXPECT_EQ(ReadTestFile(readOnly), "{\"precious\": true}\n");

  // A file that can be written is replaced by a new file, not cut and refilled.
  const std::string out = folder_.File("van7.json");
  WriteTestFile(out, std::string(100000, 'x'));
  struct stat before {};
  ASSERT_EQ(::stat(out.c_str(), &before), 0);
  const ProgramRun get = RunAtTestSpeed(kKvctl, {"get", port, "--json", "-o", out});
  EXPECT_EQ(get.exitCode, 0) << get.err;
  struct stat after {};
  ASSERT_EQ(::stat(out.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);
  const std::string text = ReadTestFile(out);
  EXPECT_EQ(text.rfind("{\n  \"port\": ", 0), 0u) << text;
  EXPECT_EQ(folder_.Listing(), "kept.json\nvan7.json\n") << "no temporary file left";
}

TEST_F(KvctlSafetyTest, CtrlCDuringSetStopsSafelyReleasesThePortAndSaysWhatIsLeft) {
  const std::string port = StartSim();
  const std::string file = folder_.File("box.ini");
  const std::string trace = folder_.File("set.trace");
  WriteTestFile(file, kFullFile);
  BackgroundAtTestSpeed set(kKvctl, {"--trace", trace, "set", port, file}, kSignalledClockSpeed);
  ASSERT_TRUE(set.WaitForLineStarting("setting message 2")) << set.out;
  set.Signal(SIGINT);
  EXPECT_EQ(set.Wait(), 130) << set.out << set.err;

  // The printed state is the simulated store's: message 2's text was finished
  // and stored, 3 and 4 stay deleted.
  EXPECT_TRUE(Has(set.err, "message 1 rewritten and checked")) << set.err;
  EXPECT_TRUE(Has(set.err, "message 2 rewritten but not checked")) << set.err;
  EXPECT_TRUE(Has(set.err, "messages 3, 4 deleted and not yet rewritten")) << set.err;
  EXPECT_TRUE(Has(set.err, "to finish the job, run: kvctl set " + port + " --clock-speed " +
                               test_support::kSignalledClockSpeed + " " + file + ")"))
      << set.err;
  const std::vector<std::string> store = {kMessage1, kMessage2, "  3: (empty)", "  4: (empty)"};
  EXPECT_EQ(Report(), store);

  const std::string written = ReadTestFile(trace);
  EXPECT_TRUE(Has(written, "|at+cmgw=+2.|")) << "the trace is written at an interrupt";

  // The port can be opened at once by a normal user, and the tracker answers.
  const ProgramRun probe = ProbeAsNormalUser(port);
  EXPECT_EQ(probe.exitCode, 0) << probe.out << probe.err;
}

TEST_F(KvctlSafetyTest, SecondCtrlCQuitsAtOnceAndAbandonsTheTextBeingEntered) {
  const std::string port = StartSim();
  const std::string file = folder_.File("box.ini");
  WriteTestFile(file, kFullFile);
  // The signals must reach the set while it writes message 2. A test process
  // held up after reading that step (a loaded machine) finds message 3
  // written instead; then the same start is made again (the set deletes all
  // four messages first).
  std::vector<std::string> store;
  for (int attempt = 1;; ++attempt) {
    BackgroundAtTestSpeed set(kKvctl, {"set", port, file}, kSignalledClockSpeed);
    ASSERT_TRUE(set.WaitForLineStarting("setting message 2")) << set.out;
    // Two different signals: two of the same kind could merge into one.
    set.Signal(SIGINT);
    set.Signal(SIGTERM);
    EXPECT_EQ(set.Wait(std::chrono::seconds(5)), 130) << set.out << set.err;
    EXPECT_TRUE(Has(set.err, "kvctl: quit at once")) << set.err;
    // Whether ESC abandoned message 2's text or the first stop finished it,
    // the module takes commands again: the tracker answers a probe, and the
    // port is free for a normal user.
    const ProgramRun probe = ProbeAsNormalUser(port);
    EXPECT_EQ(probe.exitCode, 0) << probe.out << probe.err << set.err;
    store = Report();
    ASSERT_EQ(store.size(), 4u);
    if (store[2] == "  3: (empty)") break;
    ASSERT_LT(attempt, 3) << "every set wrote message 3 before its interrupt arrived";
  }
  EXPECT_EQ(store[0], kMessage1);
}

TEST_F(KvctlSafetyTest, CtrlCDuringUpdateCancelsTheTransferAndSaysTheBootLoaderIsLeft) {
  const std::string port = StartSim({"--line-baud=115200"});
  std::string image(300 * 1024, '\0');
  unsigned seed = 99;
  for (auto& c : image) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
  const std::string path = folder_.File("image.bin");
  WriteTestFile(path, image);
  BackgroundAtTestSpeed update(kKvctl, {"update", port, path});
  ASSERT_TRUE(update.WaitForLineStarting("Sending " + path)) << update.out << update.err;
  ASSERT_TRUE(update.WaitForLineStarting("[##                  ]  10.0%")) << update.out;
  update.Signal(SIGTERM);
  EXPECT_EQ(update.Wait(), 130) << update.out << update.err;
  EXPECT_TRUE(Has(update.err, "left in its boot loader")) << update.err;
  EXPECT_TRUE(Has(update.err, "to finish the job, run: kvctl update " + port + " " + path)) << update.err;
  EXPECT_FALSE(Has(update.out, "Succeed")) << update.out;
  ::usleep(300 * 1000);  // the simulated boot loader takes in the cancel
  const auto report = Report();
  ASSERT_EQ(report.size(), 5u);
  EXPECT_TRUE(Has(report[4], "incomplete")) << report[4];
  const ProgramRun probe = ProbeAsNormalUser(port);
  EXPECT_EQ(probe.exitCode, 0) << probe.out << probe.err;
}

TEST_F(KvctlSafetyTest, TheOwnTerminalIsRefusedAndPortSettingsComeBackOnClose) {
  // kvctl in a session of its own whose controlling terminal is a fresh
  // pseudo-terminal in cooked mode with echo.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::setsid();
    const int tty = ::open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
    if (tty < 0) ::_exit(120);
    ::dup2(tty, 0);
    ::dup2(tty, 1);
    ::dup2(tty, 2);
    ::execl(kKvctl.c_str(), kKvctl.c_str(), "probe", "/dev/tty", static_cast<char*>(nullptr));
    ::_exit(121);
  }
  std::string said;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (::waitpid(child, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline) {
    pollfd p{master, POLLIN, 0};
    char buffer[512];
    ssize_t n = 0;
    if (::poll(&p, 1, 50) > 0 && (n = ::read(master, buffer, sizeof buffer)) > 0)
      said.append(buffer, static_cast<std::size_t>(n));
  }
  if (::waitpid(child, &status, WNOHANG) == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    ADD_FAILURE() << "kvctl probed its own terminal";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3) << said;
  EXPECT_TRUE(Has(said, "the terminal kvctl runs in")) << said;
  EXPECT_FALSE(Has(said, "ati")) << "nothing may be written to the terminal";
  termios t{};
  const int tty = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(tty, 0);
  ASSERT_EQ(::tcgetattr(tty, &t), 0);
  EXPECT_TRUE(t.c_lflag & ECHO);
  EXPECT_TRUE(t.c_lflag & ISIG);
  ::close(tty);
  ::close(master);

  // A tracker port gets back what it had before kvctl opened it.
  const std::string port = StartSim();
  const int held = ::open(port.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  termios mine{};
  ASSERT_EQ(::tcgetattr(held, &mine), 0);
  ::cfsetospeed(&mine, B9600);
  ::cfsetispeed(&mine, B9600);
  mine.c_cc[VTIME] = 7;
  ASSERT_EQ(::tcsetattr(held, TCSANOW, &mine), 0);
  EXPECT_EQ(RunAtTestSpeed(kKvctl, {"probe", port}).exitCode, 0);
  termios after{};
  ASSERT_EQ(::tcgetattr(held, &after), 0);
  EXPECT_EQ(::cfgetospeed(&after), B9600);
  EXPECT_EQ(after.c_cc[VTIME], 7);
  ::close(held);
}

TEST_F(KvctlSafetyTest, SymlinksPlantedInASharedFolderAreNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  const std::string port = StartSim();
  TempFolder elsewhere;
  const std::string victim = elsewhere.File("victim");
  WriteTestFile(victim, "precious\n");
  ASSERT_EQ(::chmod(folder_.path().c_str(), 01777), 0);
  const std::string planted = folder_.File("out.ini");
  ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
  ASSERT_EQ(::lchown(planted.c_str(), kNobody, kNobody), 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"get", port, "-o", planted},
                                               {"get", port, "--json", "-o", planted},
                                               {"--trace", planted, "probe", port}}) {
    const ProgramRun run = RunAtTestSpeed(kKvctl, args);
    EXPECT_NE(run.exitCode, 0) << args[0];
    EXPECT_TRUE(Has(run.err, "symbolic link owned by another user")) << run.err;
    EXPECT_EQ(ReadTestFile(victim), "precious\n");
  }
}

TEST_F(KvctlSafetyTest, PortsThatAreNotSerialDevicesSaySoAndNoPortsEndAlike) {
  const std::string plain = folder_.File("plain");
  WriteTestFile(plain, "x");
  for (const std::string& path : {plain, std::string("/dev/null"), folder_.path()}) {
    const ProgramRun run = RunProgram(kKvctl, {"probe", path});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(Has(run.err, "not a serial device")) << run.err;
    EXPECT_FALSE(Has(run.err, "error ")) << run.err;
  }
  // No simulated tracker runs in this test's runtime folder.
  const ProgramRun all = RunAtTestSpeed(kKvctl, {"probe", "--all"});
  const ProgramRun scan = RunAtTestSpeed(kKvctl, {"scan"});
  EXPECT_EQ(all.exitCode, scan.exitCode);
  EXPECT_EQ(scan.exitCode, 1);
}

}  // namespace
