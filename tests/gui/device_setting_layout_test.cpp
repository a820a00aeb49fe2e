// One layout for the whole Device Setting dialog: a version answer that
// comes after the opening's wait changes neither the controls shown nor the
// messages written.
#include "device_setting_fixture.h"
#include "platform/clock.h"

namespace {

using settings::SettingId;
using settings::SettingsLayout;

TEST_F(DeviceSettingTest, ALateVersionAnswerLeavesTheDialogAndItsMessagesInOneLayout) {
  // A basic-layout firmware whose answer comes 1 s after the opening's 2.5 s,
  // alone on the line (the text mode command gets no reply).
  sim::SimOptions options;
  options.gsm.versionText = std::string(sim::BASIC_VERSION_TEXT);
  options.gsm.faults.push_back({sim::GsmFault::Late, sim::GsmCommandKind::Version, 0, 0, 3500});
  options.gsm.faults.push_back({sim::GsmFault::Silent, sim::GsmCommandKind::TextMode});
  ASSERT_NO_FATAL_FAILURE(Connect(options));
  settings::extendedFirmware = true;

  CDeviceSettingDlg& d = OpenDialogIdle();
  EXPECT_EQ(settings::ActiveLayout(), SettingsLayout::Extended);
  EXPECT_FALSE(Item(settings::Setting(SettingId::enableCellId).controlId)->isHidden());
  EXPECT_TRUE(Item(settings::Setting(SettingId::parkReturnTimes).controlId)->isHidden());
  // Long after the late answer has come.
  QTest::qWait(static_cast<int>(2000 / platform::ClockSpeed()));

  d.ShowSettings(Example());
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Status(), "Setting Message OK ");
  // What the dialog shows is what reached the tracker.
  EXPECT_EQ(tracker_->MessageStore(), MessageTexts(d.ReadSettings(), SettingsLayout::Extended));
  EXPECT_FALSE(Item(settings::Setting(SettingId::enableCellId).controlId)->isHidden());
}

}  // namespace
