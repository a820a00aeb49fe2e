// The dialog layer's long waits: busy while a worker waits, input dropped,
// ticks held back, the continuation on the GUI thread, and dialogs that
// open meanwhile taking input as usual.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "clock_speed.h"
#include "platform/sync.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "ui/message_box.h"
#include "ui/qt/qt_access.h"
#include "ui/template_dialog.h"

namespace {

constexpr int kHangBoundMs = 20000;

// The main window's template, counting what reaches its handlers.
class CountingDialog : public ui::TemplateDialog {
 public:
  CountingDialog() : ui::TemplateDialog(res::MainDialogTemplate()) {}
  ~CountingDialog() override { StopBackgroundWork(); }
  int commands = 0;
  int ticks = 0;
  int closes = 0;

 protected:
  bool OnCommand(int) override {
    ++commands;
    return true;
  }
  void OnTimer(UINT) override { ++ticks; }
  void OnClose() override { ++closes; }
};

struct Event {
  HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ~Event() { CloseHandle(handle); }
};

TEST(DialogBusy, ABoxThatAWorkerShowsDuringAWaitTakesInputAndTheWaitGoesOn) {
  // A real box, not a test hook: it must take the click while its owner waits.
  CountingDialog dialog;
  dialog.ShowModeless();
  Event release;
  std::atomic<int> answer{-1};
  bool continued = false;
  dialog.WaitThen(release.handle, 100000, [&](DWORD result) { continued = result == WAIT_OBJECT_0; });
  std::thread worker([&, ref = dialog.Ref()] {
    answer = ui::ShowMessageBox(ref, "Reset the Device and try again", "Error", MB_ICONERROR);
    SetEvent(release.handle);
  });
  // Press the box's OK button as a user would.
  QTimer presser;
  QObject::connect(&presser, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) QTest::mouseClick(ok, Qt::LeftButton);
    }
  });
  presser.start(20);
  EXPECT_TRUE(QTest::qWaitFor([&] { return continued; }, kHangBoundMs));
  presser.stop();
  worker.join();
  EXPECT_EQ(answer.load(), IDOK);
  EXPECT_FALSE(dialog.IsBusy());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(DialogBusy, InputIsDroppedAndTicksAreHeldBackUntilTheContinuation) {
  ClockSpeedScope speed(50.0);
  CountingDialog dialog;
  dialog.ShowModeless();
  QDialog* window = ui::qt::Window(dialog);
  dialog.SetTimer(1, 250);  // 5 real ms
  Event release;
  int ticksAtContinuation = -1;
  dialog.WaitThen(release.handle, 100000, [&](DWORD) { ticksAtContinuation = dialog.ticks; });
  ASSERT_TRUE(dialog.IsBusy());
  const QCursor* cursor = QApplication::overrideCursor();
  EXPECT_TRUE(cursor != nullptr && cursor->shape() == Qt::WaitCursor);

  QTest::qWait(60);  // a dozen periods
  QTest::mouseClick(ui::qt::Control(dialog, IDC_BTN_START), Qt::LeftButton);
  QTest::keyClick(window, Qt::Key_Escape);
  window->close();  // the close box
  EXPECT_EQ(dialog.ticks, 0) << "no tick while busy";
  EXPECT_EQ(dialog.commands, 0);
  EXPECT_EQ(dialog.closes, 0);
  EXPECT_TRUE(window->isVisible());

  SetEvent(release.handle);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticksAtContinuation >= 0; }, kHangBoundMs));
  EXPECT_EQ(ticksAtContinuation, 0) << "held-back ticks come after the continuation";
  EXPECT_FALSE(dialog.IsBusy());
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ticks >= 3; }, kHangBoundMs)) << "the timer goes on";

  QTest::mouseClick(ui::qt::Control(dialog, IDC_BTN_START), Qt::LeftButton);
  EXPECT_EQ(dialog.commands, 1) << "input counts again";
}

TEST(DialogBusy, ATickHeldBackForATimerStoppedMeanwhileIsDropped) {
  ClockSpeedScope speed(50.0);
  CountingDialog dialog;
  dialog.ShowModeless();
  dialog.SetTimer(1, 250);
  Event release;
  bool continued = false;
  dialog.WaitThen(release.handle, 100000, [&](DWORD) {
    dialog.KillTimer(1);  // as Stop kills the IMEI poll
    continued = true;
  });
  QTest::qWait(40);
  SetEvent(release.handle);
  ASSERT_TRUE(QTest::qWaitFor([&] { return continued; }, kHangBoundMs));
  QTest::qWait(40);
  EXPECT_EQ(dialog.ticks, 0);
}

TEST(DialogBusy, ABoundThatRunsOutContinuesWithATimeOut) {
  ClockSpeedScope speed(50.0);
  CountingDialog dialog;
  Event never;
  DWORD result = WAIT_FAILED;
  bool continued = false;
  dialog.WaitThen(never.handle, 500, [&](DWORD r) {
    result = r;
    continued = true;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return continued; }, kHangBoundMs));
  EXPECT_EQ(result, static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(DialogBusy, ADialogDestroyedDuringAWaitEndsItAtOnceAndNeverContinues) {
  auto dialog = std::make_unique<CountingDialog>();
  Event never;
  bool continued = false;
  dialog->WaitThen(never.handle, 600000, [&](DWORD) { continued = true; });
  std::atomic<bool> workDone{false};
  dialog->RunThen([&] { workDone = true; }, [&] { continued = true; });
  // The work is over and its continuation queued, not yet run.
  while (!workDone.load()) std::this_thread::yield();
  dialog.reset();  // joins both workers; the ten-minute wait is stopped
  QTest::qWait(20);
  EXPECT_FALSE(continued);
}

// A derived dialog whose destructor does not stop its work first.
class ForgetfulDialog : public ui::TemplateDialog {
 public:
  ForgetfulDialog() : ui::TemplateDialog(res::MainDialogTemplate()) {}
};

TEST(DialogBusyDeathTest, ADebugBuildStopsADialogThatLeftItsWorkRunning) {
#ifdef NDEBUG
  GTEST_SKIP() << "the check is made in debug builds";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        Event never;
        auto dialog = std::make_unique<ForgetfulDialog>();
        dialog->WaitThen(never.handle, 600000, [](DWORD) {});
        dialog.reset();
      },
      "StopBackgroundWork");
  // The same dialog with no work left goes quietly.
  auto idle = std::make_unique<ForgetfulDialog>();
  idle->RunThen([] {}, [] {});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !idle->IsBusy(); }, kHangBoundMs));
  idle.reset();
#endif
}

TEST(WindowRef, CallsIntoADialogThatIsGoneDoNothing) {
  auto dialog = std::make_unique<CountingDialog>();
  const ui::WindowRef ref = dialog->Ref();
  int posted = 0;
  ASSERT_TRUE(ref.Post([&] { ++posted; }));
  dialog.reset();
  QCoreApplication::processEvents();
  EXPECT_EQ(posted, 0);
  EXPECT_EQ(ref.Get(), nullptr);

  std::atomic<bool> sent{true};
  std::thread worker([&] { sent = ref.Send([] { ADD_FAILURE() << "ran on a gone dialog"; }); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return !sent; }, kHangBoundMs));
  worker.join();
}

}  // namespace
