// Scan COM Port from the main window, against several simulated trackers on
// pseudo-terminals, a silent port and a name that cannot be opened.
#include <QTimer>

#include "main_window_fixture.h"
#include "qt_controls.h"
#include "serial/open_serial_port.h"
#include "serial/port_items.h"
#include "app/scan_port_dlg.h"
#include "res/resource_ids.h"
#include "ui/qt/text.h"

namespace {

constexpr char kMissingPort[] = "/dev/kv770none";

class ScanPortDialogTest : public MainWindowTest {
 protected:
  // A tracker whose port is appended to the window's list; returns its index.
  int AddTracker(sim::ProbeAnswer answer, std::uint32_t latencyMs = 0) {
    sim::SimOptions o;
    o.menu.probeAnswer = answer;
    o.line.latencyMs = latencyMs;
    trackers_.push_back(std::make_unique<sim::SimTracker>(o));
    EXPECT_TRUE(trackers_.back()->Start()) << "no pseudo-terminal available";
    return AddPort(trackers_.back()->PortPath());
  }
  int AddPort(const std::string& name) {
    EXPECT_TRUE(window_->SelectPort(name)) << name;
    return PortCombo(*window_)->currentIndex();
  }
  // The port name of the window's item `index`.
  std::string Name(int index) const { return PortNameFromItem(ui::FromQt(PortCombo(*window_)->itemText(index))); }

  static std::string Entry(const CScanPortDlg& d, int i) { return ui::FromQt(PortList(d)->item(i)->text()); }
  static std::string Status(const CScanPortDlg& d) { return ui::FromQt(ScanStatus(d)->text()); }

  // Presses Scan COM Port and runs `drive` inside the dialog's modal run.
  // The dialog is ended afterwards whatever `drive` did, so a failed check
  // cannot leave the test hanging. Returns the scan's shared state.
  std::shared_ptr<PortScan> Scan(const std::function<void(CScanPortDlg&)>& drive) {
    std::shared_ptr<PortScan> scan;
    bool shown = false;
    QTimer::singleShot(0, ui::qt::Window(*window_), [&] {
      auto* dialog = ui::qt::DialogOf<CScanPortDlg>(ui::qt::Window(*window_)->findChild<ui::DialogWindow*>());
      if (dialog == nullptr) return;
      shown = true;
      scan = dialog->Scan();
      drive(*dialog);
      if (!dialog->Ended()) QTest::mouseClick(ui::qt::Control(*dialog, IDOK), Qt::LeftButton);
    });
    Click(ScanButton(*window_));
    EXPECT_TRUE(shown) << "the dialog did not show";
    return scan;
  }

