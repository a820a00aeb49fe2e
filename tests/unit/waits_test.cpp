// Waits with many threads: wait-all takes its objects all at once or not at
// all, a set wakes only the waits it ends, no set is lost between threads,
// and a wait that gave up takes nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "clock_speed.h"
#include "platform/sync.h"
#include "platform/waitable_posix.h"

namespace {

// A thread that makes one wait and keeps its result.
struct WaitingThread {
  WaitingThread(std::vector<HANDLE> on, BOOL all, DWORD bound)
      : handles(std::move(on)), waitAll(all), timeoutMs(bound) {
    thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  ~WaitingThread() {
    WaitForSingleObject(thread, 60000);
    CloseHandle(thread);
  }
  static DWORD Run(void* self) {
    auto* w = static_cast<WaitingThread*>(self);
    w->result =
        WaitForMultipleObjects(static_cast<DWORD>(w->handles.size()), w->handles.data(), w->waitAll, w->timeoutMs);
    return 0;
  }
  bool Ended(DWORD withinMs) { return WaitForSingleObject(thread, withinMs) == WAIT_OBJECT_0; }

  std::vector<HANDLE> handles;
  BOOL waitAll;
  DWORD timeoutMs;
  std::atomic<DWORD> result{WAIT_FAILED};
  HANDLE thread = nullptr;
};

HANDLE AutoEvent() { return CreateEventA(nullptr, FALSE, FALSE, nullptr); }

TEST(WaitAll, TakesItsAutoResetEventsTogetherOrNotAtAll) {
  HANDLE a = AutoEvent(), b = AutoEvent();
  {
    WaitingThread both({a, b}, TRUE, 60000);
    SetEvent(a);
    // The waiting thread cannot finish without b, so a is still there.
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
    SetEvent(b);
    EXPECT_FALSE(both.Ended(100)) << "wait-all ended with one of its two events";
    SetEvent(a);
    ASSERT_TRUE(both.Ended(10000));
    EXPECT_EQ(both.result.load(), WAIT_OBJECT_0);
  }
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT) << "wait-all left b unconsumed";
  CloseHandle(a);
  CloseHandle(b);
}

TEST(WaitAll, RefusesWhatWindowsRefuses) {
  HANDLE a = AutoEvent();
  HANDLE twice[2] = {a, a};
  EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
  SetEvent(a);
  EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0) << "wait-any may name one twice";
  std::vector<HANDLE> many(65, a);
  EXPECT_EQ(WaitForMultipleObjects(65, many.data(), FALSE, 0), WAIT_FAILED);
  CloseHandle(a);
}

TEST(WaitWakes, ASetWakesOnlyTheWaitOnItsEvent) {
  constexpr int kThreads = 24;
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // shared, as kvctl's
  std::vector<HANDLE> own(kThreads);
  std::vector<std::unique_ptr<WaitingThread>> threads;
  for (int i = 0; i < kThreads; ++i) {
    own[i] = AutoEvent();
    threads.push_back(std::make_unique<WaitingThread>(std::vector<HANDLE>{own[i], stop}, FALSE, 60000));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let them all block
  const unsigned long before = platform::detail::WakeCount();
  SetEvent(own[7]);
  ASSERT_TRUE(threads[7]->Ended(10000));
  EXPECT_EQ(threads[7]->result.load(), WAIT_OBJECT_0);
  // One wake for the thread the set ends; a rare spurious one is tolerated,
  // a wake of every waiting thread is not.
  EXPECT_LE(platform::detail::WakeCount() - before, 3u);
  EXPECT_FALSE(threads[6]->Ended(0));

  SetEvent(stop);  // a manual-reset set ends every wait on it
  for (int i = 0; i < kThreads; ++i) {
    if (i == 7) continue;
    ASSERT_TRUE(threads[i]->Ended(10000)) << i;
    EXPECT_EQ(threads[i]->result.load(), WAIT_OBJECT_0 + 1) << i;
  }
  threads.clear();
  for (HANDLE e : own) CloseHandle(e);
  CloseHandle(stop);
}

TEST(WaitWakes, AnAutoResetSetEndsExactlyOneOfManyWaits) {
  HANDLE e = AutoEvent();
  std::vector<std::unique_ptr<WaitingThread>> threads;
  for (int i = 0; i < 6; ++i) threads.push_back(std::make_unique<WaitingThread>(std::vector<HANDLE>{e}, FALSE, 60000));
  const auto ended = [&] {
    int n = 0;
    for (auto& t : threads) n += t->Ended(0) ? 1 : 0;
    return n;
  };
  for (int sets = 1; sets <= 6; ++sets) {
    SetEvent(e);
    for (int i = 0; i < 500 && ended() < sets; ++i) Sleep(2);
    Sleep(30);
    EXPECT_EQ(ended(), sets);
  }
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  threads.clear();
  CloseHandle(e);
}

// Two threads hand a turn to each other through two auto-reset events: a set
// that slipped between a wait's check and its sleep would stall the game.
TEST(WaitWakes, NoSetIsLostBetweenThreads) {
  constexpr int kTurns = 20000;
  HANDLE ping = AutoEvent(), pong = AutoEvent();
  struct Player {
    HANDLE mine, theirs;
    int turns = 0;
    static DWORD Play(void* p) {
      auto* self = static_cast<Player*>(p);
      for (int i = 0; i < kTurns; ++i) {
        if (WaitForSingleObject(self->mine, 10000) != WAIT_OBJECT_0) return 1;
        ++self->turns;
        SetEvent(self->theirs);
      }
      return 0;
    }
  } first{ping, pong}, second{pong, ping};
  HANDLE threads[2] = {CreateThread(nullptr, 0, Player::Play, &first, 0, nullptr),
                       CreateThread(nullptr, 0, Player::Play, &second, 0, nullptr)};
  SetEvent(ping);
  ASSERT_EQ(WaitForMultipleObjects(2, threads, TRUE, 120000), WAIT_OBJECT_0);
  DWORD code = 9;
  GetExitCodeThread(threads[0], &code);
  EXPECT_EQ(code, 0u);
  GetExitCodeThread(threads[1], &code);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(first.turns + second.turns, 2 * kTurns);
  for (HANDLE h : {threads[0], threads[1], ping, pong}) CloseHandle(h);
}

TEST(WaitTimeouts, AWaitThatGaveUpOnTheFastClockTakesNothing) {
  ClockSpeedScope fast(50.0);
  HANDLE a = AutoEvent(), b = AutoEvent();
  const auto t0 = std::chrono::steady_clock::now();
  {
    WaitingThread gaveUp({a, b}, FALSE, 2000);  // 40 ms of real time
    ASSERT_TRUE(gaveUp.Ended(60000));
    EXPECT_EQ(gaveUp.result.load(), WAIT_TIMEOUT);
  }
  const auto real = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(real, std::chrono::milliseconds(30));
  EXPECT_LT(real, std::chrono::milliseconds(1500));
  SetEvent(b);
  EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0) << "the set went to a wait that had left";
  CloseHandle(a);
  CloseHandle(b);
}

}  // namespace
