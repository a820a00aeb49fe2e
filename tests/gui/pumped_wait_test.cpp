// The GUI thread's pumped waits, calls from workers into the GUI thread and
// the handlers that are held back while such a wait runs.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QTest>
#include <QWidget>
#include <atomic>
#include <thread>

#include "clock_speed.h"
#include "platform/clock.h"
#include "platform/sync.h"
#include "ui/clock_timer.h"
#include "ui/device_change_notifier.h"
#include "ui/gui_call.h"
#include "ui/pumped_wait.h"

namespace {

struct SleepJob {
  DWORD ms;
};
DWORD SleepThread(void* param) {
  Sleep(static_cast<SleepJob*>(param)->ms);
  return 0;
}

TEST(PumpedWait, GivesTheResultsOfAPlainWait) {
  ClockSpeedScope speed(10.0);
  SleepJob job{200};
  HANDLE thread = CreateThread(nullptr, 0, SleepThread, &job, 0, nullptr);
  EXPECT_EQ(ui::WaitPumping(thread, 100000), WAIT_OBJECT_0);
  CloseHandle(thread);

  HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(ui::WaitPumping(never, 100), WAIT_TIMEOUT);
  EXPECT_FALSE(ui::InPumpedWait());
  // An auto-reset event is consumed by the wait, as by any other wait.
  HANDLE once = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(ui::WaitPumping(once, 100), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(once, 0), WAIT_TIMEOUT);
  CloseHandle(once);
  CloseHandle(never);
}

TEST(PumpedWait, WorkerSendingToTheWaitingGuiThreadDoesNotDeadlock) {
  QWidget window;
  QPointer<QWidget> guard(&window);
  std::atomic<bool> sendResult{false};
  std::atomic<bool> ranOnGui{false};
  std::thread worker([&] {
    sendResult = ui::Send(guard, [&] { ranOnGui = ui::InPumpedWait(); });
  });
  // A waiter on the worker: the GUI thread waits for the thread that sends to it.
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread joiner([&] {
    worker.join();
    SetEvent(done);
  });
  EXPECT_EQ(ui::WaitPumping(done, 10000), WAIT_OBJECT_0);
  joiner.join();
  CloseHandle(done);
  EXPECT_TRUE(sendResult);
  EXPECT_TRUE(ranOnGui) << "the call ran inside the wait";
}

TEST(GuiCall, CallsIntoAnObjectThatIsGoneDoNothing) {
  auto window = std::make_unique<QWidget>();
  QPointer<QWidget> guard(window.get());
  int posted = 0;
  ASSERT_TRUE(ui::Post(guard, [&] { ++posted; }));
  window.reset();
  QCoreApplication::processEvents();
  EXPECT_EQ(posted, 0);

  std::atomic<bool> sent{true};
  std::thread worker([&] { sent = ui::Send(guard, [] { ADD_FAILURE() << "ran on a gone window"; }); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return !sent; }, 10000));
  worker.join();
}

TEST(PumpedWait, TimerTicksAreHeldBackAndDroppedWhenTheTimerStopsFirst) {
  ClockSpeedScope speed(50.0);
  int ticks = 0;
  ui::ClockTimer timer([&] { ++ticks; });
  timer.Start(250);  // 5 real ms
  SleepJob job{2500};  // 50 real ms: ten periods
  HANDLE thread = CreateThread(nullptr, 0, SleepThread, &job, 0, nullptr);
  ASSERT_EQ(ui::WaitPumping(thread, 100000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(ticks, 0) << "no tick inside the wait";
  // Stopped right after the wait (as Stop kills the IMEI poll): the held-back
  // tick is not delivered.
  timer.Stop();
  QTest::qWait(30);
  EXPECT_EQ(ticks, 0);

  // Still running after the wait: the held-back ticks arrive as one, then
  // the timer goes on.
  timer.Start(250);
  thread = CreateThread(nullptr, 0, SleepThread, &job, 0, nullptr);
  ASSERT_EQ(ui::WaitPumping(thread, 100000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(ticks, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 10000));
}

TEST(DeviceChangeNotifier, ReportsEachChangeAndMergesThoseMadeDuringAWait) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  int changes = 0;
  const auto drain = [&] {
    char buffer[64];
    return ::read(fds[0], buffer, sizeof buffer) > 0;
  };
  ui::DeviceChangeNotifier notifier(fds[0], drain, [&] { ++changes; });

  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return changes == 1; }, 10000));

  // Three changes while the GUI thread waits: none inside, one after.
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread plugger([&] {
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(::write(fds[1], "x", 1), 1);
      // Until the GUI thread has drained it (bounded), so every change falls
      // inside the wait.
      int pending = 1;
      for (int polls = 0; polls < 5000 && pending > 0; ++polls) {
        ::ioctl(fds[0], FIONREAD, &pending);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    SetEvent(done);
  });
  EXPECT_EQ(ui::WaitPumping(done, 10000), WAIT_OBJECT_0);
  plugger.join();
  CloseHandle(done);
  EXPECT_EQ(changes, 1);
  QTest::qWait(20);
  EXPECT_EQ(changes, 2);
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
