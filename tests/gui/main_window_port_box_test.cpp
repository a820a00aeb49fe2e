// The port box shows the port that will be used: typed text that names a
// listed port selects it, any other text gives way to the selected item
// before Start acts and when the box loses the focus.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include "main_window_fixture.h"

namespace {

class PortBoxTest : public MainWindowTest {
 protected:
  // Two trackers, both listed; the first one selected.
  CMainDlg& WindowOnTwoTrackers() {
    StartTracker();
    other_ = std::make_unique<sim::SimTracker>();
    EXPECT_TRUE(other_->Start());
    CMainDlg& w = OpenWindow();
    EXPECT_TRUE(w.SelectPort(other_->PortPath()));
    EXPECT_TRUE(w.SelectPort(tracker_->PortPath()));
    return w;
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    if (other_) other_->Stop();
  }
  static QString Item(const sim::SimTracker& t) { return QString::fromStdString(t.PortPath() + ":"); }

  std::unique_ptr<sim::SimTracker> other_;
};

TEST_F(PortBoxTest, TypedNameOfAListedPortSelectsItAndStartConnectsThere) {
  ClockSpeedScope speed(20.0);
  CMainDlg& w = WindowOnTwoTrackers();
  // Typed without the colon, as a user writes a port name.
  w.m_cmbPort->setEditText(QString::fromStdString(other_->PortPath()));
  Click(w.m_btnStart);

  EXPECT_EQ(w.m_cmbPort->currentText(), Item(*other_));
  EXPECT_EQ(w.m_cmbPort->itemText(w.m_cmbPort->currentIndex()), Item(*other_));
  EXPECT_GT(other_->CommandCount("ati\r"), 0) << "the port shown is the one opened";
  EXPECT_EQ(tracker_->CommandCount("ati\r"), 0);
  EXPECT_TRUE(WaitFor([&] { return !w.m_stcImei->text().isEmpty(); }));
  Click(w.m_btnStart);
}

TEST_F(PortBoxTest, OtherTypedTextGivesWayToTheSelectedItemBeforeStart) {
  ClockSpeedScope speed(20.0);
  CMainDlg& w = WindowOnTwoTrackers();
  w.m_cmbPort->setEditText(QStringLiteral("/dev/kv-none"));
  Click(w.m_btnStart);
  EXPECT_TRUE(boxes_.Shown().empty()) << "the selected item is opened, not the typed text";
  EXPECT_NE(w.m_hPort, INVALID_HANDLE_VALUE);
  EXPECT_EQ(w.m_cmbPort->currentText(), Item(*tracker_)) << "the box shows the port in use";
  EXPECT_GT(tracker_->CommandCount("ati\r"), 0);
  Click(w.m_btnStart);
}

TEST_F(PortBoxTest, LosingTheFocusSettlesTheBox) {
  ClockSpeedScope speed(20.0);
  CMainDlg& w = WindowOnTwoTrackers();
  w.activateWindow();
  w.m_cmbPort->setFocus();
  ASSERT_TRUE(WaitFor([&] { return w.m_cmbPort->hasFocus(); }));

  w.m_cmbPort->setEditText(QStringLiteral("/dev/pts/999"));
  w.m_btnScan->setFocus();
  EXPECT_EQ(w.m_cmbPort->currentText(), Item(*tracker_));

  w.m_cmbPort->setFocus();
  w.m_cmbPort->setEditText(QString::fromStdString(other_->PortPath() + ":"));
  w.m_btnStart->setFocus();
  EXPECT_EQ(w.m_cmbPort->currentText(), Item(*other_));
  EXPECT_EQ(w.m_cmbPort->itemText(w.m_cmbPort->currentIndex()), Item(*other_));
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(PortBoxTest, SettingShowsTheConnectedPortWhateverWasTypedOrPicked) {
  ClockSpeedScope speed(20.0);
  CMainDlg& w = WindowOnTwoTrackers();
  Click(w.m_btnStart);
  ASSERT_TRUE(WaitFor([&] { return w.m_btnSetting->isEnabled(); }));
  // The list stays usable during a connection: the user picks the other port.
  w.m_cmbPort->setCurrentIndex(w.m_cmbPort->findText(Item(*other_)));

  // The dialog is closed as soon as it shows.
  QString shownAtOpening;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<ui::TemplateDialog*>(top);
      if (dialog == nullptr || dialog == &w || !dialog->isVisible()) continue;
      shownAtOpening = w.m_cmbPort->currentText();
      dialog->close();
    }
  });
  closer.start(20);
  Click(w.m_btnSetting);
  EXPECT_EQ(shownAtOpening, Item(*tracker_)) << "the dialog works on the connected port";
  Click(w.m_btnStart);
}

}  // namespace
