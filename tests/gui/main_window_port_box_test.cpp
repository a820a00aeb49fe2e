// The port box shows the port that will be used: typed text that names a
// listed port selects it, any other text gives way to the selected item
// before Start acts and when the box loses the focus.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include "main_window_fixture.h"
#include "qt_controls.h"

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
  PortCombo(w)->setEditText(QString::fromStdString(other_->PortPath()));
  Click(StartButton(w));

  EXPECT_EQ(PortCombo(w)->currentText(), Item(*other_));
  EXPECT_EQ(PortCombo(w)->itemText(PortCombo(w)->currentIndex()), Item(*other_));
  EXPECT_GT(other_->CommandCount("ati\r"), 0) << "the port shown is the one opened";
  EXPECT_EQ(tracker_->CommandCount("ati\r"), 0);
  EXPECT_TRUE(WaitFor([&] { return !ImeiLabel(w)->text().isEmpty(); }));
  Click(StartButton(w));
}

TEST_F(PortBoxTest, OtherTypedTextGivesWayToTheSelectedItemBeforeStart) {
  ClockSpeedScope speed(20.0);
  CMainDlg& w = WindowOnTwoTrackers();
  PortCombo(w)->setEditText(QStringLiteral("/dev/kv-none"));
  Click(StartButton(w));
  EXPECT_TRUE(boxes_.Shown().empty()) << "the selected item is opened, not the typed text";
  EXPECT_NE(w.m_hPort, INVALID_HANDLE_VALUE);
  EXPECT_EQ(PortCombo(w)->currentText(), Item(*tracker_)) << "the box shows the port in use";
  EXPECT_GT(tracker_->CommandCount("ati\r"), 0);
  Click(StartButton(w));
}

TEST_F(PortBoxTest, LosingTheFocusSettlesTheBox) {
  ClockSpeedScope speed(20.0);
  CMainDlg& w = WindowOnTwoTrackers();
  ui::qt::Window(w)->activateWindow();
  PortCombo(w)->setFocus();
  ASSERT_TRUE(WaitFor([&] { return PortCombo(w)->hasFocus(); }));

  PortCombo(w)->setEditText(QStringLiteral("/dev/pts/999"));
  ScanButton(w)->setFocus();
  EXPECT_EQ(PortCombo(w)->currentText(), Item(*tracker_));

  PortCombo(w)->setFocus();
  PortCombo(w)->setEditText(QString::fromStdString(other_->PortPath() + ":"));
  StartButton(w)->setFocus();
  EXPECT_EQ(PortCombo(w)->currentText(), Item(*other_));
  EXPECT_EQ(PortCombo(w)->itemText(PortCombo(w)->currentIndex()), Item(*other_));
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(PortBoxTest, SettingShowsTheConnectedPortWhateverWasTypedOrPicked) {
  ClockSpeedScope speed(20.0);
  CMainDlg& w = WindowOnTwoTrackers();
  Click(StartButton(w));
  ASSERT_TRUE(WaitFor([&] { return SettingButton(w)->isEnabled(); }));
  // The list stays usable during a connection: the user picks the other port.
  PortCombo(w)->setCurrentIndex(PortCombo(w)->findText(Item(*other_)));

  // The dialog is closed as soon as it shows.
  QString shownAtOpening;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      ui::TemplateDialog* dialog = ui::qt::DialogOf(top);
      if (dialog == nullptr || dialog == &w || !top->isVisible()) continue;
      shownAtOpening = PortCombo(w)->currentText();
      top->close();
    }
  });
  closer.start(20);
  Click(SettingButton(w));
  EXPECT_EQ(shownAtOpening, Item(*tracker_)) << "the dialog works on the connected port";
  Click(StartButton(w));
}

}  // namespace
