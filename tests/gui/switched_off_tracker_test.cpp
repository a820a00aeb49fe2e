// A tracker switched off with its USB cable still in: its port stays and
// opens, nothing answers. Start, Update and Device Setting's opening end in
// their bounded waits with their own texts, and once it is switched on the
// same button works.
#include <QApplication>
#include <QTimer>

#include "common/tool_texts.h"
#include "device_setting_fixture.h"
#include "qt_controls.h"

namespace {

TEST_F(MainWindowTest, StartAndUpdateOnASwitchedOffTrackerSayNotFoundAndStartWorksOnceItIsOn) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = OpenWindow();
  ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
  tracker_->SwitchOff();

  Click(StartButton(w));
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{NO_DEVICE_TEXT});
  ExpectIdle();
  Click(UpdateButton(w));
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{NO_DEVICE_TEXT, NO_DEVICE_TEXT}));
  ExpectIdle();
  EXPECT_EQ(tracker_->CommandCount("1"), 0) << "nothing reached the switched-off tracker";

  tracker_->SwitchOn();
  Click(StartButton(w));
  ASSERT_TRUE(WaitFor([&] { return SettingButton(w)->isEnabled(); }));
  EXPECT_FALSE(w.ItemText(IDC_STC_IMEI).empty());
  EXPECT_EQ(boxes_.Shown().size(), 2u);
}

// Switched off between Start and Setting: the dialog's opening and first read
// run into their time-outs, the box says the fields were kept, and nothing is
// written. Switched on again, a new Setting reads the tracker's settings.
TEST_F(DeviceSettingTest, SettingOnATrackerSwitchedOffAfterStartSaysSoAndWritesNothing) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  CMainDlg& w = *window_;
  const auto stored = tracker_->MessageStore();
  tracker_->SwitchOff();

  bool readsShowed = false;
  QTimer::singleShot(50, ui::qt::Window(w), [&] {
    CDeviceSettingDlg* d = nullptr;
    if (AwaitModalDialogIdle(d)) {
      readsShowed = true;
      ui::qt::ControlAs<QPushButton>(*d, IDC_BTN_EXIT)->click();
    }
    if (d != nullptr)
      QTimer::singleShot(HANG_BOUND_MS, ui::qt::Window(*d), [d] { d->EndDialog(IDCANCEL); });  // only on a hang
  });
  Click(SettingButton(w));
  ASSERT_TRUE(readsShowed);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{settings::READ_UNANSWERED_FIELDS_KEPT_TEXT});
  EXPECT_EQ(tracker_->CommandCount("at+cmgd=1\r"), 0);
  EXPECT_EQ(tracker_->MessageStore(), stored);
}

// A basic-layout tracker switched off before the first Setting: the opening
// gets no version. Done as the box says (switched on, Get device setting
// again), the dialog learns the layout before it reads, and Set to device
// gives the tracker back exactly what it held.
TEST_F(DeviceSettingTest, TrackerSwitchedOnAgainIsReadAndWrittenInItsOwnLayout) {
  sim::SimOptions options;
  options.gsm.versionText = std::string(sim::BASIC_VERSION_TEXT);
  ASSERT_NO_FATAL_FAILURE(Connect(options));
  settings::extendedFirmware = true;  // as the program starts
  ASSERT_NO_FATAL_FAILURE(Seed(Example(), settings::SettingsLayout::Basic));
  const auto stored = tracker_->MessageStore();
  tracker_->SwitchOff();
  CDeviceSettingDlg& d = OpenDialogIdle();
  ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{settings::READ_UNANSWERED_FIELDS_KEPT_TEXT});

  tracker_->SwitchOn();
  Click(Item(IDC_BTN_GET_DEVICE_SETTING));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(d.ItemText(IDC_EDT_FIRMWARE_VERSION), std::string(sim::BASIC_VERSION_TEXT));
  EXPECT_EQ(settings::ActiveLayout(), settings::SettingsLayout::Basic);
  EXPECT_FALSE(Item(settings::Setting(settings::SettingId::parkReturnTimes).controlId)->isHidden());
  EXPECT_EQ(MessageTexts(d.ReadSettings(), settings::SettingsLayout::Basic), stored);

  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);
  EXPECT_EQ(tracker_->MessageStore(), stored) << "a write of unchanged fields changed the tracker";
}

// The same, with the user's own values written at once after the switch-on
// (no Get device setting first): they reach the tracker in its own layout.
TEST_F(DeviceSettingTest, SetToDeviceOnATrackerSwitchedOnAgainWritesInItsOwnLayout) {
  sim::SimOptions options;
  options.gsm.versionText = std::string(sim::BASIC_VERSION_TEXT);
  ASSERT_NO_FATAL_FAILURE(Connect(options));
  settings::extendedFirmware = true;  // as the program starts
  tracker_->SwitchOff();
  CDeviceSettingDlg& d = OpenDialogIdle();
  ASSERT_EQ(boxes_.Shown().size(), 1u);

  tracker_->SwitchOn();
  d.ShowSettings(Example());
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);
  EXPECT_EQ(tracker_->MessageStore(), MessageTexts(Example(), settings::SettingsLayout::Basic));
  EXPECT_FALSE(Item(settings::Setting(settings::SettingId::parkReturnTimes).controlId)->isHidden());
}

}  // namespace
