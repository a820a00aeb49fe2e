// The cable pulled under the tool (the simulated tracker's side of the
// pseudo-terminal closed): during a connection, during a settings write and
// during an update. Each ends at once with the loss named, never by running
// into time-outs or by polling a line that is gone.
#include <QFile>
#include <QTemporaryDir>

#include "device_setting_fixture.h"
#include "qt_controls.h"
#include "firmware/ymodem_sender.h"
#include "common/tool_texts.h"
#include "platform/clock.h"

namespace {

class PulledCableTest : public DeviceSettingTest {
 protected:
  // The window lists the tracker's port; the port source counts the walks.
  CMainDlg& WindowOnTracker() {
    const std::string path = tracker_->PortPath();
    CMainDlg& w = OpenWindow([this, path] {
      ++walks_;
      return std::vector<platform::PortInfo>{{path, "Prolific USB-to-Serial Comm Port (" + path + ")"}};
    });
    return w;
  }

  int walks_ = 0;
};

TEST_F(PulledCableTest, DuringAConnectionTheWindowStopsRefreshesTheListAndSaysSo) {
  StartTracker();
  CMainDlg& w = WindowOnTracker();
  Click(StartButton(w));
  ASSERT_TRUE(WaitFor([&] { return SettingButton(w)->isEnabled(); }));
  const int walksBefore = walks_;

  tracker_->PullCable();
  ASSERT_TRUE(WaitFor([&] { return !boxes_.Shown().empty(); }));
  const auto boxes = boxes_.Shown();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, TRACKER_DISCONNECTED_TEXT);
  EXPECT_EQ(boxes[0].caption, "kvtool");
  EXPECT_EQ(boxes[0].type, MB_ICONEXCLAMATION);
  ExpectIdle();
  EXPECT_GT(walks_, walksBefore) << "the port list is refreshed";
}

// A tracker that goes during Start's probe is named at once, not after the
// probe's polls have run out with "Device does not found!!"; once a tracker
// is back, Start connects to it.
TEST_F(PulledCableTest, DuringStartsProbeTheLossIsNamedAtOnceAndStartWorksAgain) {
  ClockSpeedScope speed(5.0);  // room for a slow build within the bound below
  sim::SimOptions options;
  options.menu.probeAnswer = sim::ProbeAnswer::Silent;  // the probe keeps polling
  StartTracker(options);
  CMainDlg& w = WindowOnTracker();
  QTest::mouseClick(StartButton(w), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount("ati\r") >= 1; }));
  ASSERT_TRUE(w.IsBusy());

  const std::uint64_t pulledAt = platform::ClockMs();
  tracker_->PullCable();
  ASSERT_TRUE(WaitFor([&] { return !w.IsBusy(); }));
  EXPECT_LT(platform::ClockMs() - pulledAt, 2000u) << "the probe polled a line that was gone";
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{TRACKER_DISCONNECTED_TEXT});
  ExpectIdle();

  StartTracker();  // plugged back (a new port)
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
  Click(StartButton(w));
  EXPECT_TRUE(WaitFor([&] { return !ImeiLabel(w)->text().isEmpty(); }));
  EXPECT_EQ(StartButton(w)->text(), QStringLiteral("Stop"));
  EXPECT_EQ(boxes_.Shown().size(), 1u);
}

TEST_F(PulledCableTest, WhileTheImeiIsPendingThePollStopsWithTheConnection) {
  sim::SimOptions options;
  options.menu.imeiMissing = true;
  StartTracker(options);
  CMainDlg& w = WindowOnTracker();
  Click(StartButton(w));
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount("at+gsn\r") >= 2; }));

  tracker_->PullCable();
  ASSERT_TRUE(WaitFor([&] { return !boxes_.Shown().empty(); }));
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{TRACKER_DISCONNECTED_TEXT});
  ExpectIdle();
  EXPECT_FALSE(w.TimerActive(IMEI_POLL_TIMER_ID)) << "no poll into a port that is gone";
}

TEST_F(PulledCableTest, DeviceRemovalNoticedThroughTheDeviceChange) {
  StartTracker();
  CMainDlg& w = WindowOnTracker();
  Click(StartButton(w));
  ASSERT_TRUE(WaitFor([&] { return !ImeiLabel(w)->text().isEmpty(); }));
  // The line goes, and the device change reports it before the reader's next cycle.
  tracker_->PullCable();
  w.OnDeviceChange();
  Settle();
  ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{TRACKER_DISCONNECTED_TEXT});
  ExpectIdle();
}

// The settings engine ends a transfer on a lost line with this status; the
// dialog shows it as the engine reports it and goes back to Idle.
TEST_F(PulledCableTest, DuringASettingsWriteTheTransferEndsWithTheLossNamed) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount("at+cmgw=+2\r") == 1; }));

  tracker_->PullCable();
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Status(), TRACKER_DISCONNECTED_TEXT);
  EXPECT_EQ(d.m_bBusy, 0);
  EXPECT_EQ(tracker_->CommandCount("at+cmgw=+4\r"), 0);
  Click(Item(IDC_BTN_EXIT));
  EXPECT_TRUE(WaitFor([&] { return d.Ended(); }));
}

