// The Device Setting dialog and its tracker's line: a pulled cable noticed at
// any moment, what a write cut short says it left on the tracker, a read cut
// short that leaves the fields as they were, and a verdict that goes once the
// fields change. Also what the dialog shows before and after the version.
#include <time.h>

#include <chrono>

#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include "common/tool_texts.h"
#include "device_setting_fixture.h"
#include "settings/settings_file.h"

namespace {

class DeviceSettingLineTest : public DeviceSettingTest {
 protected:
  std::vector<std::string> Texts() const { return boxes_.Texts(); }
};

// The share of one core the process used while the event loop waited `ms`.
double CpuShareWhileWaiting(int ms) {
  const auto cpu = [] {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
  };
  const auto wall = std::chrono::steady_clock::now();
  const double startCpu = cpu();
  QTest::qWait(ms);
  const double wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count();
  return (cpu() - startCpu) / wallMs;
}

// The status label shows its whole text inside its own rectangle.
bool ShowsWhole(QLabel* label) {
  const QRect needed = label->fontMetrics().boundingRect(label->contentsRect(), Qt::TextWordWrap, label->text());
  return label->wordWrap() ? needed.height() <= label->contentsRect().height()
                           : label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width();
}

TEST_F(DeviceSettingLineTest, PulledDuringAWriteTheBoxNamesTheMessagesLeftDeletedAndTheStatusReadsWhole) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  d.ShowSettings(Example());
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount("at+cmgw=+2\r") == 1; }));
  tracker_->PullCable();
  ASSERT_TRUE(AwaitIdle());
  ASSERT_TRUE(WaitFor([&] { return !boxes_.Shown().empty(); }));

  EXPECT_EQ(Texts(), std::vector<std::string>{
                         "The tracker was disconnected during Set to device: messages 2, 3, 4 deleted and not yet "
                         "rewritten; message 1 rewritten and checked.\nThe tracker lacks these settings until they "
                         "are written again. Export them to a file now; once the tracker is connected again, open "
                         "Device Setting, Import the file and press Set to device."});
  EXPECT_EQ(boxes_.Shown()[0].type, MB_ICONEXCLAMATION);
  EXPECT_EQ(Status(), TRACKER_DISCONNECTED_TEXT);
  EXPECT_TRUE(ShowsWhole(ui::qt::ControlAs<QLabel>(d, IDC_STC_TRANSFER_STATUS)));
  EXPECT_EQ(d.ReadSettings(), Example()) << "the values to write again stay";
}

TEST_F(DeviceSettingLineTest, PulledWhileIdleIsSaidWithinASecondAndGetKeepsTheFields) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  d.ShowSettings(Example());
  const std::uint64_t pulledAt = platform::ClockMs();
  tracker_->PullCable();
  ASSERT_TRUE(WaitFor([&] { return !boxes_.Shown().empty(); }));
  EXPECT_LT(platform::ClockMs() - pulledAt, 1000u);
  EXPECT_EQ(Texts(), std::vector<std::string>{settings::LINE_LOST_FIELDS_KEPT_TEXT});
  EXPECT_EQ(Status(), TRACKER_DISCONNECTED_TEXT);

  Click(Item(IDC_BTN_GET_DEVICE_SETTING));
  Settle();
  EXPECT_EQ(d.ReadSettings(), Example()) << "a read that cannot run empties nothing";
  EXPECT_EQ(boxes_.Shown().size(), 2u) << "Get says why it read nothing";
}

// Pulled at several moments of a read (the first, third and last message):
// each time the loss is said and the fields are as they were before Get.
class PulledDuringAReadTest : public DeviceSettingLineTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PulledDuringAReadTest, TheLossIsSaidAndTheFieldsAreAsBefore) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_NO_FATAL_FAILURE(Seed(Example(), settings::SettingsLayout::Extended));
  CDeviceSettingDlg& d = OpenDialogIdle();
  settings::DeviceSettings edited = d.ReadSettings();
  edited.userName = "edited";
  edited.sosNumber1 = "5550199";
  d.ShowSettings(edited);
  const int before = tracker_->CommandCount(GetParam());
  Click(Item(IDC_BTN_GET_DEVICE_SETTING));
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount(GetParam()) > before; }));
  tracker_->PullCable();
  ASSERT_TRUE(AwaitIdle());
  ASSERT_TRUE(WaitFor([&] { return !boxes_.Shown().empty(); }));
  EXPECT_EQ(Texts(), std::vector<std::string>{settings::LINE_LOST_FIELDS_KEPT_TEXT});
  EXPECT_EQ(d.ReadSettings(), edited);
}

