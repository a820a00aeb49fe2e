// Ending the main window while one of its dialogs is open on its connection:
// a close request that reaches the window anyway (a WM_CLOSE another program
// posts, a synthesised close event) leaves the window, its port and the
// dialog's transfer alone.
#include <QApplication>
#include <QTimer>

#include "device_setting_fixture.h"
#include "qt_controls.h"
#include "common/tool_texts.h"

namespace {

TEST_F(DeviceSettingTest, MainWindowStaysWhileTheDeviceSettingDialogWrites) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  CMainDlg& w = *window_;
  const HANDLE port = w.m_hPort;

  struct Seen {
    bool writing = false;
    bool endedDuringWrite = true;
    bool portKept = false;
    std::string status;
  } seen;
  // Inside the dialog's modal loop: start a write, ask the main window to
  // close in every way while it runs, then leave by Exit once it is over.
  QTimer::singleShot(50, ui::qt::Window(w), [&] {
    CDeviceSettingDlg* d = nullptr;
    if (AwaitModalDialogIdle(d)) {
      ui::qt::ControlAs<QPushButton>(*d, IDC_BTN_SET_TO_DEVICE)->click();
      seen.writing = WaitFor([&] { return tracker_->CommandCount("at+cmgw=+1\r") == 1; });
      ui::qt::Window(w)->close();
      QTest::keyClick(ui::qt::Window(w), Qt::Key_Escape);
      AwaitModalDialogIdle(d);
      seen.endedDuringWrite = w.Ended();
      seen.portKept = w.m_hPort == port;
      seen.status = d->ItemText(IDC_STC_TRANSFER_STATUS);
    }
    if (d != nullptr) {
      ui::qt::ControlAs<QPushButton>(*d, IDC_BTN_EXIT)->click();
      QTimer::singleShot(HANG_BOUND_MS, ui::qt::Window(*d), [d] { d->EndDialog(IDCANCEL); });  // only on a hang
    }
  });
  Click(SettingButton(w));  // returns when the dialog has ended

  ASSERT_TRUE(seen.writing);
  EXPECT_FALSE(seen.endedDuringWrite) << "the main window went while its dialog wrote on its port";
  EXPECT_TRUE(seen.portKept);
  EXPECT_EQ(seen.status, settings::SETTING_MESSAGE_OK_TEXT);
  EXPECT_FALSE(w.Ended());
  EXPECT_TRUE(boxes_.Shown().empty());

  // The dialog is gone: the close box ends the window as usual.
  ui::qt::Window(w)->close();
  Settle();
  EXPECT_TRUE(w.Ended());
  EXPECT_EQ(w.m_hPort, INVALID_HANDLE_VALUE);
}

// A cable pulled while Device Setting is open is said once, by the dialog,
// with what it means for its fields; back in the main window the connection
// is over without a second box about the same loss.
TEST_F(DeviceSettingTest, ALossTheDeviceSettingDialogSaidIsNotSaidAgainByTheMainWindow) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  CMainDlg& w = *window_;

  bool dialogSaidIt = false;
  QTimer::singleShot(50, ui::qt::Window(w), [&] {
    CDeviceSettingDlg* d = nullptr;
    if (AwaitModalDialogIdle(d)) {
      tracker_->PullCable();
      dialogSaidIt = WaitFor([&] { return !boxes_.Shown().empty(); });
    }
    if (d != nullptr) {
      ui::qt::ControlAs<QPushButton>(*d, IDC_BTN_EXIT)->click();
      QTimer::singleShot(HANG_BOUND_MS, ui::qt::Window(*d), [d] { d->EndDialog(IDCANCEL); });  // only on a hang
    }
  });
  Click(SettingButton(w));  // returns when the dialog has ended

  ASSERT_TRUE(dialogSaidIt);
  // Long enough for the main window's reader and port watch to have seen the loss.
  QTest::qWait(1500);
  Settle();
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{settings::LINE_LOST_FIELDS_KEPT_TEXT});
  ExpectIdle();
}

}  // namespace
