// The Device Setting dialog: its template, what it does when it opens (the
// version, the layout, the first read), its states, Get device setting and
// the Setting button of the main window, against a simulated tracker.
#include <functional>
#include <map>
#include <set>

#include <QAbstractItemView>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>

#include "device_setting_fixture.h"
#include "qt_controls.h"
#include "ui/qt/dialog_font.h"
#include "res/dialog_templates.h"
#include "ui/qt/text.h"

namespace {

using settings::SettingId;
using settings::SettingsLayout;

// The seven rows that only the extended layout shows, and the one that only
// the basic layout shows, each with its captions.
const std::vector<int> kExtendedOnly = {1061, 1066, 1064, 1067, 1077, 1078, 1093, 1080, 1079, 1070, 1069, 1076, 1081};
const std::vector<int> kBasicOnly = {1046, 1068};

std::string LabelText(const QLabel* label) { return ui::FromQt(label->text()); }

// Visible controls other than group boxes must not overlap, and every one
// must lie inside the dialog.
void ExpectTidy(const CDeviceSettingDlg& d) {
  const QDialog& window = *ui::qt::Window(d);
  std::vector<const QWidget*> shown;
  for (const QWidget* w : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (w->isHidden() || qobject_cast<const QGroupBox*>(w) != nullptr) continue;
    EXPECT_TRUE(window.rect().contains(w->geometry())) << w->objectName().toStdString();
    shown.push_back(w);
  }
  for (std::size_t i = 0; i < shown.size(); ++i)
    for (std::size_t j = i + 1; j < shown.size(); ++j)
      EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
          << shown[i]->objectName().toStdString() << " overlaps " << shown[j]->objectName().toStdString();
}

TEST_F(DeviceSettingTest, TemplateHoldsEverySettingWithItsCaptionUncutAndStartsLocked) {
  const ui::DialogTemplate& t = res::DeviceSettingDialogTemplate();
  EXPECT_EQ(t.id, 131);
  EXPECT_EQ(t.caption, "Device Setting");
  EXPECT_EQ(t.cx, 398);
  EXPECT_EQ(t.cy, 344);
  CDeviceSettingDlg dialog(INVALID_HANDLE_VALUE);
  EXPECT_EQ(ui::qt::Window(dialog)->size(), ui::qt::ToQSize(ui::DialogSizeToPixels(dialog.BaseUnits(), 398, 344)));

  // Every caption is whole: one-line captions within their width, wrapped
  // ones within their height.
  std::set<std::string> captions;
  for (const QLabel* label : ui::qt::Window(dialog)->findChildren<QLabel*>()) {
    const QString text = label->text();
    captions.insert(ui::FromQt(text));
    if (text.isEmpty()) continue;
    if (label->wordWrap()) {
      EXPECT_LE(label->heightForWidth(label->width()), label->height()) << LabelText(label);
    } else {
      EXPECT_LE(label->fontMetrics().horizontalAdvance(text), label->contentsRect().width()) << LabelText(label);
    }
  }
  for (const QGroupBox* box : ui::qt::Window(dialog)->findChildren<QGroupBox*>())
    captions.insert(ui::FromQt(box->title()));
  for (const char* text :
       {"Basic setup", "Tracker information", "SMS default retrun phone number", "SOS number", "*Extra Setting",
        "Default report mode", "Motion mode setting", "Sleep mode setup", "GPRS setup", "Firmware Version",
        "IMEI Number", "min(30-1440)", "sec(10-86400)", "(0-200)", "(1-255)", "sec"})
    EXPECT_TRUE(captions.count(text)) << text;

  for (const settings::SettingInfo& s : settings::SETTINGS_TABLE) {
    SCOPED_TRACE(std::string(s.identifier));
    EXPECT_TRUE(captions.count(std::string(s.caption)));
    QWidget* field = ui::qt::Control(dialog, s.controlId);
    ASSERT_NE(field, nullptr);
    if (settings::IsList(s)) {
      auto* combo = qobject_cast<QComboBox*>(field);
      ASSERT_NE(combo, nullptr);
      EXPECT_TRUE(combo->isEditable());
      EXPECT_FALSE(combo->isEnabled());
      EXPECT_EQ(combo->currentIndex(), -1);
    } else {
      auto* edit = qobject_cast<QLineEdit*>(field);
      ASSERT_NE(edit, nullptr);
      EXPECT_TRUE(edit->isReadOnly());
      EXPECT_EQ(edit->validator() != nullptr, s.input == settings::SettingInput::Digits);
    }
    const bool extendedOnly = s.layout == settings::LayoutUse::Extended;
    EXPECT_EQ(field->isHidden(), extendedOnly || s.id == SettingId::deviceName);
  }
  // The caption statics the dialog shows and hides by id.
  const std::map<int, std::string> captionIds = {{1066, "Report method"},
                                                 {1067, "Enable ACK Message"},
                                                 {1068, "Motion report times"},
                                                 {1069, "Enable Cell ID (0/1)"},
                                                 {1078, "Disconnect interval"},
                                                 {1079, "Mode status"},
                                                 {1081, "GSM off in static"},
                                                 {1092, "Device"},
                                                 {1093, "sec"}};
  for (const auto& [id, text] : captionIds) EXPECT_EQ(dialog.ItemText(id), text) << id;
  EXPECT_EQ(ui::qt::Control(dialog, 1046)->geometry().topLeft(), ui::qt::Control(dialog, 1080)->geometry().topLeft());
  EXPECT_EQ(ui::qt::Control(dialog, 1068)->geometry(), ui::qt::Control(dialog, 1079)->geometry());

  // The bottom row, and lists with contents of their own.
  const std::vector<std::pair<int, std::string>> buttons = {
      {1073, "Import"}, {1074, "Export"}, {1075, "Get device setting"}, {1057, "Set to device"}, {1062, "Exit"}};
  for (const auto& [id, text] : buttons) {
    auto* button = ui::qt::ControlAs<QPushButton>(dialog, id);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(ui::FromQt(button->text()), text);
    EXPECT_FALSE(button->isDefault());
  }
  // The status reaches from the last button to Exit and takes two lines.
  EXPECT_EQ(ui::qt::Control(dialog, 1058)->width(), ui::DialogUnitsToPixelsX(dialog.BaseUnits(), 96));
  EXPECT_FALSE(ui::qt::Control(dialog, 1058)->isHidden());
  EXPECT_TRUE(ui::qt::Control(dialog, 1059)->isHidden());
  EXPECT_FALSE(ui::qt::Control(dialog, 1059)->isEnabled());
  EXPECT_EQ(ui::qt::ControlAs<QComboBox>(dialog, 1088)->count(), 26);
  EXPECT_EQ(ui::qt::ControlAs<QComboBox>(dialog, 1087)->count(), 8);
  EXPECT_EQ(ui::qt::ControlAs<QComboBox>(dialog, 1061)->count(), 0) << "filled when the dialog opens";
}

struct LayoutCase {
  std::string_view version;
  SettingsLayout layout;
  const char* firmwareShown;
};

class DeviceSettingLayoutTest : public DeviceSettingTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(DeviceSettingLayoutTest, OpeningReadsTheVersionChoosesTheLayoutAndReadsTheFourMessages) {
  const LayoutCase& c = GetParam();
  sim::SimOptions options;
  options.gsm.versionText = std::string(c.version);
  ASSERT_NO_FATAL_FAILURE(Connect(options));
  const settings::DeviceSettings stored = Example();
  ASSERT_NO_FATAL_FAILURE(Seed(stored, c.layout));
  const std::string before = tracker_->ReceivedLog();
  // The other layout's flag, as a previous opening may have left it.
  settings::extendedFirmware = c.layout == SettingsLayout::Basic;