  std::vector<std::unique_ptr<sim::SimTracker>> trackers_;
};

TEST_F(ScanPortDialogTest, EveryPortGetsItsSuffixAndTheLastAnsweringPortIsSelected) {
  ClockSpeedScope speed(50.0);  // a silent port's 25 s probe in half a second
  CMainDlg& w = OpenWindow();
  const int first = AddTracker(sim::ProbeAnswer::MainMenu);
  const int silent = AddTracker(sim::ProbeAnswer::Silent);
  const int missing = AddPort(kMissingPort);
  const int last = AddTracker(sim::ProbeAnswer::Siemens);
  const int trailing = AddTracker(sim::ProbeAnswer::Silent);
  PortCombo(w)->setCurrentIndex(first);

  Scan([&](CScanPortDlg& d) {
    EXPECT_EQ(ui::qt::Window(d)->windowTitle(), QStringLiteral("Scan COM Port"));
    EXPECT_FALSE(ui::qt::Window(d)->windowFlags() & Qt::WindowSystemMenuHint) << "no system menu, so no close box";
    EXPECT_EQ(ui::qt::Window(d)->pos(), ui::qt::Window(w)->frameGeometry().topLeft() + QPoint(0, 20));
    ASSERT_EQ(PortList(d)->count(), 5);
    EXPECT_EQ(Entry(d, missing), kMissingPort) << "listed without the item's colon";

    ASSERT_TRUE(WaitFor([&] { return Status(d) == "Complete Scan."; }));
    EXPECT_EQ(Entry(d, first), Name(first) + "   -------->[Open Success]");
    EXPECT_EQ(Entry(d, silent), Name(silent) + "   -------->[Check failed]");
    EXPECT_EQ(Entry(d, missing), std::string(kMissingPort) + "   -------->[Open failed]");
    EXPECT_EQ(Entry(d, last), Name(last) + "   -------->[Open Success]");
    EXPECT_EQ(Entry(d, trailing), Name(trailing) + "   -------->[Check failed]");

    QTest::mouseClick(ui::qt::Control(d, IDOK), Qt::LeftButton);
    WaitFor([&] { return d.Ended(); });
    EXPECT_TRUE(d.Ended());
    EXPECT_EQ(Status(d), "Break scan.") << "shown also after a completed scan";
  });
  EXPECT_EQ(PortCombo(w)->currentIndex(), last);
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(ScanPortDialogTest, OkDuringTheThirdProbeBreaksAndReportsNothingFoundThere) {
  ClockSpeedScope speed(50.0);
  CMainDlg& w = OpenWindow();
  const int first = AddTracker(sim::ProbeAnswer::MainMenu);
  AddTracker(sim::ProbeAnswer::Silent);
  // The third tracker answers, but 5 s of line latency each way keep its
  // probe running well past OK and past OK's 3000 ms wait.
  const int third = AddTracker(sim::ProbeAnswer::MainMenu, 5000);
  sim::SimTracker& thirdTracker = *trackers_.back();
  PortCombo(w)->setCurrentIndex(1);

  bool workerOutlivedTheDialog = false;
  const auto scan = Scan([&](CScanPortDlg& d) {
    ASSERT_TRUE(WaitFor([&] { return thirdTracker.CommandCount("ati\r") >= 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(Status(d), "115200 scaning " + Name(third));
    QTest::mouseClick(ui::qt::Control(d, IDOK), Qt::LeftButton);
    WaitFor([&] { return d.Ended(); });
    EXPECT_TRUE(d.Ended());
    workerOutlivedTheDialog = !d.Scan()->Finished();
    EXPECT_EQ(Status(d), "Break scan.");
    EXPECT_EQ(Entry(d, 0), Name(0) + "   -------->[Open Success]");
    EXPECT_EQ(Entry(d, 1), Name(1) + "   -------->[Check failed]");
    EXPECT_EQ(Entry(d, third), Name(third));
  });
  ASSERT_NE(scan, nullptr);
  EXPECT_TRUE(workerOutlivedTheDialog) << "the probe should still run when the dialog ends";
  EXPECT_EQ(PortCombo(w)->currentIndex(), first);

  // The worker ends on its own after the probe that found the third tracker,
  // keeps that result to itself and lets the port go.
  ASSERT_TRUE(WaitFor([&] { return scan->Finished(); }));
  EXPECT_EQ(scan->FoundIndex(), first);
  EXPECT_EQ(scan->Entries()[third], Name(third));
  ASSERT_TRUE(WaitFor([&] {
    HANDLE h = OpenSerialPort(Name(third).c_str(), 115200);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
  }));
}

TEST_F(ScanPortDialogTest, NoAnsweringPortLeavesTheSelectionAsItWas) {
  ClockSpeedScope speed(50.0);
  CMainDlg& w = OpenWindow();
  AddTracker(sim::ProbeAnswer::Silent);
  const int missing = AddPort(kMissingPort);
  AddTracker(sim::ProbeAnswer::Garbage);
  PortCombo(w)->setCurrentIndex(missing);

  Scan([&](CScanPortDlg& d) { ASSERT_TRUE(WaitFor([&] { return Status(d) == "Complete Scan."; })); });
  EXPECT_EQ(PortCombo(w)->currentIndex(), missing);
}

// Escape during a probe ends the dialog while the worker is still probing;
// run under AddressSanitizer it shows that nothing touches the ended dialog.
TEST_F(ScanPortDialogTest, EscapeDuringAProbeEndsLikeOkAndTheWorkerLeavesTheDialogAlone) {
  ClockSpeedScope speed(20.0);  // the silent probe outlasts the 3000 ms break wait by far
  CMainDlg& w = OpenWindow();
  const int answering = AddTracker(sim::ProbeAnswer::MainMenu);
  const int silent = AddTracker(sim::ProbeAnswer::Silent);
  sim::SimTracker& silentTracker = *trackers_.back();
  AddTracker(sim::ProbeAnswer::MainMenu);

  bool workerOutlivedTheDialog = false;
  const auto scan = Scan([&](CScanPortDlg& d) {
    ASSERT_TRUE(WaitFor([&] { return silentTracker.CommandCount("ati\r") >= 1; }));
    QTest::keyClick(ui::qt::Window(d), Qt::Key_Escape);
    WaitFor([&] { return d.Ended(); });
    EXPECT_TRUE(d.Ended());
    workerOutlivedTheDialog = !d.Scan()->Finished();
    EXPECT_EQ(Status(d), "Break scan.");
  });
  ASSERT_NE(scan, nullptr);
  EXPECT_TRUE(workerOutlivedTheDialog);
  EXPECT_FALSE(scan->Running()) << "Escape breaks the scan as OK does";
  EXPECT_EQ(PortCombo(w)->currentIndex(), answering);

  ASSERT_TRUE(WaitFor([&] { return scan->Finished(); }));
  EXPECT_EQ(scan->Entries()[silent], Name(silent));
  EXPECT_EQ(scan->FoundIndex(), answering) << "the port after the break is never tried";
  EXPECT_EQ(trackers_.back()->CommandCount("ati\r"), 0);
  // The worker closed the port after its probe: it opens again.
  EXPECT_TRUE(WaitFor([&] {
    HANDLE h = OpenSerialPort(Name(silent).c_str(), 115200);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
  }));
}

}  // namespace

namespace {

// A close that reaches the main window past the scan (a WM_CLOSE another
// program posts) leaves it alone: the scan's answer still selects its port.
TEST_F(ScanPortDialogTest, MainWindowStaysWhileTheScanRuns) {
  CMainDlg& w = OpenWindow();
  const int answering = AddTracker(sim::ProbeAnswer::MainMenu);
  AddPort(kMissingPort);
  bool endedDuringScan = true;
  Scan([&](CScanPortDlg& d) {
    ui::qt::Window(w)->close();
    endedDuringScan = w.Ended();
    EXPECT_TRUE(WaitFor([&] { return d.Scan()->Finished(); }));
  });
  EXPECT_FALSE(endedDuringScan);
  EXPECT_FALSE(w.Ended());
  EXPECT_EQ(PortCombo(w)->currentIndex(), answering);
}

}  // namespace
