// Set to device through the Device Setting dialog against a simulated
// tracker: what the store holds afterwards, the verdicts, the mismatch
// retries, the Writing state and its refused closes, the check that refuses a
// record, and closing while a read runs.
#include "device_setting_fixture.h"
#include "platform/sync.h"

namespace {

using settings::SettingId;
using settings::SettingsLayout;

// Replaces an edit's text as a user does: select all, type.
void Type(QLineEdit* edit, const char* text) {
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

TEST_F(DeviceSettingTest, EditedValueIsWrittenAsTheFourTextsAndCloseIsRefusedWhileItRuns) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_NO_FATAL_FAILURE(Seed(Example(), SettingsLayout::Extended));
  CDeviceSettingDlg& d = OpenDialogIdle();
  settings::DeviceSettings expected = d.ReadSettings();  // as read from the tracker
  Type(Edit(SettingId::userName), "Unit9");
  Type(Edit(SettingId::gprsServerAddress), "198.51.100.7");
  expected.userName = "Unit9";
  expected.gprsServerAddress = "198.51.100.7";
  ASSERT_EQ(d.ReadSettings(), expected);

  Click(Item(1057));
  // Writing: nothing but the status line moves; every way out is refused.
  EXPECT_EQ(d.m_bBusy, 1);
  for (int id : {1073, 1074, 1075, 1057, 1062}) EXPECT_FALSE(Item(id)->isEnabled()) << id;
  for (const settings::SettingInfo& s : settings::SETTINGS_TABLE)
    EXPECT_FALSE(Item(s.controlId)->isEnabled() && Item(s.controlId)->isVisible()) << s.identifier;
  Click(Item(1057));
  d.OnSetToDevice();
  d.OnGetDeviceSetting();
  ui::qt::Window(d)->close();
  QTest::keyClick(ui::qt::Window(d), Qt::Key_Escape);
  QTest::keyClick(ui::qt::Window(d), Qt::Key_Return);
  d.OnCommand(ID_APP_EXIT);
  EXPECT_FALSE(d.Ended());
  // Half-way, with the event loop running: the close box is still refused.
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount("at+cmgw=+2\r") == 2; }));
  ASSERT_EQ(d.m_bBusy, 1);
  ui::qt::Window(d)->close();
  EXPECT_TRUE(ui::qt::Window(d)->isVisible());
  EXPECT_FALSE(d.Ended());

  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Status(), "Setting Message OK ");
  EXPECT_EQ(d.m_bBusy, 0);
  EXPECT_EQ(tracker_->MessageStore(), MessageTexts(expected, SettingsLayout::Extended));
  // One write only: the seed's and this one's.
  EXPECT_EQ(tracker_->CommandCount("at+cmgd=1\r"), 2);
  EXPECT_EQ(tracker_->CommandCount("at+cmgw=+4\r"), 2);
  for (int id : {1073, 1074, 1075, 1057, 1062}) EXPECT_TRUE(Item(id)->isEnabled()) << id;

  // Idle again: the same close box now ends the dialog and its session.
  ui::qt::Window(d)->close();
  Settle();
  EXPECT_TRUE(d.Ended());
  EXPECT_EQ(d.m_exchange, nullptr);
}

struct VerdictCase {
  sim::GsmFault fault;
  const char* verdict;
};

class DeviceSettingVerdictTest : public DeviceSettingTest, public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(DeviceSettingVerdictTest, CheckOfMessage4DecidesTheVerdict) {
  sim::SimOptions options;
  options.gsm.faults.push_back({GetParam().fault, sim::GsmCommandKind::Read, 4});
  ASSERT_NO_FATAL_FAILURE(Connect(options));
  CDeviceSettingDlg& d = OpenDialogIdle();
  d.ShowSettings(Example());
  Click(Item(1057));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Status(), GetParam().verdict);
  EXPECT_EQ(tracker_->MessageStore(), MessageTexts(Example(), SettingsLayout::Extended));
}

INSTANTIATE_TEST_SUITE_P(ErrorAndSilence, DeviceSettingVerdictTest,
                         ::testing::Values(VerdictCase{sim::GsmFault::Error, "Setting Message error "},
                                           VerdictCase{sim::GsmFault::Silent, "Setting Message Time out "}));

TEST_F(DeviceSettingTest, TenMismatchesThenAMatchCarryOnAndElevenEndTheWrite) {
  for (const int mismatches : {10, 11}) {
    SCOPED_TRACE(mismatches);
    sim::SimOptions options;
    options.gsm.mismatchReads = mismatches;
    options.gsm.mismatchSlot = 2;
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    CDeviceSettingDlg& d = OpenDialogIdle();
    d.ShowSettings(Example());
    Click(Item(1057));
    ASSERT_TRUE(AwaitIdle());

    EXPECT_EQ(tracker_->CommandCount("at+cmgw=+2\r"), 11);
    EXPECT_EQ(tracker_->CommandCount("at+cmgd=2\r"), 1 + mismatches);
    if (mismatches == 10) {
      EXPECT_EQ(Status(), "Setting Message OK ");
      EXPECT_EQ(tracker_->MessageStore(), MessageTexts(Example(), SettingsLayout::Extended));
    } else {
      EXPECT_EQ(Status(), "Message writing fail ");
      EXPECT_EQ(tracker_->CommandCount("at+cmgw=+3\r"), 0);
      EXPECT_EQ(tracker_->CommandCount("at+cmgw=+4\r"), 0);
    }
    EXPECT_TRUE(Item(1062)->isEnabled());
    dialog_.reset();
    window_.reset();
    tracker_->Stop();
  }
}