  CDeviceSettingDlg& d = OpenDialog();
  EXPECT_EQ(d.ItemText(1065), c.firmwareShown);
  EXPECT_EQ(settings::ActiveLayout(), c.layout);
  EXPECT_EQ(d.ItemText(1091), kImei);
  const bool extended = c.layout == SettingsLayout::Extended;
  for (int id : kExtendedOnly) EXPECT_EQ(Item(id)->isHidden(), !extended) << id;
  for (int id : kBasicOnly) EXPECT_EQ(Item(id)->isHidden(), extended) << id;
  EXPECT_FALSE(Item(1092)->isVisible());
  EXPECT_FALSE(Item(1060)->isVisible());
  ExpectTidy(d);
  // The longest report mode is wider than its closed box, but not than its list.
  QComboBox* modes = List(SettingId::reportMode);
  EXPECT_GT(modes->view()->minimumWidth(),
            modes->fontMetrics().horizontalAdvance(QStringLiteral("GPRS disconnect and period report: mode 10")));

  // Reading: nothing can be edited or started but Exit.
  for (const settings::SettingInfo& s : settings::SETTINGS_TABLE) {
    EXPECT_FALSE(Item(s.controlId)->isEnabled() && Item(s.controlId)->isVisible()) << s.identifier;
    if (auto* edit = qobject_cast<QLineEdit*>(Item(s.controlId))) {
      EXPECT_TRUE(edit->isReadOnly()) << s.identifier;
    }
  }
  for (int id : {1073, 1074, 1075, 1057}) EXPECT_FALSE(Item(id)->isEnabled()) << id;
  EXPECT_TRUE(Item(1062)->isEnabled());

