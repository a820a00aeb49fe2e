// kvctl update's check after the transfer and watch update, as processes
// against kvsim trackers that restart into the image they received: the
// image's version before anything is sent, the IMEI and version read after,
// a version other than the one expected, a tracker that never comes back,
// --no-verify, an interrupt during the wait, the audit lines, the summary of
// update --all, and a box of trackers plugged in one after another. Both
// programs run at the test speed (process_clock.h), the boot time and the
// 90 s wait included.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
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
using test_support::BackgroundAtTestSpeed;
using test_support::ReadTestFile;
using test_support::RunAtTestSpeed;
using test_support::WriteTestFile;

const std::string kKvctl = std::string(KV_BINARY_DIR) + "/kvctl";
const std::string kKvsim = std::string(KV_BINARY_DIR) + "/kvsim";
const char kNewVersion[] = "F-0KV770E-V1.5(20100301)";
const char kOldVersion[] = "F-0KV770E-V1.4(20090904)";  // what kvsim reports before an update
const char kImei[] = "356938035643809";

// An image of `size` bytes that names `version` (none when empty).
std::string Image(const std::string& version, std::size_t size = 20 * 1024) {
  std::string image(size, '\0');
  unsigned seed = 4242;
  for (auto& c : image) {
    c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    if (c == 'F') c = 'f';  // no stray version start
  }
  image.replace(4000, version.size(), version);
  return image;
}

std::vector<std::map<std::string, std::string>> AuditLines(const std::string& path) {
  std::vector<std::map<std::string, std::string>> lines;
  const std::string text = ReadTestFile(path);
  for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    EXPECT_NE(end, std::string::npos) << "the last line has no line end";
    if (end == std::string::npos) break;
    const auto fields = ParseFlatJsonObject(std::string_view(text).substr(at, end - at));
    EXPECT_TRUE(fields.has_value()) << text.substr(at, end - at);
    if (fields) lines.push_back(*fields);
  }
  return lines;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class KvctlUpdateVerifyTest : public ::testing::Test {
 protected:
  std::string StartSim(KvsimChild& sim, std::vector<std::string> args = {}) {
    args.push_back("--quiet");
    EXPECT_TRUE(sim.Start(kKvsim, AtTestSpeed(args)));
    return sim.ReadLine();
  }
  // How many images the simulator received (its "received ..." lines).
  static int Received(KvsimChild& sim) {
    int n = 0;
    for (std::string line = sim.ReadLine(std::chrono::milliseconds(300)); !line.empty();
         line = sim.ReadLine(std::chrono::milliseconds(300)))
      if (line.rfind("received ", 0) == 0) ++n;
    return n;
  }
  std::string ImageFile(const std::string& name, const std::string& version) {
    std::string path = folder_.File(name);
    WriteTestFile(path, Image(version));
    return path;
  }
  ScopedRuntimeFolder runtime_;
  test_support::TempFolder folder_;
  KvsimChild sim_;
};

TEST_F(KvctlUpdateVerifyTest, TheImagesVersionComesFirstAndTheTrackersIdentityAfterItsRestart) {
  const std::string port = StartSim(sim_, {"--boot-ms", "3000"});
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  const std::string log = folder_.File("audit.jsonl");
  const ProgramRun run = RunAtTestSpeed(kKvctl, {"update", port, image, "--log", log});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const auto named = run.out.find(std::string("image ") + kNewVersion + "\n");
  const auto sending = run.out.find("Sending " + image);
  const auto identity = run.out.find(std::string("IMEI ") + kImei + ", firmware " + kNewVersion + "\n");
  const auto succeed = run.out.find("Update fw15.bin Succeed");
  ASSERT_NE(named, std::string::npos) << run.out;
  ASSERT_NE(identity, std::string::npos) << run.out;
  EXPECT_LT(named, sending);
  EXPECT_LT(sending, identity);
  EXPECT_LT(identity, succeed);
  EXPECT_NE(run.err.find("Waiting up to 90 s for the tracker to restart"), std::string::npos) << run.err;

  const auto lines = AuditLines(log);
  ASSERT_EQ(lines.size(), 1u);
  auto line = lines[0];
  EXPECT_EQ(line["command"], "update");
  EXPECT_EQ(line["imei"], kImei);
  EXPECT_EQ(line["firmwareVersion"], kNewVersion) << "the version read after the update";
  EXPECT_EQ(line["imageVersion"], kNewVersion);
  EXPECT_EQ(line["image"], image);
  const ProgramRun digest = RunProgram("/usr/bin/sha256sum", {image});
  EXPECT_EQ(line["imageSha256"], digest.out.substr(0, 64));
  EXPECT_EQ(line["verdict"], "updated");
  EXPECT_EQ(line["exitStatus"], "0");
  EXPECT_EQ(Received(sim_), 1);
  // What the advice after an unconfirmed update points to shows the same
  // whole version, not the 21 characters the settings keep.
  const ProgramRun version = RunAtTestSpeed(kKvctl, {"version", port});
  EXPECT_EQ(version.exitCode, 0) << version.err;
  EXPECT_NE(version.out.find(std::string(kNewVersion) + " ("), std::string::npos) << version.out;
}

