// Start, the IMEI poll, Stop and the failures of Start, against a simulated
// tracker on a pseudo-terminal.
#include <QApplication>
#include <QTimer>

#include "main_window_fixture.h"
#include "qt_controls.h"
#include "serial/open_serial_port.h"

namespace {

// Records how many IMEI ticks had been counted each time Setting's enabled
// state changed.
class EnableWatcher : public QObject {
 public:
  EnableWatcher(CMainDlg& window) : window_(window) { SettingButton(window)->installEventFilter(this); }
  std::vector<std::pair<bool, std::uint32_t>> changes;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange)
      changes.emplace_back(SettingButton(window_)->isEnabled(), window_.m_nImeiTicks);
    return false;
  }

 private:
  CMainDlg& window_;
};

TEST_F(MainWindowTest, StartShowsImeiAndEnablesSettingOnTheFifthTickWithoutFurtherQueries) {
  ClockSpeedScope speed(10.0);  // a tick every 100 ms, the tracker answers well within one
  StartTracker();
  CMainDlg& w = OpenWindow();
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
  EnableWatcher watcher(w);

  Click(StartButton(w));
  EXPECT_EQ(StartButton(w)->text(), QStringLiteral("Stop"));
  EXPECT_FALSE(UpdateButton(w)->isEnabled());
  EXPECT_FALSE(ScanButton(w)->isEnabled());
  EXPECT_TRUE(PortCombo(w)->isEnabled());
  EXPECT_NE(w.m_nTimerId, 0u);

  ASSERT_TRUE(WaitFor([&] { return SettingButton(w)->isEnabled(); }));
  EXPECT_EQ(ImeiLabel(w)->text(), QStringLiteral("356938035643809"));
  ASSERT_EQ(watcher.changes.size(), 1u) << "Setting changed state more than once";
  EXPECT_EQ(watcher.changes[0].second, 5u) << "Setting must come on the fifth tick with the IMEI shown";
  EXPECT_EQ(w.m_nTimerId, 0u);
  EXPECT_FALSE(w.TimerActive(IMEI_POLL_TIMER_ID));

  // Another second of clock time: the poll has stopped for good.
  QTest::qWait(150);
  EXPECT_EQ(tracker_->CommandCount("2"), 1);
  EXPECT_EQ(tracker_->CommandCount("at+gsn\r"), 1) << "no query may follow the IMEI";
  EXPECT_TRUE(SettingButton(w)->isEnabled());
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(MainWindowTest, WithoutAnImeiAnswerThePollGoesOnUntilStopAndSettingStaysOff) {
  ClockSpeedScope speed(10.0);
  sim::SimOptions options;
  options.menu.imeiMissing = true;
  StartTracker(options);
  CMainDlg& w = OpenWindow();
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));

  Click(StartButton(w));
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount("at+gsn\r") >= 4; }));
  EXPECT_TRUE(ImeiLabel(w)->text().isEmpty());
  EXPECT_FALSE(SettingButton(w)->isEnabled());

  Click(StartButton(w));  // Stop
  ExpectIdle();
  const int queries = tracker_->CommandCount("at+gsn\r");
  QTest::qWait(300);  // three ticks' worth
  EXPECT_EQ(tracker_->CommandCount("at+gsn\r"), queries) << "the poll must end with Stop";
  EXPECT_FALSE(SettingButton(w)->isEnabled());
}

TEST_F(MainWindowTest, StopKeepsTheImeiOnShowAndTheNextStartEmptiesIt) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = OpenWindow();
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
  Click(StartButton(w));
  ASSERT_TRUE(WaitFor([&] { return !ImeiLabel(w)->text().isEmpty(); }));

  ProgressBar(w)->SetRange32(1, 10);
  ProgressBar(w)->SetPos(5);
  Click(StartButton(w));  // Stop
  ExpectIdle();
  EXPECT_EQ(ImeiLabel(w)->text(), QStringLiteral("356938035643809"));
  EXPECT_EQ(ProgressBar(w)->RangeHigh(), 0) << "Stop empties the progress bar";

  // The port was let go: it opens again at once.
  HANDLE again = OpenSerialPort(tracker_->PortPath().c_str(), 115200);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  if (again != INVALID_HANDLE_VALUE) CloseHandle(again);

  // The next Start empties the line before it probes; a tracker that has gone
  // silent shows that the text stays empty.
  tracker_->Stop();
  sim::SimOptions silent;
  silent.menu.probeAnswer = sim::ProbeAnswer::Silent;
  StartTracker(silent);
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
  ClockSpeedScope fastProbe(200.0);
  QString imeiWhileProbing = QStringLiteral("unset");
  boxes_.OnShow([&](const ui::MessageBoxRequest&) { imeiWhileProbing = ImeiLabel(w)->text(); });
  Click(StartButton(w));
  EXPECT_TRUE(imeiWhileProbing.isEmpty());
  EXPECT_TRUE(ImeiLabel(w)->text().isEmpty());
}

