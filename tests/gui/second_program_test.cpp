// A second program on the port the window holds (another kvtool, kvctl):
// it is refused on its side, and the window's own session goes on untouched.
#include "device_setting_fixture.h"
#include "qt_controls.h"

namespace {

TEST_F(DeviceSettingTest, ASecondProgramIsRefusedWhileTheWindowWritesAndTheWriteGoesOn) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  d.ShowSettings(Example());
  const settings::DeviceSettings written = d.ReadSettings();
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount("at+cmgw=+1\r") == 1; }));

  // kvctl and another kvtool open the port the same way.
  const std::string path = tracker_->PortPath();
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(OpenSerialPort(path.c_str(), 115200), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CMainDlg other([path] {
    return std::vector<platform::PortInfo>{{path, "Prolific USB-to-Serial Comm Port (" + path + ")"}};
  });
  other.ShowModeless();
  QTest::mouseClick(StartButton(other), Qt::LeftButton);
  QTest::mouseClick(UpdateButton(other), Qt::LeftButton);
  EXPECT_TRUE(WaitFor([&] { return !other.IsBusy(); }));
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{OPEN_PORT_FAILED_TEXT, OPEN_PORT_FAILED_TEXT}));
  EXPECT_EQ(other.m_hPort, INVALID_HANDLE_VALUE);

  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);
  EXPECT_EQ(tracker_->MessageStore(), MessageTexts(written, settings::ActiveLayout()));
  EXPECT_EQ(boxes_.Shown().size(), 2u) << "the window's own session saw nothing";
}

}  // namespace