TEST_F(KvctlUpdateVerifyTest, AVersionOtherThanTheOneExpectedFailsAndTheRightOnePasses) {
  // The tracker restarts with its old firmware (the image was not taken).
  const std::string port = StartSim(sim_, {"--version-after", kOldVersion});
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  const std::string log = folder_.File("audit.jsonl");
  const ProgramRun wrong = RunAtTestSpeed(kKvctl, {"update", port, image, "--log", log});
  EXPECT_EQ(wrong.exitCode, 1) << wrong.out << wrong.err;
  EXPECT_NE(wrong.err.find(std::string("the tracker reports ") + kOldVersion + ", not " + kNewVersion),
            std::string::npos)
      << wrong.err;
  EXPECT_EQ(wrong.out.find("Succeed"), std::string::npos) << wrong.out;
  // An image whose own version cannot hold the one expected is refused
  // before anything is sent: every tracker would fail its check.
  const ProgramRun refused = RunAtTestSpeed(kKvctl, {"update", port, "--expect-version", "V1.4(", image});
  EXPECT_EQ(refused.exitCode, 4) << refused.out << refused.err;
  EXPECT_NE(refused.err.find("does not hold --expect-version V1.4("), std::string::npos) << refused.err;
  EXPECT_EQ(refused.err.find("Sending"), std::string::npos);
  // --expect-version names what must appear: the old one does.
  const std::string plain = ImageFile("plain.bin", "");
  const ProgramRun right = RunAtTestSpeed(kKvctl, {"update", port, "--expect-version", "V1.4(", plain, "--log", log});
  EXPECT_EQ(right.exitCode, 0) << right.out << right.err;
  EXPECT_NE(right.out.find("expecting a tracker that reports V1.4("), std::string::npos) << right.out;
  const auto lines = AuditLines(log);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].at("verdict"), "failed");
  EXPECT_EQ(lines[0].at("exitStatus"), "1");
  EXPECT_EQ(lines[0].at("firmwareVersion"), kOldVersion);
  EXPECT_EQ(lines[1].at("verdict"), "updated");
}

TEST_F(KvctlUpdateVerifyTest, ATrackerThatNeverComesBackIsSentNotVerifiedWithExit5WithinTheBound) {
  const std::string port = StartSim(sim_, {"--no-restart"});
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  const std::string log = folder_.File("audit.jsonl");
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun run = RunAtTestSpeed(kKvctl, {"update", port, image, "--log", log});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.exitCode, 5) << run.out << run.err;
  EXPECT_NE(run.err.find("Sent, not verified"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("within 90 s"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("Succeed"), std::string::npos) << run.out;
  // 90 s at the test speed (4.5 s at 20): waited for, and not much longer.
  EXPECT_GE(seconds, 90.0 / test_support::ProcessClockSpeed());
  EXPECT_LT(seconds, 90.0 / test_support::ProcessClockSpeed() + 10);
  const auto lines = AuditLines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("verdict"), "sent, not verified");
  EXPECT_EQ(lines[0].at("exitStatus"), "5");
  EXPECT_EQ(lines[0].at("imei"), "null");
  EXPECT_EQ(lines[0].at("imageVersion"), kNewVersion);
}