TEST_F(MainWindowTest, SilentPortGivesDeviceNotFoundAndLeavesTheWindowIdle) {
  // The 25 s probe in 1.25 s: slow enough that the probe, not the 30 s bound,
  // ends the wait even on a loaded machine or under a sanitizer.
  ClockSpeedScope speed(20.0);
  sim::SimOptions options;
  options.menu.probeAnswer = sim::ProbeAnswer::Silent;
  StartTracker(options);
  CMainDlg& w = OpenWindow();
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));

  // Looks taken while the probe runs: the window keeps painting and shows the
  // busy cursor, and input made meanwhile is dropped.
  struct DuringWait {
    bool inWait = false;
    bool busyCursor = false;
    bool startDisabled = false;
    int paintsAfterUpdate = -1;
  } seen;
  int paints = 0;
  struct PaintCounter : QObject {
    int* count;
    explicit PaintCounter(int* c) : count(c) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++*count;
      return false;
    }
  } counter(&paints);
  ImeiLabel(w)->installEventFilter(&counter);
  QTimer::singleShot(40, ui::qt::Window(w), [&] {
    seen.inWait = w.IsBusy();
    const QCursor* cursor = QApplication::overrideCursor();
    seen.busyCursor = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
    seen.startDisabled = !StartButton(w)->isEnabled();
    const int before = paints;
    ImeiLabel(w)->update();
    QTest::keyClick(ui::qt::Window(w), Qt::Key_Escape);  // would end the window if it were taken
    QTimer::singleShot(30, ui::qt::Window(w), [&, before] {
      if (w.IsBusy()) seen.paintsAfterUpdate = paints - before;
    });
  });

  Click(StartButton(w));
  ASSERT_TRUE(seen.inWait) << "the probe ended before the check could run";
  EXPECT_TRUE(seen.busyCursor);
  EXPECT_TRUE(seen.startDisabled);
  EXPECT_GT(seen.paintsAfterUpdate, 0) << "the window must paint during the probe";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  const auto shown = boxes_.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Device does not found!!");
  EXPECT_EQ(shown[0].caption, "kvtool");
  EXPECT_EQ(shown[0].type, MB_ICONEXCLAMATION | MB_OK);
  EXPECT_TRUE(ui::qt::Window(w)->isVisible()) << "Escape during the probe must have been dropped";
  ExpectIdle();
  EXPECT_EQ(tracker_->CommandCount("ati\r"), 6);
  EXPECT_EQ(tracker_->CommandCount("at+gsn\r"), 0);
}

TEST_F(MainWindowTest, PortThatCannotBeOpenedGivesOpenFail) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = OpenWindow();

  // A port that is not there, and one that another handle holds.
  HANDLE holder = OpenSerialPort(tracker_->PortPath().c_str(), 115200);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  for (const std::string& port : {std::string("/dev/kv-none"), tracker_->PortPath()}) {
    SCOPED_TRACE(port);
    ASSERT_TRUE(w.SelectPort(port));
    const std::size_t before = boxes_.Shown().size();
    Click(StartButton(w));
    const auto shown = boxes_.Shown();
    ASSERT_EQ(shown.size(), before + 1);
    EXPECT_EQ(shown.back().text, "Open COM port fail!!");
    EXPECT_EQ(shown.back().caption, "kvtool");
    EXPECT_EQ(shown.back().type & MB_ICONMASK, MB_ICONEXCLAMATION);
    ExpectIdle();
  }
  CloseHandle(holder);
  EXPECT_EQ(tracker_->CommandCount("ati\r"), 0);
}

TEST_F(MainWindowTest, StartScanAndUpdateWithNoPortSaySoAndChangeNothingElse) {
  CMainDlg& w = OpenWindow();
  ASSERT_EQ(PortCombo(w)->count(), 0);
  w.OnUpdateProgress(1, 300);
  Click(StartButton(w));
  EXPECT_EQ(ProgressBar(w)->RangeLow(), 0);
  EXPECT_EQ(ProgressBar(w)->RangeHigh(), 0);
  Click(ScanButton(w));
  Click(UpdateButton(w));

  const auto boxes = boxes_.Shown();
  ASSERT_EQ(boxes.size(), 3u) << "Start, Scan COM Port and Update each say so";
  for (const ui::MessageBoxRequest& box : boxes) {
    EXPECT_EQ(box.text, "No tracker port found. Connect the tracker by USB and try again.");
    EXPECT_EQ(box.caption, "kvtool");
    EXPECT_EQ(box.type, MB_ICONEXCLAMATION);
  }
  ExpectIdle();
}

}  // namespace
