// Worker threads that end with their owner: kvctl's interrupt watcher ends
// when its Handling does, and a probe whose caller's wait is over is stopped
// and waited for, so it no longer holds the port.
#include <signal.h>

#include <gtest/gtest.h>

#include "common/tool_timings.h"
#include "interrupt.h"
#include "line_fixture.h"
#include "serial/probe.h"
#include "tracker_session.h"

namespace {

TEST(KvctlInterrupt, TheWatcherEndsWithItsHandlingWhetherOrNotASignalCame) {
  {
    interrupt::Handling handling;
    EXPECT_TRUE(interrupt::WatcherRunning());
  }
  EXPECT_FALSE(interrupt::WatcherRunning());
  // Ending is not an interrupt.
  EXPECT_FALSE(interrupt::Requested());
  EXPECT_EQ(WaitForSingleObject(interrupt::StopEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  {
    interrupt::Handling handling;
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_EQ(WaitForSingleObject(interrupt::StopEvent(), 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(interrupt::Requested());
    // Still there after the signal: a second one ends the process with
    // _exit, which must not find a finished thread that nobody joined.
    ::Sleep(50);
    EXPECT_TRUE(interrupt::WatcherRunning());
  }
  EXPECT_FALSE(interrupt::WatcherRunning());
}

TEST(KvctlInterrupt, ANewHandlingStartsWithNoSignalCounted) {
  {
    interrupt::Handling first;
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_EQ(WaitForSingleObject(interrupt::StopEvent(), 60000), WAIT_OBJECT_0);
  }
  // Had the count gone on, this signal would be a second one and end the
  // process at once.
  interrupt::Handling watching(interrupt::FirstSignal::Finish);
  EXPECT_FALSE(interrupt::Requested());
  EXPECT_TRUE(interrupt::WatcherRunning());
  ASSERT_EQ(::raise(SIGTERM), 0);
  EXPECT_TRUE(interrupt::FinishRequested());
  EXPECT_FALSE(interrupt::Requested());
  EXPECT_EQ(WaitForSingleObject(interrupt::StopEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

sim::SimOptions SilentTracker() {
  sim::SimOptions o;
  o.menu.probeAnswer = sim::ProbeAnswer::Silent;
  return o;
}

// Real speed: the stop's bound is to be judged against real scheduling.
class ProbeEndTest : public LineFixture {
 protected:
  void SetUp() override { UseClockSpeed(1.0); }

  // The port opens again only once nobody holds it any more (exclusive use).
  bool PortOpensAgain() {
    CloseHandle(port_);
    port_ = OpenSerialPort(tracker_->PortPath().c_str(), MAIN_BAUD_RATE);
    return port_ != INVALID_HANDLE_VALUE;
  }
};

TEST_F(ProbeEndTest, KvctlLeavesNoProbeRunningWhenItsWaitEnds) {
  StartTracker(SilentTracker());
  EXPECT_EQ(WatchProbe(port_, 300), ProbeOutcome::Silent);
  EXPECT_TRUE(PortOpensAgain()) << "the probe still holds the port";
}

TEST_F(ProbeEndTest, ProbeTrackerLeavesNoProbeRunningWhenItsBoundRunsOut) {
  StartTracker(SilentTracker());
  EXPECT_FALSE(ProbeTracker(port_, 300));
  EXPECT_TRUE(PortOpensAgain()) << "the probe still holds the port";
}

}  // namespace