TEST_F(KvctlUpdateVerifyTest, NoVerifyEndsAfterTheTransferAsBefore) {
  const std::string port = StartSim(sim_, {"--no-restart"});
  const std::string image = ImageFile("plain.bin", "");
  const std::string log = folder_.File("audit.jsonl");
  const ProgramRun run = RunAtTestSpeed(kKvctl, {"update", "--no-verify", port, image, "--log", log});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("image names no version"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Update plain.bin Succeed"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("IMEI"), std::string::npos) << "nothing was asked after the transfer";
  EXPECT_EQ(run.err.find("Waiting up to 90 s"), std::string::npos) << run.err;
  const auto lines = AuditLines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("verdict"), "sent, not verified");
  EXPECT_EQ(lines[0].at("imageVersion"), "null");
  EXPECT_EQ(lines[0].at("exitStatus"), "0");
  // Options that make no sense together, or elsewhere, are refused first.
  EXPECT_EQ(RunAtTestSpeed(kKvctl, {"update", "--no-verify", "--expect-version", "X", port, image}).exitCode, 2);
  EXPECT_EQ(RunAtTestSpeed(kKvctl, {"imei", "--no-verify", port}).exitCode, 2);
  EXPECT_EQ(RunAtTestSpeed(kKvctl, {"update", "--expect-version", "", port, image}).exitCode, 2);
}

TEST_F(KvctlUpdateVerifyTest, CtrlCDuringTheWaitEndsItAndSaysTheTransferIsComplete) {
  const std::string port = StartSim(sim_, {"--no-restart"});
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  const std::string log = folder_.File("audit.jsonl");
  BackgroundAtTestSpeed update(kKvctl, {"update", port, image, "--log", log});
  ASSERT_TRUE(update.WaitForText("Waiting up to 90 s for the tracker", true)) << update.err;
  const auto signalled = std::chrono::steady_clock::now();
  update.Signal(SIGINT);
  EXPECT_EQ(update.Wait(), 130) << update.out << update.err;
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(4)) << "the wait ended at once";
  EXPECT_NE(update.err.find("the transfer is complete"), std::string::npos) << update.err;
  EXPECT_EQ(update.err.find("left in its boot loader"), std::string::npos) << update.err;
  const auto lines = AuditLines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("verdict"), "sent, not verified");
  EXPECT_EQ(lines[0].at("exitStatus"), "130");
}

TEST_F(KvctlUpdateVerifyTest, ACablePulledDuringTheWaitIsSentNotVerifiedNotAFailedTransfer) {
  const std::string port = StartSim(sim_, {"--boot-ms", "20000"});
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  BackgroundAtTestSpeed update(kKvctl, {"update", port, image});
  ASSERT_TRUE(update.WaitForText("Waiting up to 90 s for the tracker", true)) << update.err;
  ASSERT_EQ(sim_.StopWith(SIGKILL), -1);  // killed: the port goes away
  const auto pulled = std::chrono::steady_clock::now();
  EXPECT_EQ(update.Wait(), 5) << update.out << update.err;
  // At once: a tracker that gets the port's name later need not be this one.
  EXPECT_LT(std::chrono::steady_clock::now() - pulled, std::chrono::seconds(2));
  EXPECT_NE(update.err.find("went away while the tracker restarted"), std::string::npos) << update.err;
  EXPECT_NE(update.err.find("the image went out whole"), std::string::npos) << update.err;
  EXPECT_EQ(update.err.find("USB cable"), std::string::npos) << "the transfer did not fail";
}

TEST_F(KvctlUpdateVerifyTest, UpdateAllEndsWithTheSummaryTable) {
  KvsimChild second;
  const std::string a = StartSim(sim_);
  const std::string b = StartSim(second, {"--imei", "490154203237518", "--version-after", kOldVersion});
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  const ProgramRun run = RunAtTestSpeed(kKvctl, {"update", "--all", image, "--log", folder_.File("a.jsonl")});
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  const auto table = run.out.find("PORT");
  ASSERT_NE(table, std::string::npos) << run.out;
  const std::string rows = run.out.substr(table);
  // The row of `port` (its name padded to the column).
  const auto row = [&rows](const std::string& port) {
    const auto at = rows.find("\n" + port + " ");
    return at == std::string::npos ? std::string() : rows.substr(at + 1, rows.find('\n', at + 1) - at - 1);
  };
  EXPECT_NE(row(a).find(std::string("  updated  ")), std::string::npos) << rows;
  EXPECT_NE(row(a).find(std::string("IMEI ") + kImei + ", " + kNewVersion), std::string::npos) << rows;
  EXPECT_NE(row(b).find("  failed  "), std::string::npos) << rows;
  EXPECT_NE(row(b).find(std::string("the tracker reports ") + kOldVersion), std::string::npos) << rows;
}