  ASSERT_TRUE(AwaitIdle());
  const settings::DeviceSettings shown = d.ReadSettings();
  for (const settings::SettingInfo& s : settings::SETTINGS_TABLE) {
    if (!settings::IsSent(s, c.layout)) continue;
    EXPECT_EQ(settings::FieldText(shown, s.id), settings::FieldText(stored, s.id)) << s.identifier;
    // Idle: every setting the layout shows can be edited.
    EXPECT_TRUE(Item(s.controlId)->isEnabled()) << s.identifier;
    if (auto* edit = qobject_cast<QLineEdit*>(Item(s.controlId))) {
      EXPECT_FALSE(edit->isReadOnly()) << s.identifier;
    }
  }
  for (int id : {1073, 1074, 1075, 1057, 1062}) EXPECT_TRUE(Item(id)->isEnabled()) << id;
  EXPECT_EQ(d.ItemText(1059), "OK");

  // On the line: version, text mode, then the four reads in order.
  const std::string sent = tracker_->ReceivedLog().substr(before.size());
  EXPECT_EQ(sent, "kv+fwv\rat+cmgf=1\rat+cmgr=1\rat+cmgr=2\rat+cmgr=3\rat+cmgr=4\r");
}

INSTANTIATE_TEST_SUITE_P(
    BothLayouts, DeviceSettingLayoutTest,
    ::testing::Values(LayoutCase{sim::BASIC_VERSION_TEXT, SettingsLayout::Basic, "F-0KV770Q-V1.2(20081120)"},
                      LayoutCase{sim::EXTENDED_VERSION_TEXT, SettingsLayout::Extended, "F-0KV770E-V1.4(20090904)"}));

TEST_F(DeviceSettingTest, WithoutAVersionAnswerTheLastVersionAndLayoutStay) {
  sim::SimOptions options;
  options.gsm.faults.push_back({sim::GsmFault::Silent, sim::GsmCommandKind::Version});
  ASSERT_NO_FATAL_FAILURE(Connect(options));
  std::snprintf(settings::firmwareVersion, sizeof settings::firmwareVersion, "%s", "F-0KV770Q-V1.1");
  settings::extendedFirmware = false;

  CDeviceSettingDlg& d = OpenDialogIdle();
  EXPECT_EQ(d.ItemText(1065), "F-0KV770Q-V1.1");
  EXPECT_FALSE(settings::extendedFirmware.load());
  EXPECT_FALSE(Item(1046)->isHidden());
  EXPECT_TRUE(Item(1080)->isHidden());
  settings::extendedFirmware = true;
}

TEST_F(DeviceSettingTest, GetDeviceSettingEmptiesEditsButTheDisconnectIntervalAndKeepsLists) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();  // the store is empty
  settings::DeviceSettings values = Example();
  values.deviceName = "Unit7";
  d.ShowSettings(values);