TEST_F(DeviceSettingTest, Message2TimingOutStillWritesMessages3And4) {
  sim::SimOptions options;
  options.gsm.faults.push_back({sim::GsmFault::Silent, sim::GsmCommandKind::Store, 2});
  ASSERT_NO_FATAL_FAILURE(Connect(options));
  CDeviceSettingDlg& d = OpenDialogIdle();
  d.ShowSettings(Example());
  Click(Item(1057));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Status(), "Setting Message OK ");
  const auto store = tracker_->MessageStore();
  const auto texts = MessageTexts(Example(), SettingsLayout::Extended);
  EXPECT_EQ(store[2], texts[2]);
  EXPECT_EQ(store[3], texts[3]);
  EXPECT_EQ(tracker_->CommandCount("at+cmgw=+3\r"), 1);
  EXPECT_EQ(tracker_->CommandCount("at+cmgw=+4\r"), 1);
}

TEST_F(DeviceSettingTest, RecordThatCannotBeSentIsRefusedWithTheSettingsNamedAndNothingDeleted) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_NO_FATAL_FAILURE(Seed(Example(), SettingsLayout::Extended));
  CDeviceSettingDlg& d = OpenDialogIdle();
  Type(Edit(SettingId::userName), "Unit,7");
  Type(Edit(SettingId::gprsApn), "a,b");

  Click(Item(1057));
  const auto shown = boxes_.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].text.find("\"User Name\" (userName): comma at character 5"), std::string::npos) << shown[0].text;
  EXPECT_NE(shown[0].text.find("\"GPRS apn\" (gprsApn): comma at character 2"), std::string::npos);
  EXPECT_EQ(shown[0].caption, "kvtool");
  EXPECT_EQ(shown[0].type & MB_ICONMASK, MB_ICONEXCLAMATION);

  EXPECT_EQ(d.m_bBusy, 0);
  EXPECT_TRUE(IsIdle());
  EXPECT_TRUE(Item(1057)->isEnabled());
  EXPECT_EQ(tracker_->CommandCount("at+cmgd=1\r"), 1) << "only the seed's delete";
  EXPECT_EQ(tracker_->MessageStore(), MessageTexts(Example(), SettingsLayout::Extended));
}

TEST_F(DeviceSettingTest, ClosingDuringAReadStopsTheReadAndTheReaderBeforeTheDialogGoes) {
  sim::SimOptions options;
  options.gsm.faults.push_back({sim::GsmFault::Silent, sim::GsmCommandKind::Read});
  ASSERT_NO_FATAL_FAILURE(Connect(options));
  const long handles = platform::LiveHandleCount();
  CDeviceSettingDlg& d = OpenDialog();
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount("at+cmgr=1\r") == 1; }));

  // Each read waits 5 s for a reply that never comes; Exit stays enabled.
  ASSERT_TRUE(Item(1062)->isEnabled());
  Click(Item(1062));
  ASSERT_TRUE(WaitFor([&] { return d.Ended(); }));
  EXPECT_EQ(d.m_exchange, nullptr);
  EXPECT_EQ(tracker_->CommandCount("at+cmgr=4\r"), 0) << "the read must end with the dialog";
  dialog_.reset();
  // Every thread of the session has ended and lets go of its handles (a
  // thread drops its own reference just after it has been seen to end).
  EXPECT_TRUE(WaitFor([&] { return platform::LiveHandleCount() == handles; }))
      << platform::LiveHandleCount() << " handles, " << handles << " before";
}

TEST_F(DeviceSettingTest, EscapeRunsTheCloseProcedureWhenNoWriteRuns) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  Edit(SettingId::userName)->setFocus();
  QTest::keyClick(ui::qt::Window(d), Qt::Key_Escape);
  Settle();
  EXPECT_TRUE(d.Ended());
  EXPECT_EQ(d.m_exchange, nullptr);
}

TEST_F(DeviceSettingTest, EnterInAnyFieldKeepsTheDialogAndTheTypedValues) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  QLineEdit* name = Edit(SettingId::userName);
  name->setText(QStringLiteral("Typed by hand"));
  // A push button that had the focus before must not take Enter along.
  Item(IDC_BTN_SET_TO_DEVICE)->setFocus();
  name->setFocus();

  int fields = 0;
  for (QWidget* field : ui::qt::Window(d)->findChildren<QWidget*>()) {
    const bool isField = qobject_cast<QLineEdit*>(field) != nullptr || qobject_cast<QComboBox*>(field) != nullptr;
    if (!isField || field->parentWidget() != ui::qt::Window(d) || !field->isVisible() || !field->isEnabled()) continue;
    ++fields;
    field->setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
      QTest::keyClick(field, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
      ASSERT_FALSE(d.Ended()) << "Enter in " << field->objectName().toStdString();
    }
  }
  EXPECT_GT(fields, 25);
  EXPECT_EQ(name->text(), QStringLiteral("Typed by hand"));
  EXPECT_NE(d.m_exchange, nullptr);
  EXPECT_EQ(tracker_->CommandCount("at+cmgd=1\r"), 0) << "Enter wrote to the tracker";

  // The close procedure is still there for Exit.
  Click(Item(IDC_BTN_EXIT));
  EXPECT_TRUE(WaitFor([&] { return d.Ended(); }));
}

}  // namespace