// watch update with trackers plugged in one after another; the port of each
// leaves the list while it restarts and comes back (a bridge restarting with
// the tracker), which must not look like a new tracker to update.
TEST_F(KvctlUpdateVerifyTest, WatchUpdateUpdatesEachPluggedTrackerExactlyOnce) {
  KvsimChild before;
  const std::string present = StartSim(before);
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  const std::string log = folder_.File("audit.jsonl");
  BackgroundAtTestSpeed watch(kKvctl, {"watch", "update", image, "--log", log});
  ASSERT_TRUE(watch.WaitForText("waiting for trackers")) << watch.out << watch.err;
  EXPECT_NE(watch.out.find(present + "  already plugged in: left alone (plug it in again to update it)"),
            std::string::npos)
      << watch.out;
  EXPECT_NE(watch.out.find(std::string("image ") + kNewVersion), std::string::npos) << watch.out;
  const char* const imeis[] = {"111111111111111", "222222222222222", "333333333333333"};
  std::list<KvsimChild> box;
  std::vector<std::string> ports;
  for (const char* imei : imeis) {
    box.emplace_back();
    ports.push_back(StartSim(box.back(), {"--imei", imei, "--boot-leaves-list"}));
    ASSERT_TRUE(watch.WaitForText(std::string(imei) + "  " + kNewVersion + "  updated")) << watch.out << watch.err;
  }
  // Time for any late second update to start.
  ::usleep(1000 * 1000);
  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Wait(), 0) << watch.out << watch.err;
  EXPECT_NE(watch.out.find("updated 3, not verified 0, failed 0, skipped 0"), std::string::npos) << watch.out;
  for (std::size_t i = 0; i < ports.size(); ++i)
    EXPECT_EQ(Count(watch.out, ports[i] + "  " + imeis[i]), 1u) << watch.out;
  for (auto& sim : box) EXPECT_EQ(Received(sim), 1);
  EXPECT_EQ(Received(before), 0);
  const auto lines = AuditLines(log);
  ASSERT_EQ(lines.size(), 3u);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].at("imei"), imeis[i]);
    EXPECT_EQ(lines[i].at("firmwareVersion"), kNewVersion);
    EXPECT_EQ(lines[i].at("verdict"), "updated");
  }
}

// A first Ctrl-C while a tracker restarts from its update (the image is in,
// kvctl waits for it) lets that tracker finish, checked, before the watch
// ends: the tracker in hand is never left unverified by the first Ctrl-C.
TEST_F(KvctlUpdateVerifyTest, WatchUpdateFirstCtrlCLetsTheTrackerInHandFinishChecked) {
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  const std::string log = folder_.File("audit.jsonl");
  BackgroundAtTestSpeed watch(kKvctl, {"watch", "update", image, "--log", log});
  ASSERT_TRUE(watch.WaitForText("waiting for trackers")) << watch.out << watch.err;
  const std::string port = StartSim(sim_, {"--boot-ms", "60000"});
  ASSERT_TRUE(watch.WaitForText("[" + port + "] Sent ")) << watch.out << watch.err;
  watch.Signal(SIGINT);
  ASSERT_TRUE(watch.WaitForText("stopping after the 1 tracker(s) in progress", true)) << watch.out << watch.err;
  EXPECT_EQ(watch.Wait(), 0) << watch.out << watch.err;
  EXPECT_NE(watch.out.find(port + "  " + kImei + "  " + kNewVersion + "  updated"), std::string::npos) << watch.out;
  EXPECT_NE(watch.out.find("updated 1, not verified 0, failed 0, skipped 0"), std::string::npos) << watch.out;
  EXPECT_EQ(Received(sim_), 1);
  const auto lines = AuditLines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("verdict"), "updated");
  EXPECT_EQ(lines[0].at("firmwareVersion"), kNewVersion);
}