  Click(Item(1075));
  ASSERT_TRUE(AwaitIdle());
  const settings::DeviceSettings shown = d.ReadSettings();
  for (const settings::SettingInfo& s : settings::SETTINGS_TABLE) {
    if (const std::string* text = settings::EditText(shown, s.id)) {
      EXPECT_EQ(*text, s.id == SettingId::disconnectInterval ? "30" : "") << s.identifier;
    } else {
      EXPECT_EQ(*settings::ListValue(shown, s.id), *settings::ListValue(values, s.id)) << s.identifier;
    }
  }
  EXPECT_EQ(tracker_->CommandCount("at+cmgr=1\r"), 2);
}

TEST_F(DeviceSettingTest, DigitEditsTakeOnlyDigitsAndTextEditsTakeAnything) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  OpenDialogIdle();
  for (const settings::SettingInfo& s : settings::SETTINGS_TABLE) {
    QLineEdit* edit = Edit(s.id);
    if (edit == nullptr || !edit->isVisible()) continue;
    edit->clear();
    QTest::keyClicks(edit, "+1a2,3 ");
    const bool digits = s.input == settings::SettingInput::Digits;
    EXPECT_EQ(ui::FromQt(edit->text()), digits ? "123" : "+1a2,3 ") << s.identifier;
  }
}

TEST_F(DeviceSettingTest, SettingOpensTheDialogOnTheConnectionWithTheReaderPausedAndResumesIt) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  CMainDlg& w = *window_;
  const std::shared_ptr<ReaderLink> reader = w.m_reader;

  struct Seen {
    bool waitedPumping = false;
    bool busyCursor = false;
    bool readerPaused = false;
    std::string imei;
    bool idle = false;
    bool ended = false;
  } seen;
  // Inside the opening waits: the windows paint on, with the busy cursor.
  QTimer::singleShot(30, ui::qt::Window(w), [&] {
    seen.waitedPumping = w.IsBusy() || (ui::qt::DialogOf(QApplication::activeModalWidget()) != nullptr &&
                                        ui::qt::DialogOf(QApplication::activeModalWidget())->IsBusy());
    const QCursor* cursor = QApplication::overrideCursor();
    seen.busyCursor = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
  });
  // Inside the modal loop: look, then leave by Exit.
  std::function<void()> whenIdle = [&] {
    auto* d = ui::qt::DialogOf<CDeviceSettingDlg>(QApplication::activeModalWidget());
    if (d == nullptr || !ui::qt::Window(*d)->isVisible() || !ui::qt::Control(*d, 1075)->isEnabled()) {
      QTimer::singleShot(20, ui::qt::Window(w), whenIdle);
      return;
    }
    seen.idle = true;
    seen.readerPaused = reader->m_bReaderPaused.load() == 1;
    seen.imei = d->ItemText(1091);
    ui::qt::ControlAs<QPushButton>(*d, 1062)->click();
    QTimer::singleShot(HANG_BOUND_MS, ui::qt::Window(*d), [d] { d->EndDialog(IDCANCEL); });  // only on a hang
  };
  QTimer::singleShot(50, ui::qt::Window(w), whenIdle);

  Click(SettingButton(w));  // returns when the dialog has ended
  EXPECT_TRUE(seen.waitedPumping);
  EXPECT_TRUE(seen.busyCursor);
  EXPECT_TRUE(seen.idle);
  EXPECT_TRUE(seen.readerPaused);
  EXPECT_EQ(seen.imei, "356938035643809");
  EXPECT_EQ(reader->m_bReaderPaused.load(), 0);
  EXPECT_EQ(reader->m_bReaderRunning.load(), 1);
  EXPECT_EQ(ImeiLabel(w)->text(), QStringLiteral("356938035643809"));
  EXPECT_EQ(tracker_->CommandCount("at+cmgr=4\r"), 1);

  // The connection goes on: the port is still the window's.
  Click(StartButton(w));  // Stop
  ExpectIdle();
}

}  // namespace
