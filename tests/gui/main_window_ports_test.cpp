// The port list: what FillPortList takes from the present ports, how it
// merges them with what is listed, and the refresh on device changes.
#include "main_window_fixture.h"
#include "qt_controls.h"
#include "platform/sim_registry.h"

namespace {

platform::PortInfo Port(const std::string& name, const std::string& friendlyName) {
  return platform::PortInfo{name, friendlyName, false};
}

QStringList Items(const QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

TEST_F(MainWindowTest, PortListGrowsWithTrackerPortsOnlyAndSelectsTheLastFound) {
  std::vector<platform::PortInfo> present = {
      Port("ttyUSB0", "Prolific USB-to-Serial Comm Port (ttyUSB0)"),
      Port("ttyUSB1", "FTDI USB Serial Converter (ttyUSB1)"),  // another adapter
      Port("ttyUSB2", "Prolific USB-to-Serial Comm Port (ttyUSB2)"),
      // A name that does not fit the item buffer is skipped, not cut.
      Port("/dev/serial/by-id/x", "Prolific USB-to-Serial Comm Port (/dev/serial/by-id/x)"),
  };
  CMainDlg& w = OpenWindow([&] { return present; });
  EXPECT_EQ(Items(PortCombo(w)), (QStringList{"ttyUSB0:", "ttyUSB2:"}));
  EXPECT_EQ(PortCombo(w)->currentText(), QStringLiteral("ttyUSB2:"));

  // ttyUSB0 unplugged: its item stays; plugged in again: no duplicate, and
  // it becomes the selection when it is the last one found.
  present = {Port("ttyUSB2", "Prolific USB-to-Serial Comm Port (ttyUSB2)")};
  w.OnDeviceChange();
  EXPECT_EQ(Items(PortCombo(w)), (QStringList{"ttyUSB0:", "ttyUSB2:"}));
  present = {Port("ttyUSB2", "Prolific USB-to-Serial Comm Port (ttyUSB2)"),
             Port("ttyUSB0", "Prolific USB-to-Serial Comm Port (ttyUSB0)")};
  w.OnDeviceChange();
  EXPECT_EQ(Items(PortCombo(w)), (QStringList{"ttyUSB0:", "ttyUSB2:"}));
  EXPECT_EQ(PortCombo(w)->currentText(), QStringLiteral("ttyUSB0:"));

  // Nothing present: the selection stays.
  present.clear();
  w.OnDeviceChange();
  EXPECT_EQ(PortCombo(w)->currentText(), QStringLiteral("ttyUSB0:"));
}

TEST_F(MainWindowTest, TypedTextIsNeverTakenForAPortName) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = OpenWindow();
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
  PortCombo(w)->setEditText(QStringLiteral("/dev/kv-none"));
  Click(StartButton(w));
  EXPECT_TRUE(boxes_.Shown().empty()) << "the selected item is opened, not the typed text";
  EXPECT_NE(w.m_hPort, INVALID_HANDLE_VALUE);
}

TEST_F(MainWindowTest, ARunningSimulatedTrackerAppearsInTheListAndConnects) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = OpenWindow({});  // the machine's own ports, simulated ones included
  const QString item = QString::fromStdString(tracker_->PortPath() + ":");
  EXPECT_EQ(PortCombo(w)->findText(item), -1);

  // The tracker advertises itself as kvsim does; the window hears of it
  // through its device-change notification.
  platform::SimulatedPortToken token = platform::AdvertiseSimulatedPort(tracker_->PortPath());
  ASSERT_TRUE(token);
  EXPECT_TRUE(WaitFor([&] { return PortCombo(w)->currentText() == item; }));

  Click(StartButton(w));
  EXPECT_TRUE(WaitFor([&] { return !ImeiLabel(w)->text().isEmpty(); }));
  Click(StartButton(w));
  platform::WithdrawSimulatedPort(token);
}

}  // namespace
