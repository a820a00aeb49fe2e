// Every edit, list and combo box of every dialog carries its caption as its
// accessible name, and a value display (the IMEI) its value, read back
// through the accessibility tree as a screen reader reads it.
#include <map>
#include <set>
#include <string>
#include <vector>

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include "main_window_fixture.h"
#include "qt_controls.h"
#include "res/resource_ids.h"
#include "app/scan_port_dlg.h"
#include "app/device_setting_dlg.h"
#include "ui/qt/text.h"

namespace {

bool IsField(const QWidget* w) {
  if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) || qobject_cast<const QListWidget*>(w))
    return true;
  const auto* label = qobject_cast<const QLabel*>(w);
  return label != nullptr && label->frameShape() != QFrame::NoFrame;  // a value display
}

// The accessible name of every field of `dialog`, by control id.
std::map<int, std::string> FieldNames(ui::TemplateDialog& dialog) {
  std::map<int, std::string> names;
  QDialog* window = ui::qt::Window(dialog);
  for (QWidget* w : window->findChildren<QWidget*>()) {
    // The template's controls only (the dialog may hold them on a scrolled page).
    if (!w->objectName().startsWith(QStringLiteral("control")) || !IsField(w)) continue;
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(w);
    EXPECT_NE(node, nullptr) << w->objectName().toStdString();
    if (node == nullptr) continue;
    const int id = w->objectName().mid(7).toInt();  // "control<id>"
    names[id] = ui::FromQt(node->text(QAccessible::Name));
  }
  return names;
}

void ExpectNamedAndDistinct(const std::map<int, std::string>& names) {
  std::set<std::string> seen;
  for (const auto& [id, name] : names) {
    EXPECT_FALSE(name.empty()) << "control " << id << " has no accessible name";
    EXPECT_TRUE(seen.insert(name).second) << "control " << id << " shares the name \"" << name << "\"";
  }
}

TEST_F(MainWindowTest, MainWindowFieldsAreNamedAfterTheirCaptions) {
  CMainDlg& w = OpenWindow();
  const auto names = FieldNames(w);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names.at(IDC_CMB_PORT), "COM Port:");
}

// The IMEI display is read by its value, not by its caption.
TEST_F(MainWindowTest, ImeiIsReadByItsValue) {
  CMainDlg& w = OpenWindow();
  w.SetItemText(IDC_STC_IMEI, "356938035643809");
  QAccessibleInterface* imei = QAccessible::queryAccessibleInterface(ImeiLabel(w));
  ASSERT_NE(imei, nullptr);
  EXPECT_EQ(ui::FromQt(imei->text(QAccessible::Name)), "356938035643809");
}

TEST_F(MainWindowTest, DeviceSettingFieldsAreNamedAfterTheirCaptions) {
  CDeviceSettingDlg dialog(INVALID_HANDLE_VALUE);
  const auto names = FieldNames(dialog);
  EXPECT_GE(names.size(), settings::SETTINGS_TABLE.size());
  std::map<int, std::string> captioned = names;
  captioned.erase(IDC_STC_SETTING_IMEI);
  ExpectNamedAndDistinct(captioned);
  EXPECT_EQ(names.at(IDC_EDT_FIRMWARE_VERSION), "Firmware Version");
  // Each setting's field carries the caption of its own row, both layouts'
  // rows included, the two in the same place too.
  for (const settings::SettingInfo& info : settings::SETTINGS_TABLE) {
    if (!names.count(info.controlId)) continue;
    EXPECT_EQ(names.at(info.controlId), ui::FromQt(ui::ToQt(std::string(info.caption)).trimmed())) << info.identifier;
  }
  EXPECT_EQ(names.at(settings::Setting(settings::SettingId::parkReturnTimes).controlId), "Motion report times");
  EXPECT_EQ(names.at(settings::Setting(settings::SettingId::modeStatus).controlId), "Mode status");
  EXPECT_EQ(names.at(settings::Setting(settings::SettingId::gprsUserName).controlId), "GPRS user name");
}

