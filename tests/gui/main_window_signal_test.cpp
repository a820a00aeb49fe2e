// Interrupt, terminate and hang-up sent to the windowed program: the window
// closes as its close box does, but only once the work on the tracker under
// way has ended, so a write is never cut between its delete and its stores.
#include <unistd.h>

#include <csignal>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/close_signals.h"
#include "device_setting_fixture.h"
#include "common/tool_texts.h"
#include "qt_controls.h"

namespace {

using settings::SettingId;
using settings::SettingsLayout;

TEST_F(DeviceSettingTest, TerminateDuringSetToDeviceFinishesTheWriteThenClosesEverything) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  CMainDlg& w = *window_;
  const CloseOnSignals closing(w);

  struct Seen {
    bool writing = false;
    settings::DeviceSettings written;
  } seen;
  testing::internal::CaptureStderr();
  QTimer::singleShot(50, ui::qt::Window(w), [&] {
    CDeviceSettingDlg* d = nullptr;
    if (!AwaitModalDialogIdle(d)) return;
    auto* name = ui::qt::ControlAs<QLineEdit>(*d, settings::Setting(SettingId::userName).controlId);
    name->selectAll();
    QTest::keyClicks(name, "Unit9");
    seen.written = d->ReadSettings();
    ui::qt::ControlAs<QPushButton>(*d, IDC_BTN_SET_TO_DEVICE)->click();
    // Between the delete phase and the last store.
    seen.writing = WaitFor([&] { return tracker_->CommandCount("at+cmgw=+1\r") == 1; });
    std::raise(SIGTERM);
    // No click on Exit: the signal ends the dialog once the write is over.
    QTimer::singleShot(HANG_BOUND_MS, ui::qt::Window(*d), [d] { d->EndDialog(IDCANCEL); });  // only on a hang
  });
  Click(SettingButton(w));  // returns when the dialog has ended
  ASSERT_TRUE(seen.writing);
  EXPECT_TRUE(WaitFor([&] { return w.Ended(); })) << "the window stayed after the signal";
  const std::string said = testing::internal::GetCapturedStderr();

  EXPECT_EQ(seen.written.userName, "Unit9");
  EXPECT_EQ(tracker_->MessageStore(), MessageTexts(seen.written, SettingsLayout::Extended));
  EXPECT_EQ(tracker_->CommandCount("at+cmgw=+4\r"), 1);
  EXPECT_EQ(w.m_hPort, INVALID_HANDLE_VALUE);
  EXPECT_EQ(w.m_hReaderThread, nullptr);
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_NE(said.find("kvtool: "), std::string::npos) << said;
}

// Terminated during Set to device, and then the write cannot finish (the
// tracker switched off, or the cable pulled): the box names what the tracker
// lacks and says that the window closes with it, not that the fields keep the
// settings or that Export saves them, which the close would make untrue.
class TerminatedDuringAnUnfinishedWriteTest : public DeviceSettingTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TerminatedDuringAnUnfinishedWriteTest, TheBoxSaysTheWindowClosesWithTheFields) {
  const bool pull = GetParam();
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  CMainDlg& w = *window_;
  const CloseOnSignals closing(w);
  bool writing = false;
  testing::internal::CaptureStderr();
  QTimer::singleShot(50, ui::qt::Window(w), [&] {
    CDeviceSettingDlg* d = nullptr;
    if (!AwaitModalDialogIdle(d)) return;
    ui::qt::ControlAs<QPushButton>(*d, IDC_BTN_SET_TO_DEVICE)->click();
    writing = WaitFor([&] { return tracker_->CommandCount("at+cmgw=+2\r") == 1; });
    std::raise(SIGTERM);
    if (pull) {
      tracker_->PullCable();
    } else {
      tracker_->SwitchOff();
    }
    QTimer::singleShot(HANG_BOUND_MS, ui::qt::Window(*d), [d] { d->EndDialog(IDCANCEL); });  // only on a hang
  });
  Click(SettingButton(w));  // returns when the dialog has ended
  ASSERT_TRUE(writing);
  EXPECT_TRUE(WaitFor([&] { return w.Ended(); })) << "the window stayed after the signal";
  testing::internal::GetCapturedStderr();

