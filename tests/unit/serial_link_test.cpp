// The probe and the main reader against the simulated tracker over a real
// pseudo-terminal, and the exclusive open of a port.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "line_fixture.h"
#include "platform/clock.h"
#include "serial/imei_query.h"
#include "serial/probe.h"
#include "serial/reader.h"

namespace {

sim::SimOptions WithProbe(sim::ProbeAnswer answer, bool split = false) {
  sim::SimOptions o;
  o.menu.probeAnswer = answer;
  o.menu.splitProbeAnswer = split;
  return o;
}

class ProbeTest : public LineFixture {};

TEST_F(ProbeTest, FindsTheGsmModuleIdentificationInOneRead) {
  StartTracker(WithProbe(sim::ProbeAnswer::Siemens));
  EXPECT_TRUE(ProbeTracker(port_, 30000));
}

TEST_F(ProbeTest, FindsTheTrackerMenu) {
  StartTracker(WithProbe(sim::ProbeAnswer::MainMenu));
  EXPECT_TRUE(ProbeTracker(port_, 30000));
}

TEST_F(ProbeTest, WordsSplitAcrossReadsAreNotJoined) {
  UseClockSpeed(10.0);
  // Both answers at once, each on a tracker of its own: each probe runs its
  // whole course of 501 polls.
  StartTracker(WithProbe(sim::ProbeAnswer::Siemens, true));
  sim::SimTracker menu(WithProbe(sim::ProbeAnswer::MainMenu, true));
  ASSERT_TRUE(menu.Start());
  HANDLE menuPort = OpenSerialPort(menu.PortPath().c_str(), 115200);
  ASSERT_NE(menuPort, INVALID_HANDLE_VALUE);
  bool menuFound = true;
  std::thread menuProbe([&] { menuFound = ProbeTracker(menuPort, 30000); });
  EXPECT_FALSE(ProbeTracker(port_, 30000)) << "SIEMENS and OK in different reads";
  menuProbe.join();
  EXPECT_FALSE(menuFound) << "\"Main\" and \"Menu\" in different reads";
  CloseHandle(menuPort);
  menu.Stop();
}

TEST_F(ProbeTest, GarbageIsNoAnswer) {
  StartTracker(WithProbe(sim::ProbeAnswer::Garbage));
  EXPECT_FALSE(ProbeTracker(port_, 30000));
}

TEST_F(ProbeTest, SilentPortEndsAfter501PollsWithSixQueries) {
  UseClockSpeed(10.0);  // keeps the probe's own overhead small against its 50 ms polls
  StartTracker(WithProbe(sim::ProbeAnswer::Silent));
  const auto start = platform::ClockMs();
  g_bDeviceFound = 0;
  HANDLE probe = StartProbeThread(port_);
  ASSERT_NE(probe, nullptr);
  ASSERT_EQ(WaitForSingleObject(probe, 30000), WAIT_OBJECT_0) << "the probe must end by itself";
  CloseHandle(probe);
  const auto spent = platform::ClockMs() - start;
  EXPECT_EQ(g_bDeviceFound.load(), 0);
  // 501 polls of 50 ms: about 25 s of clock time, inside the 30 s bound.
  EXPECT_GE(spent, 501u * 50u);
  EXPECT_LT(spent, 30000u);
  ASSERT_TRUE(Eventually([&] { return tracker_->CommandCount("ati\r") >= 6; }));
  Sleep(500);
  EXPECT_EQ(tracker_->CommandCount("ati\r"), 6);
}

TEST_F(ProbeTest, CallerMayCloseItsHandleWhileTheProbeRuns) {
  UseClockSpeed(20.0);
  StartTracker(WithProbe(sim::ProbeAnswer::Silent));
  auto found = std::make_shared<std::atomic<BYTE>>(0);
  HANDLE probe = StartProbeThread(port_, found);
  EXPECT_EQ(WaitForSingleObject(probe, 100), WAIT_TIMEOUT);
  CloseHandle(port_);  // the caller's bound ran out; the probe keeps its own reference
  port_ = INVALID_HANDLE_VALUE;
  // The probe runs its full course of about 25 s; the bound only catches a
  // hang (SilentPortEndsAfter501PollsWithSixQueries times the course).
  EXPECT_EQ(WaitForSingleObject(probe, 60000), WAIT_OBJECT_0);
  CloseHandle(probe);
  // Its reference is gone too: the port opens again.
  port_ = OpenSerialPort(tracker_->PortPath().c_str(), 115200);
  EXPECT_NE(port_, INVALID_HANDLE_VALUE);
}

class ReaderTest : public LineFixture {
 protected:
  void StartReader() {
    link_ = std::make_shared<ReaderLink>();
    link_->onImei = [this](const std::string& imei) {
      std::lock_guard<std::mutex> lock(imeiLock_);
      imeis_.push_back(imei);
    };
    link_->m_bReaderRunning = 1;
    reader_ = StartReaderThread(link_, port_);
    ASSERT_NE(reader_, nullptr);
  }
  void StopReader() {
    if (!reader_) return;
    link_->m_bReaderRunning = 0;
    EXPECT_EQ(WaitForSingleObject(reader_, 10000), WAIT_OBJECT_0);
    CloseHandle(reader_);
    reader_ = nullptr;
  }
  void TearDown() override {
    StopReader();
    LineFixture::TearDown();
  }
  std::vector<std::string> Imeis() {
    std::lock_guard<std::mutex> lock(imeiLock_);
    return imeis_;
  }

