// Ending the main window: the close box, Enter and Escape during a
// connection, and the refusal while an update runs.
#include <QTimer>

#include "main_window_fixture.h"
#include "qt_controls.h"
#include "platform/sync.h"
#include "serial/open_serial_port.h"

namespace {

bool PortIsFree(const std::string& path) {
  HANDLE port = OpenSerialPort(path.c_str(), 115200);
  if (port == INVALID_HANDLE_VALUE) return false;
  CloseHandle(port);
  return true;
}

TEST_F(MainWindowTest, CloseBoxDuringAConnectionStopsTheReaderAndEndsTheProgram) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  const long handlesBefore = platform::LiveHandleCount();
  std::weak_ptr<ReaderLink> reader;
  bool closeReturned = false;

  // The program as kvtool runs it; the steps run inside the window's loop.
  CToolApp app(tracker_->PortPath());
  QTimer::singleShot(0, [&] {
    CMainDlg* w = app.m_pMainWnd;
    Click(StartButton(*w));
    EXPECT_TRUE(WaitFor([&] { return !ImeiLabel(*w)->text().isEmpty(); }));
    reader = w->m_reader;
    ui::qt::Window(*w)->close();  // the close box
    closeReturned = true;
  });
  EXPECT_EQ(app.InitInstance(), FALSE);

  EXPECT_TRUE(closeReturned);
  EXPECT_TRUE(reader.expired()) << "the reader thread must have ended and let go of its link";
  // A thread lets go of its own handle reference just after it has signalled.
  EXPECT_TRUE(WaitFor([&] { return platform::LiveHandleCount() == handlesBefore; }))
      << "port and thread handles are all closed";
  EXPECT_TRUE(PortIsFree(tracker_->PortPath()));
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(MainWindowTest, EscapeAndEnterWithoutADefaultButtonGoThroughTheCloseHandling) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
    SCOPED_TRACE(key == Qt::Key_Escape ? "Escape" : "Enter");
    CMainDlg& w = OpenWindow();
    ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
    Click(StartButton(w));
    ASSERT_TRUE(WaitFor([&] { return !ImeiLabel(w)->text().isEmpty(); }));
    std::weak_ptr<ReaderLink> reader = w.m_reader;  // the window and the reader hold it

    // Enter goes to the dialog itself when no push button is the default one.
    for (QPushButton* button : ui::qt::Window(w)->findChildren<QPushButton*>()) {
      button->setDefault(false);
      button->setAutoDefault(false);
    }
    QTest::keyClick(ui::qt::Window(w), key);
    Settle();

    EXPECT_TRUE(w.Ended());
    EXPECT_EQ(w.Result(), IDCANCEL);
    EXPECT_EQ(w.m_hPort, INVALID_HANDLE_VALUE);
    EXPECT_EQ(w.m_hReaderThread, nullptr);
    EXPECT_EQ(w.m_nTimerId, 0u);
    EXPECT_EQ(reader.use_count(), 1) << "the reader thread must have ended";
    EXPECT_TRUE(PortIsFree(tracker_->PortPath()));
  }
}

TEST_F(MainWindowTest, EnterPressesStartWhichIsTheDefaultButton) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = OpenWindow();
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
  QTest::keyClick(PortCombo(w), Qt::Key_Return);  // typed into the port list
  Settle();
  EXPECT_FALSE(w.Ended());
  EXPECT_EQ(StartButton(w)->text(), QStringLiteral("Stop"));
  EXPECT_NE(w.m_hPort, INVALID_HANDLE_VALUE);
}

TEST_F(MainWindowTest, CloseIsRefusedWhileAnUpdateRuns) {
  CMainDlg& w = OpenWindow();
  w.m_bUpdating = 1;
  ui::qt::Window(w)->close();
  QTest::keyClick(ui::qt::Window(w), Qt::Key_Escape);
  EXPECT_FALSE(w.Ended());
  EXPECT_TRUE(ui::qt::Window(w)->isVisible());

  w.m_bUpdating = 0;
  ui::qt::Window(w)->close();
  EXPECT_TRUE(w.Ended());
  EXPECT_FALSE(ui::qt::Window(w)->isVisible());
}

}  // namespace