  const auto texts = boxes_.Texts();
  ASSERT_EQ(texts.size(), 1u);
  const std::string start = pull ? settings::WRITE_LINE_LOST_START : settings::WRITE_UNFINISHED_START;
  EXPECT_EQ(texts[0].rfind(start, 0), 0u) << texts[0];
  EXPECT_NE(texts[0].find("messages 2, 3, 4 "), std::string::npos) << texts[0];
  EXPECT_NE(texts[0].find(settings::WRITE_LEFT_ON_CLOSE_END), std::string::npos) << texts[0];
  EXPECT_EQ(texts[0].find("the fields keep them"), std::string::npos) << texts[0];
  EXPECT_EQ(texts[0].find("Export them to a file now"), std::string::npos) << texts[0];
}

INSTANTIATE_TEST_SUITE_P(SwitchedOffOrPulled, TerminatedDuringAnUnfinishedWriteTest, ::testing::Values(false, true));

TEST_F(MainWindowTest, InterruptOrHangUpClosesAnIdleConnectionAsTheCloseBoxDoes) {
  ClockSpeedScope speed(20.0);
  for (const int signal : {SIGINT, SIGHUP}) {
    StartTracker();
    CMainDlg& w = OpenWindow();
    const CloseOnSignals closing(w);
    ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
    Click(StartButton(w));
    ASSERT_TRUE(WaitFor([&] { return SettingButton(w)->isEnabled(); }));
    ASSERT_NE(w.m_hPort, INVALID_HANDLE_VALUE);

    testing::internal::CaptureStderr();
    std::raise(signal);
    EXPECT_TRUE(WaitFor([&] { return w.Ended(); })) << signal;
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(w.m_hPort, INVALID_HANDLE_VALUE) << signal;
    EXPECT_EQ(w.m_hReaderThread, nullptr) << signal;
    EXPECT_TRUE(boxes_.Shown().empty()) << signal;
    tracker_->Stop();
  }
}

// Started as "kvtool 2>&1 | tee log" from a terminal that is then closed:
// the hang-up comes, and the pipe behind standard error has no reader left.
// Saying that it closes must not end the program with a broken pipe.
TEST_F(MainWindowTest, HangUpWithStandardErrorOnABrokenPipeStillClosesAsTheCloseBoxDoes) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = OpenWindow();
  const CloseOnSignals closing(w);
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
  Click(StartButton(w));
  ASSERT_TRUE(WaitFor([&] { return SettingButton(w)->isEnabled(); }));

  int broken[2];
  ASSERT_EQ(::pipe(broken), 0);
  ::close(broken[0]);
  const int savedErr = ::dup(STDERR_FILENO);
  ::dup2(broken[1], STDERR_FILENO);
  ::close(broken[1]);
  std::raise(SIGHUP);
  const bool ended = WaitFor([&] { return w.Ended(); });
  ::dup2(savedErr, STDERR_FILENO);
  ::close(savedErr);
  EXPECT_TRUE(ended);
  EXPECT_EQ(w.m_hPort, INVALID_HANDLE_VALUE);
}

// A box that says what happened is answered before the window goes.
TEST_F(MainWindowTest, TerminateWhileABoxIsShownWaitsForItsAnswer) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = OpenWindow();
  const CloseOnSignals closing(w);
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
  Click(StartButton(w));
  ASSERT_TRUE(WaitFor([&] { return SettingButton(w)->isEnabled(); }));

  bool endedUnderTheBox = true;
  boxes_.OnShow([&](const ui::MessageBoxRequest&) {
    std::raise(SIGTERM);
    QTest::qWait(500);  // many retries of the close on the sped-up clock
    endedUnderTheBox = w.Ended();
  });
  testing::internal::CaptureStderr();
  tracker_->PullCable();
  ASSERT_TRUE(WaitFor([&] { return !boxes_.Shown().empty(); }));
  EXPECT_TRUE(WaitFor([&] { return w.Ended(); }));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{TRACKER_DISCONNECTED_TEXT});
  EXPECT_FALSE(endedUnderTheBox) << "the window went while its box waited for an answer";
}

}  // namespace