INSTANTIATE_TEST_SUITE_P(Moments, PulledDuringAReadTest,
                         ::testing::Values("at+cmgr=1\r", "at+cmgr=3\r", "at+cmgr=4\r"));

// Pulled at a time into a read rather than at a command (a share of how
// long a whole read takes here): whether the dialog is between two replies
// or waiting in one, the loss is said within a second, and a read cut short
// leaves the fields as they were.
class PulledAtATimeIntoAReadTest : public DeviceSettingLineTest, public ::testing::WithParamInterface<double> {};

TEST_P(PulledAtATimeIntoAReadTest, TheLossIsSaidWithinASecond) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_NO_FATAL_FAILURE(Seed(Example(), settings::SettingsLayout::Extended));
  CDeviceSettingDlg& d = OpenDialogIdle();
  const settings::DeviceSettings stored = d.ReadSettings();
  const std::uint64_t wholeReadStart = platform::ClockMs();
  Click(Item(IDC_BTN_GET_DEVICE_SETTING));
  ASSERT_TRUE(AwaitIdle());
  const std::uint64_t wholeRead = platform::ClockMs() - wholeReadStart;

  settings::DeviceSettings edited = stored;
  edited.userName = "edited";
  d.ShowSettings(edited);
  const std::uint64_t clicked = platform::ClockMs();
  const auto pullAfter = static_cast<std::uint64_t>(static_cast<double>(wholeRead) * GetParam());
  Click(Item(IDC_BTN_GET_DEVICE_SETTING));
  while (platform::ClockMs() - clicked < pullAfter) QTest::qWait(2);
  const bool reading = !IsIdle();
  const std::uint64_t pulledAt = platform::ClockMs();
  tracker_->PullCable();
  ASSERT_TRUE(WaitFor([&] { return !boxes_.Shown().empty(); }));
  EXPECT_LT(platform::ClockMs() - pulledAt, 1000u) << "pulled " << pullAfter << " of " << wholeRead << " ms";
  if (GetParam() <= 0.5) {
    EXPECT_TRUE(reading) << "the pull came after the read";
  }
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Texts(), std::vector<std::string>{settings::LINE_LOST_FIELDS_KEPT_TEXT});
  EXPECT_EQ(d.ReadSettings(), reading ? edited : stored) << (reading ? "cut short" : "read whole before the pull");
}

INSTANTIATE_TEST_SUITE_P(Moments, PulledAtATimeIntoAReadTest, ::testing::Values(0.1, 0.3, 0.5, 0.7, 0.9));

// A tracker switched off with its cable still in, halfway through a read
// (once it has heard the read of message 1 or 3, so that the next message
// surely goes unanswered): the read ends by its waits, the fields are as they
// were, and a box says why; once it is on again, Get reads its settings.
class SwitchedOffDuringAReadTest : public DeviceSettingLineTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SwitchedOffDuringAReadTest, TheFieldsStayAsBeforeAndABoxSaysSo) {
  ClockSpeedScope speed(5.0);  // each unanswered read waits 1 s
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_NO_FATAL_FAILURE(Seed(Example(), settings::SettingsLayout::Extended));
  CDeviceSettingDlg& d = OpenDialogIdle();
  const settings::DeviceSettings stored = d.ReadSettings();
  settings::DeviceSettings edited = stored;
  edited.userName = "edited";
  d.ShowSettings(edited);
  const int before = tracker_->CommandCount(GetParam());
  Click(Item(IDC_BTN_GET_DEVICE_SETTING));
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount(GetParam()) > before; }));
  tracker_->SwitchOff();
  ASSERT_TRUE(AwaitIdle());
  ASSERT_TRUE(WaitFor([&] { return !boxes_.Shown().empty(); }));
  EXPECT_EQ(Texts(), std::vector<std::string>{settings::READ_UNANSWERED_FIELDS_KEPT_TEXT});
  EXPECT_EQ(d.ReadSettings(), edited);

  tracker_->SwitchOn();
  Click(Item(IDC_BTN_GET_DEVICE_SETTING));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(d.ReadSettings(), stored);
  EXPECT_EQ(boxes_.Shown().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Moments, SwitchedOffDuringAReadTest, ::testing::Values("at+cmgr=1\r", "at+cmgr=3\r"));