// watch update --no-verify ends each tracker after its transfer, as update
// --no-verify does: counted and logged as sent, not verified (nothing was
// checked), exit 0 as asked for, and the tracker that restarts on its port is
// not updated again.
TEST_F(KvctlUpdateVerifyTest, WatchUpdateWithoutTheCheckSaysNothingWasVerified) {
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  const std::string log = folder_.File("audit.jsonl");
  BackgroundAtTestSpeed watch(kKvctl, {"watch", "update", "--no-verify", image, "--log", log});
  ASSERT_TRUE(watch.WaitForText("waiting for trackers")) << watch.out << watch.err;
  const std::string port = StartSim(sim_, {"--boot-ms", "3000"});
  ASSERT_TRUE(watch.WaitForText(port + "  (no IMEI)  (no version)  sent, not verified")) << watch.out << watch.err;
  // Past the restart: the port stayed, so nothing new is seen.
  ::usleep(1000 * 1000);
  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Wait(), 0) << watch.out << watch.err;
  EXPECT_NE(watch.out.find("updated 0, not verified 1, failed 0, skipped 0"), std::string::npos) << watch.out;
  EXPECT_EQ(Received(sim_), 1);
  const auto lines = AuditLines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("verdict"), "sent, not verified");
  EXPECT_EQ(lines[0].at("exitStatus"), "0");
  EXPECT_EQ(lines[0].at("imei"), "null");
}

// A tracker slower to restart than kvctl waits: its update ends "sent, not
// verified"; when its port comes back it is named, not updated again.
TEST_F(KvctlUpdateVerifyTest, WatchUpdateRecognisesATrackerBackLateFromItsOwnUpdate) {
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  BackgroundAtTestSpeed watch(kKvctl, {"watch", "update", image, "--log", folder_.File("audit.jsonl")});
  ASSERT_TRUE(watch.WaitForText("waiting for trackers")) << watch.out << watch.err;
  const std::string port = StartSim(sim_, {"--boot-ms", "110000", "--boot-leaves-list"});
  ASSERT_TRUE(watch.WaitForText("sent, not verified")) << watch.out << watch.err;
  // Its IMEI was never read after the update, so it is not claimed as the
  // tracker updated there: its line says what is known, the version.
  ASSERT_TRUE(watch.WaitForText("runs the version expected: not updated")) << watch.out << watch.err;
  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Wait(), 5) << watch.out << watch.err;
  EXPECT_NE(watch.out.find("updated 0, not verified 1, failed 0, skipped 1"), std::string::npos) << watch.out;
  EXPECT_NE(watch.out.find(port + "  " + kImei + "  " + kNewVersion + "  skipped"), std::string::npos) << watch.out;
  EXPECT_EQ(watch.out.find("back after its update"), std::string::npos) << watch.out;
  EXPECT_EQ(Received(sim_), 1);
  // Both are on record: the update not verified, and the tracker seen after.
  const auto lines = AuditLines(folder_.File("audit.jsonl"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].at("verdict"), "sent, not verified");
  EXPECT_EQ(lines[1].at("verdict"), "skipped");
  EXPECT_EQ(lines[1].at("imei"), kImei);
  EXPECT_EQ(lines[1].at("firmwareVersion"), kNewVersion);
}

// Another tracker plugged into the port of an update that was not verified,
// while the one updated there is still expected back: it is not taken for
// that one, and it is on record.
TEST_F(KvctlUpdateVerifyTest, WatchUpdateNeverTakesAnotherTrackerForTheOneNotVerified) {
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  const std::string log = folder_.File("audit.jsonl");
  BackgroundAtTestSpeed watch(kKvctl, {"watch", "update", image, "--log", log});
  ASSERT_TRUE(watch.WaitForText("waiting for trackers")) << watch.out << watch.err;
  const std::string port = StartSim(sim_, {"--no-restart"});
  ASSERT_TRUE(watch.WaitForText("sent, not verified")) << watch.out << watch.err;
  sim_.StopWith(SIGTERM);  // unplugged, never to return
  // Another tracker, still on the old firmware, gets the same port name (the
  // lowest free pseudo-terminal; tried again if a parallel test took it).
  const char other[] = "490154203237518";
  std::list<KvsimChild> tries;
  bool samePort = false;
  for (int attempt = 0; attempt < 5 && !samePort; ++attempt) {
    tries.emplace_back();
    samePort = StartSim(tries.back(), {"--imei", other}) == port;
  }
  ASSERT_TRUE(samePort) << "no simulated tracker got " << port << " again";
  ASSERT_TRUE(watch.WaitForText(port + "  " + other)) << watch.out << watch.err;
  watch.Signal(SIGINT);
  // Not running the image and not updated: a job not done, which outranks
  // the update not verified.
  EXPECT_EQ(watch.Wait(), 1) << watch.out << watch.err;
  const std::string line = watch.out.substr(watch.out.find(port + "  " + other));
  EXPECT_EQ(line.substr(0, line.find('\n')).find("back after its update"), std::string::npos) << watch.out;
  EXPECT_NE(line.find("plug it in again to update it"), std::string::npos) << watch.out;
  EXPECT_EQ(Received(tries.back()), 0) << "nothing was sent to it";
  const auto lines = AuditLines(log);
  ASSERT_GE(lines.size(), 2u);
  bool logged = false;
  for (const auto& l : lines)
    logged = logged || (l.at("imei") == other && l.at("verdict") == "not updated" && l.at("port") == port &&
                        l.at("exitStatus") == "1");
  EXPECT_TRUE(logged) << ReadTestFile(log);
}