// The captions that label `w` through the label relation, as a screen reader
// finds them (blanks at the ends trimmed).
std::vector<std::string> LabelsOf(QWidget* w) {
  std::vector<std::string> labels;
  QAccessibleInterface* node = QAccessible::queryAccessibleInterface(w);
  if (node == nullptr) return labels;
  for (const auto& [label, relation] : node->relations(QAccessible::Label))
    if (label != nullptr) labels.push_back(ui::FromQt(label->text(QAccessible::Name).trimmed()));
  return labels;
}

// The IMEI display keeps its value as name and text, and its caption labels
// it through the label relation, in the main window and in Device Setting.
TEST_F(MainWindowTest, ImeiDisplaysAreLabelledByTheirCaption) {
  CMainDlg& w = OpenWindow();
  w.SetItemText(IDC_STC_IMEI, "356938035643809");
  EXPECT_EQ(LabelsOf(ImeiLabel(w)), std::vector<std::string>{"IMEI Number"});
  QAccessibleInterface* imei = QAccessible::queryAccessibleInterface(ImeiLabel(w));
  ASSERT_NE(imei, nullptr);
  EXPECT_EQ(ui::FromQt(imei->text(QAccessible::Name)), "356938035643809");

  CDeviceSettingDlg dialog(INVALID_HANDLE_VALUE);
  dialog.SetItemText(IDC_STC_SETTING_IMEI, "356938035643809");
  QWidget* settingImei = ui::qt::Control(dialog, IDC_STC_SETTING_IMEI);
  ASSERT_NE(settingImei, nullptr);
  EXPECT_EQ(LabelsOf(settingImei), std::vector<std::string>{"IMEI Number"});
  QAccessibleInterface* node = QAccessible::queryAccessibleInterface(settingImei);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(ui::FromQt(node->text(QAccessible::Name)), "356938035643809");
}

// A combo box is named by its caption, not by the value it shows; the value
// is its accessible value.
TEST_F(MainWindowTest, ComboBoxesAreNamedByTheirCaptionAndValuedByTheirText) {
  CDeviceSettingDlg dialog(INVALID_HANDLE_VALUE);
  const auto names = FieldNames(dialog);
  int combos = 0;
  int valued = 0;
  for (const settings::SettingInfo& info : settings::SETTINGS_TABLE) {
    auto* combo = qobject_cast<QComboBox*>(ui::qt::Control(dialog, info.controlId));
    if (combo == nullptr) continue;
    ++combos;
    combo->setCurrentIndex(combo->count() - 1);
    const std::string caption = ui::FromQt(ui::ToQt(std::string(info.caption)).trimmed());
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(combo);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(ui::FromQt(node->text(QAccessible::Name)), caption) << info.identifier;
    EXPECT_EQ(node->text(QAccessible::Value), combo->currentText()) << info.identifier;
    if (!combo->currentText().isEmpty()) ++valued;
    EXPECT_EQ(node->role(), QAccessible::ComboBox);
    EXPECT_EQ(LabelsOf(combo), std::vector<std::string>{caption}) << info.identifier;
  }
  EXPECT_GE(combos, 2);
  EXPECT_GE(valued, 2);  // some show a value, which must not be their name

  CMainDlg& w = OpenWindow([] { return std::vector<platform::PortInfo>{platform::PortInfo{"ttyUSB0", "USB serial"}}; });
  auto* port = qobject_cast<QComboBox*>(ui::qt::Control(w, IDC_CMB_PORT));
  ASSERT_NE(port, nullptr);
  QAccessibleInterface* node = QAccessible::queryAccessibleInterface(port);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(ui::FromQt(node->text(QAccessible::Name)), "COM Port:");
  EXPECT_EQ(node->text(QAccessible::Value), port->currentText());
}

TEST_F(MainWindowTest, ScanResultsListIsNamed) {
  CScanPortDlg dialog({"ttyUSB0:"});
  const auto names = FieldNames(dialog);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names.at(IDC_LST_PORTS), "Scan COM Port");
}

}  // namespace
