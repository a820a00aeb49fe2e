#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/clock.h"
#include "platform/sync.h"

namespace {

struct ClockSpeedGuard {
  explicit ClockSpeedGuard(double f) { platform::SetClockSpeed(f); }
  ~ClockSpeedGuard() { platform::SetClockSpeed(1.0); }
};

TEST(Events, AutoResetEventWakesOneWaitOnly) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  SetEvent(e);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT) << "auto-reset must clear on a satisfied wait";
  CloseHandle(e);
}

TEST(Events, ManualResetStaysSignalledUntilReset) {
  HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  ResetEvent(e);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  CloseHandle(e);
}

TEST(Events, WaitForMultipleReturnsLowestSignalledIndex) {
  HANDLE es[3];
  for (auto& e : es) e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  SetEvent(es[2]);
  SetEvent(es[1]);
  EXPECT_EQ(WaitForMultipleObjects(3, es, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, es, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, es, FALSE, 10), WAIT_TIMEOUT);
  for (auto e : es) CloseHandle(e);
}

std::atomic<int> g_ran{0};
DWORD SleepyThread(void* p) {
  Sleep(*static_cast<DWORD*>(p));
  g_ran = 1;
  return 7;
}

TEST(Threads, WaitIsBoundedAndThreadHandleSignalsOnExit) {
  DWORD sleepMs = 300;
  HANDLE t = CreateThread(nullptr, 0, SleepyThread, &sleepMs, 0, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, 20), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(t, &code);
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(g_ran.load(), 1);
  CloseHandle(t);
}

TEST(Clock, SpeedUpShortensWaitsInProportion) {
  ClockSpeedGuard fast(50.0);
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(e, 2000), WAIT_TIMEOUT);  // 40 ms of real time
  const auto real = std::chrono::steady_clock::now() - t0;
  EXPECT_LT(real, std::chrono::milliseconds(1000));
  EXPECT_GE(real, std::chrono::milliseconds(30));
  CloseHandle(e);
}

TEST(Clock, ClockTimeNeverRunsBackwardsAcrossSpeedChanges) {
  const auto a = platform::ClockMs();
  platform::SetClockSpeed(100.0);
  Sleep(100);
  const auto b = platform::ClockMs();
  platform::SetClockSpeed(1.0);
  const auto c = platform::ClockMs();
  EXPECT_GE(b, a + 90);
  EXPECT_GE(c, b);
}

}  // namespace