// One tracker not verified (5) beside one confirmed to run another version
// (1): the failure decides the status.
TEST_F(KvctlUpdateVerifyTest, AConfirmedFailureIsNotHiddenByAnUpdateNotVerified) {
  KvsimChild wrong;
  const std::string silent = StartSim(sim_, {"--no-restart"});
  const std::string old = StartSim(wrong, {"--imei", "490154203237518", "--version-after", kOldVersion});
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  const ProgramRun run = RunAtTestSpeed(kKvctl, {"update", silent, old, image});
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("sent, not verified"), std::string::npos) << run.out;
}

// "Up to 90 s" bounds the whole wait: a tracker that answers the probe late
// and its IMEI later still gets only what is left of the bound for its
// answers. At a fifth of real time, so that 90 s (18 s here) and the 15 s
// the two questions could add stand well apart.
TEST_F(KvctlUpdateVerifyTest, TheWaitForTheTrackersReturnEndsWithinItsBoundAnswersIncluded) {
  ASSERT_TRUE(sim_.Start(kKvsim, AtTestSpeed({"--quiet", "--boot-ms", "85000", "--imei-delay", "60000"}, "5")));
  const std::string port = sim_.ReadLine();
  const std::string image = ImageFile("fw15.bin", kNewVersion);
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun run = RunProgram(kKvctl, AtTestSpeed({"update", port, image}, "5"));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.exitCode, 5) << run.out << run.err;
  EXPECT_NE(run.err.find("did not report its firmware version"), std::string::npos) << run.err;
  EXPECT_GE(seconds, 90.0 / 5);
  // Before the transfer and after the bound: well under the 3 s (15 s of
  // tracker time) that the questions asked past the bound took.
  EXPECT_LT(seconds, 90.0 / 5 + 1.5) << run.out << run.err;
}

// A tracker slow to give its IMEI after the restart answers the questions
// asked again meanwhile first; its version still counts within the bound.
TEST_F(KvctlUpdateVerifyTest, ASlowImeiAnswerAfterTheRestartIsStillVerified) {
  const std::string port = StartSim(sim_, {"--imei-delay", "5000"});
  const ProgramRun run = RunAtTestSpeed(kKvctl, {"update", port, ImageFile("fw15.bin", kNewVersion)});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find(std::string("IMEI ") + kImei + ", firmware " + kNewVersion), std::string::npos) << run.out;
}

// A tracker that answers the IMEI query with ERROR after its restart but
// reports the version expected runs the image: the update is verified by its
// version, and the record says that no IMEI was read rather than inventing one.
TEST_F(KvctlUpdateVerifyTest, ATrackerWithoutAnImeiAnswerIsVerifiedByItsVersionAndLoggedWithoutOne) {
  const std::string port = StartSim(sim_, {"--imei-missing"});
  const std::string log = folder_.File("audit.jsonl");
  const ProgramRun run = RunAtTestSpeed(kKvctl, {"update", port, ImageFile("fw15.bin", kNewVersion), "--log", log});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find(std::string("IMEI (no IMEI answer), firmware ") + kNewVersion), std::string::npos) << run.out;
  const auto lines = AuditLines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("imei"), "null");
  EXPECT_EQ(lines[0].at("firmwareVersion"), kNewVersion);
  EXPECT_EQ(lines[0].at("verdict"), "updated");
}

