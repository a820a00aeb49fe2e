// A tracker switched off (its cable still in) during Set to device: the
// dialog does not call the write good, names the messages it left deleted,
// keeps the fields, and the same button once the tracker is back on writes
// what the user wanted.
#include "device_setting_fixture.h"

namespace {

using settings::SettingId;
using settings::SettingsLayout;

class SwitchedOffDuringAWriteTest : public DeviceSettingTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SwitchedOffDuringAWriteTest, SaysSoKeepsTheFieldsAndTheSameButtonFinishesTheJob) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_NO_FATAL_FAILURE(Seed(Example(), SettingsLayout::Extended));
  CDeviceSettingDlg& d = OpenDialogIdle();
  Edit(SettingId::userName)->selectAll();
  QTest::keyClicks(Edit(SettingId::userName), "Unit9");
  const settings::DeviceSettings wanted = d.ReadSettings();

  const int before = tracker_->CommandCount(GetParam());
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount(GetParam()) > before; }));
  tracker_->SwitchOff();
  ASSERT_TRUE(AwaitIdle());
  // The write's own verdict: a reply that never came.
  EXPECT_EQ(Status(), settings::SETTING_MESSAGE_TIMEOUT_TEXT);
  EXPECT_EQ(d.ReadSettings(), wanted);
  // A box names what the write left deleted, as after a pulled cable.
  ASSERT_EQ(boxes_.Texts().size(), 1u);
  const std::string box = boxes_.Texts().front();
  const std::string start = settings::WRITE_UNFINISHED_START, end = settings::WRITE_UNFINISHED_END;
  ASSERT_GT(box.size(), start.size() + end.size());
  EXPECT_EQ(box.substr(0, start.size()), start);
  EXPECT_EQ(box.substr(box.size() - end.size()), end);
  const bool namesAMessageToWrite = box.find("deleted and not yet rewritten") != std::string::npos ||
                                    box.find("but not checked") != std::string::npos;
  EXPECT_TRUE(namesAMessageToWrite) << box;

  tracker_->SwitchOn();
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);
  EXPECT_EQ(tracker_->MessageStore(), MessageTexts(wanted, SettingsLayout::Extended));
  EXPECT_EQ(boxes_.Texts().size(), 1u) << "a write that checked every message says nothing more";
}

INSTANTIATE_TEST_SUITE_P(Moments, SwitchedOffDuringAWriteTest,
                         ::testing::Values("at+cmgd=2\r", "at+cmgw=+1\r", "at+cmgr=3\r", "at+cmgw=+4\r"));

}  // namespace