TEST_F(PulledCableTest, DuringAnUpdateTheFailureComesAtOnce) {
  ClockSpeedScope speed(2.0);
  sim::SimOptions options;
  options.line.baudRate = 115200;  // about 5 s of clock time for the image
  StartTracker(options);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string image = dir.path().toStdString() + "/kv770_fw.bin";
  {
    QFile file(QString::fromStdString(image));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(64 * 1024, 'k'));
  }
  CMainDlg& w = WindowOnTracker();
  FileDialogRecorder files(image);

  std::uint64_t boxAt = 0;
  boxes_.OnShow([&](const ui::MessageBoxRequest&) { boxAt = platform::ClockMs(); });
  Click(UpdateButton(w));
  ASSERT_EQ(w.m_bUpdating.load(), 1);
  ASSERT_TRUE(WaitFor([&] { return tracker_->Line().BytesReceived() > 8 * 1024; }));
  const std::uint64_t pulledAt = platform::ClockMs();
  tracker_->PullCable();
  ASSERT_TRUE(WaitFor([&] { return w.m_bUpdating.load() == 0; }));

  ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{"Update kv770_fw.bin Failed, Please check if USB cable is "
                                                     "well connected to device and PC."});
  // Before the sender's shortest reply wait could have run out once.
  EXPECT_LT(boxAt - pulledAt, YmodemSender::REPLY_WAIT_MS);
  ExpectIdle();
}

// Pulled after the menu choice "1", while the window waits for the boot
// loader's file prompt: the box names the loss instead of sending the user
// to reset a tracker that is no longer there; Start works once it is back.
TEST_F(PulledCableTest, DuringTheUpdateHandOffTheLossIsNamed) {
  sim::SimOptions options;
  options.menu.filePromptMissing = true;  // the window keeps waiting for the prompt
  StartTracker(options);
  CMainDlg& w = WindowOnTracker();
  FileDialogRecorder files(std::nullopt);
  QTest::mouseClick(UpdateButton(w), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount("1") == 1; }));

  tracker_->PullCable();
  ASSERT_TRUE(WaitFor([&] { return !w.IsBusy() && w.m_bUpdating.load() == 0; }));
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{TRACKER_DISCONNECTED_TEXT});
  EXPECT_TRUE(files.Requests().empty()) << "no file is asked for";
  ExpectIdle();

  StartTracker();
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
  Click(StartButton(w));
  EXPECT_TRUE(WaitFor([&] { return !ImeiLabel(w)->text().isEmpty(); }));
}

// While connected the box shows the connected port, whatever comes and goes;
// after a pull it still names the lost port, not another one that the next
// Start would probe in vain.
TEST_F(PulledCableTest, PortBoxKeepsTheConnectedPortWhileOtherPortsArrive) {
  StartTracker();
  const std::string path = tracker_->PortPath();
  bool otherPlugged = false;
  CMainDlg& w = OpenWindow([&] {
    std::vector<platform::PortInfo> ports{{path, "Prolific USB-to-Serial Comm Port (" + path + ")"}};
    if (otherPlugged) ports.push_back({"/dev/ttyUSB9", "Prolific USB-to-Serial Comm Port (/dev/ttyUSB9)"});
    return ports;
  });
  const QString connected = PortCombo(w)->currentText();
  Click(StartButton(w));
  ASSERT_TRUE(WaitFor([&] { return SettingButton(w)->isEnabled(); }));
  ASSERT_TRUE(WaitFor([&] { return !ImeiLabel(w)->text().isEmpty(); }));
  const QString imei = ImeiLabel(w)->text();

  otherPlugged = true;
  w.OnDeviceChange();
  EXPECT_EQ(PortCombo(w)->count(), 2) << "the new port is listed";
  EXPECT_EQ(PortCombo(w)->currentText(), connected);
  EXPECT_EQ(ImeiLabel(w)->text(), imei) << "the connected tracker's IMEI stays";
  EXPECT_EQ(StartButton(w)->text(), QStringLiteral("Stop"));
  EXPECT_TRUE(SettingButton(w)->isEnabled());

  tracker_->PullCable();
  ASSERT_TRUE(WaitFor([&] { return !boxes_.Shown().empty(); }));
  Settle();
  EXPECT_EQ(PortCombo(w)->currentText(), connected);

  // Start on the lost port says at once that it cannot open it: no probe of
  // another port, no 25 s of polls.
  const std::uint64_t pressed = platform::ClockMs();
  Click(StartButton(w));
  ASSERT_TRUE(WaitFor([&] { return boxes_.Shown().size() == 2u; }));
  EXPECT_LT(platform::ClockMs() - pressed, 2000u);
  EXPECT_EQ(boxes_.Shown()[1].text, OPEN_PORT_FAILED_TEXT);
  Settle();
  ExpectIdle();

  // Idle again: a device change selects as the list's rule says.
  w.OnDeviceChange();
  EXPECT_EQ(PortCombo(w)->currentText(), PortCombo(w)->itemText(1));
}

}  // namespace