// Quitting at once while waiting for the restart: the transfer is complete,
// so the advice is to look at the tracker, not to send the image again.
TEST_F(KvctlUpdateVerifyTest, QuittingAtOnceDuringTheWaitNeverAdvisesASecondTransfer) {
  const std::string port = StartSim(sim_, {"--no-restart"});
  BackgroundAtTestSpeed update(kKvctl, {"update", port, ImageFile("fw15.bin", kNewVersion)});
  ASSERT_TRUE(update.WaitForText("Waiting up to 90 s for the tracker", true)) << update.err;
  update.Signal(SIGINT);
  update.Signal(SIGTERM);
  EXPECT_EQ(update.Wait(), 130) << update.out << update.err;
  EXPECT_EQ(update.err.find("to finish the job, run:"), std::string::npos) << update.err;
  EXPECT_NE(update.err.find("the transfer was complete"), std::string::npos) << update.err;
  EXPECT_NE(update.err.find("kvctl version " + port), std::string::npos) << update.err;
}

// A text that no version read back can hold would flash the tracker only to
// fail its check: it is refused before the tracker hears anything. A version
// text is at most 64 characters and ends at its first ")"; a text of exactly
// that length is a version like any other.
TEST_F(KvctlUpdateVerifyTest, AnExpectedVersionNoTrackerCanReportIsRefusedBeforeAnythingIsSent) {
  const std::string longest = "F-0KV770E-V1.5(" + std::string(48, '7') + ")";
  ASSERT_EQ(longest.size(), 64u);
  const std::string port = StartSim(sim_, {"--version-after", longest});
  const std::string image = ImageFile("plain.bin", "");
  for (const std::string& never : {longest + "X", std::string(70, 'V'), std::string("V1.4)X"), std::string(")V")}) {
    const ProgramRun run = RunAtTestSpeed(kKvctl, {"update", port, "--expect-version", never, image, "--no-log"});
    EXPECT_EQ(run.exitCode, 2) << never << "\n" << run.out << run.err;
    EXPECT_NE(run.err.find("--expect-version"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Sending"), std::string::npos) << run.out;
  }
  const ProgramRun watch = RunAtTestSpeed(kKvctl, {"watch", "update", "--expect-version", longest + "X", image});
  EXPECT_EQ(watch.exitCode, 2) << watch.out << watch.err;
  EXPECT_EQ(Received(sim_), 0) << "nothing was sent";
  const ProgramRun fits = RunAtTestSpeed(kKvctl, {"update", port, "--expect-version", longest, image, "--no-log"});
  EXPECT_EQ(fits.exitCode, 0) << fits.out << fits.err;
  EXPECT_EQ(Received(sim_), 1);
}

// Ctrl-C while the IMEI is read after the restart (a tracker that answers it
// with ERROR, asked again every second) ends the read at once, as it ends
// the wait before it. kvctl runs on the real clock, so the IMEI read lasts
// 10 s here: a read that ran on would end 8 s after the signal, far beyond
// the bound below even when a loaded machine delivers the signal late.
TEST_F(KvctlUpdateVerifyTest, CtrlCDuringTheIdentityReadAfterTheRestartEndsItAtOnce) {
  const std::string port = StartSim(sim_, {"--imei-missing"});
  BackgroundAtTestSpeed update(kKvctl, {"update", port, ImageFile("fw15.bin", kNewVersion), "--no-log"}, "1");
  ASSERT_TRUE(update.WaitForText("Waiting up to 90 s for the tracker", true)) << update.err;
  // The tracker is back within a fraction of a second; the IMEI read follows.
  ::usleep(1500 * 1000);
  const auto signalled = std::chrono::steady_clock::now();
  update.Signal(SIGINT);
  EXPECT_EQ(update.Wait(), 130) << update.out << update.err;
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::milliseconds(4000)) << update.err;
  EXPECT_NE(update.err.find("the transfer is complete"), std::string::npos) << update.err;
}

// Quitting at once in the middle of the transfer cancels the batch on the
// way out, so the boot loader returns to the menu and the command the quit
// line names works when run at once. Real speed: the paced transfer lasts
// about 3 s.
TEST_F(KvctlUpdateVerifyTest, QuittingAtOnceDuringTheTransferLeavesATrackerTheAdviceCanFinish) {
  ASSERT_TRUE(sim_.Start(kKvsim, {"--quiet", "--line-baud", "115200"}));
  const std::string port = sim_.ReadLine();
  const std::string image = folder_.File("fw15.bin");
  WriteTestFile(image, Image(kNewVersion, 32 * 1024));
  // A sanitizer build may hold the signals until the transfer is over; the
  // tracker then restarts into the image, and the quit is tried again.
  std::string err;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    BackgroundProgram update(kKvctl, {"update", port, "--no-verify", image, "--no-log"});
    ASSERT_TRUE(update.WaitForText("Sending")) << update.out << update.err;
    ::usleep(1000 * 1000);
    update.Signal(SIGINT);
    update.Signal(SIGTERM);
    EXPECT_EQ(update.Wait(), 130) << update.out << update.err;
    err = update.err;
    if (err.find("the transfer was complete") == std::string::npos) break;
    ::usleep(4000 * 1000);  // the simulated tracker's boot into the image
  }
  const std::string marker = "to finish the job, run: ";
  const auto at = err.find(marker);
  ASSERT_NE(at, std::string::npos) << err;
  const std::string advice = err.substr(at + marker.size(), err.find('\n', at) - at - marker.size());
  EXPECT_EQ(advice, "kvctl update " + port + " --no-verify " + image + " --no-log") << err;
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun again = RunProgram(kKvctl, {"update", port, "--no-verify", image, "--no-log"});
  EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
  EXPECT_NE(again.out.find("Update fw15.bin Succeed"), std::string::npos) << again.out << again.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  std::string received;  // the cut batch's image comes first as "incomplete ..."
  for (std::string line = sim_.ReadLine(); received.empty() && !line.empty();) {
    if (line.rfind("received ", 0) == 0) received = line;
    else line = sim_.ReadLine();
  }
  EXPECT_NE(received.find(": " + std::to_string(32 * 1024) + " bytes"), std::string::npos) << received;
}