  std::shared_ptr<ReaderLink> link_;
  HANDLE reader_ = nullptr;
  std::mutex imeiLock_;
  std::vector<std::string> imeis_;
};

TEST_F(ReaderTest, ShowsTheImeiAnsweredToTheQuery) {
  sim::SimOptions o;
  o.menu.imei = "490154203237518";
  StartTracker(o);
  StartReader();
  Write("2");
  Write("at+gsn\r");
  ASSERT_TRUE(Eventually([&] { return !Imeis().empty(); }));
  EXPECT_EQ(Imeis().front(), "490154203237518");
}

// A pulled line reads as readable with nothing to read: the query ends at
// once instead of looking again and again until its bound.
TEST_F(ReaderTest, ImeiQueryOnAPulledLineEndsAtOnce) {
  StartTracker();
  tracker_->PullCable();
  const std::uint64_t start = platform::ClockMs();
  EXPECT_FALSE(QueryImei(port_, 20000).has_value());
  EXPECT_LT(platform::ClockMs() - start, 1000u);
}

TEST_F(ReaderTest, GetDataOkIsAnsweredOncePerCompletedLine) {
  StartTracker();
  StartReader();
  tracker_->SendText("Get data OK\r\n");
  ASSERT_TRUE(Eventually([&] { return tracker_->CommandCount("kv+bd\r") == 1; }));
  Sleep(5 * READER_CYCLE_MS);
  EXPECT_EQ(tracker_->CommandCount("kv+bd\r"), 1);
  EXPECT_EQ(tracker_->CommandCount("\n"), 1) << "the answer ends in CR LF";

  // Without its line feed the text stays in the tail and is answered again
  // each time new bytes arrive behind it, until a line feed does.
  tracker_->SendText("Get data OK");
  ASSERT_TRUE(Eventually([&] { return tracker_->CommandCount("kv+bd\r") == 2; }));
  tracker_->SendText(".");
  ASSERT_TRUE(Eventually([&] { return tracker_->CommandCount("kv+bd\r") == 3; }));
  tracker_->SendText("\n");
  ASSERT_TRUE(Eventually([&] { return tracker_->CommandCount("kv+bd\r") == 4; }));
  tracker_->SendText("more text");
  Sleep(5 * READER_CYCLE_MS);
  EXPECT_EQ(tracker_->CommandCount("kv+bd\r"), 4);
}

TEST_F(ReaderTest, PausedReaderLeavesThePortAloneAndResumes) {
  StartTracker();
  StartReader();
  link_->m_bReaderPaused = 1;
  Sleep(READER_PAUSED_CYCLE_MS + READER_CYCLE_MS);  // any cycle in progress has ended
  Write("at+gsn\r");
  ASSERT_TRUE(Eventually([&] {
    COMSTAT st{};
    DWORD err = 0;
    return ClearCommError(port_, &err, &st) && st.cbInQue > 20;
  }));
  Sleep(3 * READER_PAUSED_CYCLE_MS);
  EXPECT_TRUE(Imeis().empty()) << "a paused reader must not read";
  link_->m_bReaderPaused = 0;
  ASSERT_TRUE(Eventually([&] { return !Imeis().empty(); }));
}

TEST_F(ReaderTest, FullBufferWithoutLineFeedIsDroppedAndReadingGoesOn) {
  StartTracker();
  StartReader();
  tracker_->SendText(std::string(5000, 'x'));
  Sleep(5 * READER_CYCLE_MS);
  Write("at+gsn\r");
  ASSERT_TRUE(Eventually([&] { return !Imeis().empty(); }))
      << "the reader must take in text again after a 4095-byte line";
}

class OpenSerialPortTest : public LineFixture {};

TEST_F(OpenSerialPortTest, SecondOpenInThisProcessFailsAndReopenAfterCloseWorks) {
  StartTracker();
  EXPECT_EQ(OpenSerialPort(tracker_->PortPath().c_str(), 115200), INVALID_HANDLE_VALUE);
  CloseHandle(port_);
  port_ = OpenSerialPort(tracker_->PortPath().c_str(), 115200);
  EXPECT_NE(port_, INVALID_HANDLE_VALUE);
}

TEST_F(OpenSerialPortTest, OpenFromAnotherProcessFailsEvenForRoot) {
  StartTracker();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HANDLE h = OpenSerialPort(tracker_->PortPath().c_str(), 115200);
    _exit(h == INVALID_HANDLE_VALUE ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "another process opened a port that is held";
}

TEST_F(OpenSerialPortTest, MissingPortFailsWithoutSideEffects) {
  StartTracker({}, false);
  const long before = platform::LiveHandleCount();
  EXPECT_EQ(OpenSerialPort("/dev/kv770-no-such-port", 115200), INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenSerialPort("", 115200), INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::LiveHandleCount(), before);
}

TEST_F(OpenSerialPortTest, BytesSentBeforeTheOpenAreDiscarded) {
  StartTracker({}, false);
  tracker_->SendText("stale answer\r\n");
  Sleep(50);
  port_ = OpenSerialPort(tracker_->PortPath().c_str(), 115200);
  ASSERT_NE(port_, INVALID_HANDLE_VALUE);
  char buf[64];
  DWORD got = 99;
  EXPECT_TRUE(ReadFile(port_, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(got, 0u);
}

}  // namespace