// Pulled while the dialog opens (before or after the version query): the
// loss is said once and the dialog leaves its opening state, so that Export
// and Import, which the box offers, can be used.
TEST_F(DeviceSettingLineTest, PulledDuringTheOpeningIsSaidOnceAndTheDialogComesBack) {
  ClockSpeedScope speed(5.0);  // room for a slow build within the second
  for (const std::string when : {"", "kv+fwv\r"}) {
    SCOPED_TRACE(when.empty() ? "before the version query" : "after the version query");
    const std::size_t before = Texts().size();
    ASSERT_NO_FATAL_FAILURE(Connect());
    dialog_ = std::make_unique<CDeviceSettingDlg>(window_->m_hPort, window_.get());
    dialog_->ShowModeless();
    if (!when.empty()) {
      ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount(when) == 1; }));
    }
    const std::uint64_t pulledAt = platform::ClockMs();
    tracker_->PullCable();
    ASSERT_TRUE(WaitFor([&] { return Texts().size() > before; }));
    EXPECT_LT(platform::ClockMs() - pulledAt, 1000u) << "the opening ran its waits out on a line that was gone";
    Settle();

    EXPECT_TRUE(WaitFor([&] { return IsIdle(); }, 3000)) << "the dialog stays in its opening state";
    EXPECT_LT(CpuShareWhileWaiting(300), 0.3) << "the session's reader spins on the hung-up line";
    EXPECT_TRUE(Item(IDC_BTN_EXPORT)->isEnabled());
    EXPECT_TRUE(Item(IDC_BTN_IMPORT)->isEnabled());
    const std::vector<std::string> texts = Texts();
    EXPECT_EQ(std::vector<std::string>(texts.begin() + static_cast<long>(before), texts.end()),
              std::vector<std::string>{settings::LINE_LOST_FIELDS_KEPT_TEXT});
    EXPECT_EQ(Status(), TRACKER_DISCONNECTED_TEXT);
    Click(Item(IDC_BTN_GET_DEVICE_SETTING));
    EXPECT_EQ(Texts().size(), before + 2) << "Get after the loss says it again";
    Click(Item(IDC_BTN_EXIT));
    EXPECT_TRUE(WaitFor([&] { return dialog_->Ended(); }));

    dialog_.reset();
    window_.reset();
  }
}

TEST_F(DeviceSettingLineTest, VerdictGoesOnceTheFieldsChange) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  d.ShowSettings(Example());
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(AwaitIdle());
  ASSERT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);

  // Leaving a field unchanged keeps the verdict.
  Item(IDC_BTN_SET_TO_DEVICE)->setFocus();
  Edit(settings::SettingId::userName)->setFocus();
  Item(IDC_BTN_SET_TO_DEVICE)->setFocus();
  EXPECT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);

  // An import of other values.
  QTemporaryDir folder;
  settings::DeviceSettings other = Example();
  other.gprsApn = "other.apn";
  const std::string path = folder.filePath(QStringLiteral("other.ini")).toStdString();
  ASSERT_TRUE(settings::SaveSettingsFile(path, settings::SettingsLayout::Extended, other));
  ASSERT_TRUE(d.LoadSettingsFile(path));
  EXPECT_EQ(Status(), "") << "the verdict was about other values";

  // A typed change, once the field is left.
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(AwaitIdle());
  ASSERT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);
  QLineEdit* name = Edit(settings::SettingId::userName);
  name->setFocus();
  name->setText("typed");
  Item(IDC_BTN_SET_TO_DEVICE)->setFocus();
  EXPECT_EQ(Status(), "");
}

TEST_F(DeviceSettingLineTest, LayoutRowsShowOnlyOnceTheVersionIsKnownAndTheVersionReadsWhole) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  dialog_ = std::make_unique<CDeviceSettingDlg>(window_->m_hPort, window_.get());
  dialog_->ShowModeless();
  // The opening is still asking for the version: no row of either layout.
  ASSERT_TRUE(dialog_->IsBusy());
  for (const settings::SettingId id : {settings::SettingId::parkReturnTimes, settings::SettingId::reportMethod,
                                       settings::SettingId::modeStatus, settings::SettingId::disconnectInterval})
    EXPECT_FALSE(Item(settings::Setting(id).controlId)->isVisible()) << settings::Setting(id).identifier;
  ASSERT_TRUE(AwaitIdle());
  EXPECT_FALSE(Item(settings::Setting(settings::SettingId::parkReturnTimes).controlId)->isVisible());
  EXPECT_TRUE(Item(settings::Setting(settings::SettingId::reportMethod).controlId)->isVisible());
  EXPECT_EQ(dialog_->ItemText(IDC_EDT_FIRMWARE_VERSION), "F-0KV770E-V1.4(20090904)");
}

}  // namespace