// An image that holds two different version texts names no single version,
// but a tracker that runs it reports one of them: a tracker that reports
// neither (here the old version, kept by a tracker that found no single
// version in what it received) did not take it.
TEST_F(KvctlUpdateVerifyTest, AnImageWithTwoVersionTextsNeedsATrackerReportingOneOfThem) {
  const char otherVersion[] = "F-0KV770E-V1.6(20100401)";
  std::string bytes = Image(kNewVersion);
  bytes.replace(9000, sizeof otherVersion - 1, otherVersion);
  const std::string image = folder_.File("two.bin");
  WriteTestFile(image, bytes);
  const std::string log = folder_.File("audit.jsonl");
  const std::string port = StartSim(sim_);
  const ProgramRun old = RunAtTestSpeed(kKvctl, {"update", port, image, "--log", log});
  EXPECT_EQ(old.exitCode, 1) << old.out << old.err;
  EXPECT_NE(old.out.find("expecting a tracker that reports one of them"), std::string::npos) << old.out;
  EXPECT_NE(old.err.find(std::string("the tracker reports ") + kOldVersion + ", not one of " + kNewVersion + ", " +
                         otherVersion),
            std::string::npos)
      << old.err;
  EXPECT_EQ(old.out.find("Succeed"), std::string::npos) << old.out;
  EXPECT_EQ(AuditLines(log).back().at("verdict"), "failed");
  KvsimChild second;
  const std::string other = StartSim(second, {"--version-after", otherVersion});
  const ProgramRun taken = RunAtTestSpeed(kKvctl, {"update", other, image, "--no-log"});
  EXPECT_EQ(taken.exitCode, 0) << taken.out << taken.err;
  EXPECT_NE(taken.out.find("Update two.bin Succeed"), std::string::npos) << taken.out;
}

// One tracker named twice, by its port and by a symbolic link to it (as
// udev's by-id names are), is one tracker: a second job on it would probe it
// between the hand-off and the transfer, and its "ati" would abort the boot
// loader the first job had just started.
TEST_F(KvctlUpdateVerifyTest, ATrackerNamedByItsPortAndByALinkIsUpdatedOnce) {
  // Real speed: --clock-speed takes simulated trackers by their port names.
  const std::string link = folder_.File("tracker-link");
  ASSERT_TRUE(sim_.Start(kKvsim, {"--quiet", "--link", link}));
  const std::string port = sim_.ReadLine();
  const ProgramRun run = RunProgram(kKvctl, {"update", port, link, ImageFile("fw15.bin", kNewVersion), "--no-log"});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.out.find("PORT"), std::string::npos) << "one tracker, no summary table\n" << run.out;
  EXPECT_EQ(Received(sim_), 1);
}

}  // namespace
